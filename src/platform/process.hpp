// What the program needs of its process beyond files: the command line as
// UTF-8 on every platform, a console that shows UTF-8 names, the processors
// it may use, whether a stream is a terminal, and the files that the
// wildcards a Windows shell leaves to the program match. One implementation
// per platform (process_posix.cpp, process_windows.cpp).
#pragma once

#include <string>
#include <vector>

namespace tnx {

// The arguments of the process, program name first. On POSIX systems they
// are argv as given. On Windows they are read again from the wide command
// line and turned into UTF-8, since the narrow argv holds them in the ANSI
// code page, where a name like mesure_été.dat may not survive; for as long
// as the object lives, the console also shows the UTF-8 text of messages.
class ProgramArguments {
 public:
  ProgramArguments(int argc, char** argv);
  ProgramArguments(const ProgramArguments&) = delete;
  ProgramArguments& operator=(const ProgramArguments&) = delete;
  ~ProgramArguments();

  [[nodiscard]] int count() const { return static_cast<int>(values_.size()); }
  [[nodiscard]] const char* const* values() const { return values_.data(); }

 private:
  std::vector<std::string> storage_;
  // Pointers into storage_, or argv itself.
  std::vector<const char*> values_;
  // Windows: the console's output code page before the program changed it;
  // 0 when unchanged.
  [[maybe_unused]] unsigned saved_code_page_ = 0;
};

// open_standard_streams()
//
// Opens the null device on each of standard input, output and error that
// was closed when the program started (`prog <&- >&-`). Without this, the
// first files the program opens would take their places, and the console
// text would be written into a row file. To be called before anything is
// opened; returns false when the null device cannot be opened.
[[nodiscard]] bool open_standard_streams();

// share_thread_heaps()
//
// Lets the threads of the program share two heaps, where the C library
// would give each of many threads a heap of its own that reserves 64 MiB
// of address space up front (glibc): under a limit on address space
// (`ulimit -v`), the jobs of a batch would otherwise reserve most of it,
// and files would fail for memory that no one uses. Nothing happens where
// the C library does no such thing. To be called before any thread starts.
void share_thread_heaps();

// The processors this process may run on (at least 1).
[[nodiscard]] int available_processors();

// hold_broken_pipe_signal(), release_broken_pipe_signal()
//
// From hold_broken_pipe_signal() on, this thread's writes to a pipe that no
// one reads any more fail with EPIPE instead of ending the program (POSIX
// systems end it with SIGPIPE), and so do those of the threads it starts: a
// row file of a batch that is such a pipe is that file's failure. The
// batch's own standard output keeps the usual signal, on the thread that
// writes it. release_broken_pipe_signal() ends the hold and drops the
// signals its writes raised meanwhile (their writes have failed already).
// Nothing happens on Windows, which has no such signal.
void hold_broken_pipe_signal();
void release_broken_pipe_signal();

// Whether descriptor `fd` is a terminal (a console on Windows).
[[nodiscard]] bool is_terminal(int fd);

// program_expands_wildcards()
//
// Whether the program itself finds the files that * and ? in a name match:
// on Windows, where the shell passes *.dat as typed. Elsewhere the shell has
// done it, and a name holding * is a file's.
[[nodiscard]] bool program_expands_wildcards();

// wildcard_matches()
//
// The files that `pattern`, a name holding * or ?, matches, with its folder
// part, sorted by name; none when it matches nothing (or where the program
// does not expand wildcards).
[[nodiscard]] std::vector<std::string> wildcard_matches(
    const std::string& pattern);

}  // namespace tnx
