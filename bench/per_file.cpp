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
// Last, it times one `tarnovelix --batch` run over 300 small files against
// a shell loop of single runs over them and against xargs running one
// single run per file on every processor, side by side in each round.
//
//   per_file [--tarnovelix PATH] [--tools DIR] [--data DIR] [--rounds N]
//            [--max-lines N] [--loop-files N] [--loop-rounds N]
//            [--batch-files N] [--batch-rounds N] [--batch-only] [--quick]
//
// --tools is the directory holding datagen, baseline, floor_file and
// start_exit (default: this program's own); --tarnovelix defaults to the
// tarnovelix one directory above it (build/bench/tarnovelix), and may be any
// build of it. Unset options come from the environment, as bench/run.sh's
// settings do: BENCH_QUICK=1 (5 rounds, up to 10,000 lines, a loop over 200
// files run once, 3 rounds of the batch comparison), BENCH_FILE_ROUNDS
// (default 30), BENCH_LOOP_FILES (default 1000), BENCH_LOOP_ROUNDS (default
// 3), BENCH_BATCH_FILES (default 300), BENCH_BATCH_ROUNDS (default 21) and
// BENCH_BATCH=0 (leave the batch comparison out). --batch-only runs that
// comparison alone.
//
// Every time is wall-clock time from just before the spawn to the return of
// wait4. Within a round each program runs once, and the order rotates from
// round to round, so that drift in the machine's load and the position
// after another program's writes hit all of them alike. A program's figure is
// its median over the rounds; a ratio is the median over the rounds of the
// two programs' times in the same round.
#include <elf.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::array<long, 6> SIZES = {1, 10, 100, 1000, 10000, 100000};
constexpr long QUICK_MAX_LINES = 10000;
constexpr int QUICK_ROUNDS = 5;
constexpr int QUICK_LOOP_FILES = 200;
constexpr int QUICK_LOOP_ROUNDS = 1;
constexpr int DEFAULT_ROUNDS = 30;
constexpr int DEFAULT_LOOP_FILES = 1000;
constexpr int DEFAULT_LOOP_ROUNDS = 3;
constexpr int DEFAULT_BATCH_FILES = 300;
constexpr int DEFAULT_BATCH_ROUNDS = 21;
constexpr int QUICK_BATCH_ROUNDS = 3;
// Lines per file of the shell loop: 10 to 100, varying with the file.
constexpr long LOOP_MIN_LINES = 10;
constexpr long LOOP_MAX_LINES = 100;
// The loop of a user's script, with the program and the directory as $1 and
// $2: the same expansion and redirection per file as the script's.
constexpr const char* LOOP_SCRIPT =
    R"(for f in "$2"/*.dat; do "$1" "$f" "${f%.dat}.ntp" >/dev/null; done)";
constexpr const char* SHELL = "/bin/bash";

[[noreturn]] void fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "per_file: %s\n", message.c_str());
  std::exit(1);
}

struct Settings {
  std::string tarnovelix;
  std::string tools;
  std::string data = "build/bench-data/per-file";
  int rounds = DEFAULT_ROUNDS;
  long max_lines = SIZES.back();
  int loop_files = DEFAULT_LOOP_FILES;
  int loop_rounds = DEFAULT_LOOP_ROUNDS;
  int batch_files = DEFAULT_BATCH_FILES;
  int batch_rounds = DEFAULT_BATCH_ROUNDS;
  bool batch = true;        // time the batch mode against the others
  bool batch_only = false;  // and nothing else
  bool quick = false;
};

struct Timing {
  double wall_us = 0;
  double cpu_us = 0;  // user and system time of the child
};

double micros(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec);
}

// A command line with its standard output's destination. The argument
// vector and the file action are set up before the clock starts, so the
// timed path is the spawn and the wait alone.
class Command {
 public:
  Command(std::vector<std::string> args, std::string stdout_path = "/dev/null",
          bool truncate_stdout = false)
      : args_(std::move(args)),
        stdout_path_(std::move(stdout_path)),
        stdout_flags_(truncate_stdout ? O_WRONLY | O_CREAT | O_TRUNC
                                      : O_WRONLY) {}

