#include "engine/header.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/long_header_line.hpp"
#include "faulty_file_io.hpp"
#include "memory_file_io.hpp"
#include "padded_line.hpp"
#include "string_output.hpp"

namespace tnx {
namespace {

using test::PaddedLine;

struct Expected {
  std::string console;
  std::vector<double> points;         // leading slots; the rest stay zero
  std::vector<std::uint32_t> events;  // leading slots; the rest stay zero
};

void expect_tables(const ColumnTables& tables, const Expected& want) {
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    const double point = j < want.points.size() ? want.points[j] : 0.0;
    const std::uint32_t events = j < want.events.size() ? want.events[j] : 0;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(tables.points[j]),
              std::bit_cast<std::uint64_t>(point))
        << "points slot " << j << ": " << tables.points[j];
    EXPECT_EQ(tables.events[j], events) << "events slot " << j;
  }
}

struct LineCase {
  std::string text;
  bool has_newline;
  Expected want;
};

// Single lines and what handling them gives, however they arrive.
std::vector<LineCase> one_line_cases() {
  constexpr double INF = std::numeric_limits<double>::infinity();
  const std::string token40 = "abcdefghijklmnopqrstuvwxyzabcdefghijklmn";
  const std::string points40 = "points" + std::string(34, 'Z');
  return {
      {"points 0.5 1.0 1.5",
       true,
       {"\npoints: 0.5 1.0 1.5\n"
        "\n3 'points' records found, 0.500000 1.000000  1.500000\n",
        {0.5, 1.0, 1.5},
        {}}},
      {"events 10 20 30",
       true,
       {"\nevents: 10 20 30\n\n3 'events' records found, 10 20 30 ...\n",
        {},
        {10, 20, 30}}},
      // Comment lines, lines without a lower-case s and empty lines: silence.
      {"# points 1 2 3", true, {"", {}, {}}},
      {"#", true, {"", {}, {}}},
      {"", true, {"", {}, {}}},
      {"", false, {"", {}, {}}},
      {"1 2 3", true, {"", {}, {}}},
      {"POINTS 1 2", true, {"", {}, {}}},
      // A hash after blanks is a first token like any other.
      {"  # points 1 2", true, {"\n#: 1 2\n", {}, {}}},
      // Look-alikes are echoed only.
      {"Points 1 2", true, {"\nPoints: 1 2\n", {}, {}}},
      {"pointsX 1 2", true, {"\npointsX:X 1 2\n", {}, {}}},
      {"points: 1 2", true, {"\npoints::: 1 2\n", {}, {}}},
      {"EVENTS 1 events 2", true, {"\nEVENTS: 2\n", {}, {}}},
      {"xsample 1 2", true, {"\nxsample:ample 1 2\n", {}, {}}},
      {token40 + " 1",
       true,
       {"\n" + token40 + ":tuvwxyzabcdefghijklmn 1\n", {}, {}}},
      {points40 + " 1",
       true,
       {"\n" + points40 + ":" + points40.substr(6) + " 1\n", {}, {}}},
      // Leading white space before the keyword is skipped, and only the
      // keyword is echoed before the colon.
      {"  points 1 2",
       true,
       {"\npoints: 1 2\n\n2 'points' records found, 1.000000 2.000000  "
        "0.000000\n",
        {1.0, 2.0},
        {}}},
      {"\tevents\t7",
       true,
       {"\nevents:\t7\n\n1 'events' records found, 7 0 0 ...\n", {}, {7}}},
      // Counts of -1 (only white space) and 0 (something else first).
      {"points",
       true,
       {"\npoints:\n\n-1 'points' records found, 0.000000 0.000000  0.000000\n",
        {},
        {}}},
      {"events  \t ",
       true,
       {"\nevents:  \t \n\n-1 'events' records found, 0 0 0 ...\n", {}, {}}},
      {"events , 1",
       true,
       {"\nevents: , 1\n\n0 'events' records found, 0 0 0 ...\n", {}, {}}},
      {"points x 1",
       true,
       {"\npoints: x 1\n\n0 'points' records found, 0.000000 0.000000  "
        "0.000000\n",
        {},
        {}}},
      // A sign or a second point starts the next number; a dangling
      // exponent is taken.
      {"events 10-20",
       true,
       {"\nevents: 10-20\n\n2 'events' records found, 10 4294967276 0 ...\n",
        {},
        {10, 4294967276}}},
      {"points 1.5.5",
       true,
       {"\npoints: 1.5.5\n\n2 'points' records found, 1.500000 0.500000  "
        "0.000000\n",
        {1.5, 0.5},
        {}}},
      {"points 1e+ 3",
       true,
       {"\npoints: 1e+ 3\n\n2 'points' records found, 1.000000 3.000000  "
        "0.000000\n",
        {1.0, 3.0},
        {}}},
      {"events -1 4294967296 4294967297",
       true,
       {"\nevents: -1 4294967296 4294967297\n"
        "\n3 'events' records found, 4294967295 0 1 ...\n",
        {},
        {4294967295, 0, 1}}},
      {"points -1e400 -1e-400 1e400",
       true,
       {"\npoints: -1e400 -1e-400 1e400\n"
        "\n3 'points' records found, -inf -0.000000  inf\n",
        {-INF, -0.0, INF},
        {}}},
      {"points -0.0005 2.0005 1e20",
       true,
       {"\npoints: -0.0005 2.0005 1e20\n"
        "\n3 'points' records found, -0.000500 2.000500  "
        "100000000000000000000.000000\n",
        {-0.0005, 2.0005, 1e20},
        {}}},
      // A last line without newline: the echo has none either.
      {"events 5",
       false,
       {"\nevents: 5\n1 'events' records found, 5 0 0 ...\n", {}, {5}}},
      {"points 1\r",
       false,
       {"\npoints: 1\r\n1 'points' records found, 1.000000 0.000000  "
        "0.000000\n",
        {1.0},
        {}}},
      // A NUL ends the text: nothing after it is echoed or scanned, and the
      // line end goes with the rest.
      {std::string("events 5\0 6", 11),
       true,
       {"\nevents: 5\n1 'events' records found, 5 0 0 ...\n", {}, {5}}},
      {std::string("point\0s 1", 9), true, {"", {}, {}}},
      {std::string("\0events 1", 9), true, {"", {}, {}}},
  };
}

