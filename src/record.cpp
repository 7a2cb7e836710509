#include "record.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "number_scan.hpp"

// SSE2 is part of every x86-64 processor; elsewhere the portable loops run.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TNX_RECORD_SSE2 1
#else
#define TNX_RECORD_SSE2 0
#endif

namespace tnx {
namespace {

// Sets a bit in every byte of `word` that is not an ASCII digit. A byte is a
// digit when its high nibble is 3 and adding 6 keeps it 3 (low nibble <= 9).
// The addition can carry into the next byte only out of a non-digit byte, so
// the lowest flagged byte is always exact, and only that one is used.
std::uint64_t non_digit_bytes(std::uint64_t word) noexcept {
  constexpr std::uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0u;
  constexpr std::uint64_t threes = 0x3030303030303030u;
  constexpr std::uint64_t sixes = 0x0606060606060606u;
  return ((word & high_nibbles) ^ threes) |
         (((word + sixes) & high_nibbles) ^ threes);
}

std::uint64_t load_word(const char* p) noexcept {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

// Length of the digit run at `p`, eight bytes at a time. The run ends at the
// line's NUL at the latest, so the loads stay within the line's padding.
std::size_t digit_run(const char* p) noexcept {
  std::size_t n = 0;
  for (;;) {
    const std::uint64_t flags = non_digit_bytes(load_word(p + n));
    if (flags != 0)
      return n + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
    n += 8;
  }
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
#if TNX_RECORD_SSE2
    for (std::size_t i = 0; i < blocks; ++i) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      // A byte b is in [low, low + span] when b - low, as an unsigned byte,
      // is its own minimum with span.
      const __m128i from_zero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
      const __m128i digit_bytes =
          _mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero);
      const __m128i from_tab = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
      const __m128i controls = _mm_cmpeq_epi8(
          _mm_min_epu8(from_tab, _mm_set1_epi8('\r' - '\t')), from_tab);
      const __m128i space_bytes =
          _mm_or_si128(controls, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
      const auto shift = static_cast<int>(16 * i);
      space_ |= static_cast<std::uint64_t>(
                    static_cast<std::uint16_t>(_mm_movemask_epi8(space_bytes)))
                << shift;
      digit_ |= static_cast<std::uint64_t>(
                    static_cast<std::uint16_t>(_mm_movemask_epi8(digit_bytes)))
                << shift;
    }
#else
    for (std::size_t i = 0; i < 16 * blocks; ++i) {
      space_ |= static_cast<std::uint64_t>(is_space(p[i])) << i;
      digit_ |= static_cast<std::uint64_t>(is_digit(p[i])) << i;
    }
#endif
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

// Digits that already read as "%u" would print them: no leading zero, and
// within 32 bits. Those are copied to the row as they stand.
bool is_canonical_u32(const char* digits, std::size_t n) noexcept {
  // One unsigned comparison rejects both n == 0 and n >= MAX_VALUE_TEXT.
  if (n - 1 < MAX_VALUE_TEXT - 1) return digits[0] != '0' || n == 1;
  // Ten digits without a leading zero: below 4000000000 the leading digit
  // decides.
  return n == MAX_VALUE_TEXT && digits[0] != '0' &&
         (digits[0] < '4' || std::memcmp(digits, "4294967295", n) <= 0);
}

// Builds the label field straight from the label's text when that text is
// what "%d" prints: an optional minus sign and one to nine digits without a
// leading zero (nine digits are surely within 32 bits; "-0" prints as "0").
// Advances `p` past the label and returns true; returns false for any other
// label, which scan_i32() then reads. Saves a scan and a formatting per line,
// which counts on lines of few values. `window` is left for the values.
bool label_field_from_text(const char*& p, ByteWindow& window,
                           LabelField& field) noexcept {
  const char* text = p;
  std::size_t n = window.skip_space_to_digits(text);
  const bool negative = n == 0 && *text == '-';
  if (negative) n = digit_run(text + 1);
  const char* const digits = text + (negative ? 1 : 0);
  if (n - 1 >= 9 || (digits[0] == '0' && (n != 1 || negative))) return false;
  const std::size_t width = n + (negative ? 1 : 0);
  // Right-aligned in at least four characters, as "%4d" does. The 16-byte
  // copy reads within the line's padding.
  const std::size_t pad = width < 4 ? 4 - width : 0;
  char bytes[32];
  std::memset(bytes, ' ', sizeof bytes);
  std::memcpy(bytes + pad, text, 16);
  bytes[pad + width] = ' ';
  std::memcpy(field.bytes.data(), bytes, field.bytes.size());
  field.size = pad + width + 1;
  p = digits + n;
  return true;
}

// Writes the label field and the column text of a row. Both are copied as
// fixed-size blocks, whatever their size, which keeps the copies free of
// loops and calls; ROW_OVERWRITE leaves room for the excess.
[[gnu::always_inline]] inline char* append_row_start(char* out,
                                                     const LabelField& label,
                                                     const ColumnTexts& columns,
                                                     int column) noexcept {
  std::memcpy(out, label.bytes.data(), label.bytes.size());
  return columns.append(out + label.size, column);
}

[[gnu::always_inline]] inline char* end_row(char* out) noexcept {
  std::memcpy(out, ROW_END.data(), ROW_END.size());
  return out + ROW_END.size();
}

}  // namespace

void convert_data_line(const Line& line, const ColumnTexts& columns,
                       RowWriter& rows) noexcept {
  const char* p = line.text;
  const char* const last = line.text + line.size;
  ByteWindow window(p, line.size);
  LabelField label;
  if (!label_field_from_text(p, window, label)) {
    std::int32_t value = 0;
    const ScanResult label_scan = scan_i32(p, last, value);
    if (label_scan.status != ScanStatus::ok) return;
    p = label_scan.end;
    label = format_label_field(value);
  }

  char* out = rows.reserve(MAX_COLUMNS * columns.max_row_bytes());
  int column = 0;
  // Whether the window was read from `p` on, rather than carried over.
  bool fresh = false;
  while (column < MAX_COLUMNS) {
    // Every value of the window at once: a value is a run of digits, its
    // first digit a set bit of `starts`, its last one of `ends`. The k-th
    // start and the k-th end belong together, since the window never starts
    // inside a run. Walking the two masks bit by bit keeps the position of
    // the next value off the chain of dependent instructions that finding
    // it by skipping from the previous one made: that chain, not the
    // copies, set the pace of a row.
    window.rebase(p);
    const std::uint64_t digits = window.digits();
    std::uint64_t starts = digits & ~(digits << 1);
    std::uint64_t ends = digits & ~(digits >> 1);
    // Values are taken up to the first byte that is neither white space nor
    // a digit (a sign, other text, the NUL, or a byte not yet read), and
    // only when the byte after their last digit is known.
    const auto first_other =
        static_cast<std::size_t>(std::countr_zero(~(window.spaces() | digits)));
    const std::size_t limit = std::min(first_other, window.valid() - 1);
    const char* const base = window.base();
    const char* const before = p;
    while (starts != 0 && column < MAX_COLUMNS) {
      const auto first = static_cast<std::size_t>(std::countr_zero(starts));
      const auto last_digit = static_cast<std::size_t>(std::countr_zero(ends));
      if (last_digit >= limit) break;
      const char* const value = base + first;
      const std::size_t n = last_digit - first + 1;
      if (!is_canonical_u32(value, n)) break;
      out = append_row_start(out, label, columns, column);
      // 16 bytes hold the longest value; the line's padding makes the read
      // safe and the row's overwrite room the write.
      std::memcpy(out, value, 16);
      out = end_row(out + n);
      p = value + n;
      starts &= starts - 1;
      ends &= ends - 1;
      ++column;
    }
    if (p != before) {
      fresh = false;
      continue;
    }
    if (!fresh) {
      // Nothing taken from what was carried over: read the bytes from `p`
      // and try again, unless only white space is left of the line.
      const char* q = p;
      while (is_space(*q)) ++q;
      if (*q == '\0') break;
      window.load(p, 4);
      fresh = true;
      continue;
    }
    // One value the masks do not cover: a sign, leading zeros, more than
    // 32 bits, more than 64 bytes of blanks and digits, or no value at all.
    const std::size_t n = window.skip_space_to_digits(p);
    if (is_canonical_u32(p, n)) {
      out = append_row_start(out, label, columns, column);
      std::memcpy(out, p, 16);
      out = end_row(out + n);
      p += n;
    } else {
      std::uint32_t value = 0;
      const ScanResult r = scan_u32(p, last, value);
      if (r.status != ScanStatus::ok) break;
      p = r.end;
      out = append_row_start(out, label, columns, column);
      out = end_row(append_u32(out, value));
    }
    fresh = false;
    ++column;
  }
  rows.commit(out);
}

}  // namespace tnx
