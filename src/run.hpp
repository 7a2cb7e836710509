// The driver of one run: settles the files, runs the header pass and the data
// pass, and is the only place that turns failures into messages.
#pragma once

#include "command_line.hpp"
#include "file_io.hpp"
#include "limits.hpp"

namespace tnx {

enum class RunStatus {
  ok,
  input_not_opened,
  output_not_opened,
  read_failed,
  write_failed,
};

// run()
//
// Carries out `config` with the calls of `fs`, writing the console text to
// its standard output. `block_size` bounds each read of the input.
[[nodiscard]] RunStatus run(const RunConfig& config, FileSystem& fs,
                            std::size_t block_size = BLOCK_SIZE);

// 0 for a successful run, 1 for every failure.
[[nodiscard]] int exit_code(RunStatus status);

}  // namespace tnx
