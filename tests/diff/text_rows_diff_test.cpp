// Data lines into rows against the reference scanners and one snprintf per
// row, and the digit writers against snprintf, over seeded random inputs.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "engine/report/findings.hpp"
#include "engine/row_writer.hpp"
#include "row_reference.hpp"
#include "seeded_random.hpp"

namespace tnx {
namespace {

using test::SeededRandom;

std::string random_integer(SeededRandom& random) {
  std::string text;
  if (random.chance(15)) text += random.pick("+-");
  if (random.chance(10)) text += std::string(random.between(1, 12), '0');
  switch (random.between(0, 5)) {
    case 0: text += std::to_string(random.between(0, 99)); break;
    case 1: text += std::to_string(random.between(0, 0xFFFFFFFFu)); break;
    case 2:
      // Around the ends of 32 bits, signed and unsigned.
      text += std::to_string(random.pick("0123") == '0'
                                 ? random.between(4294967290u, 4294967299u)
                                 : random.between(2147483640u, 2147483656u));
      break;
    case 3: text += random.digits(10, 10); break;
    case 4: text += random.digits(11, 25); break;
    default: text += std::to_string(random.between(0, 99999)); break;
  }
  return text;
}

std::string random_space(SeededRandom& random) {
  std::string space(random.between(1, 3), ' ');
  for (char& c : space) {
    if (random.chance(20)) c = random.pick("\t\v\f\r");
  }
  return space;
}

std::string random_data_line(SeededRandom& random) {
  std::string line;
  if (random.chance(20)) line += random_space(random);
  if (random.chance(3)) return line + (random.chance(50) ? "word 1 2" : "");
  line += random_integer(random);
  const std::uint64_t values =
      random.chance(10) ? random.between(95, 150) : random.between(0, 12);
  for (std::uint64_t i = 0; i < values; ++i) {
    // Mostly separated; sometimes joined, so a sign starts the next value.
    if (!random.chance(5)) line += random_space(random);
    line += random_integer(random);
  }
  if (random.chance(15)) {
    line += random.pick("x,.;#eE");
    line += " 1 2";
  }
  if (random.chance(3)) line += std::string("\0 9 9", 5);
  if (random.chance(20)) line += random_space(random);
  return line;
}

ColumnTables random_tables(SeededRandom& random) {
  ColumnTables tables;
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    double point = static_cast<double>(random.between(0, 1u << 30)) / 1024.0;
    if (random.chance(10))
      point = std::ldexp(point, static_cast<int>(random.between(0, 900)) - 450);
    if (random.chance(2)) point = std::numeric_limits<double>::infinity();
    if (random.chance(30)) point = -point;
    tables.points[j] = point;
    tables.events[j] = static_cast<std::uint32_t>(
        random.chance(30) ? random.between(0, 100)
                          : random.between(0, 0xFFFFFFFFu));
  }
  return tables;
}

TEST(RecordDiff, RowsMatchOneFormattedPrintPerRow) {
  SeededRandom random(4242);
  std::size_t rows_compared = 0;
  for (int batch = 0; batch < 300; ++batch) {
    const ColumnTables tables = random_tables(random);
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i) lines.push_back(random_data_line(random));
    SCOPED_TRACE(random.seed_trace() + ", batch " + std::to_string(batch));
    const std::string want = test::reference_rows(lines, tables);
    const std::string got = test::convert_lines(lines, tables);
    if (got != want) {
      // Narrow the failure down to the first line that differs.
      for (const std::string& line : lines) {
        ASSERT_EQ(test::convert_lines({line}, tables),
                  test::reference_rows(line, tables))
            << testing::PrintToString(line);
      }
    }
    ASSERT_EQ(got, want);
    for (char c : want) rows_compared += c == '\n' ? 1 : 0;
  }
  // The generator must reach lines of many rows, not only empty ones.
  EXPECT_GT(rows_compared, 100000u);
}

// What the C library's strtoll() makes of a data line, read number by
// number under the data pass's stop rules: the report's scan must agree.
struct LibraryScan {
  bool blank = false;
  int values = 0;
  // Offsets in the line, or -1.
  long stop = -1;
  long nul = -1;
  int wrap_column = -1;
};

LibraryScan library_scan(const std::string& line) {
  LibraryScan scan;
  const char* const text = line.c_str();  // its text ends at the first NUL
  const auto nul = line.find('\0');
  if (nul != std::string::npos) scan.nul = static_cast<long>(nul);
  const char* p = text;
  const auto skip_space = [&p] {
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)) != 0) ++p;
  };
  skip_space();
  if (p == text + line.size()) {
    scan.blank = true;
    return scan;
  }
  // The label is number 0, the values 1 to MAX_COLUMNS.
  for (int number = 0; number <= MAX_COLUMNS + 1; ++number) {
    skip_space();
    // A NUL before the line's end stops the values there.
    if (*p == '\0' && number > 0) {
      if (p != text + line.size()) scan.stop = p - text;
      break;
    }
    if (number == MAX_COLUMNS + 1) {
      scan.stop = p - text;
      break;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(p, &end, 10);
    if (end == p) {
      // A stop at the end of the text is no stop.
      if (*p != '\0' || p != text + line.size()) scan.stop = p - text;
      break;
    }
    const bool wraps =
        errno == ERANGE ||
        (number == 0 ? value < INT32_MIN || value > INT32_MAX
                     : value < 0 || value > static_cast<long long>(UINT32_MAX));
    if (wraps && scan.wrap_column < 0) scan.wrap_column = number;
    scan.values = number;
    p = end;
  }
  return scan;
}

