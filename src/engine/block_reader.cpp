// The block reader's refills: a block per read call, the unread front kept.
#include "engine/block_reader.hpp"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>

namespace tnx {

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
  if (buffer_.capacity() < block_size_) (void)buffer_.resize(block_size_);
  // A buffer taken over still holds the bytes of its earlier file.
  if (buffer_.capacity() > 0) std::memset(begin(), 0, LINE_PADDING);
}

IoResult BlockReader::fill(std::size_t most_held) {
  if (buffer_.capacity() == 0) return IoResult{0, ENOMEM};
  if (begin_ > 0) {
    std::memmove(buffer_.data(), begin(), end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  assert(end_ < most_held && most_held <= max_capacity_);
  // The front of one line fills the whole buffer: double it, up to the
  // most it may hold, so a line of n bytes up to there costs O(n) in all.
  if (end_ == buffer_.capacity()) {
    if (end_ >= max_capacity_ ||
        !buffer_.resize(std::min(2 * buffer_.capacity(), max_capacity_))) {
      return IoResult{0, ENOMEM};
    }
  }
  const std::size_t room =
      std::min({block_size_, buffer_.capacity() - end_, most_held - end_});
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
