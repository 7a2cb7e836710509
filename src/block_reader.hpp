// Streams the input into one large buffer, a block per read call. The bytes
// not yet consumed always form the front of the next line, so the buffer only
// grows when a single line is longer than it.
#pragma once

#include <cstddef>
#include <vector>

#include "file_io.hpp"
#include "limits.hpp"

namespace tnx {

class BlockReader {
 public:
  // `block_size` bounds each read call; it is also the starting capacity.
  BlockReader(FileSystem& fs, int fd, std::size_t block_size = BLOCK_SIZE);

  [[nodiscard]] char* begin() { return buffer_.data() + begin_; }
  [[nodiscard]] char* end() { return buffer_.data() + end_; }

  // Marks every byte before `p` (within [begin(), end()]) as used.
  void consume_to(const char* p) {
    begin_ = static_cast<std::size_t>(p - buffer_.data());
  }

  // fill()
  //
  // Moves the unconsumed bytes to the front, growing the buffer when they
  // fill it, and appends at most one block read from the file. Returns the
  // count appended (0 at end of input) or the read error. begin() and end()
  // may move; pointers taken before the call are void after it.
  [[nodiscard]] IoResult fill();

 private:
  FileSystem& fs_;
  int fd_;
  std::size_t block_size_;
  // Bytes usable for data; buffer_ holds LINE_PADDING more after them, so
  // LINE_PADDING bytes past end_ are always allocated and initialised.
  std::size_t capacity_;
  std::vector<char> buffer_;
  // Unconsumed data is [begin_, end_); begin_ <= end_ <= capacity_.
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace tnx
