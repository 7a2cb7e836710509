// The report: each line scanned by the data pass's rules, with notes.
#include "engine/report/findings.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/byte_classes.hpp"
#include "engine/number_scan.hpp"

namespace tnx {
namespace {

// The numbers of a line that holds nothing but digits and white space, and
// no number of more than SHORT_DIGITS digits: such a line (almost every
// line of a real file) can neither stop early nor wrap, so its count of
// numbers is all there is to know. -1 for any other line, which is then
// scanned number by number. Reads the line's padding, never past it.
int plain_numbers(const Line& line) noexcept {
  int numbers = 0;
  std::uint32_t previous = 0;
  for (std::size_t at = 0; at < line.size; at += 16) {
    const ByteClasses masks = classify_16(line.text + at);
    const std::size_t valid = std::min<std::size_t>(16, line.size - at);
    const std::uint32_t in_line = (std::uint32_t{1} << valid) - 1;
    const std::uint32_t digits = masks.digits & in_line;
    if ((~(digits | masks.spaces) & in_line) != 0) return -1;
    // A run's first digit follows no digit, in this block or the one before.
    const std::uint32_t starts = digits & ~((digits << 1) | (previous >> 15));
    numbers += std::popcount(starts);
    // Ten digits in a row lie within two blocks: those of the last two.
    const std::uint32_t both = (digits << 16) | previous;
    const std::uint32_t two = both & (both >> 1);
    const std::uint32_t four = two & (two >> 2);
    const std::uint32_t eight = four & (four >> 4);
    if ((eight & (two >> 8)) != 0) return -1;
    previous = digits;
  }
  return numbers;
}

// A number as the scanners read it at `p`: an optional sign, then digits.
struct Number {
  // Just past the number; null when none starts at `p`.
  const char* end = nullptr;
  bool negative = false;
  // The digits' value, exact up to 2^32; `beyond` once it is larger.
  std::uint64_t magnitude = 0;
  bool beyond = false;
  // The digits' value modulo 2^32, as the scanners keep it.
  std::uint32_t wrapped = 0;

