// The settings of the per-file benchmark: its defaults, the quick ones, and
// what the environment and the command line change (see per_file.cpp).
#pragma once

#include <array>
#include <string>

namespace per_file {

inline constexpr std::array<long, 6> SIZES = {1, 10, 100, 1000, 10000, 100000};
// The sizes of the replacing part: small files, where a run's fixed cost
// shows.
inline constexpr std::array<long, 3> REPLACE_SIZES = {1, 10, 100};
inline constexpr long QUICK_MAX_LINES = 10000;
inline constexpr int QUICK_ROUNDS = 5;
inline constexpr int QUICK_LOOP_FILES = 200;
inline constexpr int QUICK_LOOP_ROUNDS = 1;
inline constexpr int DEFAULT_ROUNDS = 30;
inline constexpr int DEFAULT_LOOP_FILES = 1000;
inline constexpr int DEFAULT_LOOP_ROUNDS = 3;
inline constexpr int DEFAULT_BATCH_FILES = 300;
inline constexpr int DEFAULT_BATCH_ROUNDS = 21;
inline constexpr int QUICK_BATCH_ROUNDS = 3;
// The shell every loop runs in.
inline constexpr const char* SHELL = "/bin/bash";

struct Settings {
  std::string tarnovelix;
  std::string tools;
  std::string before;  // another build of tarnovelix, timed beside it
  std::string data = "build/bench-data/per-file";
  int rounds = DEFAULT_ROUNDS;
  long max_lines = SIZES.back();
  int loop_files = DEFAULT_LOOP_FILES;
  int loop_rounds = DEFAULT_LOOP_ROUNDS;
  int batch_files = DEFAULT_BATCH_FILES;
  int batch_rounds = DEFAULT_BATCH_ROUNDS;
  bool batch = true;          // time the batch mode against the others
  bool batch_only = false;    // and nothing else
  bool replace = true;        // time the replacing of a row file
  bool replace_only = false;  // and nothing else
  bool quick = false;
};

// The settings of this run: the defaults, then BENCH_QUICK and --quick, then
// the environment, then the options. Stops the benchmark with a message on
// a malformed value or a missing tool.
[[nodiscard]] Settings read_settings(int argc, char** argv);

}  // namespace per_file
