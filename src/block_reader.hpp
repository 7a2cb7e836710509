// Streams the input into one large buffer, a block per read call. The bytes
// not yet consumed always form the front of the next line, so the buffer only
// grows when a single line is longer than it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "file_io.hpp"
#include "limits.hpp"

namespace tnx {

class BlockReader {
 public:
  // `block_size` bounds each read call; it is also the starting capacity.
  BlockReader(FileSystem& fs, int fd, std::size_t block_size = BLOCK_SIZE);

  [[nodiscard]] char* begin() { return buffer_.get() + begin_; }
  [[nodiscard]] char* end() { return buffer_.get() + end_; }

  // Marks every byte before `p` (within [begin(), end()]) as used.
  void consume_to(const char* p) {
    begin_ = static_cast<std::size_t>(p - buffer_.get());
  }

  // fill()
  //
  // Moves the unconsumed bytes to the front, growing the buffer when they
  // fill it, and appends at most one block read from the file. Returns the
  // count appended (0 at end of input) or the read error; ENOMEM when a
  // line outgrows the memory the system will give. begin() and end() may
  // move; pointers taken before the call are void after it.
  [[nodiscard]] IoResult fill();

 private:
  struct Free {
    void operator()(char* p) const noexcept { std::free(p); }
  };

  // Gives the buffer room for `capacity` bytes of data; false, with the
  // buffer as it was, when the memory is not there.
  bool reserve(std::size_t capacity);

  FileSystem& fs_;
  int fd_;
  std::size_t block_size_;
  // Bytes usable for data; the buffer holds LINE_PADDING more after them,
  // and the LINE_PADDING bytes past end_ are always zero.
  std::size_t capacity_ = 0;
  // Grown with realloc, not a vector: for a large buffer the C library moves
  // the pages to a larger mapping instead of copying them, and leaves the
  // new room untouched until data arrives, so a line of n bytes costs about
  // n bytes of memory, not a zero-filled new buffer beside the old one.
  std::unique_ptr<char, Free> buffer_;
  // Unconsumed data is [begin_, end_); begin_ <= end_ <= capacity_.
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace tnx
