#include "platform/memory_pages.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tnx {
namespace {

constexpr std::size_t MIB = std::size_t{1} << 20;

// Every block can be written whole and is freed by std::free (the
// sanitizers' builds check that); large ones start on a 2 MiB boundary
// where the system serves large pages.
TEST(MemoryPages, LargeBlocksStartOnLargePages) {
  const std::size_t sizes[] = {1,       4096,        4 * MIB - 1,
                               4 * MIB, 4 * MIB + 1, 10 * MIB + 3};
  for (const std::size_t size : sizes) {
    SCOPED_TRACE("bytes " + std::to_string(size));
    void* block = allocate_in_large_pages(size);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, size);
    EXPECT_EQ(static_cast<unsigned char*>(block)[size - 1], 0x5A);
#if defined(__linux__)
    if (size >= 4 * MIB) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (2 * MIB), 0U);
    }
#endif
    std::free(block);
  }
}

}  // namespace
}  // namespace tnx