TEST(Header, OneLine) {
  for (const LineCase& c : one_line_cases()) {
    SCOPED_TRACE(testing::PrintToString(c.text) +
                 (c.has_newline ? " with newline" : " without newline"));
    const PaddedLine line(c.text, c.has_newline);
    ColumnTables tables;
    test::StringOutput console("before");
    handle_header_line(line.line(), tables, console);
    EXPECT_EQ(console.text(), "before" + c.want.console);
    expect_tables(tables, c.want);
  }
}

TEST(Header, LinesOfOneKeywordOverwriteLeadingSlots) {
  struct Case {
    std::vector<std::string> lines;
    Expected want;
  };
  std::string events101 = "events";
  std::vector<std::uint32_t> first100;
  for (std::uint32_t i = 1; i <= 101; ++i) {
    events101 += ' ';
    events101 += std::to_string(1000 + i);
    if (i <= 100) first100.push_back(1000 + i);
  }
  std::string points101 = "points";
  std::vector<double> points100;
  for (int i = 1; i <= 101; ++i) {
    points101 += " -";
    points101 += std::to_string(i);
    points101 += ".5";
    if (i <= 100) points100.push_back(-i - 0.5);
  }
  const std::vector<Case> cases = {
      {{"points 1 2 3 4", "points 9"},
       {"\npoints: 1 2 3 4\n"
        "\n4 'points' records found, 1.000000 2.000000  3.000000\n"
        "\npoints: 9\n"
        "\n1 'points' records found, 9.000000 2.000000  3.000000\n",
        {9, 2, 3, 4},
        {}}},
      {{"events 1 2 3 4", "points 5", "events"},
       {"\nevents: 1 2 3 4\n\n4 'events' records found, 1 2 3 ...\n"
        "\npoints: 5\n"
        "\n1 'points' records found, 5.000000 0.000000  0.000000\n"
        "\nevents:\n\n-1 'events' records found, 1 2 3 ...\n",
        {5},
        {1, 2, 3, 4}}},
      {{events101},
       {std::string("\nevents:") + events101.substr(6) +
            "\n\n100 'events' records found, 1001 1002 1003 ...\n",
        {},
        first100}},
      {{points101, "points 7"},
       {"\npoints:" + points101.substr(6) +
            "\n\n100 'points' records found, -1.500000 -2.500000  -3.500000\n"
            "\npoints: 7\n"
            "\n1 'points' records found, 7.000000 -2.500000  -3.500000\n",
        [&] {
          std::vector<double> p = points100;
          p[0] = 7;
          return p;
        }(),
        {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.lines).substr(0, 100));
    ColumnTables tables;
    test::StringOutput console;
    for (const std::string& text : c.lines) {
      const PaddedLine line(text);
      handle_header_line(line.line(), tables, console);
    }
    EXPECT_EQ(console.text(), c.want.console);
    expect_tables(tables, c.want);
  }
}

// Where a first word too long to hold is kept for its echo.
enum class Keep { read_again, scratch, memory };

// Hands `text` to a LongHeaderLine in pieces of `piece` bytes, the last one
// complete and with `has_newline`, and returns the console text. The input
// holds the line after a line of its own.
std::string handle_in_pieces(const std::string& text, bool has_newline,
                             std::size_t piece, std::size_t hold, Keep keep,
                             ColumnTables& tables) {
  test::MemoryFileIo fs;
  const std::string before = "a line\n";
  fs.add_file("in", before + text + "\n");
  InputAgain input;
  if (keep == Keep::read_again) {
    input = {&fs, fs.open("in")};
  } else if (keep == Keep::scratch) {
    input = {&fs, -1};
  }
  test::StringOutput console;
  {
    LongHeaderLine header(tables, console, input, before.size(), hold);
    std::string bytes = text;
    for (std::size_t at = 0, size = 0; at < bytes.size() || size == 0;) {
      size = std::min(piece, bytes.size() - at);
      const bool last = at + size == bytes.size();
      const Line line{bytes.data() + at, size, last && has_newline};
      at += size;
      EXPECT_EQ(header.add(line, last), 0);
      if (header.done() || last) break;
    }
    EXPECT_TRUE(header.done());
  }
  EXPECT_EQ(fs.open_descriptors(), keep == Keep::read_again ? 1u : 0u)
      << "a scratch file was left open";
  return console.text();
}

// A line in pieces gives what the whole line gives, whether its first word
// is held or read again from the input.
TEST(Header, LineInPieces) {
  std::vector<LineCase> cases = one_line_cases();
  // First words longer than what is held, the first s in them or after.
  const std::string word(300, 'w');
  cases.push_back(
      {"  " + word + "s" + word + "\t1 2",
       true,
       {"\n" + word + "s" + word + ":" + word + "\t1 2\n", {}, {}}});
  cases.push_back({word + " sample", false, {"\n" + word + ":ample", {}, {}}});
  cases.push_back(
      {"s" + word, true, {"\ns" + word + ":" + word + "\n", {}, {}}});
  for (const LineCase& c : cases) {
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}}) {
      for (const std::size_t hold :
           {std::size_t{0}, std::size_t{5}, BLOCK_SIZE}) {
        for (const Keep keep :
             {Keep::read_again, Keep::scratch, Keep::memory}) {
          SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 40)) +
                       " pieces " + std::to_string(piece) + " hold " +
                       std::to_string(hold) + " keep " +
                       std::to_string(static_cast<int>(keep)));
          ColumnTables tables;
          EXPECT_EQ(handle_in_pieces(c.text, c.has_newline, piece, hold, keep,
                                     tables),
                    c.want.console);
          expect_tables(tables, c.want);
        }
      }
    }
  }
}

// A first word read again from an input that fails, or that has become
// shorter, stops the line with the read's error.
TEST(Header, FirstWordReadAgainFails) {
  const std::string text = "points" + std::string(50, 'Z') + " 1 2";
  for (const bool shorter : {false, true}) {
    SCOPED_TRACE(shorter ? "input made shorter" : "read fails");
    test::MemoryFileIo memory;
    memory.add_file("in", shorter ? "points" : text);
    test::FaultyFileIo fs(memory, {test::Call::read_at, test::Role::input, 1, 0,
                                   test::Effect::fail, shorter ? 0 : EACCES});
    const int fd = memory.open("in");
    fs.adopt(fd, test::Role::input);
    ColumnTables tables;
    test::StringOutput console;
    LongHeaderLine header(tables, console, {&fs, fd}, 0, 8);
    std::string bytes = text;
    const Line line{bytes.data(), bytes.size(), true};
    EXPECT_EQ(header.add(line, true), shorter ? EIO : EACCES);
  }
}

}  // namespace
}  // namespace tnx
