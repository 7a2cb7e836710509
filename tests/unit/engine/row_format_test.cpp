// The pieces of a row: the label field and the unsigned fields, against the
// C library's formatting of the same values, and never a byte past the
// longest text of a field.
#include "engine/row_format.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace tnx {
namespace {

TEST(RowFormat, AppendU32MatchesPrintf) {
  std::vector<std::uint32_t> values = {0, 2147483647u, 2147483648u, 4294967294u,
                                       4294967295u};
  for (std::uint64_t p = 1; p <= 1000000000u; p *= 10) {
    for (std::uint64_t v : {p - 1, p, p + 1, 2 * p, 5 * p - 1, 9 * p}) {
      values.push_back(static_cast<std::uint32_t>(v));
    }
  }
  for (const std::uint32_t v : values) {
    SCOPED_TRACE(v);
    char expected[16];
    const int size = std::snprintf(expected, sizeof expected, "%u", v);
    char out[MAX_VALUE_TEXT + 8];
    std::fill(std::begin(out), std::end(out), '#');
    const char* end = append_u32(out, v);
    ASSERT_EQ(end - out, size);
    EXPECT_EQ(std::string(static_cast<const char*>(out), end), expected);
    EXPECT_EQ(std::string(out + MAX_VALUE_TEXT, out + sizeof out),
              std::string(8, '#'));
  }
}

TEST(RowFormat, LabelFieldMatchesPrintf) {
  const std::int32_t labels[] = {0,
                                 1,
                                 -1,
                                 9,
                                 -9,
                                 99,
                                 -99,
                                 999,
                                 -999,
                                 1000,
                                 -1000,
                                 9999,
                                 10000,
                                 -10000,
                                 123456,
                                 std::numeric_limits<std::int32_t>::max(),
                                 std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::min() + 1};
  for (const std::int32_t label : labels) {
    SCOPED_TRACE(label);
    char expected[32];
    const int size = std::snprintf(expected, sizeof expected, "%4d ", label);
    const LabelField field = format_label_field(label);
    EXPECT_EQ(std::string(field.bytes.data(), field.size),
              std::string(expected, static_cast<std::size_t>(size)));
  }
}

}  // namespace
}  // namespace tnx
