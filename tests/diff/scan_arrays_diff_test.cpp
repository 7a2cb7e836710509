// Rows kept as numbers against the row file's text: over seeded random
// scans, formatting the arrays with "%4d %.3f %u %u" gives the conversion's
// rows, and the console text is the conversion's, however the input is
// read (block sizes, lines in pieces, standard input) and however the rows
// are chunked (one chunk, many, an input that grew past its size).
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "engine/arrays/scan_arrays.hpp"
#include "engine/arrays/scan_grid.hpp"
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

// The numbers of the lines that gave rows, checked against the rows: one
// per row of column 0, each after the header and the line before it.
std::vector<std::int64_t> line_numbers(const ScanArrays& scan) {
  std::vector<std::int64_t> numbers(scan.line_number.get(),
                                    scan.line_number.get() + scan.lines);
  std::size_t starts = 0;
  for (std::size_t i = 0; i < scan.rows; ++i) {
    if (scan.column.get()[i] == 0) ++starts;
  }
  EXPECT_EQ(starts, scan.lines);
  for (std::size_t j = 0; j < numbers.size(); ++j) {
    EXPECT_GT(numbers[j],
              j == 0 ? std::int64_t{HEADER_LINES} + 1 : numbers[j - 1]);
  }
  return numbers;
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
  // Shared fields on a thread from a first chunk this large (SIZE_MAX:
  // never), handed over this many lines at a time.
  std::size_t background_rows = SIZE_MAX;
  std::size_t batch_lines = 0;
};

constexpr Reading READINGS[] = {
    {"whole", BLOCK_SIZE, BLOCK_SIZE, false, SIZE_MAX, CHUNK_ROWS},
    {"bytes", 1, BLOCK_SIZE, false, SIZE_MAX, CHUNK_ROWS},
    {"pieces", 7, 5, false, SIZE_MAX, CHUNK_ROWS},
    {"standard input, small chunks", 4096, BLOCK_SIZE, true, SIZE_MAX,
     MAX_COLUMNS},
    {"grown file", 4096, BLOCK_SIZE, false, 10, MAX_COLUMNS},
    {"grown file, pieces", 3, 4, false, 0, 150},
    {"thread, a line at a time", BLOCK_SIZE, BLOCK_SIZE, false, SIZE_MAX,
     CHUNK_ROWS, 0, 1},
    {"thread, pieces, three lines at a time", 7, 5, false, SIZE_MAX, CHUNK_ROWS,
     0, 3},
    {"thread, whole batches", BLOCK_SIZE, BLOCK_SIZE, false, SIZE_MAX,
     CHUNK_ROWS, 0, SharedFieldsThread::BATCH_LINES},
    {"thread, grown file: its first chunk filled", 4096, BLOCK_SIZE, false, 10,
     MAX_COLUMNS, 0, 2},
};

ScanArrays read_in_memory(const std::string& text, const Reading& reading,
                          std::size_t read_error_at = SIZE_MAX,
                          AllocateMemory allocate = nullptr) {
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
  ArraySettings arrays;
  arrays.allocate = allocate;
  arrays.background_rows = reading.background_rows;
  arrays.batch_lines = reading.batch_lines;
  return read_arrays(io, in, settings, reading.chunk_rows, arrays);
}

TEST(ScanArraysDiff, ArraysFormatToTheRowFile) {
  SeededRandom random(20261208);
  for (int round = 0; round < 300; ++round) {
    const std::string scan = random_scan(random);
    const test::MemoryConversion expected = test::convert_in_memory(scan, {});
    std::vector<std::int64_t> first;
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
      // The numbers of the lines that gave rows, however the input was
      // read and the rows chunked, are the same.
      const std::vector<std::int64_t> numbers = line_numbers(arrays);
      if (&reading == &READINGS[0]) first = numbers;
      ASSERT_EQ(numbers, first);
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
    for (const Reading* reading : {&READINGS[3], &READINGS[7]}) {
      SCOPED_TRACE(reading->name);
      const ScanArrays arrays = read_in_memory(scan, *reading, at);
      EXPECT_EQ(arrays.error, expected.result.read_error);
      EXPECT_EQ(format_rows(arrays), expected.rows);
    }
  }
}

// The sizes of the blocks the arrays got, and how many more they may get.
struct Blocks {
  std::vector<std::size_t> taken;
  std::size_t left = SIZE_MAX;
};
Blocks blocks;

void* take_block(std::size_t bytes) noexcept {
  if (blocks.left == 0) return nullptr;
  --blocks.left;
  blocks.taken.push_back(bytes);
  return std::malloc(bytes);
}

void reset_blocks(std::size_t left) {
  blocks.taken.clear();
  blocks.left = left;
}

