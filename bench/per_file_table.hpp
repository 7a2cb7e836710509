// The per-file table: for input files of 1 to 100,000 data lines, the time
// of tarnovelix, the baseline, the per-file floor and a program that only
// starts and exits, each its own process on the same file, round after
// round; then the fixed cost per file and the cost per data line.
#pragma once

#include "per_file_settings.hpp"

namespace per_file {

// Times every size up to settings.max_lines and prints the table.
void time_per_file_table(const Settings& settings);

}  // namespace per_file
