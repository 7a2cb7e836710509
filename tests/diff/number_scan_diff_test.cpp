// The scanners against the reference scanners and against the C library's
// formatted scan, over generated soups of number fragments.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "engine/number_scan.hpp"
#include "exact_text.hpp"
#include "reference.hpp"
#include "seeded_random.hpp"

namespace tnx {
namespace {

using test::ExactText;
using test::ref_scan_double;
using test::ref_scan_i32;
using test::ref_scan_list;
using test::ref_scan_u32;
using test::RefScan;
using test::SeededRandom;

constexpr int SOUPS = 20000;
constexpr std::size_t MAX_LIST = 100;

// Fragments that build numbers, break them, and separate them. `c_safe`
// keeps out everything the C library reads further than this program does:
// the letters of infinity, not-a-number and hexadecimal reals, NUL (which
// ends a C string) and integers of 20 digits or more (which it saturates).
std::string make_soup(SeededRandom& random, bool c_safe) {
  const std::string space = " \t\n\v\f\r";
  const std::string junk = c_safe ? ",;:/#_zqkZ*" : ",;:/#_zqkZ*xinIN";
  std::string soup;
  const std::uint64_t tokens = random.between(0, 14);
  for (std::uint64_t t = 0; t < tokens; ++t) {
    switch (random.between(0, 10)) {
      case 0:
      case 1:
      case 2: soup += random.digits(1, random.chance(20) ? 25 : 3); break;
      case 3: soup += random.pick("+-"); break;
      case 4: soup += '.'; break;
      case 5: soup += random.pick("eE"); break;
      case 6:
      case 7: soup += random.pick(space); break;
      case 8: soup += random.pick(junk); break;
      case 9:
        // Exponents near the ends of the range of a double.
        soup += random.pick("eE");
        soup += random.chance(70) ? "-3" : "3";
        soup += random.digits(2, 2);
        break;
      default:
        if (c_safe) {
          soup += random.pick(junk);
        } else {
          soup += '\0';
        }
        break;
    }
  }
  if (c_safe) {
    // Cut digit runs to 19 digits.
    std::size_t run = 0;
    std::string cut;
    for (char c : soup) {
      run = test::ref_is_digit(c) ? run + 1 : 0;
      if (run <= 19) cut += c;
    }
    soup = cut;
  }
  return soup;
}

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }
std::uint64_t bits(std::uint32_t v) { return v; }
std::uint64_t bits(std::int32_t v) { return static_cast<std::uint32_t>(v); }

// How often each kind of outcome came up, so a generator that stopped
// reaching one shows up as a failure instead of as silent weaker coverage.
struct Outcomes {
  int ok = 0;
  int end_of_text = 0;
  int no_number = 0;
  int infinite = 0;
  int subnormal = 0;

  template <typename T>
  void count(ScanStatus status, T value) {
    if (status == ScanStatus::end_of_text) ++end_of_text;
    if (status == ScanStatus::no_number) ++no_number;
    if (status != ScanStatus::ok) return;
    ++ok;
    if constexpr (std::is_same_v<T, double>) {
      if (std::isinf(value)) ++infinite;
      if (std::fpclassify(value) == FP_SUBNORMAL) ++subnormal;
    }
  }
};

// Compares one scanner with its reference from every offset of the soup.
template <typename T, typename Scan, typename Ref>
void compare_every_offset(const std::string& soup, const ExactText& copy,
                          Scan scan, Ref ref, Outcomes& outcomes) {
  const char* first = copy.first();
  const char* last = copy.last();
  for (std::size_t pos = 0; pos <= soup.size(); ++pos) {
    T value{};
    const ScanResult got = scan(first + pos, last, value);
    const RefScan<T> want = ref(soup, pos);
    outcomes.count(want.status, want.value);
    ASSERT_EQ(got.status, want.status) << "offset " << pos;
    ASSERT_EQ(got.end - first, static_cast<std::ptrdiff_t>(want.end))
        << "offset " << pos;
    if (want.status == ScanStatus::ok) {
      ASSERT_EQ(bits(value), bits(want.value))
          << "offset " << pos << ": " << value << " vs " << want.value;
    }
  }
}

template <typename T, typename ScanList, typename Ref>
void compare_list(const std::string& soup, const ExactText& copy, int max,
                  ScanList scan_list, Ref ref) {
  std::array<T, MAX_LIST> got;
  std::array<T, MAX_LIST> want;
  got.fill(T(77));
  want.fill(T(77));
  const int got_count = scan_list(copy.first(), copy.last(), got.data(), max);
  const int want_count = ref_scan_list(soup, want.data(), max, ref);
  ASSERT_EQ(got_count, want_count) << "max " << max;
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(bits(got[i]), bits(want[i])) << "slot " << i << " max " << max;
  }
}