  [[nodiscard]] const std::string& program() const { return args_.front(); }

  // Runs the command to its end; anything but exit status 0 stops the
  // benchmark, as a figure for a failed run would be meaningless.
  Timing run() {
    std::vector<char*> argv;
    argv.reserve(args_.size() + 1);
    for (std::string& arg : args_) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                     stdout_path_.c_str(), stdout_flags_, 0644);
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    const auto start = std::chrono::steady_clock::now();
    const int error =
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    if (error == 0) {
      while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) fail("wait4: " + std::string(strerror(errno)));
      }
    }
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      fail("cannot start " + program() + ": " + std::strerror(error));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::string text;
      for (const std::string& arg : args_) text += " " + arg;
      fail("command failed (" +
           (WIFEXITED(status)
                ? "exit status " + std::to_string(WEXITSTATUS(status))
                : "signal " + std::to_string(WTERMSIG(status))) +
           "):" + text);
    }
    return {std::chrono::duration<double, std::micro>(end - start).count(),
            micros(usage.ru_utime) + micros(usage.ru_stime)};
  }

 private:
  std::vector<std::string> args_;
  std::string stdout_path_;
  int stdout_flags_;
};

// Removes a previous output and writes out the machine's dirty pages
// (untimed), so that no run is charged for the writeback of the one before.
void clear_output(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
  ::sync();
}

double quantile(std::vector<double> values, double q) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const double position = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double weight = position - static_cast<double>(below);
  return values[below] * (1 - weight) + values[above] * weight;
}

double median(const std::vector<double>& values) {
  return quantile(values, 0.5);
}

std::vector<double> per_round(const std::vector<double>& a,
                              const std::vector<double>& b, bool ratio) {
  std::vector<double> result(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    result[i] = ratio ? a[i] / b[i] : a[i] - b[i];
  }
  return result;
}

// "2.31 (2.20-2.45)": median and quartiles of per-round ratios.
std::string ratio_text(const std::vector<double>& ratios) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", median(ratios),
                quantile(ratios, 0.25), quantile(ratios, 0.75));
  return text;
}

std::uintmax_t file_size(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) fail("cannot stat " + path + ": " + error.message());
  return size;
}

// Compares two files byte for byte; returns an empty string when they are
// the same, else where they first differ.
std::string compare_files(const std::string& a, const std::string& b) {
  std::ifstream in_a(a, std::ios::binary);
  std::ifstream in_b(b, std::ios::binary);
  if (!in_a || !in_b) return "cannot read both files";
  std::vector<char> block_a(1 << 20);
  std::vector<char> block_b(1 << 20);
  std::uintmax_t offset = 0;
  for (;;) {
    in_a.read(block_a.data(), static_cast<std::streamsize>(block_a.size()));
    in_b.read(block_b.data(), static_cast<std::streamsize>(block_b.size()));
    const auto got_a = static_cast<std::size_t>(in_a.gcount());
    const auto got_b = static_cast<std::size_t>(in_b.gcount());
    const std::size_t common = std::min(got_a, got_b);
    const auto mismatch = std::mismatch(
        block_a.begin(), block_a.begin() + static_cast<std::ptrdiff_t>(common),
        block_b.begin());
    if (mismatch.first !=
        block_a.begin() + static_cast<std::ptrdiff_t>(common)) {
      return "first difference at byte " +
             std::to_string(offset + static_cast<std::uintmax_t>(
                                         mismatch.first - block_a.begin()));
    }
    if (got_a != got_b) {
      return "sizes differ: " + std::to_string(file_size(a)) + " and " +
             std::to_string(file_size(b)) + " bytes";
    }
    if (got_a == 0) return "";
    offset += got_a;
  }
}

// 64-bit FNV-1a of a file's bytes, to tell the shell loop's row files apart
// without keeping them.
std::uint64_t file_hash(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path);
  std::vector<char> block(1 << 16);
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (;;) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) return hash;
    for (std::size_t i = 0; i < got; ++i) {
      hash = (hash ^ static_cast<unsigned char>(block[i])) * 0x100000001b3u;
    }
  }
}

