// Large blocks of memory in the pages the system serves fastest.
#include "platform/memory_pages.hpp"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tnx {

void* allocate_in_large_pages(std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t large_page = std::size_t{2} << 20;
  if (bytes >= 2 * large_page && bytes <= SIZE_MAX - large_page) {
    const std::size_t whole =
        (bytes + large_page - 1) / large_page * large_page;
    void* block = nullptr;
    if (::posix_memalign(&block, large_page, whole) != 0) return nullptr;
    (void)::madvise(block, whole, MADV_HUGEPAGE);
    return block;
  }
#endif
  return std::malloc(bytes);
}

bool populate_stack(std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  const char here = 0;
  const auto top = reinterpret_cast<std::uintptr_t>(&here);
  const auto page = static_cast<std::uintptr_t>(::getpagesize());
  if (bytes > top) return false;
  // The page holding `here` is there already; the ones below it are not.
  const std::uintptr_t end = top & ~(page - 1);
  const std::uintptr_t start = (top - bytes) & ~(page - 1);
  // An address the system is told about, never dereferenced here.
  void* const first = reinterpret_cast<void*>(start);  // NOLINT
  return ::madvise(first, end - start, MADV_POPULATE_WRITE) == 0;
#else
  (void)bytes;
  return false;
#endif
}

}  // namespace tnx
