// Formatting the fields of a row: labels, column texts, values.
#include "engine/row_format.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <string_view>

namespace tnx {
namespace {

// Two digits per table entry halve the divisions of a formatted integer.
constexpr std::array<char, 200> DIGIT_PAIRS = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

std::size_t count_digits(std::uint32_t value) noexcept {
  std::size_t n = 1;
  for (std::uint32_t v = value; v >= 10; v /= 10) ++n;
  return n;
}

}  // namespace

char* append_u32(char* out, std::uint32_t value) noexcept {
  const std::size_t size = count_digits(value);
  char* p = out + size;
  while (value >= 100) {
    const std::size_t pair = 2 * static_cast<std::size_t>(value % 100);
    value /= 100;
    p -= 2;
    p[0] = DIGIT_PAIRS[pair];
    p[1] = DIGIT_PAIRS[pair + 1];
  }
  if (value >= 10) {
    const std::size_t pair = 2 * std::size_t{value};
    p -= 2;
    p[0] = DIGIT_PAIRS[pair];
    p[1] = DIGIT_PAIRS[pair + 1];
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return out + size;
}

LabelField format_label_field(std::int32_t label) noexcept {
  // The digits go backwards into a run of blanks, so the padding of "%4d"
  // is already in place: the field is the last max(4, width) characters
  // before the closing blank. Fixed-size fills and copies compile to a few
  // stores, where sized ones would call the library once per data line.
  char text[32];
  std::memset(text, ' ', sizeof text);
  char* const end = text + 16;
  char* p = end;
  // The magnitude of INT32_MIN only fits unsigned.
  std::uint32_t magnitude = label < 0 ? 0u - static_cast<std::uint32_t>(label)
                                      : static_cast<std::uint32_t>(label);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (label < 0) *--p = '-';
  const char* const first = std::min<const char*>(p, end - 4);
  LabelField field;
  std::memcpy(field.bytes.data(), first, field.bytes.size());
  field.size = static_cast<std::size_t>(end + 1 - first);
  return field;
}

ColumnTexts::ColumnTexts(const ColumnTables& tables) {
  std::size_t longest = 0;
  // Columns no header line describes, most of them in a file of few
  // columns, all have this text.
  constexpr std::string_view undescribed = "0.000 0 ";
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    if (std::bit_cast<std::uint64_t>(tables.points[j]) == 0 &&
        tables.events[j] == 0) {
      sizes_[j] = undescribed.size();
      std::memcpy(short_[j].data(), undescribed.data(), undescribed.size());
      longest = std::max(longest, undescribed.size());
      continue;
    }
    // "%.3f %u ". to_chars gives exactly what printf does with precision 3
    // in the "C" locale, at a third of the cost: the column texts are most
    // of the work a small file makes after the process start.
    char text[MAX_COLUMN_TEXT];
    char* end = std::to_chars(text, text + MAX_COLUMN_TEXT, tables.points[j],
                              std::chars_format::fixed, 3)
                    .ptr;
    *end++ = ' ';
    end = append_u32(end, tables.events[j]);
    *end++ = ' ';
    const auto n = static_cast<std::size_t>(end - text);
    sizes_[j] = n;
    if (n <= SHORT_COLUMN_TEXT) {
      std::memcpy(short_[j].data(), text, n);
    } else {
      long_offsets_[j] = long_.size();
      long_.append(text, n);
    }
    longest = std::max(longest, n);
  }
  max_row_bytes_ = MAX_LABEL_FIELD + longest + MAX_VALUE_TEXT + ROW_END.size();
}

}  // namespace tnx
