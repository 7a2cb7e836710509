// Large blocks of memory the way the system serves them fastest.
#pragma once

#include <cstddef>

namespace tnx {

// allocate_in_large_pages()
//
// A block of `bytes` bytes that std::free frees, or null. From 4 MiB on
// (Linux, with transparent large pages on request) it starts on a large
// page (2 MiB) boundary and the system is asked to back all of it with
// large pages: one page fault then brings 2 MiB instead of 4 KiB, which
// matters where a fault costs microseconds (in a virtual machine, say). A
// block that does not start on a boundary would take its first megabytes
// in small pages. Smaller blocks, and other systems: std::malloc.
void* allocate_in_large_pages(std::size_t bytes) noexcept;

// populate_stack()
//
// Asks the system (Linux) to back the `bytes` of stack below the caller's
// frame in one call, so that the frames of a run do not take one page fault
// per fresh page as they grow. Pages already there stay as they are.
// Returns false where the system cannot (before Linux 5.14, other systems,
// or a stack limit below `bytes`): then the stack grows as usual.
bool populate_stack(std::size_t bytes) noexcept;

}  // namespace tnx
