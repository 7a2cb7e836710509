// The row file's buffer, written here or handed to the writer thread.
#include "engine/row_writer.hpp"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace tnx {

RowWriter::RowWriter(FileIo& io, int fd, std::size_t capacity, Writing writing,
                     std::uint64_t expected_bytes, RowBuffer reused)
    : io_(io),
      fd_(fd),
      may_start_thread_(writing == Writing::in_background),
      background_from_(expected_bytes == UNKNOWN_SIZE ? BACKGROUND_FROM : 0) {
  // In the background the capacity is split in half-size buffers, of which
  // up to OutputThread::MAX_QUEUED wait to be written while one fills.
  std::size_t size = may_start_thread_ ? capacity / 2 : capacity;
  if (expected_bytes < size) size = static_cast<std::size_t>(expected_bytes);
  size = std::max(size, MAX_LINE_ROWS);
  // A larger buffer is fine to fill, except where a writer thread may
  // start: it makes its further buffers as large as the first.
  const bool fits = reused.capacity() >= size &&
                    (!may_start_thread_ || reused.capacity() == size);
  if (fits) {
    buffer_ = std::move(reused);
  } else {
    reused.reset();  // its memory goes back before more is taken
    buffer_ = RowBuffer::allocate(size);
  }
  if (buffer_.empty()) error_ = ENOMEM;
}

RowWriter::~RowWriter() = default;

void RowWriter::write_here() {
  if (used_ > 0 && error_ == 0) {
    const IoResult r = write_all(io_, fd_, buffer_.data(), used_);
    if (!r.ok()) error_ = r.error;
  }
  written_ += used_;
  used_ = 0;
}

void RowWriter::make_room() {
  if (thread_ == nullptr && may_start_thread_ &&
      written_ + used_ >= background_from_) {
    // From here on each write overlaps the formatting of the next buffer.
    may_start_thread_ = false;
    thread_ = OutputThread::start(io_, fd_);
  }
  if (thread_ == nullptr) {
    write_here();
    return;
  }
  int write_error = 0;
  RowBuffer next = thread_->exchange(std::move(buffer_), used_, write_error);
  note_error(write_error);
  buffer_ = std::move(next);
  used_ = 0;
}

bool RowWriter::flush() {
  if (thread_ == nullptr) {
    write_here();
    return error_ == 0;
  }
  make_room();
  note_error(thread_->wait());
  return error_ == 0;
}

}  // namespace tnx
