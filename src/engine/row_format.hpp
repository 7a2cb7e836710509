// The layout of a row, in one place. A row is "%4d %.3f %u %u" and a line
// end: the label field of its data line, the column text (the column's
// coordinate and events number), and the value. Column texts are formatted
// once after the header pass and label fields once per data line, so a row
// is three copies and a value; digits that already read as "%u" prints them
// are copied from the input as they stand.
//
// Every copy here has a fixed size, whatever the size of what it copies,
// which keeps the per-row path free of loops and library calls: the reads
// rely on the LINE_PADDING bytes after every line, the writes on
// ROW_OVERWRITE bytes of room after every row.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "engine/column_tables.hpp"
#include "engine/limits.hpp"
#include "engine/line_end.hpp"

namespace tnx {

inline constexpr std::string_view ROW_END = LINE_END;

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
// Value digits are copied as this many bytes, which holds the longest.
inline constexpr std::size_t VALUE_COPY = 16;
static_assert(MAX_VALUE_TEXT <= VALUE_COPY && VALUE_COPY <= LINE_PADDING);

// The label field "%4d " of one data line, formatted once for all its rows.
struct LabelField {
  std::array<char, 16> bytes{};
  std::size_t size = 0;
};
static_assert(MAX_LABEL_FIELD <= sizeof(LabelField::bytes));

[[nodiscard]] LabelField format_label_field(std::int32_t label) noexcept;

// label_field_from_text()
//
// Builds the field straight from the label's text at `text` (a minus sign
// when `negative`, then `digits` digits) when that text is what "%d" prints:
// one to nine digits without a leading zero, and no "-0" (nine digits are
// surely within 32 bits). Returns false, leaving `field` alone, for any
// other text, which the caller then scans and formats. Reads 16 bytes at
// `text`.
[[nodiscard]] inline bool label_field_from_text(const char* text,
                                                std::size_t digits,
                                                bool negative,
                                                LabelField& field) noexcept {
  const char first_digit = text[negative ? 1 : 0];
  if (digits - 1 >= 9 || (first_digit == '0' && (digits != 1 || negative))) {
    return false;
  }
  const std::size_t width = digits + (negative ? 1 : 0);
  // Right-aligned in at least four characters, as "%4d" does.
  const std::size_t pad = width < 4 ? 4 - width : 0;
  char bytes[32];
  std::memset(bytes, ' ', sizeof bytes);
  std::memcpy(bytes + pad, text, 16);
  bytes[pad + width] = ' ';
  std::memcpy(field.bytes.data(), bytes, field.bytes.size());
  field.size = pad + width + 1;
  return true;
}

// is_canonical_u32()
//
// Whether `n` digits at `digits` are exactly what "%u" prints for their
// value: no leading zero, and within 32 bits.
[[nodiscard]] inline bool is_canonical_u32(const char* digits,
                                           std::size_t n) noexcept {
  // One unsigned comparison rejects both n == 0 and n >= MAX_VALUE_TEXT.
  if (n - 1 < MAX_VALUE_TEXT - 1) return digits[0] != '0' || n == 1;
  // Ten digits without a leading zero: below 4000000000 the leading digit
  // decides.
  return n == MAX_VALUE_TEXT && digits[0] != '0' &&
         (digits[0] < '4' || std::memcmp(digits, "4294967295", n) <= 0);
}

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
    const auto j = static_cast<std::size_t>(column);
    const std::size_t size = sizes_[j];
    if (size <= SHORT_COLUMN_TEXT) [[likely]] {
      std::memcpy(out, short_[j].data(), SHORT_COLUMN_TEXT);
    } else {
      std::memcpy(out, long_.data() + long_offsets_[j], size);
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

// The rows of one data line, written one after the other from a position
// with room for MAX_COLUMNS rows of ColumnTexts::max_row_bytes() each (and
// ROW_OVERWRITE more).
class LineRows {
 public:
  LineRows(char* out, const LabelField& label,
           const ColumnTexts& columns) noexcept
      : out_(out), label_(label), columns_(columns) {}

  [[nodiscard]] int count() const noexcept { return column_; }
  [[nodiscard]] bool full() const noexcept { return column_ == MAX_COLUMNS; }
  [[nodiscard]] char* end() const noexcept { return out_; }

  // The next row, its value `n` canonical digits at `digits` copied as
  // they stand (VALUE_COPY bytes are read there).
  [[gnu::always_inline]] void append_digits(const char* digits,
                                            std::size_t n) noexcept {
    char* p = start_row();
    std::memcpy(p, digits, VALUE_COPY);
    end_row(p + n);
  }

  // The next row, its value formatted.
  void append_value(std::uint32_t value) noexcept {
    end_row(append_u32(start_row(), value));
  }

 private:
  [[gnu::always_inline]] char* start_row() noexcept {
    std::memcpy(out_, label_.bytes.data(), label_.bytes.size());
    return columns_.append(out_ + label_.size, column_);
  }

  [[gnu::always_inline]] void end_row(char* p) noexcept {
    std::memcpy(p, ROW_END.data(), ROW_END.size());
    out_ = p + ROW_END.size();
    ++column_;
  }

  char* out_;
  const LabelField& label_;
  const ColumnTexts& columns_;
  // The column of the next row.
  int column_ = 0;
};

}  // namespace tnx
