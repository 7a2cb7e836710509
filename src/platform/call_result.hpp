// The outcome of a C library call that answers -1 and sets errno when it
// fails, as an IoResult.
#pragma once

#include <cerrno>
#include <cstdint>

#include "engine/file_io.hpp"

namespace tnx {

[[nodiscard]] inline IoResult from_call(std::int64_t result) {
  if (result < 0) return IoResult{0, errno};
  return IoResult{result, 0};
}

}  // namespace tnx
