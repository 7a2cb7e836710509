// The two passes over an input, shared by every product of the engine (the
// row file's text, rows kept as numbers, the report): the header pass fills
// the column tables and hands on the console text, and the data pass hands
// every data line, whole or put together from its pieces, to a line
// converter. InputPasses opens them over one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/buffers.hpp"
#include "engine/column_tables.hpp"
#include "engine/file_io.hpp"
#include "engine/limits.hpp"
#include "engine/line_reader.hpp"
#include "engine/line_scan.hpp"
#include "engine/long_header_line.hpp"
#include "engine/long_line_numbers.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// Whether the rows of a large regular file may be written from a thread of
// their own (when the FileIo takes writes from other threads).
enum class BackgroundWriting { allowed, never };

// How the passes read, and how a conversion writes.
struct ConversionSettings {
  // The most bytes asked of the input in one read call.
  std::size_t block_size = BLOCK_SIZE;
  // The most bytes of one line held at once (at least 2): longer lines are
  // taken in pieces. Also the most bytes of a header line's first word held
  // for its echo when the input can be read again.
  std::size_t line_limit = BLOCK_SIZE;
  BackgroundWriting background_writing = BackgroundWriting::allowed;
};

// The input, open for reading.
struct ConversionInput {
  int fd = -1;
  // What its opener tells of it: its kind, and a regular file's
  // size, a hint for the size of the reads and the row buffer.
  FileId id;
  // Whether it is read from its start, so that any of its bytes can be read
  // again by offset (a regular file opened by name; standard input may
  // start anywhere).
  bool from_start = false;
};

// What a report takes from the passes besides the rows (see
// report/findings.hpp): each is called in the order of the input.
class PassNotes {
 public:
  // Line `number` of the header was a points or events line that read
  // `count` numbers.
  virtual void header_line(std::uint64_t number, HeaderKeyword keyword,
                           int count) noexcept = 0;
  // Header line `number`, read whole.
  virtual void header_text(const Line& line, std::uint64_t number) noexcept = 0;
  // The header pass is over, with these tables.
  virtual void header_over(const ColumnTables& tables) noexcept = 0;
  // Data line `number`, whole or as the short line of its numbers.
  virtual void data_line(const Line& line, std::uint64_t number) noexcept = 0;
  // As data_line(), with what the data pass's scan of the line saw (see
  // scan_data_line() and LineScan), so the line need not be scanned again.
  virtual void data_line_scanned(const Line& line, std::uint64_t number,
                                 const LineScan& /*scan*/) noexcept {
    data_line(line, number);
  }

 protected:
  PassNotes() = default;
  PassNotes(const PassNotes&) = default;
  PassNotes& operator=(const PassNotes&) = default;
  ~PassNotes() = default;
};

// Takes the text of the header's comment lines (those whose first byte is
// '#') and of the dropped line, which no table keeps, piece by piece in
// the order of the input.
class HeaderTextSink {
 public:
  // A piece of line `number` (from 1; HEADER_LINES + 1 is the dropped
  // line), without its line end; `last` on the line's last piece.
  virtual void add(std::uint64_t number, std::string_view piece, bool last) = 0;

 protected:
  HeaderTextSink() = default;
  HeaderTextSink(const HeaderTextSink&) = default;
  HeaderTextSink& operator=(const HeaderTextSink&) = default;
  ~HeaderTextSink() = default;
};

// read_size()
//
// The size of the reads of `input`. A regular input is read in one block
// when it fits one. Its size is a hint only: a file in /proc reports 0
// whatever it holds, and a file may grow, so reads never get smaller than a
// pipe's.
[[nodiscard]] std::size_t read_size(const ConversionInput& input,
                                    std::size_t block_size);

// run_header_pass()
//
// The first HEADER_LINES lines go to the header pass whatever they hold; the
// line after them is dropped. Lines longer than the reader's buffer are
// taken in pieces, a first word of up to `hold` bytes held for the echo.
// Hands `notes`, when given, each keyword line's count and each header line
// read whole, then the tables; hands `texts`, when given, the comment
// lines and the dropped line. Returns 0 or the errno value of a failed
// read.
[[nodiscard]] int run_header_pass(LineReader& reader, ColumnTables& tables,
                                  TextOutput& text, InputAgain input,
                                  std::size_t hold, PassNotes* notes = nullptr,
                                  HeaderTextSink* texts = nullptr);

// The passes over one input, opened: its line reader, sized for the input,
// and the input to be read again for the echo of a long header line.
class InputPasses {
 public:
  // `buffer`: the input buffer to take over (see ConversionMemory).
  InputPasses(FileIo& io, const ConversionInput& input,
              const ConversionSettings& settings, InputBuffer buffer);

  // The header pass over the input (see run_header_pass()).
  [[nodiscard]] int run_header(ColumnTables& tables, TextOutput& text,
                               PassNotes* notes = nullptr,
                               HeaderTextSink* texts = nullptr) {
    return run_header_pass(reader_, tables, text, again_, hold_, notes, texts);
  }

  // The reader the data pass goes on with.
  [[nodiscard]] LineReader& reader() { return reader_; }
  [[nodiscard]] std::size_t block_size() const { return block_size_; }

 private:
  std::size_t block_size_;
  std::size_t hold_;
  LineReader reader_;
  InputAgain again_;
};

// The numbers of a data line in pieces that matter to its rows: its label
// and values. A report takes one more, to see a line go on past its last
// value.
inline constexpr int DATA_LINE_NUMBERS = MAX_COLUMNS + 1;
inline constexpr int REPORTED_LINE_NUMBERS = MAX_COLUMNS + 2;

// A data line longer than the input buffer, from its first piece in `line`
// on: its label and values (`max_numbers` numbers at most), compacted piece
// by piece, are converted like any line. Returns false when a read failed.
// Kept out of the data pass's loop, where its registers would cost every
// line an instruction.
template <class ConvertLine>
[[gnu::noinline]] bool convert_line_in_pieces(LineReader& reader, Line& line,
                                              ConvertLine convert_line,
                                              int max_numbers) {
  NumberCompactor numbers(NumberKind::integer, max_numbers);
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
  convert_line(numbers.finish());
  return true;
}

// run_data_pass()
//
// Hands every line after the header to `convert_line(const Line&)`, until
// the input ends, a read fails or `stopped()` says so (checked before each
// line). Returns 0 or the errno value of a failed read.
template <class ConvertLine, class Stopped>
int run_data_pass(LineReader& reader, ConvertLine convert_line, Stopped stopped,
                  int max_numbers = DATA_LINE_NUMBERS) {
  Line line;
  ReadStatus next = ReadStatus::line;
  while (!stopped()) {
    next = reader.next(line);
    if (next != ReadStatus::line) [[unlikely]] {
      if (next != ReadStatus::piece) break;
      if (!convert_line_in_pieces(reader, line, convert_line, max_numbers)) {
        next = ReadStatus::error;
        break;
      }
      continue;
    }
    convert_line(line);
  }
  return next == ReadStatus::error ? reader.error() : 0;
}

}  // namespace tnx
