// The inside of the interrupt clean-up: the table of temporary files and
// the width of the progress line, which interrupt_cleanup.cpp keeps for
// every platform, and the calls each platform's handler file
// (interrupt_cleanup_posix.cpp, interrupt_cleanup_windows.cpp) makes them
// with. Only those three files include it.
#pragma once

#include <atomic>
#include <cstddef>
#ifndef _WIN32
#include <limits.h>
#endif

#include "platform/interrupt_cleanup.hpp"
#include "platform/temporary_files.hpp"

namespace tnx::detail {

// Names of this many characters or more are not guarded: none on POSIX
// systems, where a path is shorter, and on Windows only names no one types.
#ifdef _WIN32
inline constexpr std::size_t GUARDED_NAME = 1024;
#else
inline constexpr std::size_t GUARDED_NAME = PATH_MAX;
#endif

using GuardedFiles =
    TemporaryFiles<NativeChar, GUARDED_NAME, MAX_GUARDED_THREADS>;

// The program's temporary files, which an ending signal removes.
extern GuardedFiles temporaries;

// Characters of the progress line standing on standard error.
extern std::atomic<std::size_t> progress_width;

// Writes "\r", blanks over the progress line, and "\r": only what a
// signal's handler may do.
void erase_progress_line() noexcept;

// Of each platform. The number of this process, the same on every thread
// and never 0: what a slot of the table is held by. Only what a signal's
// handler may call.
[[nodiscard]] unsigned this_process() noexcept;

// Of each platform. Installs the handler, at the first call.
void install_handlers_once();

// Of each platform. Waits for the end of the program, which another
// thread has begun.
[[noreturn]] void wait_for_end();

// Of each platform. Writes to standard error as a signal's handler may,
// giving up at the first failure.
void write_to_standard_error(const char* data, std::size_t size) noexcept;

}  // namespace tnx::detail
