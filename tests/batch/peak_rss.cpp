// peak_rss REPORT PROGRAM [ARG...]
//
// Runs PROGRAM with its arguments, waits for it, and writes the peak
// resident set size of the process, in KiB, to the file REPORT. Exits with
// the program's status (128 + N when signal N ended it), so a script checks
// the run and its memory in one go. The process starts as a copy of this
// one, whose few pages therefore count too: the measure errs on the high
// side by the size of a small C program.
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: peak_rss REPORT PROGRAM [ARG...]\n", stderr);
    return 2;
  }
  const pid_t child = fork();
  if (child < 0) {
    std::perror("peak_rss: fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("peak_rss: wait4");
      return 2;
    }
  }
  std::FILE* report = std::fopen(argv[1], "w");
  if (report == nullptr || std::fprintf(report, "%ld\n", usage.ru_maxrss) < 0 ||
      std::fclose(report) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
