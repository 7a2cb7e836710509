#include "platform/memory_pages.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tnx {

void advise_large_pages(void* data, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t large_page = std::size_t{2} << 20;
  if (bytes < 2 * large_page) return;
  // The whole large pages within the block: from the first boundary on.
  const std::size_t misaligned =
      reinterpret_cast<std::uintptr_t>(data) % large_page;
  const std::size_t skip = misaligned == 0 ? 0 : large_page - misaligned;
  const std::size_t whole = (bytes - skip) / large_page * large_page;
  (void)::madvise(static_cast<char*>(data) + skip, whole, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace tnx
