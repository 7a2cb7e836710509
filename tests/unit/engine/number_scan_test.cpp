#include "engine/number_scan.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "exact_text.hpp"

namespace tnx {
namespace {

using test::ExactText;

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double DBL_MAX_VALUE = std::numeric_limits<double>::max();
constexpr double DENORM_MIN = std::numeric_limits<double>::denorm_min();

struct IntCase {
  std::string input;
  ScanStatus status;
  std::size_t consumed;
  std::int64_t value;  // as the scanner's own type gives it
};

template <typename T, typename Scan>
void check_int_cases(const std::vector<IntCase>& cases, Scan scan) {
  for (const IntCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input).substr(0, 80));
    const ExactText text(c.input);
    T value = 123;
    const ScanResult r = scan(text.first(), text.last(), value);
    EXPECT_EQ(r.status, c.status);
    if (c.status == ScanStatus::ok) {
      EXPECT_EQ(r.end - text.first(), static_cast<std::ptrdiff_t>(c.consumed));
      EXPECT_EQ(value, static_cast<T>(c.value));
    } else {
      // No number: the stop point is the start, and the value is untouched.
      EXPECT_EQ(r.end, text.first());
      EXPECT_EQ(value, 123);
    }
  }
}

TEST(NumberScan, UnsignedSyntaxAndWrap) {
  using S = ScanStatus;
  const std::vector<IntCase> cases = {
      {"0", S::ok, 1, 0},
      {"  42", S::ok, 4, 42},
      {" \t\n\v\f\r7", S::ok, 7, 7},
      {"+5", S::ok, 2, 5},
      {"-1", S::ok, 2, 4294967295},
      {"-0", S::ok, 2, 0},
      {"007", S::ok, 3, 7},
      {"4294967295", S::ok, 10, 4294967295},
      {"4294967296", S::ok, 10, 0},
      {"4294967297", S::ok, 10, 1},
      {"-4294967295", S::ok, 11, 1},
      {"-4294967296", S::ok, 11, 0},
      {"18446744073709551617", S::ok, 20, 1},
      {"99999999999999999999999", S::ok, 23, 4135583743},
      {"-99999999999999999999999", S::ok, 24, 159383553},
      {"00000000000000000000000000000000000012", S::ok, 38, 12},
      {"12abc", S::ok, 2, 12},
      {"1.5", S::ok, 1, 1},
      {"5-3", S::ok, 1, 5},
      {"1e5", S::ok, 1, 1},
      {std::string("5\0 6", 4), S::ok, 1, 5},
      {"", S::end_of_text, 0, 0},
      {"   ", S::end_of_text, 0, 0},
      {"\r\n", S::end_of_text, 0, 0},
      {"-", S::no_number, 0, 0},
      {"+", S::no_number, 0, 0},
      {"  -", S::no_number, 0, 0},
      {"- 5", S::no_number, 0, 0},
      {"+-5", S::no_number, 0, 0},
      {"--5", S::no_number, 0, 0},
      {"x5", S::no_number, 0, 0},
      {".5", S::no_number, 0, 0},
      {",5", S::no_number, 0, 0},
      {std::string("\0 5", 3), S::no_number, 0, 0},
      {std::string(" \0", 2), S::no_number, 0, 0},
  };
  check_int_cases<std::uint32_t>(cases, scan_u32);
}

TEST(NumberScan, SignedIsTheUnsignedBitPattern) {
  using S = ScanStatus;
  const std::vector<IntCase> cases = {
      {"2147483647", S::ok, 10, 2147483647},
      {"2147483648", S::ok, 10, -2147483648LL},
      {"-2147483648", S::ok, 11, -2147483648LL},
      {"-2147483649", S::ok, 11, 2147483647},
      {"4294967295", S::ok, 10, -1},
      {"4294967296", S::ok, 10, 0},
      {"-1", S::ok, 2, -1},
      {"+0", S::ok, 2, 0},
      {"   -5 6", S::ok, 5, -5},
      {"12345678901", S::ok, 11, -539222987},
      {"", S::end_of_text, 0, 0},
      {"-", S::no_number, 0, 0},
      {"abc", S::no_number, 0, 0},
  };
  check_int_cases<std::int32_t>(cases, scan_i32);
}

