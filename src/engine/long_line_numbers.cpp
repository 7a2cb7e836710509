// The numbers of a long line, compacted piece by piece into a short line.
#include "engine/long_line_numbers.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include "engine/number_scan.hpp"

namespace tnx {
namespace {

// Beyond this decimal magnitude a real is out of the range of a double
// whatever its digits: at least 10^400, or below 10^-401.
constexpr std::int64_t REAL_RANGE = 400;

// Adds a digit to an exponent that stops growing once it reaches `limit`,
// as the parsers do to stay clear of overflow.
std::int64_t add_exponent_digit(std::int64_t exponent, char digit,
                                std::int64_t limit) {
  return exponent < limit ? exponent * 10 + (digit - '0') : exponent;
}

}  // namespace

NumberCompactor::NumberCompactor(NumberKind kind, int max_numbers) noexcept
    : kind_(kind), max_numbers_(max_numbers) {
  assert(max_numbers > 0 && max_numbers <= MAX_COLUMNS + 2);
}

void NumberCompactor::begin_number(bool negative) noexcept {
  negative_ = negative;
  value_ = 0;
  significant_ = false;
  position_ = 0;
  kept_ = 0;
  sticky_ = false;
  exponent_negative_ = false;
  has_exponent_ = false;
  exponent_parsed_ = 0;
  exponent_scanned_ = 0;
}

bool NumberCompactor::add(const char* p, const char* last) noexcept {
  // A byte is looked at again after a state change that does not take it.
  while (p != last && state_ != State::stopped) {
    switch (state_) {
      case State::between: p = take_between(p, last); break;
      case State::sign:
      case State::point: p = take_number_start(p); break;
      case State::integer_part:
      case State::fraction: p = take_digits(p, last); break;
      case State::exponent_mark:
      case State::exponent_sign:
      case State::exponent_digits: p = take_exponent(p, last); break;
      case State::stopped: break;
    }
  }
  return state_ != State::stopped;
}

const char* NumberCompactor::take_between(const char* p,
                                          const char* last) noexcept {
  const char c = *p;
  if (is_space(c)) {
    while (++p != last && is_space(*p)) {
    }
  } else if (c == '+' || c == '-') {
    begin_number(c == '-');
    state_ = State::sign;
    ++p;
  } else if (is_digit(c)) {
    begin_number(false);
    state_ = State::integer_part;
  } else if (c == '.' && kind_ == NumberKind::real) {
    begin_number(false);
    state_ = State::point;
    ++p;
  } else {
    end_list(c == '\0');
  }
  return p;
}

const char* NumberCompactor::take_number_start(const char* p) noexcept {
  if (is_digit(*p)) {
    state_ = state_ == State::sign ? State::integer_part : State::fraction;
    return p;
  }
  if (state_ == State::sign && *p == '.' && kind_ == NumberKind::real) {
    state_ = State::point;
    return p + 1;
  }
  end_list(false);
  return p;
}

const char* NumberCompactor::take_digits(const char* p,
                                         const char* last) noexcept {
  const bool real = kind_ == NumberKind::real;
  const bool fraction = state_ == State::fraction;
  if (!real) {
    // Unsigned arithmetic wraps, which is the rule.
    for (; p != last && is_digit(*p); ++p) {
      value_ = value_ * 10u + static_cast<std::uint32_t>(*p - '0');
    }
  } else {
    for (; p != last && is_digit(*p); ++p) take_real_digit(*p, fraction);
  }
  if (p == last) return p;
  if (real && !fraction && *p == '.') {
    state_ = State::fraction;
    return p + 1;
  }
  if (real && (*p == 'e' || *p == 'E')) {
    state_ = State::exponent_mark;
    return p + 1;
  }
  // Anything else ends the number; after a fraction, a second point starts
  // the next number, like a sign.
  end_number();
  return p;
}

void NumberCompactor::take_real_digit(char digit, bool fraction) noexcept {
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

const char* NumberCompactor::take_exponent(const char* p,
                                           const char* last) noexcept {
  const char c = *p;
  if (state_ == State::exponent_mark && (c == '+' || c == '-')) {
    exponent_negative_ = c == '-';
    state_ = State::exponent_sign;
    return p + 1;
  }
  if (state_ != State::exponent_digits) {
    // The e (and its sign) is taken without digits and leaves the value
    // alone.
    if (!is_digit(c)) {
      end_number();
      return p;
    }
    state_ = State::exponent_digits;
  }
  has_exponent_ = true;
  for (; p != last && is_digit(*p); ++p) {
    exponent_parsed_ = add_exponent_digit(exponent_parsed_, *p, 1 << 28);
    exponent_scanned_ =
        add_exponent_digit(exponent_scanned_, *p, 1'000'000'000);
  }
  if (p != last) end_number();
  return p;
}

void NumberCompactor::end_number() noexcept {
  if (count_ > 0) text_[used_++] = ' ';
  if (kind_ == NumberKind::integer) {
    write_integer();
  } else {
    write_real();
  }
  ++count_;
  state_ = count_ == max_numbers_ ? State::stopped : State::between;
}

void NumberCompactor::end_list(bool at_end) noexcept {
  // Text that is no number stops the list: an "x" stands for it, so the
  // scan stops there as well (before any number it then reads 0 numbers,
  // where at the end of the text it reads -1), and a report of the line
  // sees that its values stopped at text.
  if (!at_end) {
    if (count_ > 0) text_[used_++] = ' ';
    text_[used_++] = 'x';
  }
  state_ = State::stopped;
}

void NumberCompactor::write_integer() noexcept {
  if (negative_) text_[used_++] = '-';
  char* const first = text_.data() + used_;
  const std::to_chars_result r =
      std::to_chars(first, first + MAX_NUMBER_TEXT - 2, value_);
  used_ += static_cast<std::size_t>(r.ptr - first);
}

double NumberCompactor::real_value() const noexcept {
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
    double value = 0.0;
    const std::from_chars_result r =
        std::from_chars(text.data(), p, value, std::chars_format::general);
    if (r.ec == std::errc()) return value;
  }
  // Out of range: scan_double() decides between infinity and zero by the
  // place of the leading digit, with the exponent as it takes it.
  const std::int64_t leading =
      position_ + (has_exponent_ ? exponent_scanned : 0) - 1;
  return leading >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

void NumberCompactor::write_real() noexcept {
  const double magnitude = real_value();
  const double value = negative_ ? -magnitude : magnitude;
  char* const first = text_.data() + used_;
  char* const limit = first + MAX_NUMBER_TEXT - 1;
  if (std::isinf(value)) {
    // Out of range upwards, which scan_double() reads as infinity again.
    const std::string_view text = value < 0 ? "-1e999" : "1e999";
    std::copy(text.begin(), text.end(), first);
    used_ += text.size();
    return;
  }
  // The shortest text that reads back as exactly this double; "-0" for
  // a negative zero.
  const std::to_chars_result r = std::to_chars(first, limit, value);
  used_ += static_cast<std::size_t>(r.ptr - first);
}

Line NumberCompactor::finish() noexcept {
  switch (state_) {
    case State::between: end_list(true); break;
    // A sign or a point with no digit after it is no number.
    case State::sign:
    case State::point: end_list(false); break;
    case State::integer_part:
    case State::fraction:
    case State::exponent_mark:
    case State::exponent_sign:
    case State::exponent_digits:
      end_number();
      if (state_ != State::stopped) end_list(true);
      break;
    case State::stopped: break;
  }
  std::memset(text_.data() + used_, 0, text_.size() - used_);
  Line line;
  line.text = text_.data();
  line.size = used_;
  line.has_newline = false;
  return line;
}

}  // namespace tnx
