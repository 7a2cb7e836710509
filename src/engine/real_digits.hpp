// A real number of a long line, taken digit by digit as its pieces come:
// its significant digits and its exponent, and the double they read as,
// which the compacted line writes for it (see long_line_numbers.hpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tnx {

class RealDigits {
 public:
  // Significant digits of a real kept as they stand; a non-zero digit
  // stands for every later one that is not zero. No halfway point between
  // two doubles (nor the limits of overflow and underflow) takes more than
  // 767 significant digits, so no kept prefix plus that digit rounds
  // differently from the whole.
  static constexpr std::size_t REAL_DIGITS = 800;

  // Ready for the next number (the digits kept are overwritten, not
  // cleared).
  void reset() noexcept;

  // A digit of the number, before its point or (`fraction`) after it.
  void add_digit(char digit, bool fraction) noexcept;

  // The exponent's sign, and its next digit.
  void set_exponent_negative() noexcept { exponent_negative_ = true; }
  void add_exponent_digit(char digit) noexcept;

  // value()
  //
  // The double the digits and the exponent read as, without the number's
  // sign, as scan_double() reads the whole text: correctly rounded,
  // infinity or zero out of range.
  [[nodiscard]] double value() const noexcept;

 private:
  void keep_digit(char digit) noexcept {
    if (kept_ < REAL_DIGITS) {
      digits_[kept_++] = digit;
    } else if (digit != '0') {
      sticky_ = true;
    }
  }

  // The significant digits (from the first that is not zero), kept_ of
  // them as they stand and sticky_ when a later one is not zero;
  // `position_` is where the point stands: the value is
  // 0.<digits> * 10^(position_ + exponent).
  bool significant_ = false;
  std::int64_t position_ = 0;
  std::size_t kept_ = 0;
  bool sticky_ = false;
  std::array<char, REAL_DIGITS> digits_{};
  // The exponent's digits, as std::from_chars takes them (which stops
  // adding digits at 2^28) and as scan_double() takes them (at 10^9).
  bool exponent_negative_ = false;
  bool has_exponent_ = false;
  std::int64_t exponent_parsed_ = 0;
  std::int64_t exponent_scanned_ = 0;
};

}  // namespace tnx
