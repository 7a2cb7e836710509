#include "block_reader.hpp"

#include <algorithm>
#include <cstring>

namespace tnx {

BlockReader::BlockReader(FileSystem& fs, int fd, std::size_t block_size)
    : fs_(fs),
      fd_(fd),
      block_size_(std::max<std::size_t>(block_size, 1)),
      capacity_(block_size_),
      buffer_(capacity_ + LINE_PADDING) {}

IoResult BlockReader::fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    // One line fills the whole buffer: double it, so a line of n bytes costs
    // O(n) copying in all and memory stays within twice the longest line.
    capacity_ *= 2;
    buffer_.resize(capacity_ + LINE_PADDING);
  }
  const std::size_t room = std::min(block_size_, capacity_ - end_);
  IoResult r = read_some(fs_, fd_, buffer_.data() + end_, room);
  if (r.ok()) end_ += static_cast<std::size_t>(r.value);
  return r;
}

}  // namespace tnx
