// The scanning of one data line, shared by every kind of row the data pass
// makes: the row file's text, and rows kept as numbers. What a row becomes
// is the sink's business (see scan_data_line() below); how the label and
// the values are found is here alone, so both kinds follow the very same
// rules. The sink is a template parameter, so the text path compiles to
// the loop it was before the numbers existed.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/byte_classes.hpp"
#include "engine/line_reader.hpp"
#include "engine/number_scan.hpp"
#include "engine/row_format.hpp"

namespace tnx {
namespace detail {
namespace {

// Length of the digit run at `p`; it ends at the line's NUL at the latest.
// It runs for negative labels and for runs the windows do not cover, so a
// plain loop does: classifying eight bytes at a time in a word changed the
// instruction count by -1.1 % on the narrow file and +0.6 % on the standard
// one, too little to keep the trick.
inline std::size_t digit_run(const char* p) noexcept {
  std::size_t n = 0;
  while (is_digit(p[n])) ++n;
  return n;
}

// Which of the 64 bytes from base() are white space and which are digits,
// one bit per byte, lowest bit first. Finding the next value is then two
// bit counts instead of a loop over bytes: the white space between values
// comes in runs of unpredictable length in real files, and a mispredicted
// branch per value would cost more than classifying the bytes. One window
// covers about ten values of a typical line.
class ByteWindow {
 public:
  // The window at the start of a line of `size` bytes. A short line needs
  // only the 16-byte blocks up to its NUL; the bits of blocks not read
  // count as neither white space nor digits, which no scan reaches before
  // the NUL stops it.
  ByteWindow(const char* p, std::size_t size) noexcept {
    load(p, size / 16 + 1);
  }

  [[nodiscard]] const char* base() const noexcept { return base_; }
  [[nodiscard]] std::uint64_t spaces() const noexcept { return space_; }
  [[nodiscard]] std::uint64_t digits() const noexcept { return digit_; }
  [[nodiscard]] std::size_t valid() const noexcept { return valid_; }

  // Moves the window's start to `p`, at most 64 bytes on, keeping what is
  // known about the bytes from there: the bits shifted in at the top count
  // as neither white space nor digits, which stops every scan short of them.
  void rebase(const char* p) noexcept {
    const auto offset = static_cast<std::size_t>(p - base_);
    base_ = p;
    space_ = offset < 64 ? space_ >> offset : 0;
    digit_ = offset < 64 ? digit_ >> offset : 0;
    valid_ = offset < valid_ ? valid_ - offset : 0;
  }

  // Reads `blocks` (at most 4) blocks of 16 bytes at `p`: `p` is at most at
  // the line's NUL, so they lie within the line's padding.
  void load(const char* p, std::size_t blocks) noexcept {
    if (blocks > 4) blocks = 4;
    base_ = p;
    space_ = 0;
    digit_ = 0;
    valid_ = 16 * blocks;
    for (std::size_t i = 0; i < blocks; ++i) {
      const ByteClasses classes = classify_16(p + 16 * i);
      const auto shift = static_cast<int>(16 * i);
      space_ |= static_cast<std::uint64_t>(classes.spaces) << shift;
      digit_ |= static_cast<std::uint64_t>(classes.digits) << shift;
    }
  }

  // Skips the white space at `p` and returns the length of the digit run
  // that follows (0 when something else follows). Forced inline: it runs
  // for the label of every line and for values the masks do not cover, and
  // the compiler stopped inlining it once it had two callers; as a call it
  // cost 14 % more instructions on the standard benchmark file.
  [[gnu::always_inline]] std::size_t skip_space_to_digits(
      const char*& p) noexcept {
    std::size_t n = 0;
    if (find_in_window(p, n)) [[likely]]
      return n;
    // The blanks or the digits reach past the window: look again from `p`.
    load(p, 4);
    if (find_in_window(p, n)) return n;
    // More than 64 bytes of them.
    while (is_space(*p)) ++p;
    return digit_run(p);
  }

 private:
  // Succeeds when the white space and the digit run after it both end
  // within the window.
  [[gnu::always_inline]] bool find_in_window(const char*& p,
                                             std::size_t& n) const noexcept {
    const auto offset = static_cast<std::size_t>(p - base_);
    if (offset >= valid_) return false;
    // Bits shifted in from above count as white space, so the skip runs to
    // 64 when the window ends in white space; unknown bytes stop it at
    // valid_.
    const auto start =
        offset + static_cast<std::size_t>(std::countr_zero(~space_ >> offset));
    if (start >= valid_) return false;
    // Here bits shifted in count as digits, so the run reaches 64 when the
    // window ends in digits; the byte that ends the run must be known.
    n = static_cast<std::size_t>(std::countr_zero(~(digit_ >> start)));
    if (start + n >= valid_) return false;
    p = base_ + start;
    return true;
  }