// Whether an executable asks for a program interpreter, the dynamic loader.
std::string linkage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header) ||
      std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64) {
    return "not a 64-bit ELF file";
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr program_header{};
    in.seekg(static_cast<std::streamoff>(
        header.e_phoff + i * std::uint64_t{header.e_phentsize}));
    if (!in.read(reinterpret_cast<char*>(&program_header),
                 sizeof program_header)) {
      break;
    }
    if (program_header.p_type == PT_INTERP) return "dynamically linked";
  }
  return "statically linked";
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  std::string five;
  std::string fifteen;
  in >> one >> five >> fifteen;
  return one + ", " + five + ", " + fifteen;
}

// datagen's standard shape; `columns` values per line instead of its 100
// when given.
void generate(const Settings& settings, long lines, unsigned long seed,
              const std::string& path, int columns = 0) {
  std::vector<std::string> args = {settings.tools + "/datagen", "standard",
                                   std::to_string(lines), std::to_string(seed)};
  if (columns > 0) args.push_back(std::to_string(columns));
  Command(std::move(args), path, true).run();
}

// --- The per-file table ------------------------------------------------------

enum Program { tarnovelix, baseline, floor_file, start_exit, program_count };
constexpr std::array<const char*, program_count> PROGRAM_NAMES = {
    "tarnovelix", "baseline", "floor", "start-exit"};

struct SizeResult {
  long lines = 0;
  std::array<std::vector<double>, program_count> wall;
  std::array<std::vector<double>, program_count> cpu;
};

