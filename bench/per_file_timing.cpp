#include "per_file_timing.hpp"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

extern char** environ;

namespace per_file {
namespace {

double micros(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec);
}

}  // namespace

void fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "per_file: %s\n", message.c_str());
  std::exit(1);
}

Command::Command(std::vector<std::string> args, std::string stdout_path,
                 bool truncate_stdout, int status)
    : args_(std::move(args)),
      stdout_path_(std::move(stdout_path)),
      stdout_flags_(truncate_stdout ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY),
      status_(status) {}

Timing Command::run() {
  std::vector<char*> argv;
  argv.reserve(args_.size() + 1);
  for (std::string& arg : args_) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                   stdout_path_.c_str(), stdout_flags_, 0644);
  if (status_ != 0) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null",
                                     O_WRONLY, 0);
  }
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
  if (!WIFEXITED(status) || WEXITSTATUS(status) != status_) {
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

void clear_output(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
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

std::string ratio_text(const std::vector<double>& ratios) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", median(ratios),
                quantile(ratios, 0.25), quantile(ratios, 0.75));
  return text;
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  std::string five;
  std::string fifteen;
  in >> one >> five >> fifteen;
  return one + ", " + five + ", " + fifteen;
}

int processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return CPU_COUNT(&set);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace per_file
