// Scanners for the numbers of the input, with the syntax of a C formatted
// scan in the "C" locale and nothing more: no infinity or not-a-number
// spellings, no hexadecimal, no thousands separators. Each skips white space
// first and reports where it stopped.
#pragma once

#include <array>
#include <cstdint>

namespace tnx {

enum class ScanStatus {
  ok,
  // Only white space was left before the end of the text.
  end_of_text,
  // The text at the stop point cannot start a number of the expected kind.
  no_number,
};

struct ScanResult {
  // Just past the number when status is ok; `first` otherwise.
  const char* end;
  ScanStatus status;
};

namespace detail {
inline constexpr std::array<bool, 256> SPACE_TABLE = [] {
  std::array<bool, 256> table{};
  for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
    table[static_cast<unsigned char>(c)] = true;
  }
  return table;
}();
}  // namespace detail

// The white space of the C locale. NUL is not white space, which is what lets
// a NUL after a line's text stop every scan.
[[nodiscard]] inline bool is_space(char c) noexcept {
  return detail::SPACE_TABLE[static_cast<unsigned char>(c)];
}

[[nodiscard]] inline bool is_digit(char c) noexcept {
  return static_cast<unsigned char>(c - '0') < 10;
}

// scan_u32()
//
// Reads an optional sign and decimal digits from [first, last) after white
// space. The value wraps modulo 2^32 however many digits there are, and a
// minus sign negates it modulo 2^32 ("-1" gives 4294967295). `value` is
// written only on success.
[[nodiscard]] ScanResult scan_u32(const char* first, const char* last,
                                  std::uint32_t& value) noexcept;

// scan_i32()
//
// As scan_u32(), with the 32-bit result read as two's complement:
// "2147483648" gives -2147483648.
[[nodiscard]] ScanResult scan_i32(const char* first, const char* last,
                                  std::int32_t& value) noexcept;

// scan_double()
//
// Reads an optional sign, digits with at most one decimal point (at least one
// digit in all) and an optional exponent. An e or E and its sign are taken
// even without exponent digits; the value is then that of the digits before
// it. The result is correctly rounded; magnitudes beyond a double give an
// infinity, those below the smallest give a zero of the same sign.
[[nodiscard]] ScanResult scan_double(const char* first, const char* last,
                                     double& value) noexcept;

// scan_u32_list(), scan_double_list()
//
// Scan up to `max` numbers in a row into values[0..], as a formatted scan
// with that many directives would: stop at the end of the text, at the first
// text that cannot start a number, or after `max` numbers. Return the count
// stored, or -1 when only white space came before the end. Slots past the
// count keep what they held.
[[nodiscard]] int scan_u32_list(const char* first, const char* last,
                                std::uint32_t* values, int max) noexcept;
[[nodiscard]] int scan_double_list(const char* first, const char* last,
                                   double* values, int max) noexcept;

}  // namespace tnx
