// Rows two ways: through convert_data_line and a RowWriter into an in-memory
// file, and rebuilt from the reference scanners with snprintf, one formatted
// print per row, the way a plain converter would write them.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "header.hpp"
#include "limits.hpp"
#include "memory_file_system.hpp"
#include "padded_line.hpp"
#include "record.hpp"
#include "reference_scan.hpp"
#include "row_writer.hpp"

namespace tnx::test {

// The row file that `lines` convert to, each handed over as the line reader
// would.
inline std::string convert_lines(const std::vector<std::string>& lines,
                                 const ColumnTables& tables) {
  MemoryFileSystem fs;
  const IoResult fd = fs.open_output("rows");
  const ColumnTexts columns(tables);
  RowWriter rows(fs, static_cast<int>(fd.value));
  for (const std::string& text : lines) {
    const PaddedLine line(text);
    convert_data_line(line.line(), columns, rows);
  }
  if (!rows.flush()) return "<write failed>";
  return fs.file("rows");
}

inline std::string reference_rows(std::string_view text,
                                  const ColumnTables& tables) {
  // A NUL ends the text of a line.
  text = text.substr(0, text.find('\0'));
  const RefScan<std::int32_t> label = ref_scan_i32(text, 0);
  if (label.status != ScanStatus::ok) return "";
  std::uint32_t values[MAX_COLUMNS];
  const int count =
      ref_scan_list(text.substr(label.end), values, MAX_COLUMNS, ref_scan_u32);
  std::string rows;
  for (int j = 0; j < count; ++j) {
    const auto slot = static_cast<std::size_t>(j);
    char row[1024];
    const int size = std::snprintf(
        row, sizeof row, "%4d %.3f %lu %lu", label.value, tables.points[slot],
        static_cast<unsigned long>(tables.events[slot]),
        static_cast<unsigned long>(values[slot]));
    rows.append(row, static_cast<std::size_t>(size));
    rows += ROW_END;
  }
  return rows;
}

inline std::string reference_rows(const std::vector<std::string>& lines,
                                  const ColumnTables& tables) {
  std::string rows;
  for (const std::string& text : lines) rows += reference_rows(text, tables);
  return rows;
}

}  // namespace tnx::test
