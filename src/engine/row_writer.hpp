// The row file's buffer: rows are formatted straight into it and go to the
// file in few, large write calls, from a thread of their own when the row
// file is large enough for that to pay.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "engine/file_io.hpp"
#include "engine/limits.hpp"
#include "engine/output_thread.hpp"
#include "engine/row_format.hpp"

namespace tnx {

// How a RowWriter writes out its full buffers.
enum class Writing {
  // Each write call comes from the converting thread, in a fixed order:
  // what a FileIo put in place of the system's (tests) relies on.
  in_this_thread,
  // A thread of its own writes full buffers while the next ones fill, so
  // the FileIo must take calls from two threads at once. It starts at
  // the first full buffer when `expected_bytes` is given (the caller chose
  // the background for a large file), otherwise after BACKGROUND_FROM
  // bytes. The capacity is split over several smaller buffers, so memory
  // stays about the same. Rows are written as in_this_thread until the
  // thread starts, and throughout when no thread can be had.
  in_background,
};

// A row file of unknown size.
inline constexpr std::uint64_t UNKNOWN_SIZE =
    std::numeric_limits<std::uint64_t>::max();

class RowWriter {
 public:
  // `capacity` is the most memory the rows take at once (at least enough
  // for one data line's rows). `expected_bytes`, when known, bounds the
  // size of the whole row file, and with it the buffer. `reused`, the
  // buffer of an earlier writer, is filled instead of a new one when it is
  // large enough: its pages are in place already.
  RowWriter(FileIo& io, int fd, std::size_t capacity = OUTPUT_BUFFER_SIZE,
            Writing writing = Writing::in_this_thread,
            std::uint64_t expected_bytes = UNKNOWN_SIZE, RowBuffer reused = {});
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;
  // Rows not flushed are dropped; a write in progress finishes first.
  ~RowWriter();

  // reserve()
  //
  // Returns a position with room for `bytes` more bytes (at most one data
  // line's rows) plus ROW_OVERWRITE, writing out the buffer first when
  // needed. After a failed write the position is still usable, but what
  // goes there is discarded; failed() tells. Not to be called when failed()
  // right after construction: there was no memory for the buffer.
  [[nodiscard]] char* reserve(std::size_t bytes) {
    assert(bytes <= MAX_LINE_ROWS);
    if (buffer_.capacity() - used_ < bytes) make_room();
    return buffer_.data() + used_;
  }

  // Takes the rows written from the reserved position up to `end`.
  void commit(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_.data());
  }

  // Writes out every committed row, and waits for the background writes to
  // finish. Returns false once any write failed.
  [[nodiscard]] bool flush();

  // Gives up the buffer being filled, for a later writer; to be called
  // after flush(), and nothing is written after.
  [[nodiscard]] RowBuffer release() {
    used_ = 0;
    return std::move(buffer_);
  }

  [[nodiscard]] bool failed() const { return error_ != 0; }
  [[nodiscard]] int error() const { return error_; }

  // The most one data line's rows can take.
  static constexpr std::size_t MAX_LINE_ROWS = MAX_COLUMNS * MAX_ROW_BYTES;

  // Rows of a size not known in advance go to the background only once
  // this many have been written here (see BACKGROUND_INPUT for why).
  static constexpr std::uint64_t BACKGROUND_FROM = std::uint64_t{8} << 20;

 private:
  void make_room();
  void write_here();
  void note_error(int error) {
    if (error_ == 0) error_ = error;
  }

  FileIo& io_;
  int fd_;
  // The buffer being filled: rows are buffer_.data()[0, used_), and
  // used_ <= buffer_.capacity().
  RowBuffer buffer_;
  std::size_t used_ = 0;
  // Bytes of rows written from this thread so far.
  std::uint64_t written_ = 0;
  bool may_start_thread_ = false;
  // The thread starts once written_ reaches this.
  std::uint64_t background_from_ = 0;
  // The errno value of the first failed write; in the background, as known
  // at the last hand-over.
  int error_ = 0;
  // Background writing, once started: the thread holds every full buffer
  // until it is written.
  std::unique_ptr<OutputThread> thread_;
};

}  // namespace tnx