SizeResult time_size(const Settings& settings, long lines) {
  const std::string input =
      settings.data + "/lines-" + std::to_string(lines) + ".dat";
  const std::string output = settings.data + "/rows.ntp";
  generate(settings, lines, 1, input);

  // The rows of both converters, byte for byte, before anything is timed;
  // these runs are also their warm-up.
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

  std::array<Command, program_count> commands = {
      Command({settings.tarnovelix, input, output}),
      Command({settings.tools + "/baseline", input, output}),
      Command({settings.tools + "/floor_file", input, output,
               std::to_string(row_bytes)}),
      Command({settings.tools + "/start_exit"}),
  };
  // Warm-up of the two floors, and a check that the floor writes exactly the
  // row file's bytes.
  clear_output(output);
  commands[floor_file].run();
  if (file_size(output) != row_bytes) {
    fail("floor_file wrote " + std::to_string(file_size(output)) +
         " bytes, not the row file's " + std::to_string(row_bytes));
  }
  commands[start_exit].run();

  SizeResult result;
  result.lines = lines;
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

// --- The shell loop ----------------------------------------------------------

struct LoopFiles {
  std::string dir;
  std::vector<std::string> inputs;
  std::uintmax_t input_bytes = 0;
};

LoopFiles make_loop_files(const Settings& settings) {
  LoopFiles files;
  files.dir = settings.data + "/loop";
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
  fs::create_directories(files.dir);
  for (int i = 0; i < settings.loop_files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/f%05d.dat", i);
    const std::string path = files.dir + name;
    const long lines =
        LOOP_MIN_LINES + i % (LOOP_MAX_LINES - LOOP_MIN_LINES + 1);
    generate(settings, lines, static_cast<unsigned long>(i) + 1, path);
    files.inputs.push_back(path);
    files.input_bytes += file_size(path);
  }
  return files;
}

std::string row_file(const std::string& input) {
  return input.substr(0, input.size() - 4) + ".ntp";
}

void clear_loop_outputs(const LoopFiles& files) {
  std::error_code ignored;
  for (const std::string& input : files.inputs)
    fs::remove(row_file(input), ignored);
  ::sync();
}

std::vector<std::uint64_t> loop_hashes(const LoopFiles& files) {
  std::vector<std::uint64_t> hashes;
  for (const std::string& input : files.inputs) {
    hashes.push_back(file_hash(row_file(input)));
  }
  return hashes;
}

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

// --- Batch mode --------------------------------------------------------------
// One `tarnovelix --batch` run over many small files against the two ways a
// script converts them with one process per file: a shell loop, and xargs
// keeping one conversion per processor running.

// File i has 10 + (7 i mod 291) data lines and 1 + (13 i mod 100) values per
// line (seed i + 1). 7 and 13 are prime to 291 and 100, so the first 291
// files take every line count once and the first 100 every column count,
// and the two counts do not rise together.
constexpr long BATCH_MIN_LINES = 10;
constexpr long BATCH_MAX_LINES = 300;
constexpr long BATCH_LINE_STEP = 7;
constexpr int BATCH_MAX_COLUMNS = 100;
constexpr int BATCH_COLUMN_STEP = 13;
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

struct BatchFiles {
  std::string dir;
  std::vector<std::string> inputs;
  std::vector<std::string> row_names;  // "f0000.ntp": each input's row file
  std::uintmax_t input_bytes = 0;
  std::uintmax_t row_bytes = 0;
};

// The processors this process may run on: what `nproc` prints, and what
// tarnovelix --batch takes as its number of jobs by default.
int processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return CPU_COUNT(&set);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

BatchFiles make_batch_files(const Settings& settings) {
  BatchFiles files;
  files.dir = settings.data + "/batch";
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
  fs::create_directories(files.dir + "/in");
  for (int i = 0; i < settings.batch_files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%04d", i);
    const std::string path = files.dir + "/in/" + name + ".dat";
    const long lines =
        BATCH_MIN_LINES +
        i * BATCH_LINE_STEP % (BATCH_MAX_LINES - BATCH_MIN_LINES + 1);
    const int columns = 1 + i * BATCH_COLUMN_STEP % BATCH_MAX_COLUMNS;
    generate(settings, lines, static_cast<unsigned long>(i) + 1, path, columns);
    files.inputs.push_back(path);
    files.row_names.push_back(std::string(name) + ".ntp");
    files.input_bytes += file_size(path);
  }
  return files;
}

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

// A new, empty output folder, with the machine's dirty pages written out.
void fresh_folder(const std::string& path) {
  fs::create_directories(path);
  ::sync();
}

// Empties the row files of a run that has been checked, and keeps them.
// Two costs of the machine's own come with the benchmark's clean-up, not
// with converting, and this avoids both. Removing the files: on ext4
// without a journal (as on the machines this runs on) a new file's inode
// is searched for past every inode freed in the last minutes, so each
// later file cost more, and more so with each round. Keeping their bytes:
// each run's 57 MB of page cache then lands in memory the virtual machine
// has never touched, and every first touch of such a page is a fault in
// the host. Emptied files give their pages back for the next run and free
// no inode. Everything goes when the comparison is done.
void empty_row_files(const BatchFiles& files, const std::string& out) {
  for (const std::string& name : files.row_names) {
    fs::resize_file(out + "/" + name, 0);
  }
}

std::vector<std::uint64_t> row_hashes(const BatchFiles& files,
                                      const std::string& out) {
  std::vector<std::uint64_t> hashes;
  for (const std::string& name : files.row_names) {
    hashes.push_back(file_hash(out + "/" + name));
  }
  return hashes;
}

void time_batch(const Settings& settings) {
  const int jobs = processors();
  BatchFiles files = make_batch_files(settings);
  const std::array<std::string, way_count> names = {
      "batch", "loop", "xargs -P " + std::to_string(jobs)};

  // Each way once, untimed (also the warm-up): the single runs of the loop
  // are the reference, and the other two must write the same bytes into
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

  const auto count = static_cast<double>(files.inputs.size());
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
  std::error_code ignored;
  fs::remove_all(files.dir, ignored);
}

// --- Settings ----------------------------------------------------------------

int number_from(const char* text, const char* what) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 1000000) {
    fail(std::string(what) + " must be a number from 1 to 1000000, not '" +
         text + "'");
  }
  return static_cast<int>(value);
}

