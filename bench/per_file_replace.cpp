// The replacing part of the per-file benchmark (see per_file_replace.hpp).
#include "per_file_replace.hpp"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "per_file_inputs.hpp"
#include "per_file_timing.hpp"

namespace per_file {
namespace {

// start_exit: a process that only starts and exits; tnx_start: tarnovelix
// on an input that does not exist, its start and a message, the least a
// run of it costs.
enum Program {
  tarnovelix,
  before,
  floor_replace,
  start_exit,
  tnx_start,
  program_count
};
constexpr std::array<const char*, program_count> PROGRAM_NAMES = {
    "tarnovelix", "before", "floor", "start-exit", "tarnovelix start"};

using Times = std::array<std::vector<double>, program_count>;

// The programs timed: the build before only when one is named.
std::vector<Program> programs_of(const Settings& settings) {
  if (settings.before.empty()) {
    return {tarnovelix, floor_replace, start_exit, tnx_start};
  }
  return {tarnovelix, before, floor_replace, start_exit, tnx_start};
}

// Each program once per round, in an order that rotates from round to
// round; each replaces the row file the run before it left, after the
// machine's dirty pages are written out (untimed).
Times time_rounds(const Settings& settings,
                  std::array<Command, program_count>& commands) {
  const std::vector<Program> programs = programs_of(settings);
  Times times;
  for (int round = 0; round < settings.rounds; ++round) {
    for (std::size_t k = 0; k < programs.size(); ++k) {
      const Program program =
          programs[(static_cast<std::size_t>(round) + k) % programs.size()];
      ::sync();
      times[program].push_back(commands[program].run().wall_us);
    }
  }
  return times;
}

// The warm-up of each program, and the check that each leaves a row file
// of `row_bytes`.
void warm_up(const Settings& settings,
             std::array<Command, program_count>& commands,
             const std::string& output, std::uintmax_t row_bytes) {
  for (const Program program : programs_of(settings)) {
    if (program == start_exit || program == tnx_start) continue;
    commands[program].run();
    if (file_size(output) != row_bytes) {
      fail(std::string(PROGRAM_NAMES[program]) + " left a row file of " +
           std::to_string(file_size(output)) + " bytes, not " +
           std::to_string(row_bytes));
    }
  }
}

// One size: the row file made first, then the rounds; prints one line of
// the table and returns the times.
Times time_size(const Settings& settings, long lines) {
  const std::string input =
      settings.data + "/replace-" + std::to_string(lines) + ".dat";
  const std::string output = settings.data + "/replace.ntp";
  generate(settings, lines, 1, input);
  clear_output(output);
  Command({settings.tarnovelix, input, output}).run();
  const std::uintmax_t row_bytes = file_size(output);
  std::array<Command, program_count> commands = {
      Command({settings.tarnovelix, input, output}),
      Command({settings.before.empty() ? settings.tarnovelix : settings.before,
               input, output}),
      Command({settings.tools + "/floor_file", "--replace", input, output,
               std::to_string(row_bytes)}),
      Command({settings.tools + "/start_exit"}),
      // Fails, status 1: timed all the same.
      Command({settings.tarnovelix, settings.data + "/missing.dat",
               settings.data + "/missing.ntp"},
              "/dev/null", false, 1),
  };
  warm_up(settings, commands, output, row_bytes);
  const Times times = time_rounds(settings, commands);
  std::printf(
      "  %7ld %9.1f %10.0f %8.0f  %-18s", lines,
      static_cast<double>(row_bytes) / 1e3, median(times[tarnovelix]),
      median(times[floor_replace]),
      ratio_text(per_round(times[tarnovelix], times[floor_replace], true))
          .c_str());
  if (!settings.before.empty()) {
    std::printf(
        " %8.0f  %-18s %s", median(times[before]),
        ratio_text(per_round(times[before], times[floor_replace], true))
            .c_str(),
        ratio_text(per_round(times[tarnovelix], times[before], true)).c_str());
  }
  std::printf("\n");
  std::fflush(stdout);
  std::filesystem::remove(input);
  clear_output(output);
  return times;
}

// What the start of tarnovelix alone leaves of the floor's margin: a run
// that did no more than the floor's work after its start would take the
// floor's time plus the start's time above start-exit.
void print_start(const Times& times, long lines) {
  std::vector<double> bound;
  for (std::size_t i = 0; i < times[floor_replace].size(); ++i) {
    bound.push_back(
        (times[floor_replace][i] + times[tnx_start][i] - times[start_exit][i]) /
        times[floor_replace][i]);
  }
  std::printf(
      "  Start alone, in the rounds of %ld lines: start-exit %.0f us, "
      "tarnovelix on a missing\n  input %.0f us. A run that did the floor's "
      "work after that start would take\n  %s of the floor.\n",
      lines, median(times[start_exit]), median(times[tnx_start]),
      ratio_text(bound).c_str());
}

}  // namespace

void time_replacing(const Settings& settings) {
  const bool with_before = !settings.before.empty();
  std::printf(
      "\n== Replacing a row file: one process per file (%d rounds; load "
      "average %s)\n"
      "  tarnovelix: %s\n%s%s%s"
      "  floor: floor_file --replace INPUT OUTPUT BYTES: the row file's bytes "
      "to a hidden file,\n  every signal blocked, the old file's mode, "
      "renamed over it (static C).\n"
      "  Each run replaces the row file the run before it left; dirty pages "
      "written out before\n  each run, untimed. Times: medians in "
      "microseconds; ratios: median (quartiles) of the\n  per-round ratios; "
      "the order rotates from round to round.\n",
      settings.rounds, load_average().c_str(), settings.tarnovelix.c_str(),
      with_before ? "  before: " : "",
      with_before ? settings.before.c_str() : "", with_before ? "\n" : "");
  std::printf("  %7s %9s %10s %8s  %-18s", "lines", "rows KB", "tarnovelix",
              "floor", "tnx/floor");
  if (with_before) {
    std::printf(" %8s  %-18s %s", "before", "before/floor", "tnx/before");
  }
  std::printf("\n");
  Times ten;
  for (const long lines : REPLACE_SIZES) {
    if (lines > settings.max_lines) continue;
    Times times = time_size(settings, lines);
    if (lines == 10) ten = std::move(times);
  }
  if (!ten[floor_replace].empty()) print_start(ten, 10);
}

}  // namespace per_file