TEST(NumberScanDiff, MatchesReferenceOnSoups) {
  SeededRandom random(20261207);
  Outcomes u32_outcomes;
  Outcomes i32_outcomes;
  Outcomes real_outcomes;
  for (int i = 0; i < SOUPS; ++i) {
    const std::string soup = make_soup(random, false);
    SCOPED_TRACE(random.seed_trace() + ", soup " + std::to_string(i) + " " +
                 testing::PrintToString(soup));
    const ExactText copy(soup);
    ASSERT_NO_FATAL_FAILURE(compare_every_offset<std::uint32_t>(
        soup, copy, scan_u32, ref_scan_u32, u32_outcomes));
    ASSERT_NO_FATAL_FAILURE(compare_every_offset<std::int32_t>(
        soup, copy, scan_i32, ref_scan_i32, i32_outcomes));
    ASSERT_NO_FATAL_FAILURE(compare_every_offset<double>(
        soup, copy, scan_double, ref_scan_double, real_outcomes));
    const int max =
        random.chance(50) ? 100 : static_cast<int>(random.between(1, 4));
    ASSERT_NO_FATAL_FAILURE(compare_list<std::uint32_t>(
        soup, copy, max, scan_u32_list, ref_scan_u32));
    ASSERT_NO_FATAL_FAILURE(compare_list<double>(
        soup, copy, max, scan_double_list, ref_scan_double));
  }
  for (const Outcomes* o : {&u32_outcomes, &i32_outcomes, &real_outcomes}) {
    EXPECT_GT(o->ok, SOUPS);
    EXPECT_GT(o->end_of_text, SOUPS / 2);
    EXPECT_GT(o->no_number, SOUPS);
  }
  EXPECT_GT(real_outcomes.infinite, 100);
  EXPECT_GT(real_outcomes.subnormal, 10);
  std::printf("real outcomes: %d ok, %d infinite, %d subnormal\n",
              real_outcomes.ok, real_outcomes.infinite,
              real_outcomes.subnormal);
}

// Walks the soup as a formatted scan of many directives would, one directive
// per call, and compares every step: sscanf's -1 is the end of the text, 0
// no number, 1 a number whose length %n gives.
template <typename T, typename C, typename Scan>
void compare_with_c_scan(const std::string& soup, const char* format,
                         Scan scan) {
  const ExactText copy(soup);
  const char* first = copy.first();
  const char* last = copy.last();
  std::size_t pos = 0;
  for (int step = 0; step < 200; ++step) {
    C c_value{};
    int consumed = 0;
    const int c_result =
        std::sscanf(soup.c_str() + pos, format, &c_value, &consumed);
    T value{};
    const ScanResult r = scan(first + pos, last, value);
    SCOPED_TRACE("offset " + std::to_string(pos));
    if (c_result == EOF) {
      ASSERT_EQ(r.status, ScanStatus::end_of_text);
      return;
    }
    if (c_result == 0) {
      ASSERT_EQ(r.status, ScanStatus::no_number);
      return;
    }
    ASSERT_EQ(r.status, ScanStatus::ok);
    ASSERT_EQ(r.end - (first + pos), consumed);
    if constexpr (std::is_same_v<T, double>) {
      ASSERT_EQ(bits(value), bits(c_value)) << value << " vs " << c_value;
    } else {
      ASSERT_EQ(value, static_cast<T>(c_value));
    }
    pos += static_cast<std::size_t>(consumed);
  }
}

TEST(NumberScanDiff, MatchesCScanOnSoups) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  SeededRandom random(7041);
  for (int i = 0; i < SOUPS; ++i) {
    const std::string soup = make_soup(random, true);
    SCOPED_TRACE(random.seed_trace() + ", soup " + std::to_string(i) + " " +
                 testing::PrintToString(soup));
    ASSERT_NO_FATAL_FAILURE(
        (compare_with_c_scan<double, double>(soup, " %lf%n", scan_double)));
    ASSERT_NO_FATAL_FAILURE((compare_with_c_scan<std::uint32_t, unsigned long>(
        soup, " %lu%n", scan_u32)));
  }
}

}  // namespace
}  // namespace tnx
