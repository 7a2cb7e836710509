// The row file's side of the conversion: the bytes of each column formatted
// once, the formatting of labels and values, and a large buffer that goes to
// the file in few write calls.
//
// A row is "%4d %.3f %u %u" and a line end: the label field, the column's
// coordinate and events number (the column text), and the value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.hpp"
#include "header.hpp"
#include "limits.hpp"

namespace tnx {

#ifdef _WIN32
inline constexpr std::string_view ROW_END = "\r\n";
#else
inline constexpr std::string_view ROW_END = "\n";
#endif

// Longest "%d" of a 32-bit label plus its blank: "-2147483648 ".
inline constexpr std::size_t MAX_LABEL_FIELD =
    std::numeric_limits<std::int32_t>::digits10 + 3;
inline constexpr std::size_t MAX_VALUE_TEXT =
    std::numeric_limits<std::uint32_t>::digits10 + 1;
// "%.3f" of -1.8e308 is a sign, 309 digits, a point and 3 decimals; then a
// blank, the events number and a blank.
inline constexpr std::size_t MAX_COLUMN_TEXT =
    1 + 309 + 1 + 3 + 1 + MAX_VALUE_TEXT + 1;
inline constexpr std::size_t MAX_ROW_BYTES =
    MAX_LABEL_FIELD + MAX_COLUMN_TEXT + MAX_VALUE_TEXT + ROW_END.size();

// Column texts up to this size are copied with one fixed-size copy per row.
inline constexpr std::size_t SHORT_COLUMN_TEXT = 32;
// Bytes a row may write past its end; the next row or the buffer's slack
// takes them. Fixed-size copies are what make them necessary.
inline constexpr std::size_t ROW_OVERWRITE = 32;

// The label field "%4d " of one data line, formatted once for all its rows.
struct LabelField {
  std::array<char, 16> bytes{};
  std::size_t size = 0;
};
static_assert(MAX_LABEL_FIELD <= sizeof(LabelField::bytes));

[[nodiscard]] LabelField format_label_field(std::int32_t label) noexcept;

// append_u32()
//
// Writes the decimal digits of `value` at `out` and returns the end. The
// caller must provide MAX_VALUE_TEXT bytes.
char* append_u32(char* out, std::uint32_t value) noexcept;

// The text of every column, "<coordinate> <events> ", formatted once after
// the header pass and copied into every row of that column.
class ColumnTexts {
 public:
  explicit ColumnTexts(const ColumnTables& tables);

  // Writes the text of `column` at `out` and returns its end. Short texts are
  // copied as SHORT_COLUMN_TEXT bytes at once.
  char* append(char* out, int column) const noexcept {
    const std::size_t size = sizes_[static_cast<std::size_t>(column)];
    const char* text = short_[static_cast<std::size_t>(column)].data();
    if (size <= SHORT_COLUMN_TEXT) [[likely]] {
      std::memcpy(out, text, SHORT_COLUMN_TEXT);
    } else {
      std::memcpy(
          out, long_.data() + long_offsets_[static_cast<std::size_t>(column)],
          size);
    }
    return out + size;
  }

  // The largest row any data line can produce with these columns.
  [[nodiscard]] std::size_t max_row_bytes() const { return max_row_bytes_; }

 private:
  std::array<std::array<char, SHORT_COLUMN_TEXT>, MAX_COLUMNS> short_{};
  std::array<std::size_t, MAX_COLUMNS> sizes_{};
  // Texts longer than SHORT_COLUMN_TEXT (huge coordinates) live here.
  std::string long_;
  std::array<std::size_t, MAX_COLUMNS> long_offsets_{};
  std::size_t max_row_bytes_ = 0;
};

class OutputThread;

// How a RowWriter writes out its full buffers.
enum class Writing {
  // Each write call comes from the converting thread, in a fixed order:
  // what a FileSystem put in place of the system's (tests) relies on.
  in_this_thread,
  // A thread of its own writes buffers while the next ones fill, so the
  // FileSystem must take calls from two threads at once. The capacity is
  // split over several smaller buffers, so memory stays about the same.
  // Falls back to in_this_thread when no thread or no memory for the
  // buffers can be had.
  in_background,
};

class RowWriter {
 public:
  RowWriter(FileSystem& fs, int fd, std::size_t capacity = OUTPUT_BUFFER_SIZE,
            Writing writing = Writing::in_this_thread);
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;
  // Rows not flushed are dropped; a background write in progress finishes.
  ~RowWriter();

  // reserve()
  //
  // Returns a position with room for `bytes` more bytes plus ROW_OVERWRITE,
  // writing out the buffer first when needed. After a failed write the
  // position is still usable, but what goes there is discarded; failed()
  // tells.
  [[nodiscard]] char* reserve(std::size_t bytes) {
    if (capacity_ - used_ < bytes + ROW_OVERWRITE) make_room(bytes);
    return buffer_.data() + used_;
  }

  // Takes the rows written from the reserved position up to `end`.
  void commit(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_.data());
  }

  // Writes out every committed row, and waits for a background write to
  // finish. Returns false once any write failed.
  [[nodiscard]] bool flush();

  [[nodiscard]] bool failed() const { return error_ != 0; }
  [[nodiscard]] int error() const { return error_; }

 private:
  bool start_background(std::size_t capacity);
  void make_room(std::size_t bytes);
  void hand_over();
  void note_error(int error) {
    if (error_ == 0) error_ = error;
  }

  FileSystem& fs_;
  int fd_;
  std::vector<char> buffer_;
  // Rows are buffer_[0, used_); used_ + ROW_OVERWRITE <= buffer_.size().
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  // The errno value of the first failed write; in the background, as known
  // at the last hand-over.
  int error_ = 0;
  // Background writing only: the thread, and the buffers it may be writing
  // while buffer_ fills. buffer_ and the spares take turns in a fixed order,
  // so the spare taken next is always the oldest one handed over.
  std::unique_ptr<OutputThread> thread_;
  std::vector<std::vector<char>> spares_;
  std::size_t next_spare_ = 0;
};

}  // namespace tnx
