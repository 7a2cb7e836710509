// Scanning the numbers of a line: wrapped integers and reals.
#include "engine/number_scan.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace tnx {
namespace {

const char* skip_space(const char* p, const char* last) noexcept {
  while (p != last && is_space(*p)) ++p;
  return p;
}

// Digits and an optional minus sign, reduced modulo 2^32: unsigned
// arithmetic wraps by definition, which is exactly the rule for values
// beyond 32 bits, and so needs no overflow check.
ScanResult scan_wrapped(const char* first, const char* last,
                        std::uint32_t& value) noexcept {
  const char* p = skip_space(first, last);
  if (p == last) return {first, ScanStatus::end_of_text};
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (p == last || !is_digit(*p)) return {first, ScanStatus::no_number};
  std::uint32_t v = 0;
  for (; p != last && is_digit(*p); ++p) {
    v = v * 10u + static_cast<std::uint32_t>(*p - '0');
  }
  value = negative ? 0u - v : v;
  return {p, ScanStatus::ok};
}

// from_chars leaves the value alone when it is out of range, so this decides
// between infinity and zero. Out of range means beyond 1.8e308 or below
// 2.5e-324, so the decimal magnitude of the leading digit settles it.
double out_of_range_value(const char* digits, const char* mantissa_end,
                          std::int64_t exponent) noexcept {
  std::int64_t magnitude = exponent;
  const char* p = digits;
  while (p != mantissa_end && *p == '0') ++p;
  if (p != mantissa_end && *p != '.') {
    std::int64_t integer_digits = 0;
    for (; p != mantissa_end && is_digit(*p); ++p) ++integer_digits;
    magnitude += integer_digits - 1;
  } else {
    if (p != mantissa_end) ++p;  // the decimal point
    std::int64_t zeros = 0;
    for (; p != mantissa_end && *p == '0'; ++p) ++zeros;
    magnitude -= zeros + 1;
  }
  return magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

template <typename T, typename Scan>
int scan_list(const char* first, const char* last, T* values, int max,
              Scan scan) noexcept {
  int count = 0;
  const char* p = first;
  while (count < max) {
    T v{};
    ScanResult r = scan(p, last, v);
    if (r.status == ScanStatus::end_of_text) return count == 0 ? -1 : count;
    if (r.status != ScanStatus::ok) return count;
    values[count++] = v;
    p = r.end;
  }
  return count;
}

}  // namespace

ScanResult scan_u32(const char* first, const char* last,
                    std::uint32_t& value) noexcept {
  return scan_wrapped(first, last, value);
}

ScanResult scan_i32(const char* first, const char* last,
                    std::int32_t& value) noexcept {
  std::uint32_t bits = 0;
  ScanResult r = scan_wrapped(first, last, bits);
  // Conversion to a signed type is modular since C++20.
  if (r.status == ScanStatus::ok) value = static_cast<std::int32_t>(bits);
  return r;
}

ScanResult scan_double(const char* first, const char* last,
                       double& value) noexcept {
  const char* p = skip_space(first, last);
  if (p == last) return {first, ScanStatus::end_of_text};
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const char* digits = p;
  std::size_t digit_count = 0;
  for (; p != last && is_digit(*p); ++p) ++digit_count;
  if (p != last && *p == '.') {
    for (++p; p != last && is_digit(*p); ++p) ++digit_count;
  }
  if (digit_count == 0) return {first, ScanStatus::no_number};
  const char* mantissa_end = p;
  const char* number_end = p;
  std::int64_t exponent = 0;
  if (p != last && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative_exponent = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    const char* exponent_digits = p;
    // Saturate: any exponent past a billion is out of range either way.
    for (; p != last && is_digit(*p); ++p) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');
    }
    if (p != exponent_digits) number_end = p;
    if (negative_exponent) exponent = -exponent;
  }
  double magnitude = 0.0;
  const std::from_chars_result r = std::from_chars(
      digits, number_end, magnitude, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    magnitude = out_of_range_value(digits, mantissa_end,
                                   number_end == mantissa_end ? 0 : exponent);
  }
  value = negative ? -magnitude : magnitude;
  // The scan takes a dangling e and its sign; from_chars never sees them.
  return {p, ScanStatus::ok};
}

int scan_u32_list(const char* first, const char* last, std::uint32_t* values,
                  int max) noexcept {
  return scan_list(first, last, values, max, scan_u32);
}

int scan_double_list(const char* first, const char* last, double* values,
                     int max) noexcept {
  return scan_list(first, last, values, max, scan_double);
}

}  // namespace tnx
