// What a signal (or, on Windows, a console event such as Ctrl-C) ending the
// program must put right first: the temporary row files it must not leave
// behind, and the progress line it must not leave on the terminal. A file
// is guarded from just before the call that creates it until it is renamed
// into place or removed. The platform's handler (interrupt_cleanup_posix.cpp,
// interrupt_cleanup_windows.cpp) stops every other thread from creating
// files, removes every guarded file, erases the progress line, then ends
// the program as the signal would have: on POSIX systems by that signal
// (status 128 + its number), on Windows with 128 + the number of the
// signal that stands for the event.
#pragma once

#include <cstddef>
#include <string>

namespace tnx {

// Threads that may guard a temporary file at once, each with a slot in the
// table the handler reads: a batch's jobs and the main thread, which
// converts when no job thread could be started (the batch checks that it
// starts no more). A thread beyond them writes its file unguarded.
inline constexpr std::size_t MAX_GUARDED_THREADS = 257;

// The characters of the platform's file names.
#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif

// guard_temporary()
//
// This thread is about to create the file `name`: from now until
// release_temporary(), an ending signal removes it. One file per thread.
// Call temporary_created() as soon as the creating call has returned. When
// the program is already ending, never returns: the thread waits for the
// end instead of creating a file that nothing would remove.
void guard_temporary(const std::basic_string<NativeChar>& name);

// The call that creates this thread's guarded file has returned, whether
// or not it made the file.
void temporary_created();

// This thread's guarded file is gone, or in its final place.
void release_temporary();

// note_progress_line()
//
// A progress line of `width` characters stands on standard error, the
// cursor at its end (0: none does); an ending signal erases it. Called by
// the thread that writes the line, before it writes a line and after it
// erases one.
void note_progress_line(std::size_t width);

#ifdef _WIN32
// The console's output code page before the program changed it, which an
// ending console event restores (0: unchanged).
void note_console_code_page(unsigned code_page);
#endif

}  // namespace tnx
