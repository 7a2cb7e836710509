#include "platform/memory_pages.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/utsname.h>
#endif

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

#if defined(__linux__)
// The kernel asked, from its release number (5.14 brought the request).
bool can_prepare_pages() {
  utsname name{};
  if (::uname(&name) != 0) return false;
  unsigned major = 0;
  unsigned minor = 0;
  if (std::sscanf(name.release, "%u.%u", &major, &minor) != 2) return false;
  return major > 5 || (major == 5 && minor >= 14);
}
#endif

// Getting pages ready, from any byte on, never changes what they hold.
TEST(MemoryPages, PreparedPagesKeepTheirBytes) {
#if defined(__linux__)
  if (!can_prepare_pages()) GTEST_SKIP() << "kernel before 5.14";
  const std::size_t size = 6 * MIB;
  auto* block = static_cast<unsigned char*>(allocate_in_large_pages(size));
  ASSERT_NE(block, nullptr);
  for (std::size_t i = 0; i < size / 2; ++i) {
    block[i] = static_cast<unsigned char>(i * 7 + 1);
  }
  EXPECT_TRUE(prepare_pages(block + 4093, size - 4093));
  EXPECT_TRUE(prepare_pages(block + 1, 0));
  for (std::size_t i = 0; i < size / 2; ++i) {
    ASSERT_EQ(block[i], static_cast<unsigned char>(i * 7 + 1)) << i;
  }
  std::free(block);
#else
  std::vector<char> block(4096);
  EXPECT_FALSE(prepare_pages(block.data(), block.size()));
#endif
}

}  // namespace
}  // namespace tnx
