// zlib and libbz2 count their buffers in unsigned ints: a larger buffer
// is handed over a piece at a time.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>

namespace tnx {

inline unsigned int clamp_size(std::size_t size) {
  return static_cast<unsigned int>(std::min<std::size_t>(size, UINT_MAX));
}

}  // namespace tnx
