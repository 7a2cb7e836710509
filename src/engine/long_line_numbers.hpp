// The numbers of a line too long for the input buffer, rewritten piece by
// piece into a short line that the scanners read exactly as they would read
// the whole one. Little of a long line can matter: a list scan stops at the
// first text that is no number (or a NUL) and after a fixed count, white
// space runs of any length scan like one blank, an integer's value is its
// digits modulo 2^32, and a real's value is one double. So each number is
// written as the short text of what it reads as: an integer as its sign and
// its value modulo 2^32, a real as the shortest text of its double, one
// blank between numbers, and "x" where the scan stopped at text that is no
// number (before any number, a scan then reads 0, where one that met
// only white space reads -1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/limits.hpp"
#include "engine/line_reader.hpp"

namespace tnx {

enum class NumberKind {
  // An optional sign and decimal digits (scan_u32, scan_i32).
  integer,
  // An optional sign, digits with at most one point, an optional exponent
  // (scan_double).
  real,
};

class NumberCompactor {
 public:
  // The list holds numbers of `kind`, at most `max_numbers` (at most
  // MAX_COLUMNS + 2: a data line's label and values, and one more for a
  // report to see that the line goes on).
  NumberCompactor(NumberKind kind, int max_numbers) noexcept;

  // add()
  //
  // Takes the next bytes of the text. Returns false once no later byte can
  // change what the list scan reads: it ended (at a NUL, or at text that is
  // no number) or holds max_numbers numbers. Bytes given after that are
  // ignored.
  bool add(const char* first, const char* last) noexcept;

  // finish()
  //
  // Ends the text and returns the short line: its text, a NUL, then
  // LINE_PADDING readable bytes, as the line reader hands out lines. Valid
  // while the compactor lives; nothing is to be added after.
  [[nodiscard]] Line finish() noexcept;

  // The longest text of one number and the blank before it: a sign, 17
  // digits, a point, "e-308".
  static constexpr std::size_t MAX_NUMBER_TEXT = 32;

  // Significant digits of a real kept as they stand; a non-zero digit
  // stands for every later one that is not zero. No halfway point between
  // two doubles (nor the limits of overflow and underflow) takes more than
  // 767 significant digits, so no kept prefix plus that digit rounds
  // differently from the whole.
  static constexpr std::size_t REAL_DIGITS = 800;

 private:
  enum class State : unsigned char {
    between,          // before a number: white space is skipped
    sign,             // after a sign: a digit (or a point) must follow
    point,            // a real's point without a digit before it
    integer_part,     // digits
    fraction,         // a real's digits after its point
    exponent_mark,    // after a real's e or E
    exponent_sign,    // after the sign of its exponent
    exponent_digits,  // the digits of the exponent
    stopped,          // nothing after changes the list
  };

  // Take the bytes from `p` (before `last`) that the state goes on with,
  // changing the state where they end it; return where they stopped.
  const char* take_between(const char* p, const char* last) noexcept;
  // After a sign, or a real's point that no digit came before.
  const char* take_number_start(const char* p) noexcept;
  // An integer's digits, or those of a real before or after its point.
  const char* take_digits(const char* p, const char* last) noexcept;
  // A real's exponent: its mark, its sign, its digits.
  const char* take_exponent(const char* p, const char* last) noexcept;
  void take_real_digit(char digit, bool fraction) noexcept;
  void begin_number(bool negative) noexcept;
  // The number in progress is complete: writes it and goes on between
  // numbers, or stops after the last one.
  void end_number() noexcept;
  // The list ended at a NUL or the end of the text (`at_end`), or at text
  // that is no number.
  void end_list(bool at_end) noexcept;
  void write_integer() noexcept;
  void write_real() noexcept;
  [[nodiscard]] double real_value() const noexcept;
  void keep_digit(char digit) noexcept {
    if (kept_ < REAL_DIGITS) {
      digits_[kept_++] = digit;
    } else if (digit != '0') {
      sticky_ = true;
    }
  }

  NumberKind kind_;
  int max_numbers_;
  int count_ = 0;
  State state_ = State::between;
  bool negative_ = false;
  // An integer: its value modulo 2^32, without the sign.
  std::uint32_t value_ = 0;
  // A real: its significant digits (from the first that is not zero),
  // kept_ of them as they stand and sticky_ when a later one is not zero;
  // `position_` is where the point stands: the value is
  // 0.<digits> * 10^(position_ + exponent).
  bool significant_ = false;
  std::int64_t position_ = 0;
  std::size_t kept_ = 0;
  bool sticky_ = false;
  std::array<char, REAL_DIGITS> digits_{};
  // Its exponent's digits, as std::from_chars takes them (which stops
  // adding digits at 2^28) and as scan_double() takes them (at 10^9).
  bool exponent_negative_ = false;
  bool has_exponent_ = false;
  std::int64_t exponent_parsed_ = 0;
  std::int64_t exponent_scanned_ = 0;
  // The short line: text_[0, used_), a NUL, the padding.
  std::size_t used_ = 0;
  // The numbers, then a blank and an "x" where text stopped them, a NUL.
  std::array<char, (MAX_COLUMNS + 2) * MAX_NUMBER_TEXT + 3 + LINE_PADDING>
      text_{};
};

}  // namespace tnx
