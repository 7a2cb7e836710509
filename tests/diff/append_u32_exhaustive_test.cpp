// Every 32-bit value through append_u32, against a decimal counter that
// counts up one digit string at a time alongside it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/row_writer.hpp"

namespace tnx {
namespace {

TEST(Exhaustive, AppendU32EveryValue) {
  // The counter's digits, most significant first, right-aligned.
  char counter[MAX_VALUE_TEXT];
  std::memset(counter, '0', sizeof counter);
  std::size_t first_digit = sizeof counter - 1;
  std::uint32_t v = 0;
  for (;;) {
    char out[MAX_VALUE_TEXT];
    const char* end = append_u32(out, v);
    const std::size_t size = sizeof counter - first_digit;
    if (static_cast<std::size_t>(end - out) != size ||
        std::memcmp(out, counter + first_digit, size) != 0) {
      FAIL() << "append_u32(" << v << ") gave "
             << std::string(static_cast<const char*>(out), end);
    }
    if (v == UINT32_MAX) break;
    ++v;
    std::size_t i = sizeof counter - 1;
    while (counter[i] == '9') counter[i--] = '0';
    ++counter[i];
    if (i < first_digit) first_digit = i;
  }
  EXPECT_EQ(std::string(counter + first_digit, counter + sizeof counter),
            "4294967295");
}

}  // namespace
}  // namespace tnx
