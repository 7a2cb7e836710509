// The memory a conversion streams through: the input buffer, which the line
// reader's scanners read past the end of a line, and the row buffers, which
// the row layout's fixed-size copies write past the end of a row. Both are
// left uninitialised, so a small file touches only the pages it reaches,
// and both change hands by moving: a batch's job converts file after file
// in the same pages, and a full row buffer goes to the writer thread.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>

#include "engine/limits.hpp"

namespace tnx {

// `capacity` bytes for data and PADDING bytes of room after them, from the
// heap. Grown with realloc, not a vector: the new room stays untouched until
// data arrives, where a vector would zero-fill a new buffer beside the old
// one.
template <std::size_t PADDING>
class PaddedBuffer {
 public:
  PaddedBuffer() = default;
  // A buffer moved from is empty, whatever happens to the one moved to.
  PaddedBuffer(PaddedBuffer&& other) noexcept
      : bytes_(std::move(other.bytes_)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  PaddedBuffer& operator=(PaddedBuffer&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  // Room for `capacity` bytes; an empty buffer when the memory cannot be
  // had.
  [[nodiscard]] static PaddedBuffer allocate(std::size_t capacity) noexcept {
    PaddedBuffer buffer;
    (void)buffer.resize(capacity);
    return buffer;
  }

  // resize()
  //
  // Gives the buffer room for `capacity` bytes, keeping the bytes that fit.
  // Returns false, with the buffer as it was, when the memory is not there.
  [[nodiscard]] bool resize(std::size_t capacity) noexcept {
    if (capacity > std::numeric_limits<std::size_t>::max() - PADDING) {
      return false;
    }
    char* moved =
        static_cast<char*>(std::realloc(bytes_.get(), capacity + PADDING));
    if (moved == nullptr) return false;
    (void)bytes_.release();  // realloc took it over
    bytes_.reset(moved);
    capacity_ = capacity;
    return true;
  }

  [[nodiscard]] char* data() const noexcept { return bytes_.get(); }
  [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
  [[nodiscard]] bool empty() const noexcept { return bytes_ == nullptr; }
  // Gives the memory back; the buffer is empty after.
  void reset() noexcept {
    bytes_.reset();
    capacity_ = 0;
  }

 private:
  struct Free {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<char, Free> bytes_;
  std::size_t capacity_ = 0;
};

// The input, with LINE_PADDING bytes after it for the scanners.
using InputBuffer = PaddedBuffer<LINE_PADDING>;

// Rows, with ROW_OVERWRITE bytes of room after them for the last row's
// fixed-size copies.
using RowBuffer = PaddedBuffer<ROW_OVERWRITE>;

}  // namespace tnx
