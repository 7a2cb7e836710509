// The data pass: scans one data line (a label and up to MAX_COLUMNS values)
// and hands each value to the row layout, one row per value.
#pragma once

#include "engine/line_reader.hpp"
#include "engine/line_scan.hpp"
#include "engine/row_format.hpp"
#include "engine/row_writer.hpp"

namespace tnx {

// convert_data_line()
//
// Scans the label and then values up to the end of the text, the first text
// that is no number, or the MAX_COLUMNS-th value, and writes one row per
// value in column order. A line without a label or without values writes
// nothing. `line` must carry the NUL and padding that LineReader provides.
void convert_data_line(const Line& line, const ColumnTexts& columns,
                       RowWriter& rows) noexcept;

// As above, noting in `scan` (fresh for each line) what the scan saw
// besides the rows, for the report.
void convert_data_line(const Line& line, const ColumnTexts& columns,
                       RowWriter& rows, LineScan& scan) noexcept;

}  // namespace tnx
