#include "engine/conversion.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "engine/compaction.hpp"
#include "engine/header.hpp"
#include "engine/line_reader.hpp"
#include "engine/record.hpp"
#include "engine/row_writer.hpp"
#include "platform/file_system.hpp"
#include "program/output_file.hpp"

namespace tnx {
namespace {

// The input of a conversion, closed when the conversion ends; standard
// input is read, never closed.
class InputFile {
 public:
  explicit InputFile(FileSystem& fs) : fs_(fs) {}
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { close(); }

  // Opens `name` and identifies it; returns 0 or the errno value.
  int open(const char* name) {
    if (std::strcmp(name, "-") == 0) {
      fd_ = STDIN_FD;
      owned_ = false;
    } else {
      const IoResult in = fs_.open_input(name);
      if (!in.ok()) return in.error;
      fd_ = static_cast<int>(in.value);
    }
    const IoResult known = fs_.io().identify(fd_, id_);
    if (!known.ok()) return known.error;
    // A directory opens for reading on POSIX systems, but holds no lines.
    return id_.kind == FileKind::directory ? EISDIR : 0;
  }

  void close() {
    if (fd_ >= 0 && owned_) (void)fs_.io().close(fd_);
    fd_ = -1;
  }

  [[nodiscard]] int fd() const { return fd_; }
  [[nodiscard]] const FileId& id() const { return id_; }

  // A regular file opened by name is read from its start, so any of its
  // bytes can be read again by offset; standard input may start anywhere.
  [[nodiscard]] InputAgain again() const {
    if (!owned_ || id_.kind != FileKind::regular) return {&fs_.io(), -1};
    return {&fs_.io(), fd_};
  }

