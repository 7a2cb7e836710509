#include "engine/text_rows.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/row_writer.hpp"
#include "row_reference.hpp"

namespace tnx {
namespace {

using test::convert_lines;
using test::reference_rows;
using test::with_row_ends;

// Column j at (j + 1) / 2 with events number 10 (j + 1).
ColumnTables counting_tables() {
  ColumnTables tables;
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    tables.points[j] = static_cast<double>(j + 1) / 2;
    tables.events[j] = static_cast<std::uint32_t>(10 * (j + 1));
  }
  return tables;
}

TEST(Record, RowsOfOneLine) {
  struct Case {
    std::string text;
    std::string rows;  // LF line ends
  };
  std::string values150 = "3";
  std::string rows150;
  for (int i = 1; i <= 150; ++i) {
    values150 += ' ';
    values150 += std::to_string(i * 1000);
    if (i > 100) continue;
    char row[64];
    std::snprintf(row, sizeof row, "   3 %.3f %d %d\n", i / 2.0, 10 * i,
                  i * 1000);
    rows150 += row;
  }
  const std::vector<Case> cases = {
      {"7 100 200 300",
       "   7 0.500 10 100\n   7 1.000 20 200\n   7 1.500 30 300\n"},
      {"  7\t100 \v200\f", "   7 0.500 10 100\n   7 1.000 20 200\n"},
      {"7 100 200 300\r",
       "   7 0.500 10 100\n   7 1.000 20 200\n"
       "   7 1.500 30 300\n"},
      // No label, or a label without values: no rows.
      {"", ""},
      {"   ", ""},
      {"7", ""},
      {"7   ", ""},
      {"word 1 2", ""},
      {"- 1 2", ""},
      {"7 x 1", ""},
      {"5x 6", ""},
      {".5 1", ""},
      // Labels: width four at least, wrapped to 32 bits.
      {"-5 1", "  -5 0.500 10 1\n"},
      {"12345 1", "12345 0.500 10 1\n"},
      {"+0 1", "   0 0.500 10 1\n"},
      {"007 1", "   7 0.500 10 1\n"},
      {"2147483648 1", "-2147483648 0.500 10 1\n"},
      {"-2147483649 1", "2147483647 0.500 10 1\n"},
      {"4294967295 1", "  -1 0.500 10 1\n"},
      {"99999999999 1", "1215752191 0.500 10 1\n"},
      // Values: wrapped to 32 bits, leading zeros and signs dropped.
      {"1 -1", "   1 0.500 10 4294967295\n"},
      {"1 007 0000000000000000042 +9 -0",
       "   1 0.500 10 7\n   1 1.000 20 42\n   1 1.500 30 9\n"
       "   1 2.000 40 0\n"},
      {"1 4294967295 4294967296 4294967297 9999999999 4294967294",
       "   1 0.500 10 4294967295\n   1 1.000 20 0\n   1 1.500 30 1\n"
       "   1 2.000 40 1410065407\n   1 2.500 50 4294967294\n"},
      {"1 1000000000 0000000001 0 3999999999 4300000000",
       "   1 0.500 10 1000000000\n   1 1.000 20 1\n   1 1.500 30 0\n"
       "   1 2.000 40 3999999999\n   1 2.500 50 5032704\n"},
      {"1 12345678901234567890", "   1 0.500 10 3944680146\n"},
      // A value followed by junk ends the rows; a sign starts a value.
      {"1 5x 6", "   1 0.500 10 5\n"},
      {"1 5,6", "   1 0.500 10 5\n"},
      {"1 1.5 2", "   1 0.500 10 1\n"},
      {"1 5-3", "   1 0.500 10 5\n   1 1.000 20 4294967293\n"},
      {"1 5+3", "   1 0.500 10 5\n   1 1.000 20 3\n"},
      {"1 5 - 3", "   1 0.500 10 5\n"},
      // A NUL ends the text.
      {std::string("1 2\0 3", 6), "   1 0.500 10 2\n"},
      {std::string("1 2\0", 4), "   1 0.500 10 2\n"},
      {std::string("1\0 2", 4), ""},
      {std::string("1 23\0"
                   "45",
                   7),
       "   1 0.500 10 23\n"},
      {values150, rows150},
  };
  const ColumnTables tables = counting_tables();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text).substr(0, 100));
    const std::string rows = convert_lines({c.text}, tables);
    EXPECT_EQ(rows, with_row_ends(c.rows));
    // The same through the reference scanners and snprintf.
    EXPECT_EQ(rows, reference_rows(c.text, tables));
  }
}

TEST(Record, ColumnTextsOfEveryMagnitude) {
  constexpr double INF = std::numeric_limits<double>::infinity();
  const std::vector<double> points = {1e300,
                                      -1e300,
                                      -std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::max(),
                                      -0.0005,
                                      0.0005,
                                      2.0005,
                                      -0.0,
                                      1e-300,
                                      123456789012.4565,
                                      -42.25,
                                      INF,
                                      -INF,
                                      1e22,
                                      0.1};
  ColumnTables tables;
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    tables.points[j] = points[j % points.size()];
    tables.events[j] = j % 3 == 0 ? 4294967295u : static_cast<std::uint32_t>(j);
  }
  std::string full = "-77";
  for (int j = 0; j < MAX_COLUMNS; ++j) {
    full += ' ';
    full += std::to_string(j * 37);
  }
  const std::vector<std::string> lines = {full, "1 2 3", "", full, "9 8"};
  const std::string rows = convert_lines(lines, tables);
  EXPECT_EQ(rows, reference_rows(lines, tables));
  // The table above holds texts far longer than a short column text.
  char needle[400];
  std::snprintf(needle, sizeof needle, "-77 %.3f 2 74\n",
                -std::numeric_limits<double>::max());
  EXPECT_GT(std::strlen(needle), 300u);
  EXPECT_NE(rows.find(needle), std::string::npos);
}

// Enough rows to fill the writer's buffer several times over, with rows as
// long as any can be.
TEST(Record, RowsAcrossManyBufferFlushes) {
  ColumnTables tables;
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    tables.points[j] =
        -std::numeric_limits<double>::max() / static_cast<double>(j + 1);
    tables.events[j] = 4294967295u - static_cast<std::uint32_t>(j);
  }
  std::vector<std::string> lines;
  for (int i = 0; i < 120; ++i) {
    std::string line = std::to_string(-2147483647 + i);
    for (int j = 0; j < 100; ++j) {
      line += " ";
      line += std::to_string(4294967295u - static_cast<std::uint32_t>(i * j));
    }
    lines.push_back(line);
  }
  const std::string rows = convert_lines(lines, tables);
  EXPECT_GT(rows.size(), 3 * OUTPUT_BUFFER_SIZE);
  EXPECT_EQ(rows, reference_rows(lines, tables));
}

}  // namespace
}  // namespace tnx
