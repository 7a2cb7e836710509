// The driver of one run: what the command line asks for (the help text, the
// version, or a conversion), and the exit status that results.
#pragma once

#include <cstddef>

#include "engine/limits.hpp"
#include "platform/file_system.hpp"
#include "program/command_line.hpp"
#include "program/run_status.hpp"

namespace tnx {

// run()
//
// Carries out `config` with the calls of `fs`, writing the console text to
// its standard output (standard error when the rows go to standard
// output) and the reason for a failure to its standard error. `block_size`
// bounds each read of the input, `line_limit` the bytes of a line held at
// once (see convert_file()).
[[nodiscard]] RunStatus run(const RunConfig& config, FileSystem& fs,
                            std::size_t block_size = BLOCK_SIZE,
                            std::size_t line_limit = BLOCK_SIZE);

}  // namespace tnx
