// Large blocks of memory in the pages the system serves fastest.
#include "platform/memory_pages.hpp"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
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

}  // namespace tnx
