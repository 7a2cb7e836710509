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
#include "engine/real_digits.hpp"

namespace tnx {

enum class NumberKind {
  // An optional sign and decimal digits (scan_u32, scan_i32).
  integer,
  // An optional sign, digits with at most one point, an optional exponent
  // (scan_double).
  real,
};

// The short line a compactor writes: the numbers as the short text of
// what they read as, one blank between them, an "x" where text stopped
// them, then a NUL and the padding a line reader gives.
class CompactLine {
 public:
  // The longest text of one number and the blank before it: a sign, 17
  // digits, a point, "e-308".
  static constexpr std::size_t MAX_NUMBER_TEXT = 32;

  // The numbers written so far.
  [[nodiscard]] int numbers() const noexcept { return numbers_; }

  // An integer: its sign and its value modulo 2^32.
  void add_integer(bool negative, std::uint32_t value) noexcept;
  // A real: the shortest text that reads back as `value`.
  void add_real(double value) noexcept;
  // Text that is no number, which stops the scan of the line there.
  void add_stop() noexcept;

  // The line: valid while this lives; nothing is to be added after.
  [[nodiscard]] Line finish() noexcept;

 private:
  void separate() noexcept {
    if (numbers_ > 0) text_[used_++] = ' ';
  }

  int numbers_ = 0;
  // The short line: text_[0, used_), a NUL, the padding.
  std::size_t used_ = 0;
  // The numbers, then a blank and an "x" where text stopped them, a NUL.
  std::array<char, (MAX_COLUMNS + 2) * MAX_NUMBER_TEXT + 3 + LINE_PADDING>
      text_{};
};

// How the bytes taken so far left a number of a long line.
enum class NumberEnd : unsigned char {
  open,       // more of it may follow
  number,     // it ended just before the byte that stopped it
  no_number,  // a sign or a point without a digit after it: no number
};

// One number of a long line, taken piece by piece: its sign, its digits,
// a real's point and exponent, as the scanners read them.
class NumberText {
 public:
  explicit NumberText(NumberKind kind) noexcept : kind_(kind) {}

  // begin()
  //
  // Starts a number at `c` when it can start one: a sign, a digit, or a
  // real's point. Returns false, leaving the last number as it was, for
  // any other byte. A digit is left for take(); a sign or a point is taken.
  [[nodiscard]] bool begin(char c) noexcept;

  // take()
  //
  // Takes the number's bytes from `p` (before `last`) and returns where
  // they stop: at `last` while the number goes on, else at the byte that
  // ended it (see end()).
  const char* take(const char* p, const char* last) noexcept;

  // The text ended: whether it ended a number (and not a lone sign or
  // point).
  [[nodiscard]] bool is_number_at_text_end() const noexcept {
    return state_ != State::sign && state_ != State::point;
  }

  [[nodiscard]] NumberEnd end() const noexcept { return end_; }
  [[nodiscard]] bool negative() const noexcept { return negative_; }
  // An integer's value modulo 2^32, without the sign.
  [[nodiscard]] std::uint32_t integer() const noexcept { return value_; }
  // A real's value, with its sign.
  [[nodiscard]] double real() const noexcept {
    const double magnitude = real_.value();
    return negative_ ? -magnitude : magnitude;
  }

 private:
  enum class State : unsigned char {
    sign,             // after a sign: a digit (or a point) must follow
    point,            // a real's point without a digit before it
    integer_part,     // digits
    fraction,         // a real's digits after its point
    exponent_mark,    // after a real's e or E
    exponent_sign,    // after the sign of its exponent
    exponent_digits,  // the digits of the exponent
  };

  // After a sign, or a real's point that no digit came before.
  const char* take_number_start(const char* p) noexcept;
  // An integer's digits, or those of a real before or after its point.
  const char* take_digits(const char* p, const char* last) noexcept;
  // A real's exponent: its mark, its sign, its digits.
  const char* take_exponent(const char* p, const char* last) noexcept;

  NumberKind kind_;
  State state_ = State::sign;
  NumberEnd end_ = NumberEnd::open;
  bool negative_ = false;
  // An integer: its value modulo 2^32, without the sign.
  std::uint32_t value_ = 0;
  RealDigits real_;
};

// The numbers of a long line, compacted: each number read (NumberText) is
// written to the short line (CompactLine) until the list scan would stop.
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

  static constexpr std::size_t MAX_NUMBER_TEXT = CompactLine::MAX_NUMBER_TEXT;

 private:
  enum class State : unsigned char {
    between,    // before a number: white space is skipped
    in_number,  // within a number (see NumberText)
    stopped,    // nothing after changes the list
  };

  // Takes white space from `p` (before `last`), or starts a number, or
  // ends the list at what can start none; returns where it stopped.
  const char* take_between(const char* p, const char* last) noexcept;
  // The number in progress is complete: writes it and goes on between
  // numbers, or stops after the last one.
  void end_number() noexcept;
  // The list ended at a NUL or the end of the text (`at_end`), or at text
  // that is no number.
  void end_list(bool at_end) noexcept;

  NumberKind kind_;
  int max_numbers_;
  State state_ = State::between;
  NumberText number_;
  CompactLine line_;
};

}  // namespace tnx