// A scan whose lines give no rows gets arrays of none: no chunk sized for
// the whole input, no thread to fill it.
TEST(ScanArraysDiff, NoRowsTakeNoChunk) {
  std::string scan = "points 1\nevents 2\nx\n";
  for (int i = 0; i < 200; ++i) scan += "no label here\n";
  reset_blocks(SIZE_MAX);
  const ScanArrays arrays =
      read_in_memory(scan, READINGS[6], SIZE_MAX, take_block);
  EXPECT_EQ(arrays.error, 0);
  EXPECT_EQ(arrays.rows, 0U);
  EXPECT_FALSE(arrays.value.empty());
  // The five fields and the line numbers, a block each.
  EXPECT_EQ(blocks.taken.size(), 6U);
  for (const std::size_t bytes : blocks.taken) EXPECT_LE(bytes, sizeof(double));
}

// Memory refused at any block -- the first chunk's, a later chunk's while
// the thread fills the first, the joined arrays' -- gives ENOMEM and no
// rows, the console text and tables kept, every block given back (the
// sanitizers' builds see that) and the thread joined.
TEST(ScanArraysDiff, MemoryRefusedAtAnyBlockGivesNoRows) {
  SeededRandom random(5);
  std::string scan = "points 1 2\nevents 3\nx\n";
  for (int i = 0; i < 60; ++i) scan += random_line(random, 12) + "\n";
  const test::MemoryConversion expected = test::convert_in_memory(scan, {});
  for (const Reading* reading : {&READINGS[4], &READINGS[9]}) {
    reset_blocks(SIZE_MAX);
    ASSERT_EQ(read_in_memory(scan, *reading, SIZE_MAX, take_block).error, 0);
    const std::size_t total = blocks.taken.size();
    // Five arrays per chunk, and five joined from several chunks.
    ASSERT_GT(total, 10U);
    for (std::size_t left = 0; left < total; ++left) {
      SCOPED_TRACE(std::string(reading->name) + ", blocks " +
                   std::to_string(left));
      reset_blocks(left);
      const ScanArrays arrays =
          read_in_memory(scan, *reading, SIZE_MAX, take_block);
      EXPECT_EQ(arrays.error, ENOMEM);
      EXPECT_EQ(arrays.rows, 0U);
      EXPECT_EQ(arrays.console, expected.text);
      EXPECT_EQ(arrays.tables.summaries, 2);
    }
  }
  reset_blocks(SIZE_MAX);
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

// Checks the grid of `scan` cell by cell against its rows: row i is cell
// (line of row i, column[i]); every other cell is NaN.
void expect_grid_holds_the_rows(const ScanArrays& scan) {
  const std::optional<GridShape> shape =
      grid_shape(scan.column.get(), scan.rows);
  ASSERT_TRUE(shape.has_value());
  ASSERT_EQ(shape->lines, scan.lines);
  std::vector<double> grid(shape->lines * shape->columns, -1.0);
  std::vector<std::int32_t> labels(shape->lines);
  fill_grid(scan.column.get(), scan.value.get(), scan.label.get(), scan.rows,
            *shape, grid.data(), labels.data());
  std::vector<bool> held(grid.size());
  std::size_t line = 0;
  for (std::size_t i = 0; i < scan.rows; ++i) {
    if (i != 0 && scan.column.get()[i] == 0) ++line;
    const std::size_t cell = line * shape->columns + scan.column.get()[i];
    ASSERT_EQ(grid[cell], scan.value.get()[i]) << "row " << i;
    ASSERT_EQ(labels[line], scan.label.get()[i]) << "row " << i;
    held[cell] = true;
  }
  for (std::size_t cell = 0; cell < grid.size(); ++cell) {
    if (!held[cell]) {
      ASSERT_TRUE(std::isnan(grid[cell])) << "cell " << cell;
    }
  }
}

TEST(ScanGrid, HoldsEveryRowAndNanElsewhere) {
  SeededRandom random(20261209);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(random.seed_trace() + ", round " + std::to_string(round));
    expect_grid_holds_the_rows(
        read_in_memory(random_scan(random), READINGS[0]));
  }
  // Enough rows for the second half on a thread of its own, lines of 1 to
  // 100 values.
  std::string large = "points 1\nevents 2\nh\nh\n";
  for (std::size_t line = 0; large.size() < 3 * GRID_THREAD_ROWS; ++line) {
    large += std::to_string(line);
    for (std::size_t v = 0; v <= line % MAX_COLUMNS; ++v) large += " 7";
    large += "\n";
  }
  const ScanArrays scan = read_in_memory(large, READINGS[0]);
  ASSERT_GE(scan.rows, GRID_THREAD_ROWS);
  expect_grid_holds_the_rows(scan);
}

TEST(ScanGrid, RefusesColumnsNoReadGives) {
  const std::vector<std::vector<std::uint8_t>> cases = {
      {1}, {0, 2}, {0, 1, 1}, {0, 1, 0, 2}};
  for (const auto& column : cases) {
    EXPECT_FALSE(grid_shape(column.data(), column.size()).has_value());
  }
  const std::uint8_t none = 0;
  const std::optional<GridShape> empty = grid_shape(&none, 0);
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->lines, 0U);
  EXPECT_EQ(empty->columns, 0U);
}

}  // namespace
}  // namespace tnx
