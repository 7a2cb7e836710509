#include "reference.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

namespace tnx::reference {
namespace {

constexpr std::uint64_t TWO_TO_32 = std::uint64_t{1} << 32;
constexpr int COLUMNS = 100;
constexpr int HEADER_LINE_COUNT = 3;

bool is_decimal(char c) { return c >= '0' && c <= '9'; }

std::size_t skip_space(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_c_space(text[pos])) ++pos;
  return pos;
}

template <typename... Args>
void append_format(std::string& out, const char* format, Args... args) {
  // Large enough for "%f" of the largest double three times over.
  std::vector<char> buffer(2048);
  const int size = std::snprintf(buffer.data(), buffer.size(), format, args...);
  out.append(buffer.data(), static_cast<std::size_t>(size));
}

struct Line {
  std::string_view text;  // up to the first NUL, without the line end
  bool echo_newline = false;
};

std::vector<Line> split_lines(std::string_view input) {
  std::vector<Line> lines;
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

// Up to COLUMNS numbers in a row; -1 when only white space came first.
template <typename T, typename Scan>
int scan_list(std::string_view text, std::array<T, COLUMNS>& slots, Scan scan) {
  std::size_t pos = 0;
  int count = 0;
  while (count < COLUMNS) {
    const Scanned s = scan(text, pos);
    if (s.outcome == Outcome::end_of_text) return count == 0 ? -1 : count;
    if (s.outcome == Outcome::no_number) break;
    if constexpr (std::is_same_v<T, double>) {
      slots[static_cast<std::size_t>(count)] = s.real;
    } else {
      slots[static_cast<std::size_t>(count)] = s.bits;
    }
    ++count;
    pos = s.end;
  }
  return count;
}

struct Tables {
  std::array<double, COLUMNS> points{};
  std::array<std::uint32_t, COLUMNS> events{};
};

void header_line(const Line& line, Tables& tables, std::string& console) {
  const std::string_view text = line.text;
  if (text.empty() || text[0] == '#') return;
  const std::size_t anchor = text.find('s');
  if (anchor == text.npos) return;
  std::size_t begin = skip_space(text, 0);
  std::size_t end = begin;
  while (end < text.size() && !is_c_space(text[end])) ++end;
  const std::string_view keyword = text.substr(begin, end - begin);
  const std::string_view tail = text.substr(anchor + 1);
  console += "\n";
  console += keyword;
  console += ":";
  console += tail;
  if (line.echo_newline) console += "\n";
  if (keyword == "points") {
    const int count = scan_list(tail, tables.points, scan_real);
    append_format(console, "\n%d 'points' records found, %f %f  %f\n", count,
                  tables.points[0], tables.points[1], tables.points[2]);
  } else if (keyword == "events") {
    const int count = scan_list(tail, tables.events, scan_integer);
    append_format(console, "\n%d 'events' records found, %u %u %u ...\n", count,
                  tables.events[0], tables.events[1], tables.events[2]);
  }
}

void data_line(std::string_view text, const Tables& tables, std::string& rows) {
  const Scanned label = scan_integer(text, 0);
  if (label.outcome != Outcome::ok) return;
  const auto signed_label = static_cast<std::int32_t>(label.bits);
  std::size_t pos = label.end;
  for (std::size_t column = 0; column < COLUMNS; ++column) {
    const Scanned value = scan_integer(text, pos);
    if (value.outcome != Outcome::ok) break;
    pos = value.end;
    append_format(rows, "%4d %.3f %u %u\n", signed_label, tables.points[column],
                  tables.events[column], value.bits);
  }
}

}  // namespace

bool is_c_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

Scanned scan_integer(std::string_view text, std::size_t pos) {
  Scanned result;
  result.end = pos;
  std::size_t p = skip_space(text, pos);
  if (p == text.size()) {
    result.outcome = Outcome::end_of_text;
    return result;
  }
  const bool negative = text[p] == '-';
  if (text[p] == '-' || text[p] == '+') ++p;
  if (p == text.size() || !is_decimal(text[p])) return result;
  std::uint64_t value = 0;
  for (; p < text.size() && is_decimal(text[p]); ++p) {
    value =
        (value * 10 + static_cast<std::uint64_t>(text[p] - '0')) % TWO_TO_32;
  }
  if (negative) value = (TWO_TO_32 - value) % TWO_TO_32;
  result.outcome = Outcome::ok;
  result.end = p;
  result.bits = static_cast<std::uint32_t>(value);
  return result;
}

Scanned scan_real(std::string_view text, std::size_t pos) {
  Scanned result;
  result.end = pos;
  const std::size_t start = skip_space(text, pos);
  std::size_t p = start;
  if (p == text.size()) {
    result.outcome = Outcome::end_of_text;
    return result;
  }
  if (text[p] == '-' || text[p] == '+') ++p;
  std::size_t digits = 0;
  for (; p < text.size() && is_decimal(text[p]); ++p) ++digits;
  if (p < text.size() && text[p] == '.') {
    for (++p; p < text.size() && is_decimal(text[p]); ++p) ++digits;
  }
  if (digits == 0) return result;
  if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
    ++p;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
    while (p < text.size() && is_decimal(text[p])) ++p;
  }
  // strtod reads the longest number it can: a dangling exponent letter and
  // sign are left out of its value, as they must be.
  const std::string extent(text.substr(start, p - start));
  result.real = std::strtod(extent.c_str(), nullptr);
  result.outcome = Outcome::ok;
  result.end = p;
  return result;
}

Conversion convert(std::string_view input) {
  Conversion out;
  Tables tables;
  std::size_t index = 0;
  for (const Line& line : split_lines(input)) {
    if (index < HEADER_LINE_COUNT) {
      header_line(line, tables, out.console);
    } else if (index > HEADER_LINE_COUNT) {
      data_line(line.text, tables, out.rows);
    }
    ++index;
  }
  return out;
}

}  // namespace tnx::reference
