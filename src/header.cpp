#include "header.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "number_scan.hpp"

namespace tnx {
namespace {

[[gnu::format(printf, 2, 3)]] void add_printf(TextOutput& out,
                                              const char* format, ...) {
  // Three "%f" values of up to 316 characters each fit in any case.
  char buffer[1200];
  va_list args;
  va_start(args, format);
  const int size = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (size > 0) {
    out.add(std::string_view(
        buffer, std::min(static_cast<std::size_t>(size), sizeof buffer - 1)));
  }
}

std::string_view first_token(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && is_space(text[begin])) ++begin;
  std::size_t end = begin;
  while (end < text.size() && !is_space(text[end])) ++end;
  return text.substr(begin, end - begin);
}

// Scans the numbers of a points line's tail [first, last) into the table
// and adds the summary.
void summarize_points(const char* first, const char* last, ColumnTables& tables,
                      TextOutput& console) {
  const int count =
      scan_double_list(first, last, tables.points.data(), MAX_COLUMNS);
  add_printf(console, "\n%d 'points' records found, %f %f  %f\n", count,
             tables.points[0], tables.points[1], tables.points[2]);
}

void summarize_events(const char* first, const char* last, ColumnTables& tables,
                      TextOutput& console) {
  const int count =
      scan_u32_list(first, last, tables.events.data(), MAX_COLUMNS);
  add_printf(console, "\n%d 'events' records found, %u %u %u ...\n", count,
             tables.events[0], tables.events[1], tables.events[2]);
}

}  // namespace

void handle_header_line(const Line& line, ColumnTables& tables,
                        TextOutput& console) {
  // A NUL ends the text of its line; the line end after it goes with the
  // rest of the line.
  const auto* nul =
      static_cast<const char*>(std::memchr(line.text, '\0', line.size));
  const std::string_view text(
      line.text,
      nul != nullptr ? static_cast<std::size_t>(nul - line.text) : line.size);
  const bool has_newline = line.has_newline && nul == nullptr;

  if (text.empty() || text.front() == '#') return;
  // The tail starts after the first lower-case s: for the two keywords that
  // is their own last letter, so the tail is the rest of the line.
  const std::size_t anchor = text.find('s');
  if (anchor == std::string_view::npos) return;
  const std::string_view keyword = first_token(text);
  const std::string_view tail = text.substr(anchor + 1);

  console.add("\n");
  console.add(keyword);
  console.add(":");
  console.add(tail);
  if (has_newline) console.add("\n");

  const char* first = tail.data();
  const char* last = tail.data() + tail.size();
  if (keyword == "points") {
    summarize_points(first, last, tables, console);
  } else if (keyword == "events") {
    summarize_events(first, last, tables, console);
  }
}

}  // namespace tnx