 private:
  FileSystem& fs_;
  int fd_ = -1;
  bool owned_ = true;
  FileId id_;
};

// A header line longer than the input buffer, from its first piece in
// `line` on. Returns 0 or the errno value of a failed read.
int handle_header_in_pieces(LineReader& reader, Line& line,
                            ColumnTables& tables, Console& console,
                            InputAgain input, std::size_t hold) {
  LongHeaderLine header(tables, console, input, reader.offset_of(line.text),
                        hold);
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

// The first HEADER_LINES lines go to the header pass whatever they hold; the
// line after them is dropped. Returns 0 or the errno value of a failed read.
int run_header_pass(LineReader& reader, ColumnTables& tables, Console& console,
                    InputAgain input, std::size_t hold) {
  Line line;
  for (int count = 0; count <= HEADER_LINES; ++count) {
    const ReadStatus status = reader.next(line);
    if (status == ReadStatus::end) return 0;
    if (status == ReadStatus::error) return reader.error();
    if (count == HEADER_LINES) {
      if (status == ReadStatus::piece && !reader.pass_over_rest_of_line()) {
        return reader.error();
      }
    } else if (status == ReadStatus::line) {
      handle_header_line(line, tables, console);
    } else if (const int error = handle_header_in_pieces(reader, line, tables,
                                                         console, input, hold);
               error != 0) {
      return error;
    }
  }
  return 0;
}

// A data line longer than the input buffer, from its first piece in `line`
// on: its label and values, compacted piece by piece, are converted like
// any line. Returns false when a read failed. Kept out of the data pass's
// loop, where its registers would cost every line an instruction.
[[gnu::noinline]] bool convert_data_line_in_pieces(LineReader& reader,
                                                   Line& line,
                                                   const ColumnTexts& columns,
                                                   RowWriter& rows) {
  NumberCompactor numbers(NumberKind::integer, MAX_COLUMNS + 1);
  for (ReadStatus status = ReadStatus::piece;;) {
    const bool more = numbers.add(line.text, line.text + line.size);
    if (status == ReadStatus::line) break;
    // Once the label and values are known the rest of the line is passed
    // over.
    if (!more) {
      if (!reader.pass_over_rest_of_line()) return false;
      break;
    }
    status = reader.next_piece(line);
    if (status == ReadStatus::error) return false;
  }
  convert_data_line(numbers.finish(), columns, rows);
  return true;
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

struct PassResult {
  // The errno values of the first failed read and write, or 0.
  int read_error = 0;
  int write_error = 0;
};

// The header pass and the data pass, from `input` to `output`.
PassResult convert_lines(const InputFile& input, const OutputFile& output,
                         FileSystem& fs, Console& console,
                         std::size_t block_size, bool may_write_in_background,
                         ConversionMemory& memory, std::size_t line_limit) {
  // A regular input is read in one block when it fits one. Its size is a
  // hint only: a file in /proc reports 0 whatever it holds, and a file may
  // grow, so reads never get smaller than a pipe's.
  const bool sized = input.id().kind == FileKind::regular;
  if (sized && input.id().size < block_size) {
    block_size = std::max(static_cast<std::size_t>(input.id().size) + 1,
                          std::min(block_size, MIN_BLOCK_SIZE));
  }
  FileIo& io = fs.io();
  LineReader reader(io, input.fd(), block_size, std::move(memory.input),
                    line_limit);
  ColumnTables tables;
  int read_error =
      run_header_pass(reader, tables, console, input.again(), line_limit);
  console.flush();

  const ColumnTexts columns(tables);
  // The rows of a large regular file are written by a thread of their own:
  // the writes into the page cache cost about as much as the formatting.
  // Writes to devices such as /dev/null cost next to nothing, and there a
  // second thread only gets in the way. A FileIo that takes no writes from
  // another thread (the tests') gets every call from this one, in order.
  const bool large = may_write_in_background &&
                     (!sized || input.id().size >= BACKGROUND_INPUT);
  const Writing writing = io.takes_writes_from_other_threads() &&
                                  output.kind() == FileKind::regular && large
                              ? Writing::in_background
                              : Writing::in_this_thread;
  RowWriter rows(
      io, output.fd(),
      writing == Writing::in_background ? OUTPUT_BUFFER_SIZE : ROWS_PER_WRITE,
      writing, sized ? row_bytes_bound(input.id().size, columns) : UNKNOWN_SIZE,
      std::move(memory.rows));
  if (read_error == 0) {
    Line line;
    ReadStatus next = ReadStatus::line;
    while (!rows.failed()) {
      next = reader.next(line);
      if (next != ReadStatus::line) [[unlikely]] {
        if (next != ReadStatus::piece) break;
        if (!convert_data_line_in_pieces(reader, line, columns, rows)) {
          next = ReadStatus::error;
          break;
        }
        continue;
      }
      convert_data_line(line, columns, rows);
    }
    if (next == ReadStatus::error) read_error = reader.error();
  }
  const bool write_ok = rows.flush();
  memory.rows = rows.release();
  memory.input = reader.release();
  // A buffer larger than the usual size is not kept.
  if (memory.input.capacity() > std::max(block_size, BLOCK_SIZE)) {
    memory.input = InputBuffer();
  }
  return {read_error, write_ok ? 0 : rows.error()};
}

}  // namespace

RunStatus convert_file(const char* input, const char* output, FileSystem& fs,
                       Console& console, std::size_t block_size,
                       bool may_write_in_background, std::size_t line_limit) {
  ConversionMemory memory;
  return convert_file(input, output, fs, console, block_size,
                      may_write_in_background, memory, line_limit);
}

RunStatus convert_file(const char* input, const char* output, FileSystem& fs,
                       Console& console, std::size_t block_size,
                       bool may_write_in_background, ConversionMemory& memory,
                       std::size_t line_limit) {
  InputFile in(fs);
  if (const int error = in.open(input); error != 0) {
    console.print("\nCould not open input file: ", input);
    console.report(input, error_text(error));
    return RunStatus::input_not_opened;
  }
  OutputFile out(fs);
  switch (out.open(output, in.id())) {
    case OutputStatus::ok: break;
    case OutputStatus::same_as_input:
      console.print("\nCould not open output file: ", output,
                    " (same file as the input)\n");
      console.report(output, "same file as the input");
      return RunStatus::output_not_opened;
    case OutputStatus::failed:
      console.print("\nCould not open output file: ", output);
      console.report(output, error_text(out.error()));
      return RunStatus::output_not_opened;
  }
  if (out.is_standard_output()) console.use_standard_error();

  const PassResult result =
      convert_lines(in, out, fs, console, block_size, may_write_in_background,
                    memory, line_limit);
  in.close();
  int write_error = result.write_error;
  if (write_error == 0 && result.read_error == 0 && !out.commit()) {
    write_error = out.error();
  }
  if (write_error != 0) {
    console.print("\nCould not write output file: ", output);
    console.report(output, error_text(write_error));
  }
  // A read that failed too is reported as well: both files need looking at.
  if (result.read_error != 0) {
    console.print("\nCould not read input file: ", input);
    console.report(input, error_text(result.read_error));
  }
  if (write_error != 0) return RunStatus::write_failed;
  return result.read_error != 0 ? RunStatus::read_failed : RunStatus::ok;
}

}  // namespace tnx
