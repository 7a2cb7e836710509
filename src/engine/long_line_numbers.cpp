// The numbers of a long line, compacted piece by piece into a short line.
#include "engine/long_line_numbers.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "engine/number_scan.hpp"

namespace tnx {

void CompactLine::add_integer(bool negative, std::uint32_t value) noexcept {
  separate();
  if (negative) text_[used_++] = '-';
  char* const first = text_.data() + used_;
  const std::to_chars_result r =
      std::to_chars(first, first + MAX_NUMBER_TEXT - 2, value);
  used_ += static_cast<std::size_t>(r.ptr - first);
  ++numbers_;
}

void CompactLine::add_real(double value) noexcept {
  separate();
  ++numbers_;
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

void CompactLine::add_stop() noexcept {
  separate();
  text_[used_++] = 'x';
}

Line CompactLine::finish() noexcept {
  std::memset(text_.data() + used_, 0, text_.size() - used_);
  Line line;
  line.text = text_.data();
  line.size = used_;
  line.has_newline = false;
  return line;
}

bool NumberText::begin(char c) noexcept {
  if (c == '+' || c == '-') {
    state_ = State::sign;
  } else if (is_digit(c)) {
    state_ = State::integer_part;
  } else if (c == '.' && kind_ == NumberKind::real) {
    state_ = State::point;
  } else {
    return false;
  }
  end_ = NumberEnd::open;
  negative_ = c == '-';
  value_ = 0;
  real_.reset();
  return true;
}

const char* NumberText::take(const char* p, const char* last) noexcept {
  // A byte is looked at again after a state change that does not take it.
  while (p != last && end_ == NumberEnd::open) {
    switch (state_) {
      case State::sign:
      case State::point: p = take_number_start(p); break;
      case State::integer_part:
      case State::fraction: p = take_digits(p, last); break;
      case State::exponent_mark:
      case State::exponent_sign:
      case State::exponent_digits: p = take_exponent(p, last); break;
    }
  }
  return p;
}

const char* NumberText::take_number_start(const char* p) noexcept {
  if (is_digit(*p)) {
    state_ = state_ == State::sign ? State::integer_part : State::fraction;
    return p;
  }
  if (state_ == State::sign && *p == '.' && kind_ == NumberKind::real) {
    state_ = State::point;
    return p + 1;
  }
  end_ = NumberEnd::no_number;
  return p;
}

const char* NumberText::take_digits(const char* p, const char* last) noexcept {
  const bool is_real = kind_ == NumberKind::real;
  const bool fraction = state_ == State::fraction;
  if (!is_real) {
    // Unsigned arithmetic wraps, which is the rule.
    for (; p != last && is_digit(*p); ++p) {
      value_ = value_ * 10u + static_cast<std::uint32_t>(*p - '0');
    }
  } else {
    for (; p != last && is_digit(*p); ++p) real_.add_digit(*p, fraction);
  }
  if (p == last) return p;
  if (is_real && !fraction && *p == '.') {
    state_ = State::fraction;
    return p + 1;
  }
  if (is_real && (*p == 'e' || *p == 'E')) {
    state_ = State::exponent_mark;
    return p + 1;
  }
  // Anything else ends the number; after a fraction, a second point starts
  // the next number, like a sign.
  end_ = NumberEnd::number;
  return p;
}

const char* NumberText::take_exponent(const char* p,
                                      const char* last) noexcept {
  const char c = *p;
  if (state_ == State::exponent_mark && (c == '+' || c == '-')) {
    if (c == '-') real_.set_exponent_negative();
    state_ = State::exponent_sign;
    return p + 1;
  }
  if (state_ != State::exponent_digits) {
    // The e (and its sign) is taken without digits and leaves the value
    // alone.
    if (!is_digit(c)) {
      end_ = NumberEnd::number;
      return p;
    }
    state_ = State::exponent_digits;
  }
  for (; p != last && is_digit(*p); ++p) real_.add_exponent_digit(*p);
  if (p != last) end_ = NumberEnd::number;
  return p;
}

NumberCompactor::NumberCompactor(NumberKind kind, int max_numbers) noexcept
    : kind_(kind), max_numbers_(max_numbers), number_(kind) {
  assert(max_numbers > 0 && max_numbers <= MAX_COLUMNS + 2);
}

bool NumberCompactor::add(const char* p, const char* last) noexcept {
  while (p != last && state_ != State::stopped) {
    if (state_ == State::between) {
      p = take_between(p, last);
      continue;
    }
    p = number_.take(p, last);
    if (number_.end() == NumberEnd::number) end_number();
    if (number_.end() == NumberEnd::no_number) end_list(false);
  }
  return state_ != State::stopped;
}

const char* NumberCompactor::take_between(const char* p,
                                          const char* last) noexcept {
  const char c = *p;
  if (is_space(c)) {
    while (++p != last && is_space(*p)) {
    }
  } else if (number_.begin(c)) {
    state_ = State::in_number;
    if (!is_digit(c)) ++p;
  } else {
    end_list(c == '\0');
  }
  return p;
}

void NumberCompactor::end_number() noexcept {
  if (kind_ == NumberKind::integer) {
    line_.add_integer(number_.negative(), number_.integer());
  } else {
    line_.add_real(number_.real());
  }
  state_ = line_.numbers() == max_numbers_ ? State::stopped : State::between;
}

void NumberCompactor::end_list(bool at_end) noexcept {
  // Text that is no number stops the list: an "x" stands for it, so the
  // scan stops there as well (before any number it then reads 0 numbers,
  // where at the end of the text it reads -1), and a report of the line
  // sees that its values stopped at text.
  if (!at_end) line_.add_stop();
  state_ = State::stopped;
}

Line NumberCompactor::finish() noexcept {
  if (state_ == State::between) {
    end_list(true);
  } else if (state_ == State::in_number) {
    // A sign or a point with no digit after it is no number.
    if (!number_.is_number_at_text_end()) {
      end_list(false);
    } else {
      end_number();
      if (state_ != State::stopped) end_list(true);
    }
  }
  return line_.finish();
}

}  // namespace tnx
