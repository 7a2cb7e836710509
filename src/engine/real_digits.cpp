// A long line's real, digit by digit, and the double it reads as.
#include "engine/real_digits.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace tnx {
namespace {

// Beyond this decimal magnitude a real is out of the range of a double
// whatever its digits: at least 10^400, or below 10^-401.
constexpr std::int64_t REAL_RANGE = 400;

// Adds a digit to an exponent that stops growing once it reaches `limit`,
// as the parsers do to stay clear of overflow.
std::int64_t add_limited_digit(std::int64_t exponent, char digit,
                               std::int64_t limit) {
  return exponent < limit ? exponent * 10 + (digit - '0') : exponent;
}

}  // namespace

void RealDigits::reset() noexcept {
  significant_ = false;
  position_ = 0;
  kept_ = 0;
  sticky_ = false;
  exponent_negative_ = false;
  has_exponent_ = false;
  exponent_parsed_ = 0;
  exponent_scanned_ = 0;
}

void RealDigits::add_digit(char digit, bool fraction) noexcept {
  if (!significant_) {
    // Leading zeros: before the point they change nothing, after it they
    // move the point.
    if (digit == '0') {
      if (fraction) --position_;
      return;
    }
    significant_ = true;
  }
  if (!fraction) ++position_;
  keep_digit(digit);
}

void RealDigits::add_exponent_digit(char digit) noexcept {
  has_exponent_ = true;
  exponent_parsed_ = add_limited_digit(exponent_parsed_, digit, 1 << 28);
  exponent_scanned_ =
      add_limited_digit(exponent_scanned_, digit, 1'000'000'000);
}

double RealDigits::value() const noexcept {
  if (!significant_) return 0.0;
  const std::int64_t exponent_parsed =
      exponent_negative_ ? -exponent_parsed_ : exponent_parsed_;
  const std::int64_t exponent_scanned =
      exponent_negative_ ? -exponent_scanned_ : exponent_scanned_;
  const std::int64_t magnitude =
      position_ + (has_exponent_ ? exponent_parsed : 0);
  if (magnitude >= -REAL_RANGE && magnitude <= REAL_RANGE) {
    // 0.<kept digits><1 if sticky>e<magnitude>, which rounds as the whole.
    std::array<char, REAL_DIGITS + 16> text{};
    char* p = text.data();
    *p++ = '0';
    *p++ = '.';
    std::memcpy(p, digits_.data(), kept_);
    p += kept_;
    if (sticky_) *p++ = '1';
    *p++ = 'e';
    p = std::to_chars(p, text.data() + text.size(), magnitude).ptr;
    double read = 0.0;
    const std::from_chars_result r =
        std::from_chars(text.data(), p, read, std::chars_format::general);
    if (r.ec == std::errc()) return read;
  }
  // Out of range: scan_double() decides between infinity and zero by the
  // place of the leading digit, with the exponent as it takes it.
  const std::int64_t leading =
      position_ + (has_exponent_ ? exponent_scanned : 0) - 1;
  return leading >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace tnx
