// The removal of temporary row files when a signal ends the program, on
// POSIX systems.
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "interrupt_cleanup.hpp"
#include "temporary_files.hpp"

namespace tnx {
namespace {

// Constant-initialised: a dynamic initialiser would touch every slot's page
// at each start, 260 page faults for a program that needs about 50.
constinit detail::TemporaryFiles<char, PATH_MAX> temporaries;

constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Removes every temporary file, then ends the program by the same signal
// with its default action, so the shell reports 128 + the signal number.
// Only async-signal-safe calls.
extern "C" void on_fatal_signal(int signal_number) {
  const int saved_errno = errno;
  temporaries.remove_all([](const char* name) { ::unlink(name); });
  errno = saved_errno;
  // The handler was installed with SA_RESETHAND: the default action is
  // back, and the signal is unblocked again on return.
  ::raise(signal_number);
}

// Installs the handler for each signal the program does not ignore: a job
// started with SIGINT ignored (in the background of a shell, under nohup)
// keeps ignoring it.
void install_signal_handlers() {
  for (const int signal_number : HANDLED_SIGNALS) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_fatal_signal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    (void)::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace

void guard_temporary(const std::string& name) {
  static std::once_flag installed;
  std::call_once(installed, install_signal_handlers);
  temporaries.guard(name.c_str(), name.size());
}

void release_temporary() { temporaries.release(); }

}  // namespace tnx
