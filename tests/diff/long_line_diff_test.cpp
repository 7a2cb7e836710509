// Whole conversions through the engine with a line limit of a few bytes, so
// that nearly every line arrives in pieces (its numbers compacted, its echo
// streamed), against the reference converter, which reads whole strings:
// seeded random inputs of long lines, long white space, huge integers and
// reals of hundreds of digits, among them the exact halfway points between
// two doubles, where one digit beyond the 800th decides the rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/long_line_numbers.hpp"
#include "engine/number_scan.hpp"
#include "memory_conversion.hpp"
#include "reference.hpp"
#include "seeded_random.hpp"

namespace tnx {
namespace {

using test::SeededRandom;

// The decimal digits of `m` * 2^`twos` * 5^`fives` (each at least 0).
std::string decimal_digits(std::uint64_t m, int twos, int fives) {
  // Little-endian limbs of nine decimal digits.
  std::vector<std::uint64_t> limbs = {m % 1'000'000'000, m / 1'000'000'000};
  const auto multiply = [&](std::uint64_t factor) {
    std::uint64_t carry = 0;
    for (std::uint64_t& limb : limbs) {
      const std::uint64_t product = limb * factor + carry;
      limb = product % 1'000'000'000;
      carry = product / 1'000'000'000;
    }
    while (carry != 0) {
      limbs.push_back(carry % 1'000'000'000);
      carry /= 1'000'000'000;
    }
  };
  for (int i = 0; i < twos; ++i) multiply(2);
  for (int i = 0; i < fives; ++i) multiply(5);
  std::string text;
  for (auto it = limbs.rbegin(); it != limbs.rend(); ++it) {
    std::string limb = std::to_string(*it);
    text += std::string(9 - limb.size(), '0') + limb;
  }
  const std::size_t first = text.find_first_not_of('0');
  return first == std::string::npos ? "0" : text.substr(first);
}

// The exact point halfway between a random positive double and the next
// one up, written out in full ("<digits>e<exponent>"), or just above or
// below it by a last digit far beyond the 800th significant one.
std::string halfway_real(SeededRandom& random) {
  std::uint64_t bits = random.between(1, 0x7FEFFFFFFFFFFFFFu);
  if (random.chance(20)) bits &= 0x000FFFFFFFFFFFFFu;  // a subnormal
  if (bits == 0) bits = 1;
  const std::uint64_t field = bits >> 52;
  const std::uint64_t significand =
      (bits & 0x000FFFFFFFFFFFFFu) | (field != 0 ? std::uint64_t{1} << 52 : 0);
  const int binary_exponent =
      (field != 0 ? static_cast<int>(field) - 1075 : -1074) - 1;
  // (2 significand + 1) * 2^binary_exponent, an odd multiple of a power of
  // two: below 1 its digits are those of the odd number times 5^-e.
  const std::uint64_t odd = 2 * significand + 1;
  std::string digits = binary_exponent >= 0
                           ? decimal_digits(odd, binary_exponent, 0)
                           : decimal_digits(odd, 0, -binary_exponent);
  int exponent = binary_exponent >= 0 ? 0 : binary_exponent;
  const std::size_t zeros = random.between(0, 900);
  switch (random.between(0, 2)) {
    case 0: break;
    case 1:  // just above
      digits += std::string(zeros, '0') + "1";
      exponent -= static_cast<int>(zeros) + 1;
      break;
    default: {  // just below: one less in the last place, then nines
      std::size_t at = digits.size();
      while (digits[--at] == '0') digits[at] = '9';
      --digits[at];
      digits += std::string(zeros + 1, '9');
      exponent -= static_cast<int>(zeros) + 1;
      break;
    }
  }
  return digits + "e" + std::to_string(exponent);
}

std::string random_space(SeededRandom& random) {
  if (random.chance(10)) {
    return std::string(random.between(1, 300), random.chance(50) ? ' ' : '\t');
  }
  std::string space(random.between(1, 3), ' ');
  for (char& c : space) {
    if (random.chance(15)) c = random.pick("\t\v\f\r");
  }
  return space;
}

std::string random_digits(SeededRandom& random) {
  std::string digits;
  if (random.chance(15)) digits += std::string(random.between(1, 60), '0');
  switch (random.between(0, 4)) {
    case 0: return digits + random.digits(1, 3);
    case 1: return digits + random.digits(9, 11);
    case 2: return digits + random.digits(20, 120);
    case 3:
      return digits + (random.chance(30) ? random.digits(820, 1500)
                                         : random.digits(0, 1));
    default: return digits + std::to_string(random.between(0, 0xFFFFFFFFu));
  }
}

std::string random_integer(SeededRandom& random) {
  std::string text;
  if (random.chance(15)) text += random.pick("+-");
  return text + random_digits(random);
}

std::string random_real(SeededRandom& random) {
  if (random.chance(8)) return halfway_real(random);
  std::string text;
  if (random.chance(15)) text += random.pick("+-");
  const bool integer_part = random.chance(80);
  if (integer_part) text += random_digits(random);
  if (!integer_part || random.chance(50)) {
    text += '.';
    if (random.chance(20)) text += std::string(random.between(1, 500), '0');
    text += random_digits(random);
  }
  if (random.chance(30)) {
    text += random.pick("eE");
    if (random.chance(40)) text += random.pick("+-");
    switch (random.between(0, 3)) {
      case 0: break;  // a dangling e
      case 1: text += random.digits(1, 3); break;
      case 2: text += random.digits(9, 14); break;
      default: text += std::string(random.between(1, 30), '0') + "3"; break;
    }
  }
  return text;
}

// Something that ends a list: text that is no number, a NUL, a lone sign.
std::string random_stop(SeededRandom& random) {
  switch (random.between(0, 4)) {
    case 0: return "x";
    case 1: return std::string(1, '\0');
    case 2: return random.chance(50) ? "-" : "+.";
    case 3: return ".";
    default: return "e5";
  }
}

std::string random_list(SeededRandom& random, bool real) {
  std::string text;
  const std::uint64_t count =
      random.chance(10) ? random.between(95, 130) : random.between(0, 8);
  for (std::uint64_t i = 0; i < count; ++i) {
    // Mostly separated; sometimes joined, so a sign, a second point or a
    // dangling e decides where the next number starts.
    if (!random.chance(8)) text += random_space(random);
    text += real ? random_real(random) : random_integer(random);
  }
  if (random.chance(20)) text += random_space(random);
  if (random.chance(25)) {
    text += random_stop(random);
    text += random_space(random) + random_integer(random);
  }
  return text;
}

std::string random_word(SeededRandom& random) {
  std::string word(random.between(1, random.chance(20) ? 400 : 8), 'w');
  for (char& c : word) c = random.pick("abstxyz#.1");
  return word;
}

std::string random_header_line(SeededRandom& random) {
  std::string line;
  if (random.chance(15)) line += random_space(random);
  switch (random.between(0, 5)) {
    case 0:
    case 1: return line + "points" + random_list(random, true);
    case 2: return line + "events" + random_list(random, false);
    case 3:
      // A comment (appended, not "#" + ...: g++ 12 warns wrongly there).
      line.assign(1, '#');
      line += random_word(random);
      return line + random_list(random, true);
    default:
      return line + random_word(random) + random_space(random) +
             random_word(random) + random_list(random, random.chance(50));
  }
}

std::string random_data_line(SeededRandom& random) {
  std::string line;
  if (random.chance(15)) line += random_space(random);
  if (random.chance(5)) return line + random_word(random);
  return line + random_integer(random) + random_list(random, false);
}

std::string line_end(SeededRandom& random) {
  return random.chance(70) ? "\n" : random.chance(50) ? "\r\n" : "\r\r\n";
}

std::string random_input(SeededRandom& random) {
  std::string input;
  const std::uint64_t lines = random.between(0, 9);
  for (std::uint64_t i = 0; i < lines; ++i) {
    std::string line = i < 3    ? random_header_line(random)
                       : i == 3 ? random_word(random)
                                : random_data_line(random);
    if (random.chance(5)) {
      const std::size_t at = random.between(0, line.size());
      line.insert(at, 1, '\0');
    }
    input += line;
    if (i + 1 < lines || random.chance(50)) input += line_end(random);
  }
  return input;
}

// Scanning the compact text reads exactly what scanning the whole text
// reads, up to its NUL: the count and every value, bit for bit, whatever
// pieces the text came in.
TEST(LongLines, CompactNumbersScanLikeTheWhole) {
  SeededRandom random(77);
  for (int i = 0; i < 20000; ++i) {
    const bool real = random.chance(50);
    std::string text = random_list(random, real);
    if (random.chance(5)) text = random_stop(random) + text;
    SCOPED_TRACE(random.seed_trace() + ", text " + std::to_string(i) + ": " +
                 testing::PrintToString(text.substr(0, 300)));
    NumberCompactor compactor(real ? NumberKind::real : NumberKind::integer,
                              MAX_COLUMNS);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t size = std::min<std::size_t>(
          text.size() - at, random.chance(50) ? random.between(1, 9) : 5000);
      if (!compactor.add(text.data() + at, text.data() + at + size)) break;
      at += size;
    }
    const Line compact = compactor.finish();
    const std::string whole = text.substr(0, text.find('\0'));
    if (real) {
      std::vector<double> want(MAX_COLUMNS, -7.0);
      std::vector<double> got(MAX_COLUMNS, -7.0);
      ASSERT_EQ(scan_double_list(compact.text, compact.text + compact.size,
                                 got.data(), MAX_COLUMNS),
                scan_double_list(whole.data(), whole.data() + whole.size(),
                                 want.data(), MAX_COLUMNS));
      for (std::size_t j = 0; j < want.size(); ++j) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got[j]),
                  std::bit_cast<std::uint64_t>(want[j]))
            << "value " << j << ": " << got[j] << " for " << want[j];
      }
    } else {
      std::vector<std::uint32_t> want(MAX_COLUMNS, 7);
      std::vector<std::uint32_t> got(MAX_COLUMNS, 7);
      ASSERT_EQ(scan_u32_list(compact.text, compact.text + compact.size,
                              got.data(), MAX_COLUMNS),
                scan_u32_list(whole.data(), whole.data() + whole.size(),
                              want.data(), MAX_COLUMNS));
      ASSERT_EQ(got, want);
    }
  }
}

