// zlib counts its buffers in unsigned ints: larger pieces are taken in
// parts.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>

namespace tnx {

inline unsigned int clamp_size(std::size_t size) {
  return static_cast<unsigned int>(std::min<std::size_t>(size, UINT_MAX));
}

}  // namespace tnx
