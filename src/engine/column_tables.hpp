// What the header tells about the columns: the keywords of the lines that
// fill the tables, and the tables the data pass lays its rows out with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/limits.hpp"

namespace tnx {

// The first word of a header line that fills a column table.
enum class HeaderKeyword { none, points, events };

// What the header tells about each column. Slot j belongs to column j; a
// slot keeps its value until a later line of the same keyword overwrites it.
struct ColumnTables {
  std::array<double, MAX_COLUMNS> points{};
  std::array<std::uint32_t, MAX_COLUMNS> events{};
  // The keyword and count of each summary, in the order of the header
  // lines (the count the console text shows: -1 when only white space
  // followed the keyword).
  struct Count {
    HeaderKeyword keyword = HeaderKeyword::none;
    int count = 0;
  };
  std::array<Count, HEADER_LINES> counts{};
  int summaries = 0;

  void note_count(HeaderKeyword keyword, int count) {
    if (summaries < HEADER_LINES) {
      counts[static_cast<std::size_t>(summaries++)] = {keyword, count};
    }
  }
};

}  // namespace tnx
