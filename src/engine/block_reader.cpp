#include "engine/block_reader.hpp"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <limits>

namespace tnx {

InputBuffer InputBuffer::allocate(std::size_t capacity) noexcept {
  InputBuffer buffer;
  if (capacity <= std::numeric_limits<std::size_t>::max() - LINE_PADDING) {
    buffer.bytes_.reset(
        static_cast<char*>(std::malloc(capacity + LINE_PADDING)));
  }
  if (buffer.bytes_ != nullptr) buffer.capacity_ = capacity;
  return buffer;
}

BlockReader::BlockReader(FileIo& io, int fd, std::size_t block_size,
                         InputBuffer buffer, std::size_t max_capacity)
    : io_(io),
      fd_(fd),
      // Two bytes at least: a CR at the end of a piece of a long line
      // waits there for the byte after it.
      max_capacity_(std::max<std::size_t>(max_capacity, 2)),
      buffer_(std::move(buffer)) {
  block_size_ = std::clamp<std::size_t>(block_size, 1, max_capacity_);
  // Without any buffer fill() reports ENOMEM, before any line; a buffer
  // taken over that cannot grow still reads in smaller blocks.
  if (buffer_.capacity_ < block_size_) (void)reserve(block_size_);
  // A buffer taken over still holds the bytes of its earlier file.
  if (buffer_.capacity_ > 0) std::memset(begin(), 0, LINE_PADDING);
}

bool BlockReader::reserve(std::size_t capacity) {
  // LINE_PADDING bytes beyond the data, for the scanners that read past a
  // line's end.
  if (capacity > std::numeric_limits<std::size_t>::max() - LINE_PADDING) {
    return false;
  }
  char* grown = static_cast<char*>(
      std::realloc(buffer_.bytes_.get(), capacity + LINE_PADDING));
  if (grown == nullptr) return false;
  (void)buffer_.bytes_.release();  // realloc took it over
  buffer_.bytes_.reset(grown);
  buffer_.capacity_ = capacity;
  return true;
}

IoResult BlockReader::fill() {
  if (buffer_.capacity_ == 0) return IoResult{0, ENOMEM};
  if (begin_ > 0) {
    std::memmove(buffer_.bytes_.get(), begin(), end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // The front of one line fills the whole buffer: double it, up to the
  // most it may hold, so a line of n bytes up to there costs O(n) in all.
  if (end_ == buffer_.capacity_) {
    assert(end_ < max_capacity_);
    if (end_ >= max_capacity_ ||
        !reserve(std::min(2 * buffer_.capacity_, max_capacity_))) {
      return IoResult{0, ENOMEM};
    }
  }
  const std::size_t room = std::min(block_size_, buffer_.capacity_ - end_);
  IoResult r = read_some(io_, fd_, end(), room);
  if (r.ok()) {
    end_ += static_cast<std::size_t>(r.value);
    end_offset_ += static_cast<std::uint64_t>(r.value);
  }
  // The scanners read up to LINE_PADDING bytes past a line's end; the line
  // reader puts a NUL at end_ for the last line, so these must be defined.
  std::memset(end(), 0, LINE_PADDING);
  return r;
}

}  // namespace tnx