// The value (4th field) of each row, and the label field of the first.
std::vector<std::string> row_fields(const std::string& rows, int field) {
  std::vector<std::string> fields;
  std::istringstream in(rows);
  std::string a;
  std::string b;
  std::string c;
  std::string d;
  while (in >> a >> b >> c >> d) fields.push_back(field == 0 ? a : d);
  return fields;
}

// The rows of `line` through the data pass's text sink, with the scan's
// notes for the report in `scan`.
std::string convert_noting(const Line& line, const ColumnTables& tables,
                           LineScan& scan) {
  test::MemoryFileIo io;
  const ColumnTexts columns(tables);
  RowWriter rows(io, io.open("rows"));
  convert_data_line(line, columns, rows, scan);
  if (!rows.flush()) return "<write failed>";
  return io.file("rows");
}

// The report's scan, alone (scan_line_for_report()) and as the watch of the
// data pass writing the rows, against the C library.
TEST(RecordDiff, ReportScanAgreesWithRowsAndCLibrary) {
  SeededRandom random(4343);
  const ColumnTables tables = random_tables(random);
  std::size_t wrapped = 0;
  std::size_t stopped = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string text = random_data_line(random);
    SCOPED_TRACE(random.seed_trace() + ", line " + std::to_string(i) + ": " +
                 testing::PrintToString(text));
    std::string padded = text + '\0' + std::string(LINE_PADDING, '\0');
    const LineScan scan =
        scan_line_for_report(Line{padded.data(), text.size(), true});
    const LibraryScan want = library_scan(text);
    const std::string rows = test::convert_lines({text}, tables);
    const std::vector<std::string> values = row_fields(rows, 3);
    // The watch of the data pass, writing the rows, sees the very same.
    LineScan in_pass;
    ASSERT_EQ(
        convert_noting(Line{padded.data(), text.size(), true}, tables, in_pass),
        rows);
    ASSERT_EQ(in_pass.blank, scan.blank);
    ASSERT_EQ(in_pass.has_label, scan.has_label);
    ASSERT_EQ(in_pass.values, scan.values);
    ASSERT_EQ(in_pass.stopped_at_count, scan.stopped_at_count);
    ASSERT_EQ(in_pass.stop, scan.stop);
    ASSERT_EQ(in_pass.nul, scan.nul);
    ASSERT_EQ(in_pass.wrap_first, scan.wrap_first);
    ASSERT_EQ(in_pass.wrap_last, scan.wrap_last);
    ASSERT_EQ(in_pass.wrap_column, scan.wrap_column);
    ASSERT_EQ(in_pass.wrap_result, scan.wrap_result);

    ASSERT_EQ(scan.values, static_cast<int>(values.size()));
    ASSERT_EQ(scan.blank, want.blank);
    if (!want.blank && want.stop != 0) {
      ASSERT_EQ(scan.values, want.values);
    }
    ASSERT_EQ(scan.stop == nullptr ? -1L : scan.stop - padded.data(),
              want.stop);
    ASSERT_EQ(scan.nul == nullptr ? -1L : scan.nul - padded.data(), want.nul);
    ASSERT_EQ(scan.wrap_first == nullptr ? -1 : scan.wrap_column,
              want.wrap_column);
    if (scan.wrap_first == nullptr) continue;
    ++wrapped;
    stopped += scan.stop != nullptr ? 1 : 0;
    // What the wrapped number reads as is what its row shows.
    if (values.empty()) continue;
    if (scan.wrap_column == 0) {
      ASSERT_EQ(row_fields(rows, 0).front(),
                std::to_string(static_cast<std::int32_t>(scan.wrap_result)));
    } else {
      ASSERT_EQ(values[static_cast<std::size_t>(scan.wrap_column - 1)],
                std::to_string(scan.wrap_result));
    }
  }
  // The generator must reach wrapped numbers and stops, not only plain lines.
  EXPECT_GT(wrapped, 1000u);
  EXPECT_GT(stopped, 100u);
}

TEST(RecordDiff, AppendU32MatchesPrintfOnRandomValues) {
  SeededRandom random(77);
  SCOPED_TRACE(random.seed_trace());
  for (int i = 0; i < 1000000; ++i) {
    // Uniform values are nearly all ten digits long; also draw the length.
    const std::uint64_t limit = std::uint64_t{1} << random.between(1, 32);
    const auto v = static_cast<std::uint32_t>(random.between(0, limit - 1));
    char want[16];
    const int size = std::snprintf(want, sizeof want, "%u", v);
    char got[MAX_VALUE_TEXT];
    const char* end = append_u32(got, v);
    ASSERT_EQ(std::string_view(got, static_cast<std::size_t>(end - got)),
              std::string_view(want, static_cast<std::size_t>(size)))
        << v;
  }
}

TEST(RecordDiff, LabelFieldMatchesPrintfOnRandomLabels) {
  SeededRandom random(78);
  SCOPED_TRACE(random.seed_trace());
  for (int i = 0; i < 300000; ++i) {
    const std::uint64_t limit = std::uint64_t{1} << random.between(1, 32);
    const auto label = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(random.between(0, limit - 1)) *
        (random.chance(50) ? 1u : 0xFFFFFFFFu));
    char want[32];
    const int size = std::snprintf(want, sizeof want, "%4d ", label);
    const LabelField field = format_label_field(label);
    ASSERT_EQ(std::string_view(field.bytes.data(), field.size),
              std::string_view(want, static_cast<std::size_t>(size)))
        << label;
  }
}

}  // namespace
}  // namespace tnx
