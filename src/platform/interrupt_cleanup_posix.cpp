// The end of the program by a signal on POSIX systems: a handler for every
// signal whose default action ends the process, installed when the first
// temporary row file is guarded or the first progress line shown, not at
// start-up, since a script may start the program once per file.
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/select.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/interrupt_handler.hpp"

namespace tnx {
namespace {

// Every signal whose default action ends the process but SIGKILL and
// SIGSTOP, which no handler catches; the real-time ones, numbered only at
// run time, are added to these.
constexpr int ENDING_SIGNALS[] = {
    SIGHUP,
    SIGINT,
    SIGQUIT,
    SIGILL,
    SIGTRAP,
    SIGABRT,
    SIGBUS,
    SIGFPE,
    SIGUSR1,
    SIGSEGV,
    SIGUSR2,
    SIGPIPE,
    SIGALRM,
    SIGTERM,
    SIGXCPU,
    SIGXFSZ,
    SIGSYS,
    SIGPROF,
    SIGVTALRM,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef __linux__
    // Elsewhere (BSD, macOS) these two are ignored by default, or missing.
    SIGIO,
    SIGPWR,
#endif
};

// True while the handlers go in. The installing thread blocks the signals
// meanwhile; a handler running on another thread waits for the end of the
// installation to learn whether its signal was ignored.
std::atomic<bool> installing{false};

// The signals the program was started with ignored (nohup, a background
// job of a shell): they keep being ignored.
std::atomic<bool> ignored_at_start[NSIG] = {};

// A creation under way on another thread is waited for in pauses of
// 100 us, 50,000 of them (5 s or more) at most: no lock or allocation lies
// between guard and creation, so only a stuck file system takes that long.
constexpr long CREATION_PAUSE_US = 100;
constexpr int CREATION_PAUSES = 50'000;

// One such pause, with a call a signal handler may make: select() with no
// descriptors returns when its timeout is over.
void pause_for_creation() {
  timeval pause{0, CREATION_PAUSE_US};
  (void)::select(0, nullptr, nullptr, nullptr, &pause);
}

// Ends the program by `signal_number` with its default action, so that
// the shell reports 128 + its number: sent to the process, the signal
// ends every thread at once, whichever one takes it.
[[noreturn]] void die_by(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  ::sigemptyset(&action.sa_mask);
  (void)::sigaction(signal_number, &action, nullptr);
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, signal_number);
  (void)::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  (void)::kill(::getpid(), signal_number);
  ::_exit(128 + signal_number);
}

// Only async-signal-safe calls. The other ending signals are blocked while
// it runs, so it never interrupts itself on one thread.
extern "C" void on_ending_signal(int signal_number) {
  const int saved_errno = errno;
  while (installing.load(std::memory_order_acquire)) pause_for_creation();
  if (signal_number > 0 && signal_number < NSIG &&
      ignored_at_start[signal_number].load(std::memory_order_relaxed)) {
    errno = saved_errno;
    return;
  }
  int pauses = 0;
  const bool first = detail::temporaries.end(
      detail::this_process(), [](const char* name) { ::unlink(name); },
      [&pauses] {
        if (++pauses > CREATION_PAUSES) return false;
        pause_for_creation();
        return true;
      });
  if (!first) detail::wait_for_end();
  detail::erase_progress_line();
  die_by(signal_number);
}

// Installs the handler for every ending signal the program was not started
// with ignored, one call each: a signal that was ignored gets its
// disposition back at once, and until then the handler ignores it.
void install_handlers() {
  sigset_t ending;
  ::sigemptyset(&ending);
  for (const int signal_number : ENDING_SIGNALS)
    ::sigaddset(&ending, signal_number);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX;
       ++signal_number) {
    ::sigaddset(&ending, signal_number);
  }
#endif
  installing.store(true, std::memory_order_seq_cst);
  sigset_t previous;
  (void)::pthread_sigmask(SIG_BLOCK, &ending, &previous);
  struct sigaction action {};
  action.sa_handler = on_ending_signal;
  action.sa_mask = ending;
  // No SA_RESTART: the handler returns only for a signal ignored at start
  // that came during the installation, and the calls it interrupts then
  // are retried where it matters (reads, writes). With ThreadSanitizer
  // the handler runs only once the interrupted call has returned, which a
  // restarted read from a pipe might never do.
  action.sa_flags = 0;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (::sigismember(&ending, signal_number) != 1) continue;
    struct sigaction old {};
    if (::sigaction(signal_number, &action, &old) != 0) continue;
    const bool had_handler =
        (old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL;
    if (old.sa_handler == SIG_IGN) {
      ignored_at_start[signal_number].store(true, std::memory_order_relaxed);
      (void)::sigaction(signal_number, &old, nullptr);
    } else if (had_handler) {
      // A handler set before this program's code ran (a sanitizer's, for
      // its crash report) keeps its signal.
      (void)::sigaction(signal_number, &old, nullptr);
    }
  }
  installing.store(false, std::memory_order_release);
  (void)::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

namespace detail {

unsigned this_process() noexcept { return static_cast<unsigned>(::getpid()); }

void install_handlers_once() {
  static std::once_flag installed;
  std::call_once(installed, install_handlers);
}

// With the ending signals blocked when called from their handler.
void wait_for_end() {
  for (;;) ::pause();
}

void write_to_standard_error(const char* data, std::size_t size) noexcept {
  while (size > 0) {
    const ssize_t written = ::write(STDERR_FILENO, data, size);
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace detail

}  // namespace tnx
