// The two passes over an input, shared by every kind of row: the header
// pass fills the column tables and hands on the console text, and the data
// pass hands every data line, whole or put together from its pieces, to a
// line converter (the row file's text, or rows kept as numbers).
#pragma once

#include <cstddef>

#include "engine/compaction.hpp"
#include "engine/conversion.hpp"
#include "engine/header.hpp"
#include "engine/line_reader.hpp"
#include "engine/text_output.hpp"

namespace tnx {

class Findings;

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
// Notes in `findings`, when given, each keyword line that read no number
// and each keyword without a line. Returns 0 or the errno value of a failed
// read.
[[nodiscard]] int run_header_pass(LineReader& reader, ColumnTables& tables,
                                  TextOutput& text, InputAgain input,
                                  std::size_t hold,
                                  Findings* findings = nullptr);

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
