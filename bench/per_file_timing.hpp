// How the per-file benchmark times a program: spawned directly, with no
// shell in between, its wall-clock time taken from just before the spawn to
// the return of wait4, and the statistics its tables print (medians and
// quartiles over the rounds).
#pragma once

#include <sys/time.h>

#include <string>
#include <vector>

namespace per_file {

// Prints "per_file: MESSAGE" and ends the benchmark with status 1.
[[noreturn]] void fail(const std::string& message);

struct Timing {
  double wall_us = 0;
  double cpu_us = 0;  // user and system time of the child
};

// A command line with its standard output's destination. The argument
// vector and the file action are set up before the clock starts, so the
// timed path is the spawn and the wait alone.
class Command {
 public:
  // `status`: the exit status the command must end with; a command that
  // is to fail has its standard error sent to /dev/null too.
  explicit Command(std::vector<std::string> args,
                   std::string stdout_path = "/dev/null",
                   bool truncate_stdout = false, int status = 0);

  [[nodiscard]] const std::string& program() const { return args_.front(); }

  // Runs the command to its end; any other end than its exit status stops
  // the benchmark, as a figure for a failed run would be meaningless.
  Timing run();

 private:
  std::vector<std::string> args_;
  std::string stdout_path_;
  int stdout_flags_;
  int status_;
};

// Removes a previous output and writes out the machine's dirty pages
// (untimed), so that no run is charged for the writeback of the one before.
void clear_output(const std::string& path);

// The q-quantile of `values`, interpolated; NaN for none.
[[nodiscard]] double quantile(std::vector<double> values, double q);
[[nodiscard]] double median(const std::vector<double>& values);
// a[i] / b[i] (or a[i] - b[i] when `ratio` is false), round by round.
[[nodiscard]] std::vector<double> per_round(const std::vector<double>& a,
                                            const std::vector<double>& b,
                                            bool ratio);
// "2.31 (2.20-2.45)": median and quartiles of per-round ratios.
[[nodiscard]] std::string ratio_text(const std::vector<double>& ratios);

// The machine's load averages over 1, 5 and 15 minutes, "a, b, c".
[[nodiscard]] std::string load_average();
// The processors this process may run on: what `nproc` prints, and what
// tarnovelix --batch takes as its number of jobs by default.
[[nodiscard]] int processors();

}  // namespace per_file
