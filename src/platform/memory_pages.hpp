// Hints to the system about large blocks of memory.
#pragma once

#include <cstddef>

namespace tnx {

// advise_large_pages()
//
// Asks the system to back the whole large pages (2 MiB) within the block at
// `data` with large pages, where it can (Linux, with transparent large pages
// on request): one page fault then brings 2 MiB instead of 4 KiB. Only a
// hint; blocks under 4 MiB, and other systems, are left as they are.
void advise_large_pages(void* data, std::size_t bytes) noexcept;

}  // namespace tnx
