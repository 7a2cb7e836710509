// Streams the input into one buffer, a block per read call. The bytes not
// yet consumed always form the front of the next line; the buffer grows up
// to a fixed size at most, and a line longer than that is consumed in
// pieces, so memory does not depend on the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/buffers.hpp"
#include "engine/file_io.hpp"
#include "engine/limits.hpp"

namespace tnx {

class BlockReader {
 public:
  // `block_size` bounds each read call; it is also the least capacity.
  // `buffer`, from an earlier reader, is used when it is large enough.
  // `max_capacity` (at least 2) is the most the buffer grows to.
  BlockReader(FileIo& io, int fd, std::size_t block_size = BLOCK_SIZE,
              InputBuffer buffer = {}, std::size_t max_capacity = BLOCK_SIZE);

  // Gives up the buffer, for a later reader; this one holds none after.
  [[nodiscard]] InputBuffer release() {
    begin_ = end_ = 0;
    return std::move(buffer_);
  }

  [[nodiscard]] char* begin() { return buffer_.data() + begin_; }
  [[nodiscard]] char* end() { return buffer_.data() + end_; }

  // Marks every byte before `p` (within [begin(), end()]) as used.
  void consume_to(const char* p) {
    begin_ = static_cast<std::size_t>(p - buffer_.data());
  }

  // The offset in the input of the byte at `p` (within [begin(), end()]).
  [[nodiscard]] std::uint64_t offset_of(const char* p) const {
    return end_offset_ - static_cast<std::uint64_t>(buffer_.data() + end_ - p);
  }

  // fill()
  //
  // Moves the unconsumed bytes to the front, growing the buffer when they
  // fill it, and appends at most one block read from the file, and no more
  // than leaves `most_held` bytes unconsumed. Returns the count appended (0
  // at end of input) or the read error; ENOMEM when the memory for the
  // buffer is not there. Fewer than `most_held` bytes must be unconsumed,
  // and `most_held` is at most max_held(). begin() and end() may move;
  // pointers taken before the call are void after it.
  [[nodiscard]] IoResult fill(std::size_t most_held);

 private:
  FileIo& io_;
  int fd_;
  std::size_t block_size_;
  std::size_t max_capacity_;
  // The LINE_PADDING bytes past end_ are always zero.
  InputBuffer buffer_;
  // Unconsumed data is [begin_, end_); begin_ <= end_ <= buffer_.capacity().
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  // The offset in the input of the byte at end_: every byte read so far.
  std::uint64_t end_offset_ = 0;
};

}  // namespace tnx
