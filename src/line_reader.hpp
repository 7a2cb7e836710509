// Cuts the input into lines, whatever their length. A line is everything up
// to its newline; a CR right before the newline belongs to the line end, so
// CR LF files read exactly like LF files.
#pragma once

#include <cstddef>

#include "block_reader.hpp"
#include "file_io.hpp"
#include "limits.hpp"

namespace tnx {

// One line of the input, valid until the next call to LineReader::next().
struct Line {
  // The line's bytes without its line end. text[size] is a NUL written over
  // the line end, and LINE_PADDING bytes after it may be read (not written).
  char* text = nullptr;
  std::size_t size = 0;
  // False only for a last line that ends at the end of the input.
  bool has_newline = false;
};

enum class ReadStatus { line, end, error };

class LineReader {
 public:
  // `buffer`: the memory of an earlier reader to read through, if any.
  LineReader(FileSystem& fs, int fd, std::size_t block_size = BLOCK_SIZE,
             InputBuffer buffer = {});

  // next()
  //
  // Delivers the next line. Returns ReadStatus::end once the input is used
  // up (and on every later call), or ReadStatus::error when a read fails;
  // error() then gives its errno value.
  [[nodiscard]] ReadStatus next(Line& line);

  [[nodiscard]] int error() const { return error_; }

  // Gives up the reader's memory, for a later one; no line is read after.
  [[nodiscard]] InputBuffer release() {
    at_end_ = true;
    searched_ = 0;
    return blocks_.release();
  }

 private:
  BlockReader blocks_;
  // Bytes from blocks_.begin() already known to hold no newline, so a long
  // line is searched once, not once per block.
  std::size_t searched_ = 0;
  bool at_end_ = false;
  int error_ = 0;
};

}  // namespace tnx