Settings read_settings(int argc, char** argv) {
  Settings settings;
  const fs::path self = fs::canonical("/proc/self/exe");
  settings.tools = self.parent_path().string();
  settings.tarnovelix =
      (self.parent_path().parent_path() / "tarnovelix").string();

  const char* quick = std::getenv("BENCH_QUICK");
  settings.quick = quick != nullptr && std::strcmp(quick, "1") == 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) settings.quick = true;
    if (std::strcmp(argv[i], "--batch-only") == 0) settings.batch_only = true;
  }
  if (settings.quick) {
    settings.rounds = QUICK_ROUNDS;
    settings.max_lines = QUICK_MAX_LINES;
    settings.loop_files = QUICK_LOOP_FILES;
    settings.loop_rounds = QUICK_LOOP_ROUNDS;
    settings.batch_rounds = QUICK_BATCH_ROUNDS;
  }
  if (const char* v = std::getenv("BENCH_FILE_ROUNDS")) {
    settings.rounds = number_from(v, "BENCH_FILE_ROUNDS");
  }
  if (const char* v = std::getenv("BENCH_LOOP_FILES")) {
    settings.loop_files = number_from(v, "BENCH_LOOP_FILES");
  }
  if (const char* v = std::getenv("BENCH_LOOP_ROUNDS")) {
    settings.loop_rounds = number_from(v, "BENCH_LOOP_ROUNDS");
  }
  if (const char* v = std::getenv("BENCH_BATCH_FILES")) {
    settings.batch_files = number_from(v, "BENCH_BATCH_FILES");
  }
  if (const char* v = std::getenv("BENCH_BATCH_ROUNDS")) {
    settings.batch_rounds = number_from(v, "BENCH_BATCH_ROUNDS");
  }
  if (const char* v = std::getenv("BENCH_BATCH")) {
    settings.batch = std::strcmp(v, "0") != 0;
  }

  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--quick" || option == "--batch-only") continue;
    if (i + 1 == argc) fail("usage: see the top of bench/per_file.cpp");
    const char* value = argv[++i];
    if (option == "--tarnovelix") {
      settings.tarnovelix = value;
    } else if (option == "--tools") {
      settings.tools = value;
    } else if (option == "--data") {
      settings.data = value;
    } else if (option == "--rounds") {
      settings.rounds = number_from(value, "--rounds");
    } else if (option == "--max-lines") {
      settings.max_lines = number_from(value, "--max-lines");
    } else if (option == "--loop-files") {
      settings.loop_files = number_from(value, "--loop-files");
    } else if (option == "--loop-rounds") {
      settings.loop_rounds = number_from(value, "--loop-rounds");
    } else if (option == "--batch-files") {
      settings.batch_files = number_from(value, "--batch-files");
    } else if (option == "--batch-rounds") {
      settings.batch_rounds = number_from(value, "--batch-rounds");
    } else {
      fail("unknown option " + option + "; see the top of bench/per_file.cpp");
    }
  }
  for (const std::string& tool :
       {settings.tarnovelix, settings.tools + "/datagen",
        settings.tools + "/baseline", settings.tools + "/floor_file",
        settings.tools + "/start_exit", std::string(SHELL)}) {
    if (::access(tool.c_str(), X_OK) != 0) {
      fail("missing " + tool + " (build the bench preset: make bench-tools)");
    }
  }
  for (const char* tool : {"/floor_file", "/start_exit"}) {
    if (linkage(settings.tools + tool) != "statically linked") {
      fail(settings.tools + tool + " is not statically linked");
    }
  }
  fs::create_directories(settings.data);
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = read_settings(argc, argv);
  if (settings.batch_only) {
    time_batch(settings);
    std::printf("  load average after: %s\n", load_average().c_str());
    return 0;
  }
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
    if (lines <= settings.max_lines)
      results.push_back(time_size(settings, lines));
  }
  print_fixed_costs(results);
  std::fflush(stdout);
  time_shell_loop(settings);
  if (settings.batch) {
    std::fflush(stdout);
    time_batch(settings);
  }
  std::printf("  load average after: %s\n", load_average().c_str());
  return 0;
}