TEST(NumberScan, RealSyntaxAndRounding) {
  using S = ScanStatus;
  struct Case {
    std::string input;
    ScanStatus status;
    std::size_t consumed;
    double value;
  };
  const std::string max_midpoint =
      "179769313486231580793728971405303415079934132710037826936173778980444968"
      "292764750946649017977587207096330286416692887910946555547851940402630657"
      "488671505820681908902000708383676273854845817711531764475730270069855571"
      "366959622842914819860834936475292719074168444365510704342711559699508093"
      "042880177904174497792";
  const std::string below_max_midpoint =
      max_midpoint.substr(0, max_midpoint.size() - 1) + "1.9999";
  const std::string zeros400(400, '0');
  const std::vector<Case> cases = {
      {"0", S::ok, 1, 0.0},
      {"-0", S::ok, 2, -0.0},
      {"-0.0e-5", S::ok, 7, -0.0},
      {".5", S::ok, 2, 0.5},
      {"5.", S::ok, 2, 5.0},
      {"+.25", S::ok, 4, 0.25},
      {"0.1", S::ok, 3, 0.1},
      {"  \t-2.75xyz", S::ok, 8, -2.75},
      {"1e5", S::ok, 3, 1e5},
      {"1E+05", S::ok, 5, 1e5},
      {"2.5e-3", S::ok, 6, 2.5e-3},
      {"1.e2", S::ok, 4, 100.0},
      // An e and its sign are taken without exponent digits.
      {"1e", S::ok, 2, 1.0},
      {"1e+", S::ok, 3, 1.0},
      {"7E-", S::ok, 3, 7.0},
      {"1e+ 3", S::ok, 3, 1.0},
      {"1ex", S::ok, 2, 1.0},
      {"1e--5", S::ok, 3, 1.0},
      {"1.5.5", S::ok, 3, 1.5},
      {"1..5", S::ok, 2, 1.0},
      {"1e5e5", S::ok, 3, 1e5},
      {"1e5.5", S::ok, 3, 1e5},
      {"10-20", S::ok, 2, 10.0},
      // Correct rounding, including halfway cases decided by far digits.
      {"9007199254740993", S::ok, 16, 9007199254740992.0},
      {"9007199254740993.0000000000000000001", S::ok, 36, 9007199254740994.0},
      {"0.1000000000000000055511151231257827021181583404541015625", S::ok, 57,
       0.1},
      {"2.2250738585072011e-308", S::ok, 23, 2.2250738585072011e-308},
      {"2.2250738585072014e-308", S::ok, 23, 2.2250738585072014e-308},
      {"1.7976931348623157e308", S::ok, 22, DBL_MAX_VALUE},
      {"1.7976931348623158e308", S::ok, 22, DBL_MAX_VALUE},
      {below_max_midpoint, S::ok, below_max_midpoint.size(), DBL_MAX_VALUE},
      {"1" + zeros400 + "e-400", S::ok, 406, 1.0},
      {"0." + zeros400 + "1e401", S::ok, 407, 1.0},
      {"000000000000000000000000000001", S::ok, 30, 1.0},
      // Denormals are exact; below half the smallest one is zero.
      {"4.9406564584124654e-324", S::ok, 23, DENORM_MIN},
      {"2.4703282292062328e-324", S::ok, 23, DENORM_MIN},
      {"5e-320", S::ok, 6, 5e-320},
      {"-1.5e-315", S::ok, 9, -1.5e-315},
      {"2.4703282292062327e-324", S::ok, 23, 0.0},
      {"1e-400", S::ok, 6, 0.0},
      {"-1e-400", S::ok, 7, -0.0},
      {"0." + zeros400 + "1", S::ok, 403, 0.0},
      {"1e-99999999999999999999", S::ok, 23, 0.0},
      {"0e99999999999999999999", S::ok, 22, 0.0},
      // Overflow is an infinity of the number's sign.
      {"1.7976931348623159e308", S::ok, 22, INF},
      {max_midpoint, S::ok, max_midpoint.size(), INF},
      {"1e309", S::ok, 5, INF},
      {"-1e309", S::ok, 6, -INF},
      {"1" + zeros400, S::ok, 401, INF},
      {"-0.001e312", S::ok, 10, -INF},
      {"1e99999999999999999999", S::ok, 22, INF},
      // Out of range either way because of the digits, not the exponent.
      {"1" + zeros400 + "e-50", S::ok, 405, INF},
      {"-0." + zeros400 + "1e50", S::ok, 407, -0.0},
      {"", S::end_of_text, 0, 0.0},
      {" \n", S::end_of_text, 0, 0.0},
      {".", S::no_number, 0, 0.0},
      {"-.", S::no_number, 0, 0.0},
      {"+.e5", S::no_number, 0, 0.0},
      {"e5", S::no_number, 0, 0.0},
      {"-", S::no_number, 0, 0.0},
      {"- 1", S::no_number, 0, 0.0},
      {"inf", S::no_number, 0, 0.0},
      {"nan", S::no_number, 0, 0.0},
      {"infinity", S::no_number, 0, 0.0},
      {"0x1p3", S::ok, 1, 0.0},
      {std::string("\0"
                   "1",
                   2),
       S::no_number, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input).substr(0, 80));
    const ExactText text(c.input);
    double value = 42.0;
    const ScanResult r = scan_double(text.first(), text.last(), value);
    EXPECT_EQ(r.status, c.status);
    if (c.status == ScanStatus::ok) {
      EXPECT_EQ(r.end - text.first(), static_cast<std::ptrdiff_t>(c.consumed));
      EXPECT_EQ(bits(value), bits(c.value)) << value << " vs " << c.value;
    } else {
      EXPECT_EQ(r.end, text.first());
      EXPECT_EQ(value, 42.0);
    }
  }
}

