// Slow, plain scanners written straight from the number syntax of the input,
// used as the reference the real scanners are compared with. They work on
// positions in a string_view, reduce modulo 2^32 with explicit 64-bit
// arithmetic, and leave the rounding of reals to strtod on the extent found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "number_scan.hpp"

namespace tnx::test {

inline bool ref_is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

inline bool ref_is_digit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
struct RefScan {
  ScanStatus status = ScanStatus::no_number;
  // Offset just past the number when status is ok, the start otherwise.
  std::size_t end = 0;
  T value{};
};

inline RefScan<std::uint32_t> ref_scan_u32(std::string_view s,
                                           std::size_t pos) {
  constexpr std::uint64_t modulus = std::uint64_t{1} << 32;
  std::size_t i = pos;
  while (i < s.size() && ref_is_space(s[i])) ++i;
  if (i == s.size()) return {ScanStatus::end_of_text, pos, 0};
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  if (i == s.size() || !ref_is_digit(s[i])) {
    return {ScanStatus::no_number, pos, 0};
  }
  std::uint64_t v = 0;
  for (; i < s.size() && ref_is_digit(s[i]); ++i) {
    v = (v * 10 + static_cast<std::uint64_t>(s[i] - '0')) % modulus;
  }
  if (negative) v = (modulus - v) % modulus;
  return {ScanStatus::ok, i, static_cast<std::uint32_t>(v)};
}

inline RefScan<std::int32_t> ref_scan_i32(std::string_view s, std::size_t pos) {
  const RefScan<std::uint32_t> u = ref_scan_u32(s, pos);
  const std::int64_t bits = u.value;
  const std::int64_t value =
      bits >= (std::int64_t{1} << 31) ? bits - (std::int64_t{1} << 32) : bits;
  return {u.status, u.end, static_cast<std::int32_t>(value)};
}

inline RefScan<double> ref_scan_double(std::string_view s, std::size_t pos) {
  std::size_t i = pos;
  while (i < s.size() && ref_is_space(s[i])) ++i;
  if (i == s.size()) return {ScanStatus::end_of_text, pos, 0.0};
  const std::size_t start = i;
  if (s[i] == '+' || s[i] == '-') ++i;
  std::size_t digits = 0;
  for (; i < s.size() && ref_is_digit(s[i]); ++i) ++digits;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && ref_is_digit(s[i]); ++i) ++digits;
  }
  if (digits == 0) return {ScanStatus::no_number, pos, 0.0};
  std::size_t value_end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t exponent_start = i;
    while (i < s.size() && ref_is_digit(s[i])) ++i;
    // Without exponent digits the value is that of the digits before the e.
    if (i > exponent_start) value_end = i;
  }
  const std::string extent(s.substr(start, value_end - start));
  return {ScanStatus::ok, i, std::strtod(extent.c_str(), nullptr)};
}

// As a formatted scan with `max` directives: the count stored, or -1 when
// only white space came before the end.
template <typename T, typename Scan>
int ref_scan_list(std::string_view s, T* values, int max, Scan scan) {
  int count = 0;
  std::size_t pos = 0;
  while (count < max) {
    const RefScan<T> r = scan(s, pos);
    if (r.status == ScanStatus::end_of_text) return count == 0 ? -1 : count;
    if (r.status != ScanStatus::ok) return count;
    values[count++] = r.value;
    pos = r.end;
  }
  return count;
}

}  // namespace tnx::test
