// The folder a batch writes its row files into, made with the folders
// above it that are missing.
#pragma once

#include <string>

#include "platform/file_system.hpp"

namespace tnx {

// make_directories()
//
// Creates `dir` and the folders above it that are missing. Returns 0 or the
// errno value of the first folder that could not be made.
[[nodiscard]] int make_directories(FileSystem& fs, const std::string& dir);

}  // namespace tnx
