// Streams the input into one buffer, a block per read call. The bytes not
// yet consumed always form the front of the next line; the buffer grows up
// to a fixed size at most, and a line longer than that is consumed in
// pieces, so memory does not depend on the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include "engine/file_io.hpp"
#include "engine/limits.hpp"

namespace tnx {

// The memory a block reader streams through. A reader takes one over and
// gives it back at the end, so a batch's job reads file after file through
// the same pages instead of touching new ones for each file.
class InputBuffer {
 public:
  InputBuffer() = default;
  // A buffer moved from is empty, whatever happens to the one moved to.
  InputBuffer(InputBuffer&& other) noexcept
      : bytes_(std::move(other.bytes_)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  InputBuffer& operator=(InputBuffer&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  // Room for `capacity` bytes of data; an empty buffer when the memory
  // cannot be had. The pages are touched only as data arrives.
  [[nodiscard]] static InputBuffer allocate(std::size_t capacity) noexcept;

  [[nodiscard]] std::size_t capacity() const { return capacity_; }

 private:
  friend class BlockReader;
  struct Free {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  // Grown with realloc, not a vector: the new room stays untouched until
  // data arrives, where a vector would zero-fill a new buffer beside the
  // old one. Holds LINE_PADDING bytes after the capacity.
  std::unique_ptr<char, Free> bytes_;
  std::size_t capacity_ = 0;
};

class BlockReader {
 public:
  // `block_size` bounds each read call; it is also the least capacity.
  // `buffer`, from an earlier reader, is used when it is large enough.
  // `max_capacity` (at least 2) is the most the buffer grows to; the
  // caller consumes bytes before that many are held.
  BlockReader(FileIo& io, int fd, std::size_t block_size = BLOCK_SIZE,
              InputBuffer buffer = {}, std::size_t max_capacity = BLOCK_SIZE);

  // Gives up the buffer, for a later reader; this one holds none after.
  [[nodiscard]] InputBuffer release() {
    begin_ = end_ = 0;
    return std::move(buffer_);
  }

  [[nodiscard]] char* begin() { return buffer_.bytes_.get() + begin_; }
  [[nodiscard]] char* end() { return buffer_.bytes_.get() + end_; }

  // The most unconsumed bytes fill() takes more to: with this many held,
  // some must be consumed first.
  [[nodiscard]] std::size_t max_held() const { return max_capacity_; }

  // Marks every byte before `p` (within [begin(), end()]) as used.
  void consume_to(const char* p) {
    begin_ = static_cast<std::size_t>(p - buffer_.bytes_.get());
  }

  // The offset in the input of the byte at `p` (within [begin(), end()]).
  [[nodiscard]] std::uint64_t offset_of(const char* p) const {
    return end_offset_ -
           static_cast<std::uint64_t>(buffer_.bytes_.get() + end_ - p);
  }

  // fill()
  //
  // Moves the unconsumed bytes to the front, growing the buffer when they
  // fill it, and appends at most one block read from the file. Returns the
  // count appended (0 at end of input) or the read error; ENOMEM when the
  // memory for the buffer is not there. Fewer than max_held() bytes must
  // be unconsumed. begin() and end() may move; pointers taken before the
  // call are void after it.
  [[nodiscard]] IoResult fill();

 private:
  // Gives the buffer room for `capacity` bytes of data; false, with the
  // buffer as it was, when the memory is not there.
  bool reserve(std::size_t capacity);

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
