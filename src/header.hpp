// The header pass: recognises the "points" and "events" lines among the first
// lines of the input, fills the column tables from them, and writes the echo
// and summaries the user sees on the console.
#pragma once

#include <array>
#include <cstdint>

#include "limits.hpp"
#include "line_reader.hpp"
#include "text_output.hpp"

namespace tnx {

// What the header tells about each column. Slot j belongs to column j; a
// slot keeps its value until a later line of the same keyword overwrites it.
struct ColumnTables {
  std::array<double, MAX_COLUMNS> points{};
  std::array<std::uint32_t, MAX_COLUMNS> events{};
};

// handle_header_line()
//
// A line whose first byte is '#', or that holds no lower-case s, is passed
// over. Any other line is echoed to `console` as its first token, a colon
// and the text after its first s. A "points" or "events" line also fills
// leading slots of its table and adds a summary of the count it read.
void handle_header_line(const Line& line, ColumnTables& tables,
                        TextOutput& console);

}  // namespace tnx
