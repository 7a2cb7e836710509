// Many small files converted one process per file, as scripts do: a shell
// loop over them with tarnovelix against the same loop with the baseline;
// and one `tarnovelix --batch` run over them against a shell loop of single
// runs and against xargs running one single run per file on every
// processor.
#pragma once

#include "per_file_settings.hpp"

namespace per_file {

// Times the shell loop over settings.loop_files files and prints the table.
void time_shell_loop(const Settings& settings);

// Times the batch run against the two others over settings.batch_files
// files and prints the table, with the ratios against their targets.
void time_batch(const Settings& settings);

}  // namespace per_file
