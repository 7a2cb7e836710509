#include "per_file_loops.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "per_file_inputs.hpp"
#include "per_file_timing.hpp"

namespace per_file {
namespace {

namespace fs = std::filesystem;

// The loop of a user's script, with the program and the directory as $1 and
// $2: the same expansion and redirection per file as the script's.
constexpr const char* LOOP_SCRIPT =
    R"(for f in "$2"/*.dat; do "$1" "$f" "${f%.dat}.ntp" >/dev/null; done)";

// The loop, with the program, the output folder and the files as $1, $2 and
// the rest: bash's own expansions name each row file, so the loop starts no
// process but the conversions. It stops at the first failed file.
constexpr const char* BATCH_LOOP_SCRIPT =
    R"(tnx=$1 out=$2; shift 2; for f in "$@"; do n=${f##*/}; "$tnx" "$f" "$out/${n%.dat}.ntp" >/dev/null || exit; done)";
// xargs reads the input and row file names as NUL-terminated pairs and
// starts the program itself once per pair (-n 2), no shell per file, up to
// $3 at once. Its status is 123 when any conversion failed.
constexpr const char* BATCH_XARGS_SCRIPT =
    R"(tnx=$1 out=$2 jobs=$3; shift 3; for f in "$@"; do n=${f##*/}; printf "%s\0%s\0" "$f" "$out/${n%.dat}.ntp"; done | xargs -0 -n 2 -P "$jobs" "$tnx")";

enum BatchWay { batch_mode, shell_loop, xargs_jobs, way_count };

Command batch_command(const Settings& settings, const BatchFiles& files,
                      BatchWay way, const std::string& out, int jobs) {
  std::vector<std::string> args;
  switch (way) {
    case batch_mode:
      args = {settings.tarnovelix, "--batch", "-q", "-o", out};
      break;
    case shell_loop:
      args = {SHELL, "-c", BATCH_LOOP_SCRIPT, "loop", settings.tarnovelix, out};
      break;
    default:
      args = {SHELL,
              "-c",
              BATCH_XARGS_SCRIPT,
              "xargs",
              settings.tarnovelix,
              out,
              std::to_string(jobs)};
      break;
  }
  args.insert(args.end(), files.inputs.begin(), files.inputs.end());
  return Command(std::move(args));
}

// Each way once, untimed (also the warm-up): the single runs of the loop
// are the reference, and the other two must write the same bytes into
// every row file. Returns the hashes of the reference's row files, and adds
// their sizes to files.row_bytes.
std::vector<std::uint64_t> check_ways(
    const Settings& settings, BatchFiles& files,
    const std::array<std::string, way_count>& names, int jobs) {
  // every row file.
  std::array<std::string, way_count> check_dirs;
  for (std::size_t way = 0; way < way_count; ++way) {
    check_dirs[way] = files.dir + "/check-" + names[way].substr(0, 5);
    fresh_folder(check_dirs[way]);
    batch_command(settings, files, static_cast<BatchWay>(way), check_dirs[way],
                  jobs)
        .run();
  }
  for (const std::size_t way :
       {std::size_t{batch_mode}, std::size_t{xargs_jobs}}) {
    for (const std::string& name : files.row_names) {
      const std::string single = check_dirs[shell_loop] + "/" + name;
      const std::string other = check_dirs[way] + "/" + name;
      const std::string difference = compare_files(other, single);
      if (!difference.empty()) {
        fail("the row files differ: " + other + " (" + names[way] +
             ") against the single run's " + single + ": " + difference +
             "; both folders kept");
      }
    }
  }
  const std::vector<std::uint64_t> expected =
      row_hashes(files, check_dirs[shell_loop]);
  for (const std::string& name : files.row_names) {
    files.row_bytes += file_size(check_dirs[shell_loop] + "/" + name);
  }
  for (const std::string& dir : check_dirs) empty_row_files(files, dir);
  return expected;
}

void print_batch_heading(const Settings& settings, const BatchFiles& files,
                         int jobs) {
  std::printf(
      "\n== Many files: one batch run against one process per file (%d "
      "round%s; load average %s)\n"
      "  %zu files of %ld to %ld data lines and 1 to %d values per line "
      "(datagen standard LINES SEED\n  COLUMNS), %.1f MB in all, %.1f MB of "
      "rows; %d processors available.\n"
      "  batch: tarnovelix --batch -q -o OUT FILE...  (jobs: one per "
      "processor, the default)\n"
      "  loop:  %s -c '%s' loop tarnovelix OUT FILE...\n"
      "  xargs: %s -c '%s' xargs tarnovelix OUT %d FILE...\n"
      "         (xargs reads NUL-terminated pairs of input and row file and "
      "starts one tarnovelix\n         per pair itself, no shell per file, %d "
      "at once)\n"
      "  Each is spawned directly (posix_spawn, wait4) with stdout to "
      "/dev/null and writes into a\n  new, empty OUT, made and the dirty pages "
      "written out before the clock starts; the row files\n  of earlier "
      "runs are emptied, not removed. The order rotates from round to round.\n"
      "  Checked "
      "first: the three wrote byte-identical row files for all %zu files;\n  "
      "every timed run's row files are checked again afterwards.\n",
      settings.batch_rounds, settings.batch_rounds == 1 ? "" : "s",
      load_average().c_str(), files.inputs.size(), BATCH_MIN_LINES,
      BATCH_MAX_LINES, BATCH_MAX_COLUMNS,
      static_cast<double>(files.input_bytes) / 1e6,
      static_cast<double>(files.row_bytes) / 1e6, jobs, SHELL,
      BATCH_LOOP_SCRIPT, SHELL, BATCH_XARGS_SCRIPT, jobs, jobs,
      files.inputs.size());
  std::fflush(stdout);
}

// The per-file times of each way, round by round; every run's row files
// are checked against `expected`.
std::array<std::vector<double>, way_count> time_batch_rounds(
    const Settings& settings, const BatchFiles& files,
    const std::array<std::string, way_count>& names,
    const std::vector<std::uint64_t>& expected, int jobs) {
  const auto count = static_cast<double>(files.inputs.size());
  std::array<std::vector<double>, way_count> per_file;
  int run_number = 0;
  for (int round = 0; round < settings.batch_rounds; ++round) {
    for (std::size_t k = 0; k < way_count; ++k) {
      const std::size_t way = (static_cast<std::size_t>(round) + k) % way_count;
      const std::string out =
          files.dir + "/out-" + std::to_string(run_number++);
      fresh_folder(out);
      Command command =
          batch_command(settings, files, static_cast<BatchWay>(way), out, jobs);
      const Timing timing = command.run();
      per_file[way].push_back(timing.wall_us / count);
      if (row_hashes(files, out) != expected) {
        fail("the " + names[way] + " run wrote other rows than the check in " +
             out);
      }
      empty_row_files(files, out);
    }
  }
  return per_file;
}

void print_batch_results(
    const std::array<std::vector<double>, way_count>& per_file,
    const std::array<std::string, way_count>& names, double count) {
  std::printf("  %-11s %12s %17s %9s\n", "command", "us per file",
              "(quartiles)", "total ms");
  for (std::size_t way = 0; way < way_count; ++way) {
    char quartiles[48];
    std::snprintf(quartiles, sizeof quartiles, "(%.0f-%.0f)",
                  quantile(per_file[way], 0.25), quantile(per_file[way], 0.75));
    std::printf("  %-11s %12.0f %17s %9.1f\n", names[way].c_str(),
                median(per_file[way]), quartiles,
                median(per_file[way]) * count / 1e3);
  }
  const std::vector<double> vs_loop =
      per_round(per_file[batch_mode], per_file[shell_loop], true);
  const std::vector<double> vs_xargs =
      per_round(per_file[batch_mode], per_file[xargs_jobs], true);
  std::printf(
      "  Ratios: median (quartiles) of the per-round ratios of the times\n"
      "  batch / loop:  %s  target <= 0.10: %s\n"
      "  batch / %s: %s  target < 1: %s\n",
      ratio_text(vs_loop).c_str(), median(vs_loop) <= 0.10 ? "met" : "not met",
      names[xargs_jobs].c_str(), ratio_text(vs_xargs).c_str(),
      median(vs_xargs) < 1 ? "met" : "not met");
}

}  // namespace

void time_shell_loop(const Settings& settings) {
  const LoopFiles files = make_loop_files(settings);
  const std::array<std::string, 3> programs = {settings.tarnovelix,
                                               settings.tools + "/baseline",
                                               settings.tools + "/start_exit"};
  const std::array<const char*, 3> names = {"tarnovelix", "baseline",
                                            "start-exit"};
  std::vector<Command> loops;
  for (const std::string& program : programs) {
    loops.push_back(
        Command({SHELL, "-c", LOOP_SCRIPT, "loop", program, files.dir}));
  }

  // An untimed loop of each converter first: its row files must be the
  // same, file by file, and every later loop must write them again.
  clear_loop_outputs(files);
  loops[0].run();
  const std::vector<std::uint64_t> expected = loop_hashes(files);
  clear_loop_outputs(files);
  loops[1].run();
  if (loop_hashes(files) != expected) {
    fail(
        "the shell loop's row files differ between tarnovelix and the "
        "baseline in " +
        files.dir);
  }
  clear_loop_outputs(files);
  loops[2].run();

  std::printf(
      "\n== Per file: a shell loop over %d files of %ld to %ld lines (%.1f MB "
      "in all), %d round%s\n  %s -c '%s' loop PROGRAM DIR\n",
      settings.loop_files, LOOP_MIN_LINES, LOOP_MAX_LINES,
      static_cast<double>(files.input_bytes) / 1e6, settings.loop_rounds,
      settings.loop_rounds == 1 ? "" : "s", SHELL, LOOP_SCRIPT);
  std::array<std::vector<double>, 3> per_file;
  for (int round = 0; round < settings.loop_rounds; ++round) {
    for (std::size_t k = 0; k < loops.size(); ++k) {
      const std::size_t which =
          (static_cast<std::size_t>(round) + k) % loops.size();
      clear_loop_outputs(files);
      const Timing timing = loops[which].run();
      per_file[which].push_back(timing.wall_us / settings.loop_files);
      if (which < 2 && loop_hashes(files) != expected) {
        fail(std::string("the shell loop with ") + names[which] +
             " wrote other rows than in its first run");
      }
    }
  }
  clear_loop_outputs(files);
  std::printf("  %-11s %12s %9s\n", "program", "us per file", "total s");
  for (std::size_t which = 0; which < loops.size(); ++which) {
    std::printf("  %-11s %12.0f %9.2f\n", names[which], median(per_file[which]),
                median(per_file[which]) * settings.loop_files / 1e6);
  }
  std::printf("  tarnovelix / baseline, median of per-round ratios: %.2f\n",
              median(per_round(per_file[0], per_file[1], true)));
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
}

void time_batch(const Settings& settings) {
  const int jobs = processors();
  BatchFiles files = make_batch_files(settings);
  const std::array<std::string, way_count> names = {
      "batch", "loop", "xargs -P " + std::to_string(jobs)};
  const std::vector<std::uint64_t> expected =
      check_ways(settings, files, names, jobs);
  print_batch_heading(settings, files, jobs);
  print_batch_results(time_batch_rounds(settings, files, names, expected, jobs),
                      names, static_cast<double>(files.inputs.size()));
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
}

}  // namespace per_file
