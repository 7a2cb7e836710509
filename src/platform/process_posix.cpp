// The process services of POSIX systems, where argv is already what the
// program needs.
#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/process.hpp"

namespace tnx {

ProgramArguments::ProgramArguments(int argc, char** argv)
    : values_(argv, argv + argc) {}

ProgramArguments::~ProgramArguments() = default;

bool open_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor: this one, as the ones below it are open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
  return true;
}

void share_thread_heaps() {
#if defined(__GLIBC__)
  // The jobs allocate little per file, and nothing per row: two heaps
  // keep them from waiting on each other's allocations.
  (void)mallopt(M_ARENA_MAX, 2);
#endif
}

int available_processors() {
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
#endif
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? static_cast<int>(count) : 1;
}

namespace {

sigset_t broken_pipe_only() {
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, SIGPIPE);
  return set;
}

// Takes a signal of `set` that is pending, never waiting for one: `wait`
// (sigtimedwait) with a timeout of zero, of the type it declares.
template <class Timeout>
int take_pending(int (*wait)(const sigset_t*, siginfo_t*, const Timeout*),
                 const sigset_t& set) {
  const Timeout no_wait{};
  return wait(&set, nullptr, &no_wait);
}

}  // namespace

void hold_broken_pipe_signal() {
  const sigset_t set = broken_pipe_only();
  (void)::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void release_broken_pipe_signal() {
  const sigset_t set = broken_pipe_only();
  sigset_t pending;
  ::sigemptyset(&pending);
  // A signal raised by this thread's write is this thread's alone: taken
  // here, it never ends the program.
  if (::sigpending(&pending) == 0 && ::sigismember(&pending, SIGPIPE) == 1) {
    (void)take_pending(::sigtimedwait, set);
  }
  (void)::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

bool program_expands_wildcards() { return false; }

std::vector<std::string> wildcard_matches(const std::string&) { return {}; }

}  // namespace tnx
