#include "engine/conversion.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/compaction.hpp"
#include "engine/findings.hpp"
#include "engine/header.hpp"
#include "engine/line_reader.hpp"
#include "engine/record.hpp"
#include "engine/row_writer.hpp"
#include "engine/scan_passes.hpp"

namespace tnx {
namespace {

// A header line longer than the input buffer, from its first piece in
// `line` on. Returns 0 or the errno value of a failed read.
int handle_header_in_pieces(LineReader& reader, Line& line,
                            ColumnTables& tables, TextOutput& text,
                            InputAgain input, std::size_t hold) {
  LongHeaderLine header(tables, text, input, reader.offset_of(line.text), hold);
  for (ReadStatus status = ReadStatus::piece;;) {
    const bool last = status == ReadStatus::line;
    if (const int error = header.add(line, last); error != 0) return error;
    if (last) return 0;
    // The rest of a line that can change nothing more is passed over.
    if (header.done()) {
      return reader.pass_over_rest_of_line() ? 0 : reader.error();
    }
    status = reader.next_piece(line);
    if (status == ReadStatus::error) return reader.error();
  }
}

// The size of a regular input from which its rows go to the file from a
// thread of their own. The thread costs a start and fresh buffers to fill,
// and pays only for a large row file: measured on the standard shape, side
// by side, it made 2.5 MB of rows 1.50 times as slow, 5 MB 1.11, 10 MB
// 0.96, 20 MB 0.90, 50 MB 0.86 and 100 MB 0.68 times. 4 MiB of input give
// 10 MB of rows or more in every shape of the benchmark.
constexpr std::uint64_t BACKGROUND_INPUT = std::uint64_t{4} << 20;

// An upper bound of the row file's size: each value takes at least a digit
// and a blank of the input, and its row copies its digits and adds the
// label field, the column text and the row end. Sizes the row buffer, so a
// small file does not take the memory of a large one.
std::uint64_t row_bytes_bound(std::uint64_t input_bytes,
                              const ColumnTexts& columns) {
  const std::uint64_t values = input_bytes / 2 + 1;
  const std::uint64_t per_row = columns.max_row_bytes() - MAX_VALUE_TEXT;
  return values * per_row + input_bytes;
}

// How the rows of a conversion are written. Those of a large regular file
// are written by a thread of their own: the writes into the page cache cost
// about as much as the formatting. Writes to devices such as /dev/null cost
// next to nothing, and there a second thread only gets in the way. A FileIo
// that takes no writes from another thread (the tests') gets every call
// from this one, in order.
Writing writing_of(const FileIo& io, const ConversionInput& input,
                   const ConversionOutput& output,
                   const ConversionSettings& settings) {
  const bool sized = input.id.kind == FileKind::regular;
  const bool large = settings.may_write_in_background &&
                     (!sized || input.id.size >= BACKGROUND_INPUT);
  return io.takes_writes_from_other_threads() &&
                 output.kind == FileKind::regular && large
             ? Writing::in_background
             : Writing::in_this_thread;
}

}  // namespace

std::size_t read_size(const ConversionInput& input, std::size_t block_size) {
  if (input.id.kind != FileKind::regular || input.id.size >= block_size) {
    return block_size;
  }
  return std::max(static_cast<std::size_t>(input.id.size) + 1,
                  std::min(block_size, MIN_BLOCK_SIZE));
}

int run_header_pass(LineReader& reader, ColumnTables& tables, TextOutput& text,
                    InputAgain input, std::size_t hold, Findings* findings) {
  Line line;
  for (int count = 0; count <= HEADER_LINES; ++count) {
    const ReadStatus status = reader.next(line);
    if (status == ReadStatus::end) break;
    if (status == ReadStatus::error) return reader.error();
    if (count == HEADER_LINES) {
      if (status == ReadStatus::piece && !reader.pass_over_rest_of_line()) {
        return reader.error();
      }
      continue;
    }
    const int summaries = tables.summaries;
    if (status == ReadStatus::line) {
      handle_header_line(line, tables, text);
    } else if (const int error = handle_header_in_pieces(reader, line, tables,
                                                         text, input, hold);
               error != 0) {
      return error;
    }
    if (findings == nullptr) continue;
    const auto number = static_cast<std::uint64_t>(count) + 1;
    // A points or events line adds its summary: the line's number and
    // what it read go to the report.
    if (tables.summaries != summaries) {
      const ColumnTables::Count& read =
          tables.counts[static_cast<std::size_t>(summaries)];
      findings->header_line(number, read.keyword, read.count);
    }
    // A line in pieces, like a data line, is seen through its numbers only.
    if (status == ReadStatus::line) findings->header_text(line, number);
  }
  if (findings != nullptr) findings->header_over(tables);
  return 0;
}

ConversionResult convert(FileIo& io, const ConversionInput& input,
                         const ConversionOutput& output, TextOutput& text,
                         ConversionMemory& memory,
                         const ConversionSettings& settings) {
  const std::size_t block_size = read_size(input, settings.block_size);
  LineReader reader(io, input.fd, block_size, std::move(memory.input),
                    settings.line_limit);
  const InputAgain again{
      &io,
      input.from_start && input.id.kind == FileKind::regular ? input.fd : -1};
  ColumnTables tables;
  ConversionResult result;
  result.read_error = run_header_pass(reader, tables, text, again,
                                      settings.line_limit, settings.findings);
  text.flush();

  const ColumnTexts columns(tables);
  const Writing writing = writing_of(io, input, output, settings);
  const bool sized = input.id.kind == FileKind::regular;
  RowWriter rows(
      io, output.fd,
      writing == Writing::in_background ? OUTPUT_BUFFER_SIZE : ROWS_PER_WRITE,
      writing, sized ? row_bytes_bound(input.id.size, columns) : UNKNOWN_SIZE,
      std::move(memory.rows));
  if (result.read_error == 0 && settings.findings == nullptr) {
    result.read_error = run_data_pass(
        reader,
        [&columns, &rows](const Line& line) {
          convert_data_line(line, columns, rows);
        },
        [&rows] { return rows.failed(); });
  } else if (result.read_error == 0) {
    // Each data line's findings, numbered from the line after the header;
    // a loop of its own, so the one without a report stays as it was.
    Findings& findings = *settings.findings;
    std::uint64_t number = HEADER_LINES + 1;
    result.read_error = run_data_pass(
        reader,
        [&](const Line& line) {
          findings.data_line(line, ++number);
          convert_data_line(line, columns, rows);
        },
        [&rows] { return rows.failed(); }, REPORTED_LINE_NUMBERS);
  }
  if (!rows.flush()) result.write_error = rows.error();
  memory.rows = rows.release();
  memory.input = reader.release();
  // A buffer larger than the usual size is not kept.
  if (memory.input.capacity() >
      std::max(block_size, BLOCK_SIZE + LINE_END_BYTES)) {
    memory.input = InputBuffer();
  }
  return result;
}

}  // namespace tnx
