// Many files in one run. Each file is converted exactly as a single run
// converts it (the same rows, console text, messages and safe output), up to
// `jobs` files at once; their texts are shown in the order the files were
// given, whatever the number of jobs, and a summary line ends the run.
#pragma once

#include "platform/file_system.hpp"
#include "program/command_line.hpp"
#include "program/run_status.hpp"

namespace tnx {

// run_batch()
//
// Converts every file of `config` with the calls of `fs`, which must take
// calls from several threads at once when more than one job runs. Two files
// that would write one row file: the later one is refused. Returns
// RunStatus::ok when every file converted, RunStatus::batch_failed when any
// failed; a failed file never stops the others, not even one that cannot
// get the memory it needs. When a row file is the file standard output was
// sent to, its rows go there and the batch's text to standard error.
[[nodiscard]] RunStatus run_batch(const BatchConfig& config, FileSystem& fs);

}  // namespace tnx
