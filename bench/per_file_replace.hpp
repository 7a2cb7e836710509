// The per-file benchmark's replacing part: a run that replaces the row file
// an earlier run wrote, the common case of a script run again over its
// files, against the floor of a safe replacement (floor_file --replace:
// the bytes written to a hidden file with every signal blocked, the old
// file's permission bits given to it, renamed over the old file) and,
// when one is named, another build of tarnovelix, round after round.
#pragma once

#include "per_file_settings.hpp"

namespace per_file {

// Times every size of REPLACE_SIZES up to settings.max_lines and prints the
// table.
void time_replacing(const Settings& settings);

}  // namespace per_file
