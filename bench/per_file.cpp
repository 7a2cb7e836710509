// The per-file benchmark: what one conversion costs when every file is its
// own process, as when a script converts thousands of small files. For input
// files of 1 to 100,000 data lines (datagen's standard shape: 100 columns,
// header included) it times, round after round, four programs on the same
// file: tarnovelix, the baseline, the per-file floor (floor_file: read the
// input whole, write the row file's byte count in one call) and a program
// that only starts and exits (start_exit). Each is spawned directly with
// posix_spawn and reaped with wait4, with no shell in between, and its
// standard output goes to /dev/null. Then it times a shell loop over many
// small files, once with tarnovelix and once with the baseline per round.
// Then it times a run replacing the row file of a file of 1, 10 and 100
// lines against the floor of a safe replacement (floor_file --replace) and,
// with --before, another build of tarnovelix. Last, it times one
// `tarnovelix --batch` run over 300 small files against a shell loop of
// single runs over them and against xargs running one single run per file
// on every processor, side by side in each round.
//
//   per_file [--tarnovelix PATH] [--before PATH] [--tools DIR] [--data DIR]
//            [--rounds N] [--max-lines N] [--loop-files N] [--loop-rounds N]
//            [--batch-files N] [--batch-rounds N] [--batch-only]
//            [--replace-only] [--quick]
//
// --tools is the directory holding datagen, baseline, floor_file and
// start_exit (default: this program's own); --tarnovelix defaults to the
// tarnovelix one directory above it (build/bench/tarnovelix), and may be any
// build of it. Unset options come from the environment, as bench/run.sh's
// settings do: BENCH_QUICK=1 (5 rounds, up to 10,000 lines, a loop over 200
// files run once, 3 rounds of the batch comparison), BENCH_FILE_ROUNDS
// (default 30), BENCH_LOOP_FILES (default 1000), BENCH_LOOP_ROUNDS (default
// 3), BENCH_BATCH_FILES (default 300), BENCH_BATCH_ROUNDS (default 21),
// BENCH_BATCH=0 (leave the batch comparison out), BENCH_REPLACE=0 (leave
// the replacing out) and BENCH_BEFORE (--before). --batch-only and
// --replace-only run that part alone.
//
// Every time is wall-clock time from just before the spawn to the return of
// wait4. Within a round each program runs once, and the order rotates from
// round to round, so that drift in the machine's load and the position
// after another program's writes hit all of them alike. A program's figure is
// its median over the rounds; a ratio is the median over the rounds of the
// two programs' times in the same round.
//
// The parts: per_file_settings (the options), per_file_inputs (the files
// datagen makes and the checks of the row files), per_file_timing (spawning,
// timing, the statistics), per_file_table (the table by file size) and
// per_file_loops (the shell loop and the batch comparison) and
// per_file_replace (the replacing of a row file).
#include <cstdio>

#include "per_file_loops.hpp"
#include "per_file_replace.hpp"
#include "per_file_settings.hpp"
#include "per_file_table.hpp"
#include "per_file_timing.hpp"

int main(int argc, char** argv) {
  using namespace per_file;
  const Settings settings = read_settings(argc, argv);
  const bool only = settings.batch_only || settings.replace_only;
  if (!only) {
    time_per_file_table(settings);
    std::fflush(stdout);
    time_shell_loop(settings);
  }
  if ((settings.replace && !only) || settings.replace_only) {
    std::fflush(stdout);
    time_replacing(settings);
  }
  if ((settings.batch && !only) || settings.batch_only) {
    std::fflush(stdout);
    time_batch(settings);
  }
  std::printf("  load average after: %s\n", load_average().c_str());
  return 0;
}