TEST(NumberScan, UnsignedLists) {
  constexpr std::uint32_t KEPT = 0xDEADBEEF;
  struct Case {
    std::string input;
    int max;
    int count;
    std::vector<std::uint32_t> values;
  };
  std::string numbers101;
  std::vector<std::uint32_t> first100;
  for (std::uint32_t i = 1; i <= 101; ++i) {
    numbers101 += std::to_string(i * 7) + (i % 2 == 0 ? "\t" : " ");
    if (i <= 100) first100.push_back(i * 7);
  }
  const std::vector<Case> cases = {
      {"", 100, -1, {}},
      {" \t\r\n\v\f", 100, -1, {}},
      {"-", 100, 0, {}},
      {",", 100, 0, {}},
      {" , 1", 100, 0, {}},
      {"1 2 3", 100, 3, {1, 2, 3}},
      {"1 2 ", 100, 2, {1, 2}},
      {"  5\r", 100, 1, {5}},
      {"10-20", 100, 2, {10, 4294967276}},
      {"1+2", 100, 2, {1, 2}},
      {"1e+ 3", 100, 1, {1}},
      {"1.5", 100, 1, {1}},
      {"1,2", 100, 1, {1}},
      {"1 - 2", 100, 1, {1}},
      {"1 2 3 4", 3, 3, {1, 2, 3}},
      {"1 2 3 4", 1, 1, {1}},
      {numbers101, 100, 100, first100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input).substr(0, 80) + " max " +
                 std::to_string(c.max));
    const ExactText text(c.input);
    std::array<std::uint32_t, 101> values;
    values.fill(KEPT);
    EXPECT_EQ(scan_u32_list(text.first(), text.last(), values.data(), c.max),
              c.count);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::uint32_t expected = i < c.values.size() ? c.values[i] : KEPT;
      EXPECT_EQ(values[i], expected) << "slot " << i;
    }
  }
}

TEST(NumberScan, RealLists) {
  constexpr double KEPT = -12345.5;
  struct Case {
    std::string input;
    int max;
    int count;
    std::vector<double> values;
  };
  std::string numbers101;
  std::vector<double> first100;
  for (int i = 1; i <= 101; ++i) {
    numbers101 += std::to_string(i) + ".25 ";
    if (i <= 100) first100.push_back(i + 0.25);
  }
  const std::vector<Case> cases = {
      {"", 100, -1, {}},
      {"\n", 100, -1, {}},
      {"-", 100, 0, {}},
      {"x 1", 100, 0, {}},
      {"0.5 1.0 1.5", 100, 3, {0.5, 1.0, 1.5}},
      {"1e+ 3", 100, 2, {1.0, 3.0}},
      {"1.5.5", 100, 2, {1.5, 0.5}},
      {"1.5.5.5", 100, 3, {1.5, 0.5, 0.5}},
      {"1-2+3", 100, 3, {1.0, -2.0, 3.0}},
      {"5.-3.", 100, 2, {5.0, -3.0}},
      {"1e5e5", 100, 1, {1e5}},
      {"1 - 2", 100, 1, {1.0}},
      {"1 2 ", 100, 2, {1.0, 2.0}},
      {"1 2 3", 2, 2, {1.0, 2.0}},
      {numbers101, 100, 100, first100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input).substr(0, 80) + " max " +
                 std::to_string(c.max));
    const ExactText text(c.input);
    std::array<double, 101> values;
    values.fill(KEPT);
    EXPECT_EQ(scan_double_list(text.first(), text.last(), values.data(), c.max),
              c.count);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const double expected = i < c.values.size() ? c.values[i] : KEPT;
      EXPECT_EQ(bits(values[i]), bits(expected)) << "slot " << i;
    }
  }
}

}  // namespace
}  // namespace tnx
