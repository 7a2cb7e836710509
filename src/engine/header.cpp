// The header pass: a whole header line, echoed and, for a keyword, summarised.
#include "engine/header.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/number_scan.hpp"

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

}  // namespace

HeaderKeyword keyword_of(std::string_view word) {
  if (word == "points") return HeaderKeyword::points;
  if (word == "events") return HeaderKeyword::events;
  return HeaderKeyword::none;
}

void summarize(HeaderKeyword keyword, const char* first, const char* last,
               ColumnTables& tables, TextOutput& console) {
  if (keyword == HeaderKeyword::points) {
    auto& p = tables.points;
    const int count = scan_double_list(first, last, p.data(), MAX_COLUMNS);
    tables.note_count(keyword, count);
    add_printf(console, "\n%d 'points' records found, %f %f  %f\n", count, p[0],
               p[1], p[2]);
  } else if (keyword == HeaderKeyword::events) {
    auto& e = tables.events;
    const int count = scan_u32_list(first, last, e.data(), MAX_COLUMNS);
    tables.note_count(keyword, count);
    add_printf(console, "\n%d 'events' records found, %u %u %u ...\n", count,
               e[0], e[1], e[2]);
  }
}

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

  summarize(keyword_of(keyword), tail.data(), tail.data() + tail.size(), tables,
            console);
}

}  // namespace tnx
