#include "per_file_table.hpp"

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

namespace fs = std::filesystem;

enum Program { tarnovelix, baseline, floor_file, start_exit, program_count };
constexpr std::array<const char*, program_count> PROGRAM_NAMES = {
    "tarnovelix", "baseline", "floor", "start-exit"};

struct SizeResult {
  long lines = 0;
  std::array<std::vector<double>, program_count> wall;
  std::array<std::vector<double>, program_count> cpu;
};

// The rows of both converters for `input`, byte for byte, before anything
// is timed; these runs are also their warm-up. Returns the row file's size.
std::uintmax_t check_rows(const Settings& settings, const std::string& input) {
  const std::string check_tnx = settings.data + "/check-tarnovelix.ntp";
  const std::string check_base = settings.data + "/check-baseline.ntp";
  clear_output(check_tnx);
  Command({settings.tarnovelix, input, check_tnx}).run();
  clear_output(check_base);
  Command({settings.tools + "/baseline", input, check_base}).run();
  const std::string difference = compare_files(check_tnx, check_base);
  if (!difference.empty()) {
    fail("tarnovelix and the baseline write different rows for " + input +
         " (" + difference + "); kept as " + check_tnx + " and " + check_base);
  }
  const std::uintmax_t row_bytes = file_size(check_tnx);
  fs::remove(check_tnx);
  fs::remove(check_base);
  return row_bytes;
}

// Warm-up of the two floors, and a check that the floor writes exactly the
// row file's bytes.
void warm_up_floors(std::array<Command, program_count>& commands,
                    const std::string& output, std::uintmax_t row_bytes) {
  clear_output(output);
  commands[floor_file].run();
  if (file_size(output) != row_bytes) {
    fail("floor_file wrote " + std::to_string(file_size(output)) +
         " bytes, not the row file's " + std::to_string(row_bytes));
  }
  commands[start_exit].run();
}

// Each program once per round, in an order that rotates from round to round.
SizeResult time_rounds(const Settings& settings,
                       std::array<Command, program_count>& commands,
                       const std::string& output) {
  SizeResult result;
  for (int round = 0; round < settings.rounds; ++round) {
    for (int k = 0; k < program_count; ++k) {
      const auto program =
          static_cast<std::size_t>((round + k) % program_count);
      if (program != start_exit) clear_output(output);
      const Timing timing = commands[program].run();
      result.wall[program].push_back(timing.wall_us);
      result.cpu[program].push_back(timing.cpu_us);
    }
  }
  return result;
}

SizeResult time_size(const Settings& settings, long lines) {
  const std::string input =
      settings.data + "/lines-" + std::to_string(lines) + ".dat";
  const std::string output = settings.data + "/rows.ntp";
  generate(settings, lines, 1, input);
  const std::uintmax_t row_bytes = check_rows(settings, input);
  std::array<Command, program_count> commands = {
      Command({settings.tarnovelix, input, output}),
      Command({settings.tools + "/baseline", input, output}),
      Command({settings.tools + "/floor_file", input, output,
               std::to_string(row_bytes)}),
      Command({settings.tools + "/start_exit"}),
  };
  warm_up_floors(commands, output, row_bytes);
  SizeResult result = time_rounds(settings, commands, output);
  result.lines = lines;
  clear_output(output);

  const std::vector<double>* wall = result.wall.data();
  std::printf(
      "  %7ld %9.1f %9.1f %10.0f %9.0f %8.0f %10.0f  %-18s %s\n", lines,
      static_cast<double>(file_size(input)) / 1e3,
      static_cast<double>(row_bytes) / 1e3, median(wall[tarnovelix]),
      median(wall[baseline]), median(wall[floor_file]),
      median(wall[start_exit]),
      ratio_text(per_round(wall[tarnovelix], wall[baseline], true)).c_str(),
      ratio_text(per_round(wall[tarnovelix], wall[floor_file], true)).c_str());
  std::fflush(stdout);
  fs::remove(input);
  return result;
}

void print_fixed_costs(const std::vector<SizeResult>& results) {
  // The floor writes its bytes in a single call, and on some kernels one
  // call of hundreds of megabytes runs several times slower than the same
  // bytes in smaller calls (docs/performance.md); there it bounds nothing.
  for (const SizeResult& size : results) {
    if (median(size.wall[floor_file]) > median(size.wall[tarnovelix])) {
      std::printf(
          "  Note: at %ld lines the floor took longer than tarnovelix, so it "
          "is no lower bound there.\n",
          size.lines);
    }
  }
  const SizeResult& one = results.front();
  std::printf(
      "\n  Per-file fixed cost, on the %ld-line file: the median over the "
      "rounds of each\n  program's time minus start-exit's in the same round "
      "(start-exit alone: %.0f us)\n",
      one.lines, median(one.wall[start_exit]));
  for (const Program program : {tarnovelix, baseline, floor_file}) {
    std::printf(
        "    %-11s %6.0f us\n", PROGRAM_NAMES[program],
        median(per_round(one.wall[program], one.wall[start_exit], false)));
  }
  std::printf("  CPU time (user + system), median on the %ld-line file:",
              one.lines);
  for (std::size_t program = 0; program < program_count; ++program) {
    std::printf(" %s %.0f us%s", PROGRAM_NAMES[program],
                median(one.cpu[program]),
                program + 1 < program_count ? "," : "\n");
  }
  if (results.size() >= 2) {
    const SizeResult& small = results[results.size() - 2];
    const SizeResult& large = results.back();
    const auto lines = static_cast<double>(large.lines - small.lines);
    std::printf("  Cost per data line, from the medians at %ld and %ld lines:",
                small.lines, large.lines);
    for (const Program program : {tarnovelix, baseline, floor_file}) {
      std::printf(
          " %s %.2f us%s", PROGRAM_NAMES[program],
          (median(large.wall[program]) - median(small.wall[program])) / lines,
          program == floor_file ? "\n" : ",");
    }
  }
}

}  // namespace

void time_per_file_table(const Settings& settings) {
  std::printf(
      "== Per file: one process per file (%d rounds%s; load average %s)\n"
      "  tarnovelix: %s (%s)\n"
      "  Input: datagen standard, 100 columns, header included. Each program "
      "is spawned\n  directly (posix_spawn, wait4), stdout to /dev/null, rows "
      "to a new file in\n  %s. Times: medians in microseconds; ratios: "
      "median (quartiles) of the\n  per-round ratios; the order rotates from "
      "round to round.\n",
      settings.rounds, settings.quick ? ", quick" : "", load_average().c_str(),
      settings.tarnovelix.c_str(), linkage(settings.tarnovelix).c_str(),
      settings.data.c_str());
  std::printf("  %7s %9s %9s %10s %9s %8s %10s  %-18s %s\n", "lines",
              "input KB", "rows KB", "tarnovelix", "baseline", "floor",
              "start-exit", "tnx/baseline", "tnx/floor");
  std::vector<SizeResult> results;
  for (const long lines : SIZES) {
    if (lines <= settings.max_lines) {
      results.push_back(time_size(settings, lines));
    }
  }
  print_fixed_costs(results);
}

}  // namespace per_file