  // What the number reads as: negated modulo 2^32 after a minus sign.
  [[nodiscard]] std::uint32_t result() const noexcept {
    return negative ? 0U - wrapped : wrapped;
  }
};

// Up to this many digits a number is below 2^31 and the line needs no
// arithmetic to know it does not wrap: the usual case, kept cheap.
constexpr std::size_t SHORT_DIGITS = 9;

Number read_number(const char* p) noexcept {
  Number number;
  if (*p == '+' || *p == '-') {
    number.negative = *p == '-';
    ++p;
  }
  const char* digits = p;
  while (is_digit(*p)) ++p;
  if (p == digits) return number;
  number.end = p;
  // Without a minus sign, a short number is all the caller needs to know.
  if (!number.negative &&
      static_cast<std::size_t>(p - digits) <= SHORT_DIGITS) {
    return number;
  }
  for (; digits != p; ++digits) {
    const auto digit = static_cast<unsigned>(*digits - '0');
    number.wrapped = number.wrapped * 10U + digit;
    if (!number.beyond) {
      number.magnitude = number.magnitude * 10U + digit;
      number.beyond = number.magnitude > UINT32_MAX;
    }
  }
  return number;
}

// A label is read as a 32-bit two's complement number.
bool label_wraps(const Number& label) noexcept {
  const std::uint64_t limit =
      label.negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  return label.beyond || label.magnitude > limit;
}

// A value is unsigned: a minus sign before anything but zero wraps it.
bool value_wraps(const Number& value) noexcept {
  return value.beyond || (value.negative && value.magnitude != 0);
}

void note_wrap(LineScan& scan, const char* first, const Number& number,
               int column) noexcept {
  if (scan.wrap_first != nullptr) return;
  scan.wrap_first = first;
  scan.wrap_last = number.end;
  scan.wrap_column = column;
  scan.wrap_result = number.result();
}

// Keeps the bytes from `first` up to the next white space or NUL, cut to
// Finding::TEXT_BYTES, or the bytes [first, last) when `last` is given.
void keep_text(Finding& finding, const char* first,
               const char* last = nullptr) noexcept {
  const char* p = first;
  const char* const limit = first + Finding::TEXT_BYTES;
  if (last == nullptr) {
    while (p != limit && *p != '\0' && !is_space(*p)) ++p;
    finding.text_cut = p == limit && *p != '\0' && !is_space(*p);
  } else {
    p = std::min(last, limit);
    finding.text_cut = p != last;
  }
  finding.text_size = static_cast<std::uint8_t>(p - first);
  std::memcpy(finding.text.data(), first, finding.text_size);
}

}  // namespace

LineScan scan_line_for_report(const Line& line) noexcept {
  LineScan scan;
  if (const int numbers = plain_numbers(line); numbers >= 0) {
    scan.blank = numbers == 0;
    scan.has_label = numbers > 0;
    scan.values = std::min(std::max(numbers - 1, 0), MAX_COLUMNS);
    if (numbers - 1 > MAX_COLUMNS) {
      // Past the last value taken: white space, then the next number.
      const char* p = line.text;
      for (int seen = 0; seen <= MAX_COLUMNS; ++seen) {
        while (is_space(*p)) ++p;
        while (is_digit(*p)) ++p;
      }
      while (is_space(*p)) ++p;
      scan.stop = p;
      scan.stopped_at_count = true;
    }
    return scan;
  }
  const char* const end = line.text + line.size;
  scan.nul = static_cast<const char*>(std::memchr(line.text, '\0', line.size));
  const char* p = line.text;
  // The NUL after the text is no white space: every loop stops there.
  while (is_space(*p)) ++p;
  if (p == end) {
    scan.blank = true;
    return scan;
  }
  const Number label = read_number(p);
  if (label.end == nullptr) {
    scan.stop = p;
    return scan;
  }
  scan.has_label = true;
  if (label_wraps(label)) note_wrap(scan, p, label, 0);
  p = label.end;
  for (;;) {
    while (is_space(*p)) ++p;
    if (p == end) break;
    if (scan.values == MAX_COLUMNS) {
      scan.stop = p;
      scan.stopped_at_count = true;
      break;
    }
    const Number value = read_number(p);
    if (value.end == nullptr) {
      scan.stop = p;
      break;
    }
    ++scan.values;
    if (value_wraps(value)) note_wrap(scan, p, value, scan.values);
    p = value.end;
  }
  return scan;
}

void Findings::header_line(std::uint64_t number, HeaderKeyword keyword,
                           int count) noexcept {
  if (count > 0) return;
  Finding finding;
  finding.kind = FindingKind::header_count;
  finding.line = number;
  finding.keyword = keyword;
  finding.count = count;
  note(finding);
}

void Findings::header_over(const ColumnTables& tables) noexcept {
  // A slot is filled when any line of its keyword gave that many numbers.
  bool points_line = false;
  bool events_line = false;
  for (int i = 0; i < tables.summaries; ++i) {
    const ColumnTables::Count& read =
        tables.counts[static_cast<std::size_t>(i)];
    const bool points = read.keyword == HeaderKeyword::points;
    (points ? points_line : events_line) = true;
    int& filled = points ? points_filled_ : events_filled_;
    filled = std::max(filled, read.count);
  }
  for (const auto& [keyword, seen] :
       {std::pair{HeaderKeyword::points, points_line},
        std::pair{HeaderKeyword::events, events_line}}) {
    if (seen) continue;
    Finding finding;
    finding.kind = FindingKind::header_missing;
    finding.keyword = keyword;
    note(finding);
  }
}

void Findings::data_line(const Line& line, std::uint64_t number) noexcept {
  const LineScan scan = scan_line_for_report(line);
  if (scan.blank) return;
  Finding finding;
  finding.line = number;
  // A stop at the NUL is the NUL's finding alone.
  const bool stopped_at_text = scan.stop != nullptr && scan.stop != scan.nul;
  if (scan.values == 0 || stopped_at_text) {
    finding.kind = scan.values == 0        ? FindingKind::no_rows
                   : scan.stopped_at_count ? FindingKind::past_max_columns
                                           : FindingKind::text_in_values;
    finding.count = scan.values == 0 ? (scan.has_label ? 1 : 0) : scan.values;
    finding.column = scan.values + 1;
    if (stopped_at_text) keep_text(finding, scan.stop);
    note(finding);
  }
  if (scan.values > std::min(points_filled_, events_filled_)) {
    Finding past;
    past.kind = FindingKind::past_header;
    past.line = number;
    past.count = scan.values;
    past.points_filled = points_filled_;
    past.events_filled = events_filled_;
    note(past);
  }
  if (scan.wrap_first != nullptr) {
    Finding wrap;
    wrap.kind = FindingKind::wrapped;
    wrap.line = number;
    wrap.column = scan.wrap_column;
    wrap.result = scan.wrap_result;
    keep_text(wrap, scan.wrap_first, scan.wrap_last);
    note(wrap);
  }
  note_nul(line, scan.nul, number);
}

void Findings::header_text(const Line& line, std::uint64_t number) noexcept {
  note_nul(line,
           static_cast<const char*>(std::memchr(line.text, '\0', line.size)),
           number);
}

void Findings::note_nul(const Line& line, const char* nul,
                        std::uint64_t number) noexcept {
  if (nul == nullptr) return;
  Finding finding;
  finding.kind = FindingKind::nul_byte;
  finding.line = number;
  finding.offset = static_cast<std::uint64_t>(nul - line.text) + 1;
  note(finding);
}

std::uint64_t Findings::total() const noexcept {
  std::uint64_t sum = 0;
  for (const std::uint64_t of_kind : counts_) sum += of_kind;
  return sum;
}

void Findings::note(const Finding& finding) noexcept {
  std::uint64_t& of_kind = counts_[static_cast<std::size_t>(finding.kind)];
  if (++of_kind <= SHOWN_PER_KIND) shown_[shown_size_++] = finding;
}

}  // namespace tnx
