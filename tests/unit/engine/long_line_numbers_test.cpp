#include "engine/long_line_numbers.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/number_scan.hpp"

namespace tnx {
namespace {

// The decimal digits of 5^n.
std::string five_to_the(int n) {
  std::vector<int> digits = {1};  // least significant first
  for (int i = 0; i < n; ++i) {
    int carry = 0;
    for (int& d : digits) {
      const int v = d * 5 + carry;
      d = v % 10;
      carry = v / 10;
    }
    if (carry != 0) digits.push_back(carry);
  }
  std::string text;
  for (auto d = digits.rbegin(); d != digits.rend(); ++d) {
    text += static_cast<char>('0' + *d);
  }
  return text;
}

struct Scan {
  int count = 0;
  std::vector<double> reals;
  std::vector<std::uint32_t> integers;
};

Scan scan(NumberKind kind, const char* first, const char* last) {
  Scan s;
  s.reals.assign(MAX_COLUMNS, -7.0);
  s.integers.assign(MAX_COLUMNS, 7);
  s.count = kind == NumberKind::real
                ? scan_double_list(first, last, s.reals.data(), MAX_COLUMNS)
                : scan_u32_list(first, last, s.integers.data(), MAX_COLUMNS);
  return s;
}

// The text compacted from pieces of `piece` bytes; `stopped_at`: the offset
// of the piece after which add() said no byte could change the list.
Line compact(NumberCompactor& compactor, const std::string& text,
             std::size_t piece, std::size_t& stopped_at) {
  stopped_at = std::string::npos;
  for (std::size_t at = 0; at < text.size(); at += piece) {
    const std::size_t size = std::min(piece, text.size() - at);
    if (!compactor.add(text.data() + at, text.data() + at + size)) {
      stopped_at = at + size;
      break;
    }
  }
  return compactor.finish();
}

TEST(Compaction, ScansLikeTheWholeText) {
  constexpr double INF = std::numeric_limits<double>::infinity();
  const std::string huge = std::string("1") + std::string(3000, '0') + "5";
  // 2^-1075, halfway between 0 and the least double: ties go to 0, and
  // anything above it to the least double.
  const std::string half_least = five_to_the(1075);
  std::string hundred_one;
  for (int i = 1; i <= 101; ++i) {
    hundred_one += ' ';
    hundred_one += std::to_string(i);
  }
  struct Case {
    NumberKind kind;
    std::string text;
    int count;
    double first;  // the first value, when count > 0
    // Where add() first says nothing later matters: the offset of the byte
    // that shows it (a NUL, text that is no number, the end of the 100th
    // number); npos when it never does.
    std::size_t stops_at = std::string::npos;
  };
  const std::vector<Case> cases = {
      // Counts: -1 for white space only, 0 for something else first.
      {NumberKind::integer, "", -1, 0},
      {NumberKind::integer, " \t\r\v\f ", -1, 0},
      {NumberKind::integer, "x 1", 0, 0, 0},
      {NumberKind::integer, "-", 0, 0},
      {NumberKind::integer, "+x", 0, 0, 1},
      {NumberKind::real, " . 1", 0, 0, 2},
      {NumberKind::real, "-.", 0, 0},
      {NumberKind::integer, std::string("\0 1", 3), -1, 0, 0},
      {NumberKind::real, std::string("  \0x", 4), -1, 0, 2},
      // Signs, leading zeros, wrapping, huge integers.
      {NumberKind::integer, "  12 -3 +4", 3, 12},
      {NumberKind::integer, "5-3+2", 3, 5},
      {NumberKind::integer, std::string(4000, '0') + "7", 1, 7},
      {NumberKind::integer, std::string("-") + huge + " " + huge, 2,
       4294967291},
      {NumberKind::integer, "4294967296 4294967297 -1", 3, 0},
      {NumberKind::integer, "1.5 2", 1, 1, 1},
      {NumberKind::integer, "7\r8\r", 2, 7},
      {NumberKind::integer, std::string("1 2\0 3", 6), 2, 1, 3},
      {NumberKind::integer, hundred_one, 100, 1, hundred_one.size() - 4},
      // A dangling e is taken and leaves the value alone; a second point
      // or a sign starts the next number.
      {NumberKind::real, "1e", 1, 1},
      {NumberKind::real, "1e+ 3", 2, 1},
      {NumberKind::real, "1e+x", 1, 1, 3},
      {NumberKind::real, "1e-.5", 2, 1},
      {NumberKind::real, "2E--3", 2, 2},
      {NumberKind::real, "1e5e3", 1, 1e5, 3},
      {NumberKind::real, "1.5.5", 2, 1.5},
      {NumberKind::real, "-.5+.25", 2, -0.5},
      {NumberKind::real, "1e0000000000000000000000000000002", 1, 100},
      // Hundreds of digits, out of range, zeros.
      {NumberKind::real, huge + ".75e-3000", 1, 10},
      {NumberKind::real, std::string("0.") + std::string(500, '0') + "25e502",
       1, 25},
      {NumberKind::real, std::string("1e400 -1e-400 ") + huge, 3, INF},
      {NumberKind::real,
       std::string("-") + std::string(900, '0') + ".000e99999999999", 1, -0.0},
      {NumberKind::real, "1e-99999999999999999999 9e99999999999999999999", 2,
       0},
      {NumberKind::real, half_least + "e-1075", 1, 0},
      {NumberKind::real, half_least + std::string(80, '0') + "1e-1156", 1,
       std::numeric_limits<double>::denorm_min()},
      {NumberKind::real, hundred_one, 100, 1, hundred_one.size() - 4},
  };
  for (const Case& c : cases) {
    // The text ends at its NUL.
    const std::size_t size = std::min(c.text.find('\0'), c.text.size());
    const Scan want = scan(c.kind, c.text.data(), c.text.data() + size);
    ASSERT_EQ(want.count, c.count) << testing::PrintToString(c.text);
    if (c.count > 0) {
      EXPECT_EQ(c.kind == NumberKind::real ? want.reals[0] : want.integers[0],
                c.first);
    }
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2},
                                    std::size_t{7}, std::size_t{100000}}) {
      SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 60)) + " in " +
                   std::to_string(piece) + "-byte pieces");
      NumberCompactor compactor(c.kind, MAX_COLUMNS);
      std::size_t stopped_at = 0;
      const Line line = compact(compactor, c.text, piece, stopped_at);
      EXPECT_EQ(line.text[line.size], '\0');
      EXPECT_LE(line.size,
                std::size_t{MAX_COLUMNS} * NumberCompactor::MAX_NUMBER_TEXT);
      const Scan got = scan(c.kind, line.text, line.text + line.size);
      EXPECT_EQ(got.count, want.count);
      EXPECT_EQ(got.integers, want.integers);
      for (std::size_t j = 0; j < got.reals.size(); ++j) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got.reals[j]),
                  std::bit_cast<std::uint64_t>(want.reals[j]))
            << "value " << j << ": " << got.reals[j];
      }
      // add() stops with the piece that holds the byte that shows it.
      const std::size_t want_stop =
          c.stops_at == std::string::npos
              ? std::string::npos
              : std::min((c.stops_at / piece + 1) * piece, c.text.size());
      EXPECT_EQ(stopped_at, want_stop);
    }
  }
}

}  // namespace
}  // namespace tnx
