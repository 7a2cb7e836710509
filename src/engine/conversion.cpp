// One conversion into the row file's text: the shared passes, the text
// rows as their sink, and how the rows are written.
#include "engine/conversion.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/line_reader.hpp"
#include "engine/row_writer.hpp"
#include "engine/text_rows.hpp"

namespace tnx {
namespace {

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
  const bool large =
      settings.background_writing == BackgroundWriting::allowed &&
      (!sized || input.id.size >= BACKGROUND_INPUT);
  return io.takes_writes_from_other_threads() &&
                 output.kind == FileKind::regular && large
             ? Writing::in_background
             : Writing::in_this_thread;
}

}  // namespace

ConversionResult convert(FileIo& io, const ConversionInput& input,
                         const ConversionOutput& output, TextOutput& text,
                         ConversionMemory& memory,
                         const ConversionSettings& settings, PassNotes* notes) {
  InputPasses passes(io, input, settings, std::move(memory.input));
  LineReader& reader = passes.reader();
  ColumnTables tables;
  ConversionResult result;
  result.read_error = passes.run_header(tables, text, notes);
  text.flush();

  const ColumnTexts columns(tables);
  const Writing writing = writing_of(io, input, output, settings);
  const bool sized = input.id.kind == FileKind::regular;
  RowWriter rows(
      io, output.fd,
      writing == Writing::in_background ? OUTPUT_BUFFER_SIZE : ROWS_PER_WRITE,
      writing, sized ? row_bytes_bound(input.id.size, columns) : UNKNOWN_SIZE,
      std::move(memory.rows));
  if (result.read_error == 0 && notes == nullptr) {
    result.read_error = run_data_pass(
        reader,
        [&columns, &rows](const Line& line) {
          convert_data_line(line, columns, rows);
        },
        [&rows] { return rows.failed(); });
  } else if (result.read_error == 0) {
    // Each data line's notes, numbered from the line after the header; a
    // loop of its own, so the one without a report stays as it was.
    std::uint64_t number = HEADER_LINES + 1;
    result.read_error = run_data_pass(
        reader,
        [&](const Line& line) {
          LineScan scan;
          convert_data_line(line, columns, rows, scan);
          notes->data_line_scanned(line, ++number, scan);
        },
        [&rows] { return rows.failed(); }, REPORTED_LINE_NUMBERS);
  }
  if (!rows.flush()) result.write_error = rows.error();
  memory.rows = rows.release();
  memory.input = reader.release();
  // A buffer larger than the usual size is not kept.
  if (memory.input.capacity() >
      std::max(passes.block_size(), BLOCK_SIZE + LINE_END_BYTES)) {
    memory.input = InputBuffer();
  }
  return result;
}

}  // namespace tnx
