// Rows two ways: through convert_data_line and a RowWriter into an in-memory
// file, and from the reference model, one snprintf per row, with this
// platform's row end; and rows written with LF turned into that row end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/header.hpp"
#include "engine/row_writer.hpp"
#include "engine/text_rows.hpp"
#include "memory_file_io.hpp"
#include "padded_line.hpp"
#include "reference.hpp"

namespace tnx::test {

// The row file that `lines` convert to, each handed over as the line reader
// would.
inline std::string convert_lines(const std::vector<std::string>& lines,
                                 const ColumnTables& tables) {
  MemoryFileIo io;
  const ColumnTexts columns(tables);
  RowWriter rows(io, io.open("rows"));
  for (const std::string& text : lines) {
    const PaddedLine line(text);
    convert_data_line(line.line(), columns, rows);
  }
  if (!rows.flush()) return "<write failed>";
  return io.file("rows");
}

// `lf_rows` with every LF replaced by this platform's row end.
inline std::string with_row_ends(std::string_view lf_rows) {
  std::string out;
  for (char c : lf_rows) {
    if (c == '\n') {
      out += ROW_END;
    } else {
      out += c;
    }
  }
  return out;
}

inline std::string reference_rows(std::string_view text,
                                  const ColumnTables& tables) {
  std::string rows;
  append_reference_rows(rows, text, tables, ROW_END);
  return rows;
}

inline std::string reference_rows(const std::vector<std::string>& lines,
                                  const ColumnTables& tables) {
  std::string rows;
  for (const std::string& text : lines) {
    append_reference_rows(rows, text, tables, ROW_END);
  }
  return rows;
}

}  // namespace tnx::test
