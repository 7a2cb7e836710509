// The closer look at a line's odd parts: numbers off the scanner's fast
// path, and values that stop short of the line's end.
#include "engine/line_scan.hpp"

#include <cstddef>
#include <cstring>

#include "engine/limits.hpp"
#include "engine/number_scan.hpp"

namespace tnx {
namespace {

// A number's text as the scanners read it: an optional sign, then digits.
struct ScannedNumber {
  bool negative = false;
  // The digits' value, exact up to 2^32; `beyond` once it is larger.
  std::uint64_t magnitude = 0;
  bool beyond = false;
  // The digits' value modulo 2^32, as the scanners keep it.
  std::uint32_t wrapped = 0;

  // What the number reads as: negated modulo 2^32 after a minus sign.
  [[nodiscard]] std::uint32_t result() const noexcept {
    return negative ? 0U - wrapped : wrapped;
  }
};

// The number [first, end), which the scanner took whole.
ScannedNumber read_scanned_number(const char* first, const char* end) noexcept {
  ScannedNumber number;
  if (*first == '+' || *first == '-') {
    number.negative = *first == '-';
    ++first;
  }
  for (; first != end; ++first) {
    const auto digit = static_cast<unsigned>(*first - '0');
    number.wrapped = number.wrapped * 10U + digit;
    if (!number.beyond) {
      number.magnitude = number.magnitude * 10U + digit;
      number.beyond = number.magnitude > UINT32_MAX;
    }
  }
  return number;
}

}  // namespace

void LineScan::label_scanned(const char* from, const char* end) noexcept {
  while (is_space(*from)) ++from;
  const ScannedNumber label = read_scanned_number(from, end);
  // A label is read as a 32-bit two's complement number.
  const std::uint64_t limit =
      label.negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  if (label.beyond || label.magnitude > limit) {
    wrap_first = from;
    wrap_last = end;
    wrap_column = 0;
    wrap_result = label.result();
  }
}

void LineScan::value_scanned(const char* first, const char* end,
                             int column) noexcept {
  if (wrap_first != nullptr) return;
  const ScannedNumber value = read_scanned_number(first, end);
  // A value is unsigned: a minus sign before anything but zero wraps it.
  if (value.beyond || (value.negative && value.magnitude != 0)) {
    wrap_first = first;
    wrap_last = end;
    wrap_column = column;
    wrap_result = value.result();
  }
}

void LineScan::no_label(const Line& line) noexcept {
  const char* p = line.text;
  // The NUL after the text is no white space: the skip stops there.
  while (is_space(*p)) ++p;
  if (p == line.text + line.size) {
    blank = true;
    return;
  }
  stop = p;
  nul = static_cast<const char*>(std::memchr(line.text, '\0', line.size));
}

void LineScan::stopped_short(const Line& line, const char* at) noexcept {
  while (is_space(*at)) ++at;
  if (at == line.text + line.size) return;
  stop = at;
  stopped_at_count = values == MAX_COLUMNS;
  nul = static_cast<const char*>(std::memchr(line.text, '\0', line.size));
}

}  // namespace tnx
