// Cuts the input into lines, whatever their length. A line is everything up
// to its newline; a CR right before the newline belongs to the line end, so
// CR LF files read exactly like LF files. A line longer than the line limit,
// its line end not counted, is handed on in pieces, so memory stays bounded
// for any input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/block_reader.hpp"
#include "engine/file_io.hpp"
#include "engine/limits.hpp"

namespace tnx {

// One line of the input, or one piece of a long line, valid until the next
// call to the LineReader.
struct Line {
  // The bytes without the line end. In a whole line (or the last piece of
  // a long one) text[size] is a NUL written over the line end, and
  // LINE_PADDING bytes after it may be read (not written); in an earlier
  // piece text[size] is the first byte of the next piece, not a NUL.
  char* text = nullptr;
  std::size_t size = 0;
  // False for a last line that ends at the end of the input, and for every
  // piece of a long line but its last.
  bool has_newline = false;
};

enum class ReadStatus {
  // A whole line, or the last piece of one.
  line,
  // A piece of a line longer than the reader holds, which more follow.
  piece,
  end,
  error,
};

class LineReader {
 public:
  // `buffer`: the memory of an earlier reader to read through, if any.
  // `line_limit` (at least 1): the longest line delivered whole, its line
  // end not counted, whether LF or CR LF; a longer line comes in pieces.
  // The buffer holds at most the limit and a line end (2 bytes).
  LineReader(FileIo& io, int fd, std::size_t block_size = BLOCK_SIZE,
             InputBuffer buffer = {}, std::size_t line_limit = BLOCK_SIZE);

  // next()
  //
  // Delivers the next line whole when its text is no longer than the line
  // limit (ReadStatus::line), otherwise its first piece (ReadStatus::piece),
  // after which next_piece() or pass_over_rest_of_line() must come before
  // next() again. Returns ReadStatus::end once the input is used up (and on
  // every later call), or ReadStatus::error when a read fails; error() then
  // gives its errno value.
  [[nodiscard]] ReadStatus next(Line& line);

  // next_piece()
  //
  // Delivers the next piece of the line whose last piece was not delivered
  // yet: ReadStatus::piece when more follow, ReadStatus::line for the last
  // one, or ReadStatus::error. A piece holds at least one byte, but the
  // last one may be empty. A CR at the end of the bytes held waits for the
  // next piece, which then tells whether it ends the line.
  [[nodiscard]] ReadStatus next_piece(Line& line);

  // pass_over_rest_of_line()
  //
  // Consumes the rest of the line whose last piece was not delivered yet,
  // up to its newline, for a line whose rest can change nothing. Returns
  // false when a read failed (error() tells).
  [[nodiscard]] bool pass_over_rest_of_line();

  [[nodiscard]] int error() const { return error_; }

  // The offset in the input of `p`, a byte of the line or piece delivered
  // last (or the byte after it).
  [[nodiscard]] std::uint64_t offset_of(const char* p) const {
    return blocks_.offset_of(p);
  }

  // Gives up the reader's memory, for a later one; no line is read after.
  [[nodiscard]] InputBuffer release() {
    at_end_ = true;
    searched_ = 0;
    in_line_ = false;
    return blocks_.release();
  }

 private:
  // Delivers a line, or the next piece of one when `continuing`: two
  // copies, so the one for every line tests nothing for the pieces.
  // Inlined into next() whatever its size: a call costs every line of the
  // data pass an instruction more.
  template <bool continuing>
  [[gnu::always_inline]] inline ReadStatus deliver(Line& line);
  // Appends a block to the unconsumed bytes, leaving at most `most_held`;
  // false on a read error.
  bool fill(std::size_t most_held);

  BlockReader blocks_;
  std::size_t line_limit_;
  // Bytes from blocks_.begin() already known to hold no newline, so a long
  // line is searched once, not once per block.
  std::size_t searched_ = 0;
  bool at_end_ = false;
  // A piece of a line was delivered and its last piece was not: what
  // next() must not meet (checked in debug builds; a test per line would
  // cost every line).
  bool in_line_ = false;
  int error_ = 0;
};

}  // namespace tnx
