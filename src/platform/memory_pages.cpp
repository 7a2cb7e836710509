#include "platform/memory_pages.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tnx {

void advise_large_pages(void* data, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t LARGE_PAGE = std::uintptr_t{2} << 20;
  if (bytes < 2 * LARGE_PAGE) return;
  const auto first = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t start = (first + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const std::uintptr_t end = (first + bytes) & ~(LARGE_PAGE - 1);
  if (end > start) {
    (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  }
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace tnx
