#include "block_reader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace tnx {

BlockReader::BlockReader(FileSystem& fs, int fd, std::size_t block_size)
    : fs_(fs), fd_(fd), block_size_(std::max<std::size_t>(block_size, 1)) {
  // Without its first block fill() reports ENOMEM, before any line.
  (void)reserve(block_size_);
}

bool BlockReader::reserve(std::size_t capacity) {
  // LINE_PADDING bytes beyond the data, for the scanners that read past a
  // line's end.
  if (capacity > std::numeric_limits<std::size_t>::max() - LINE_PADDING) {
    return false;
  }
  char* grown =
      static_cast<char*>(std::realloc(buffer_.get(), capacity + LINE_PADDING));
  if (grown == nullptr) return false;
  (void)buffer_.release();  // realloc took it over
  buffer_.reset(grown);
  if (capacity_ == 0) std::memset(grown, 0, LINE_PADDING);
  capacity_ = capacity;
  return true;
}

IoResult BlockReader::fill() {
  if (capacity_ == 0) return IoResult{0, ENOMEM};
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // One line fills the whole buffer: double it, so a line of n bytes costs
  // O(n) in all.
  if (end_ == capacity_ && !reserve(2 * capacity_)) {
    return IoResult{0, ENOMEM};
  }
  const std::size_t room = std::min(block_size_, capacity_ - end_);
  IoResult r = read_some(fs_, fd_, buffer_.get() + end_, room);
  if (r.ok()) end_ += static_cast<std::size_t>(r.value);
  // The scanners read up to LINE_PADDING bytes past a line's end; the line
  // reader puts a NUL at end_ for the last line, so these must be defined.
  std::memset(buffer_.get() + end_, 0, LINE_PADDING);
  return r;
}

}  // namespace tnx
