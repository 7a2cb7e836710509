// The line that ends a batch: how many files it converted and how many
// failed, and with --report how many had findings.
#pragma once

#include <cstddef>

#include "engine/file_io.hpp"
#include "program/command_line.hpp"

namespace tnx {

// write_summary()
//
// Writes the summary line to `fd`, on a line of its own (`at_line_start`:
// whether the text before it ended a line), and with --report the count of
// files with findings to standard error.
void write_summary(FileIo& io, int fd, bool at_line_start,
                   const BatchConfig& config, std::size_t total,
                   std::size_t failed, std::size_t with_findings);

}  // namespace tnx
