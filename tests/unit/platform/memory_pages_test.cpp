#include "platform/memory_pages.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>
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
constexpr std::size_t STACK = 24 * 1024;

// How many of the STACK bytes' pages below the caller's frame are in
// memory. Asked of the system (mincore), not counted from page faults,
// which each compiler's frames and probes make differ.
[[gnu::noinline]] long pages_in_memory_below() {
  const auto top = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  const auto page = static_cast<std::uintptr_t>(::getpagesize());
  const std::uintptr_t end = top & ~(page - 1);
  std::vector<unsigned char> in(STACK / page);
  void* const first = reinterpret_cast<void*>(end - STACK);  // NOLINT
  if (mincore(first, STACK, in.data()) != 0) return -1;
  long count = 0;
  for (const unsigned char flags : in) count += flags & 1;
  return count;
}

struct StackRun {
  bool populate = false;
  bool populated = false;
  long in_memory = 0;
};

void* run_on_stack(void* argument) {
  auto* run = static_cast<StackRun*>(argument);
  if (run->populate) run->populated = populate_stack(STACK + 8192);
  run->in_memory = pages_in_memory_below();
  return nullptr;
}

// Runs `run` on a thread whose stack is freshly mapped, none of it touched.
void run_on_fresh_stack(StackRun& run) {
  constexpr std::size_t SIZE = 1024 * 1024;
  void* stack = mmap(nullptr, SIZE, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  ASSERT_NE(stack, MAP_FAILED);
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstack(&attributes, stack, SIZE), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, run_on_stack, &run), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  (void)pthread_attr_destroy(&attributes);
  (void)munmap(stack, SIZE);
}

// A fresh stack's pages come into memory one fault at a time as a run's
// frames grow into it, unless it was backed beforehand: then every page
// below the frame is there before any is touched.
TEST(MemoryPages, PopulatedStackIsInMemoryBeforeUse) {
  StackRun unbacked;
  run_on_fresh_stack(unbacked);
  StackRun backed{.populate = true};
  run_on_fresh_stack(backed);
  if (!backed.populated) {
    GTEST_SKIP() << "the system cannot back a stack in advance";
  }
  const auto pages = static_cast<long>(STACK) / ::getpagesize();
  EXPECT_EQ(backed.in_memory, pages);
  EXPECT_LE(unbacked.in_memory, pages / 2);
}
#endif

}  // namespace
}  // namespace tnx