  const char* base_ = nullptr;
  std::uint64_t space_ = 0;
  std::uint64_t digit_ = 0;
  // The bytes from base_ whose bits are known: the bits from valid_ up are
  // zero, so they read as neither white space nor digits.
  std::size_t valid_ = 0;
};

// The label field of a line. Labels written as "%d" prints them (most
// are) become the field as they stand, which saves a scan and a formatting
// per line, worth it on lines of few values; any other label is scanned.
// Advances `p` past the label; false when the line has none.
template <class Sink, class Watch>
bool scan_label(const char*& p, const char* last, ByteWindow& window,
                typename Sink::Label& label, Watch& watch) noexcept {
  const char* text = p;
  std::size_t n = window.skip_space_to_digits(text);
  const bool negative = n == 0 && *text == '-';
  if (negative) n = digit_run(text + 1);
  if (Sink::label_from_text(text, n, negative, label)) {
    p = text + (negative ? 1 : 0) + n;
    return true;
  }
  std::int32_t value = 0;
  const ScanResult r = scan_i32(p, last, value);
  if (r.status != ScanStatus::ok) return false;
  watch.label_scanned(p, r.end);
  p = r.end;
  Sink::label_from_value(value, label);
  return true;
}

// Takes every value the window holds whole, in order, as long as each reads
// as "%u" prints it. A value is a run of digits, its first digit a set bit
// of `starts`, its last one of `ends`; the k-th start and the k-th end
// belong together, since the window never starts inside a run. Walking the
// two masks bit by bit keeps the position of the next value off the chain
// of dependent instructions that finding it by skipping from the previous
// one made: that chain, not the copies, set the pace of a row. Returns
// whether any value was taken; `p` is then just past the last one.
template <class Rows>
[[gnu::always_inline]] inline bool take_window_values(const ByteWindow& window,
                                                      const char*& p,
                                                      Rows& rows) noexcept {
  const std::uint64_t digits = window.digits();
  std::uint64_t starts = digits & ~(digits << 1);
  std::uint64_t ends = digits & ~(digits >> 1);
  // Values are taken up to the first byte that is neither white space nor
  // a digit (a sign, other text, the NUL, or a byte not yet read), and only
  // when the byte after their last digit is known.
  const auto first_other =
      static_cast<std::size_t>(std::countr_zero(~(window.spaces() | digits)));
  const std::size_t limit = std::min(first_other, window.valid() - 1);
  const char* const base = window.base();
  const char* const before = p;
  while (starts != 0 && !rows.full()) {
    const auto first = static_cast<std::size_t>(std::countr_zero(starts));
    const auto last_digit = static_cast<std::size_t>(std::countr_zero(ends));
    if (last_digit >= limit) break;
    const char* const value = base + first;
    const std::size_t n = last_digit - first + 1;
    if (!is_canonical_u32(value, n)) break;
    rows.append_digits(value, n);
    p = value + n;
    starts &= starts - 1;
    ends &= ends - 1;
  }
  return p != before;
}

// One value the window's masks do not cover: a sign, leading zeros, more
// than 32 bits, more than 64 bytes of blanks and digits. Returns false when
// no value is there.
template <class Rows, class Watch>
bool take_one_value(ByteWindow& window, const char*& p, const char* last,
                    Rows& rows, Watch& watch) noexcept {
  const std::size_t n = window.skip_space_to_digits(p);
  if (is_canonical_u32(p, n)) {
    rows.append_digits(p, n);
    p += n;
    return true;
  }
  std::uint32_t value = 0;
  const ScanResult r = scan_u32(p, last, value);
  if (r.status != ScanStatus::ok) return false;
  rows.append_value(value);
  watch.value_scanned(p, r.end, rows.count());
  p = r.end;
  return true;
}

inline bool only_space_left(const char* p) noexcept {
  while (is_space(*p)) ++p;
  return *p == '\0';
}

}  // namespace
}  // namespace detail

// What a plain scan notes besides the rows: nothing, at no cost.
struct NoWatch {
  static void label_scanned(const char* /*from*/,
                            const char* /*end*/) noexcept {}
  static void value_scanned(const char* /*first*/, const char* /*end*/,
                            int /*column*/) noexcept {}
  static void no_label(const Line& /*line*/) noexcept {}
  static void values_over(const Line& /*line*/, const char* /*stop*/,
                          int /*values*/) noexcept {}
};

// scan_data_line()
//
// Scans the label and then values up to the end of the text, the first
// text that is no number, or the MAX_COLUMNS-th value, and hands one row
// per value to `sink`, in column order. A line without a label hands
// nothing; a line with a label and no values commits no rows. `line` must
// carry the NUL and padding that LineReader provides. A Sink offers:
//   using Label = ...;  what a line keeps of its label
//   static bool label_from_text(const char* text, std::size_t digits,
//                               bool negative, Label&);  as
//                               label_field_from_text()
//   static void label_from_value(std::int32_t, Label&);
//   rows(const Label&)  the rows of one line: full(), count(),
//                       append_digits(digits, n) for n canonical digits,
//                       append_value(value)
//   commit(rows)        takes the line's rows
// `watch` is told where the scan went off its fast path and where the
// values stopped (see NoWatch for the calls, LineScan for a watch that
// keeps them); the text taken fast is canonical and never wraps, so the
// watch hears only of numbers that may:
//   label_scanned(from, end)  a label scanned from `from` (white space
//                             first) up to `end`
//   value_scanned(first, end, column)  a value scanned from its sign or
//                             first digit at `first`, in `column` from 1
//   no_label(line)            the line gave no label
//   values_over(line, stop, values)  the line's `values` values taken,
//                             the scan at `stop`, just past the last
//                             number or at text that is none
template <class Sink, class Watch = NoWatch>
void scan_data_line(const Line& line, Sink& sink, Watch&& watch = {}) noexcept {
  const char* p = line.text;
  const char* const last = line.text + line.size;
  detail::ByteWindow window(p, line.size);
  typename Sink::Label label;
  if (!detail::scan_label<Sink>(p, last, window, label, watch)) {
    watch.no_label(line);
    return;
  }

  auto rows = sink.rows(label);
  while (!rows.full()) {
    // What the window knows of the bytes from `p` on usually holds the next
    // values already.
    window.rebase(p);
    if (detail::take_window_values(window, p, rows)) continue;
    if (detail::only_space_left(p)) break;
    // Read the bytes from `p` afresh, then try again.
    window.load(p, 4);
    if (detail::take_window_values(window, p, rows)) continue;
    if (!detail::take_one_value(window, p, last, rows, watch)) break;
  }
  watch.values_over(line, p, rows.count());
  sink.commit(rows);
}

}  // namespace tnx
