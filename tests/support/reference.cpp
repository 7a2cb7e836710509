#include "reference.hpp"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tnx::test {
namespace {

constexpr std::uint64_t TWO_TO_32 = std::uint64_t{1} << 32;

std::size_t skip_space(std::string_view s, std::size_t pos) {
  while (pos < s.size() && ref_is_space(s[pos])) ++pos;
  return pos;
}

// One snprintf appended to `out`.
template <typename... Args>
void append_format(std::string& out, const char* format, Args... args) {
  // Large enough for "%f" of the largest double three times over.
  std::vector<char> buffer(2048);
  const int size = std::snprintf(buffer.data(), buffer.size(), format, args...);
  out.append(buffer.data(), static_cast<std::size_t>(size));
}

struct TextLine {
  std::string_view text;  // up to the first NUL, without the line end
  bool echo_newline = false;
};

// Lines end at LF, a CR right before the LF going with the line end; the
// last line may have no end. A NUL ends a line's text, and its echo has no
// newline then.
std::vector<TextLine> split_lines(std::string_view input) {
  std::vector<TextLine> lines;
  std::size_t start = 0;
  while (start < input.size()) {
    const std::size_t newline = input.find('\n', start);
    const bool has_newline = newline != std::string_view::npos;
    std::string_view text = input.substr(
        start, has_newline ? newline - start : std::string_view::npos);
    if (has_newline && !text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
    }
    const std::size_t nul = text.find('\0');
    lines.push_back({text.substr(0, nul), has_newline && nul == text.npos});
    start = has_newline ? newline + 1 : input.size();
  }
  return lines;
}

// A line is passed over when it starts with '#' or holds no lower-case s.
// Otherwise its first token, a colon and everything after its first s are
// echoed, and a "points" or "events" line fills its table.
void header_line(const TextLine& line, ColumnTables& tables,
                 std::string& console) {
  const std::string_view text = line.text;
  if (text.empty() || text[0] == '#') return;
  const std::size_t anchor = text.find('s');
  if (anchor == text.npos) return;
  const std::size_t begin = skip_space(text, 0);
  std::size_t end = begin;
  while (end < text.size() && !ref_is_space(text[end])) ++end;
  const std::string_view keyword = text.substr(begin, end - begin);
  const std::string_view tail = text.substr(anchor + 1);
  console += "\n";
  console += keyword;
  console += ":";
  console += tail;
  if (line.echo_newline) console += "\n";
  if (keyword == "points") {
    const int count =
        ref_scan_list(tail, tables.points.data(), MAX_COLUMNS, ref_scan_double);
    append_format(console, "\n%d 'points' records found, %f %f  %f\n", count,
                  tables.points[0], tables.points[1], tables.points[2]);
  } else if (keyword == "events") {
    const int count =
        ref_scan_list(tail, tables.events.data(), MAX_COLUMNS, ref_scan_u32);
    append_format(console, "\n%d 'events' records found, %u %u %u ...\n", count,
                  tables.events[0], tables.events[1], tables.events[2]);
  }
}

}  // namespace

bool ref_is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool ref_is_digit(char c) { return c >= '0' && c <= '9'; }

RefScan<std::uint32_t> ref_scan_u32(std::string_view s, std::size_t pos) {
  std::size_t i = skip_space(s, pos);
  if (i == s.size()) return {ScanStatus::end_of_text, pos, 0};
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  if (i == s.size() || !ref_is_digit(s[i])) {
    return {ScanStatus::no_number, pos, 0};
  }
  std::uint64_t v = 0;
  for (; i < s.size() && ref_is_digit(s[i]); ++i) {
    v = (v * 10 + static_cast<std::uint64_t>(s[i] - '0')) % TWO_TO_32;
  }
  if (negative) v = (TWO_TO_32 - v) % TWO_TO_32;
  return {ScanStatus::ok, i, static_cast<std::uint32_t>(v)};
}

RefScan<std::int32_t> ref_scan_i32(std::string_view s, std::size_t pos) {
  const RefScan<std::uint32_t> u = ref_scan_u32(s, pos);
  const std::int64_t bits = u.value;
  const std::int64_t value =
      bits >= (std::int64_t{1} << 31) ? bits - (std::int64_t{1} << 32) : bits;
  return {u.status, u.end, static_cast<std::int32_t>(value)};
}

RefScan<double> ref_scan_double(std::string_view s, std::size_t pos) {
  std::size_t i = skip_space(s, pos);
  if (i == s.size()) return {ScanStatus::end_of_text, pos, 0.0};
  const std::size_t start = i;
  if (s[i] == '+' || s[i] == '-') ++i;
  std::size_t digits = 0;
  for (; i < s.size() && ref_is_digit(s[i]); ++i) ++digits;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && ref_is_digit(s[i]); ++i) ++digits;
  }
  if (digits == 0) return {ScanStatus::no_number, pos, 0.0};
  std::size_t value_end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t exponent_start = i;
    while (i < s.size() && ref_is_digit(s[i])) ++i;
    // Without exponent digits the value is that of the digits before the e.
    if (i > exponent_start) value_end = i;
  }
  const std::string extent(s.substr(start, value_end - start));
  return {ScanStatus::ok, i, std::strtod(extent.c_str(), nullptr)};
}

void append_reference_rows(std::string& rows, std::string_view text,
                           const ColumnTables& tables,
                           std::string_view row_end) {
  text = text.substr(0, text.find('\0'));
  const RefScan<std::int32_t> label = ref_scan_i32(text, 0);
  if (label.status != ScanStatus::ok) return;
  std::uint32_t values[MAX_COLUMNS];
  const int count =
      ref_scan_list(text.substr(label.end), values, MAX_COLUMNS, ref_scan_u32);
  for (int j = 0; j < count; ++j) {
    const auto slot = static_cast<std::size_t>(j);
    append_format(rows, "%4d %.3f %lu %lu", label.value, tables.points[slot],
                  static_cast<unsigned long>(tables.events[slot]),
                  static_cast<unsigned long>(values[slot]));
    rows += row_end;
  }
}

Conversion reference_convert(std::string_view input) {
  Conversion out;
  ColumnTables tables;
  const auto header_lines = static_cast<std::size_t>(HEADER_LINES);
  std::size_t index = 0;
  for (const TextLine& line : split_lines(input)) {
    if (index < header_lines) {
      header_line(line, tables, out.console);
    } else if (index > header_lines) {
      append_reference_rows(out.rows, line.text, tables, "\n");
    }
    ++index;
  }
  return out;
}

}  // namespace tnx::test
