// The header pass: recognises the "points" and "events" lines among the first
// lines of the input, fills the column tables from them, and writes the echo
// and summaries the user sees on the console. A header line too long for the
// input buffer is taken piece by piece (see long_header_line.hpp), so no
// header line is ever held whole.
#pragma once

#include <string_view>

#include "engine/column_tables.hpp"
#include "engine/line_reader.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// handle_header_line()
//
// A line whose first byte is '#', or that holds no lower-case s, is passed
// over. Any other line is echoed to `console` as its first token, a colon
// and the text after its first s. A "points" or "events" line also fills
// leading slots of its table and adds a summary of the count it read.
void handle_header_line(const Line& line, ColumnTables& tables,
                        TextOutput& console);

// The keyword a header line's first word is, or none.
[[nodiscard]] HeaderKeyword keyword_of(std::string_view word);

// summarize()
//
// Scans the numbers of a points or events line's tail [first, last) into
// the keyword's table and writes its summary to `console`; does nothing
// for HeaderKeyword::none.
void summarize(HeaderKeyword keyword, const char* first, const char* last,
               ColumnTables& tables, TextOutput& console);

}  // namespace tnx