TEST(LongLines, ConversionInPiecesMatchesTheReference) {
  SeededRandom random(4242);
  int failures = 0;
  for (int file = 0; file < 2000 && failures < 5; ++file) {
    const std::string input = random_input(random);
    const test::Conversion want = test::reference_convert(input);
    // The input by name (a first word too long to hold is read again) and
    // on standard input (where it is held).
    test::MemoryInput how;
    how.standard_input = random.chance(30);
    for (const std::size_t limit : {std::size_t{2}, std::size_t{7}}) {
      for (const std::size_t block :
           {std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
        SCOPED_TRACE(random.seed_trace() + ", file " + std::to_string(file) +
                     ", limit " + std::to_string(limit) + ", block " +
                     std::to_string(block) +
                     (how.standard_input ? ", standard input" : ""));
        const test::MemoryConversion got = test::convert_in_memory(
            input, {.block_size = block, .line_limit = limit}, how);
        EXPECT_EQ(got.result.read_error, 0);
        EXPECT_EQ(got.result.write_error, 0);
        EXPECT_EQ(got.open_descriptors, 0u);
        const bool same_rows = got.rows == want.rows;
        EXPECT_TRUE(same_rows) << "rows differ";
        EXPECT_EQ(got.text, want.console);
        if (!same_rows || got.text != want.console) {
          ++failures;
          ADD_FAILURE() << "input: "
                        << testing::PrintToString(input.substr(0, 400));
        }
      }
    }
  }
}

}  // namespace
}  // namespace tnx
