#include "platform/memory_pages.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__linux__)
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
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

long page_faults_of_this_thread() {
  rusage usage{};
  (void)getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

// Writes each page of STACK bytes below the caller's frame; returns the
// page faults that took.
[[gnu::noinline]] long faults_touching_stack() {
  const long before = page_faults_of_this_thread();
  volatile char* pages = static_cast<volatile char*>(__builtin_alloca(STACK));
  for (std::size_t at = 0; at < STACK; at += 4096) pages[at] = 1;
  return page_faults_of_this_thread() - before;
}

struct StackRun {
  bool populate = false;
  bool populated = false;
  long faults = 0;
};

void* run_on_stack(void* argument) {
  auto* run = static_cast<StackRun*>(argument);
  if (run->populate) run->populated = populate_stack(STACK + 8192);
  run->faults = faults_touching_stack();
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

// A fresh stack faults once per page as a run's frames grow into it, unless
// it was backed beforehand. (The sanitizers' builds fault on their own
// shadow pages too, the same in both runs.)
TEST(MemoryPages, PopulatedStackTakesFewerFaults) {
  StackRun unbacked;
  run_on_fresh_stack(unbacked);
  StackRun backed{.populate = true};
  run_on_fresh_stack(backed);
  if (!backed.populated) {
    GTEST_SKIP() << "the system cannot back a stack in advance";
  }
  EXPECT_GE(unbacked.faults - backed.faults, 5);
}
#endif

}  // namespace
}  // namespace tnx
