// Rows kept as numbers against the row file's text: over seeded random
// scans, formatting the arrays with "%4d %.3f %u %u" gives the conversion's
// rows, and the console text is the conversion's, however the input is
// read (block sizes, lines in pieces, standard input) and however the rows
// are chunked (one chunk, many, an input that grew past its size).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "engine/scan_arrays.hpp"
#include "memory_conversion.hpp"
#include "memory_file_io.hpp"
#include "seeded_random.hpp"

namespace tnx {
namespace {

using test::SeededRandom;

std::string random_number(SeededRandom& random) {
  std::string text;
  if (random.chance(10)) text += random.pick("+-");
  if (random.chance(5)) text += "00";
  switch (random.between(0, 4)) {
    case 0: text += std::to_string(random.between(0, 999)); break;
    case 1: text += std::to_string(random.between(0, 0xFFFFFFFFu)); break;
    case 2: text += random.digits(9, 12); break;
    case 3: text += random.digits(1, 40); break;
    default: text += std::to_string(random.between(0, 99999999)); break;
  }
  if (random.chance(3)) text += random.pick("x.e-");
  return text;
}

std::string random_line(SeededRandom& random, std::size_t most) {
  std::string line;
  const std::size_t count = random.between(0, most);
  for (std::size_t i = 0; i < count; ++i) {
    line += random_number(random);
    line += random.chance(10) ? "\t " : " ";
  }
  return line;
}

std::string random_scan(SeededRandom& random) {
  std::string scan = random.chance(50) ? "# comment\n" : "";
  scan += "points " + random_line(random, 30) + "\n";
  scan += (random.chance(80) ? "events " : "events x ") +
          random_line(random, 30) + "\n";
  scan += "dropped\n";
  const std::size_t lines = random.between(0, 60);
  for (std::size_t i = 0; i < lines; ++i) {
    scan += random_line(random, random.chance(10) ? 130 : 12);
    scan += random.chance(5) ? "\r\n" : "\n";
  }
  return scan;
}

std::string format_rows(const ScanArrays& scan) {
  std::string rows;
  char row[512];
  for (std::size_t i = 0; i < scan.rows; ++i) {
    const int n = std::snprintf(row, sizeof row, "%4d %.3f %u %u\n",
                                scan.label.get()[i], scan.point.get()[i],
                                scan.events.get()[i], scan.value.get()[i]);
    rows.append(row, static_cast<std::size_t>(n));
  }
  return rows;
}

struct Reading {
  const char* name;
  std::size_t block_size;
  std::size_t line_limit;
  bool standard_input;
  // The size the input reports (SIZE_MAX: its own); a smaller one is an
  // input that grew while it was read.
  std::size_t reported_size;
  std::size_t chunk_rows;
};

constexpr Reading READINGS[] = {
    {"whole", BLOCK_SIZE, BLOCK_SIZE, false, SIZE_MAX, CHUNK_ROWS},
    {"bytes", 1, BLOCK_SIZE, false, SIZE_MAX, CHUNK_ROWS},
    {"pieces", 7, 5, false, SIZE_MAX, CHUNK_ROWS},
    {"standard input, small chunks", 4096, BLOCK_SIZE, true, SIZE_MAX,
     MAX_COLUMNS},
    {"grown file", 4096, BLOCK_SIZE, false, 10, MAX_COLUMNS},
    {"grown file, pieces", 3, 4, false, 0, 150},
};

ScanArrays read_in_memory(const std::string& text, const Reading& reading,
                          std::size_t read_error_at = SIZE_MAX) {
  test::MemoryFileIo io;
  io.reported_size = reading.reported_size;
  io.read_error_at = read_error_at;
  ConversionInput in;
  if (reading.standard_input) {
    io.set_standard_input(text);
    in.fd = STDIN_FD;
  } else {
    io.add_file("in.dat", text);
    in.fd = io.open("in.dat");
    in.from_start = true;
  }
  (void)io.identify(in.fd, in.id);
  ConversionSettings settings;
  settings.block_size = reading.block_size;
  settings.line_limit = reading.line_limit;
  return read_arrays(io, in, settings, reading.chunk_rows);
}

TEST(ScanArraysDiff, ArraysFormatToTheRowFile) {
  SeededRandom random(20261208);
  for (int round = 0; round < 300; ++round) {
    const std::string scan = random_scan(random);
    const test::MemoryConversion expected = test::convert_in_memory(scan, {});
    for (const Reading& reading : READINGS) {
      SCOPED_TRACE(random.seed_trace() + ", round " + std::to_string(round) +
                   ", " + reading.name);
      const ScanArrays arrays = read_in_memory(scan, reading);
      ASSERT_EQ(arrays.error, 0);
      ASSERT_EQ(format_rows(arrays), expected.rows);
      ASSERT_EQ(arrays.console, expected.text);
      for (std::size_t i = 0; i < arrays.rows; ++i) {
        const std::size_t j = arrays.column.get()[i];
        ASSERT_LT(j, static_cast<std::size_t>(MAX_COLUMNS));
        ASSERT_EQ(arrays.point.get()[i], arrays.tables.points[j]);
        ASSERT_EQ(arrays.events.get()[i], arrays.tables.events[j]);
      }
    }
  }
}

TEST(ScanArraysDiff, FailedReadKeepsTheRowsBeforeIt) {
  SeededRandom random(7);
  for (int round = 0; round < 50; ++round) {
    const std::string scan = random_scan(random);
    const std::size_t at = random.between(0, scan.size());
    test::MemoryInput how;
    how.read_error_at = at;
    const test::MemoryConversion expected =
        test::convert_in_memory(scan, {}, how);
    SCOPED_TRACE(random.seed_trace() + ", round " + std::to_string(round));
    const ScanArrays arrays = read_in_memory(scan, READINGS[3], at);
    EXPECT_EQ(arrays.error, expected.result.read_error);
    EXPECT_EQ(format_rows(arrays), expected.rows);
  }
}

TEST(ScanArraysDiff, HeaderCountsFollowTheSummaries) {
  struct Case {
    const char* header;
    int summaries;
    HeaderKeyword first;
    int first_count;
  };
  const Case cases[] = {
      {"points 1 2 3\nevents 4\nx\n", 2, HeaderKeyword::points, 3},
      {"events\n# points 1\nx\n", 1, HeaderKeyword::events, -1},
      {"x\ny\npoints z 1\n", 1, HeaderKeyword::points, 0},
      {"a\nb\nc\n", 0, HeaderKeyword::none, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const ScanArrays arrays =
        read_in_memory(std::string(c.header) + "d\n1 2\n", READINGS[0]);
    EXPECT_EQ(arrays.tables.summaries, c.summaries);
    EXPECT_EQ(arrays.tables.counts[0].keyword, c.first);
    EXPECT_EQ(arrays.tables.counts[0].count, c.first_count);
    EXPECT_EQ(arrays.rows, 1U);
  }
}

}  // namespace
}  // namespace tnx
