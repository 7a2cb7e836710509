// The end of the program by a console event on Windows (Ctrl-C,
// Ctrl-Break, closing the window, logging off, shutting down): a console
// control handler, installed when the first temporary row file is guarded
// or the first progress line shown. The system runs it on a thread of its
// own while the job threads go on, which is why the files are ended the
// same way as on POSIX systems (temporary_files.hpp).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/interrupt_cleanup.hpp"
#include "platform/temporary_files.hpp"

namespace tnx {
namespace {

// Longer names are not guarded. Constant-initialised, so the slots' pages
// are touched only when used.
constexpr std::size_t GUARDED_NAME = 1024;
constinit detail::TemporaryFiles<wchar_t, GUARDED_NAME> temporaries;

// Characters of the progress line standing on standard error.
std::atomic<std::size_t> progress_width{0};

// The console's output code page to restore; 0 when unchanged.
std::atomic<unsigned> saved_code_page{0};

// A creation under way on another thread is waited for 5 s at most: no
// lock or allocation lies between guard and creation, so only a stuck file
// system takes that long.
constexpr ULONGLONG CREATION_WAIT_MS = 5000;

[[noreturn]] void wait_for_end() {
  for (;;) Sleep(INFINITE);
}

void write_fully(HANDLE handle, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, size, &written, nullptr) || written == 0) {
      return;
    }
    data += written;
    size -= written;
  }
}

// "\r", blanks over the progress line, "\r".
void erase_progress_line() {
  std::size_t width = progress_width.load(std::memory_order_relaxed);
  if (width == 0) return;
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  char blanks[64];
  for (char& c : blanks) c = ' ';
  blanks[0] = '\r';
  write_fully(error, blanks, 1);
  while (width > 0) {
    const std::size_t part =
        width < sizeof blanks - 1 ? width : sizeof blanks - 1;
    write_fully(error, blanks + 1, static_cast<DWORD>(part));
    width -= part;
  }
  write_fully(error, blanks, 1);
}

// Marks every temporary file for deletion (each is open with delete
// sharing, so it goes when the program's handles close), erases the
// progress line, gives the console its code page back, then ends the
// program with 128 + the number of the signal that stands for the event.
// A second event, on a thread of its own, waits for the first to end the
// program.
BOOL WINAPI on_console_event(DWORD event) {
  int signal_number = 0;
  switch (event) {
    case CTRL_C_EVENT: signal_number = 2; break;       // SIGINT
    case CTRL_BREAK_EVENT: signal_number = 21; break;  // SIGBREAK
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: signal_number = 1; break;  // hang-up
    default: return FALSE;
  }
  const ULONGLONG deadline = GetTickCount64() + CREATION_WAIT_MS;
  const bool first =
      temporaries.end([](const wchar_t* name) { DeleteFileW(name); },
                      [deadline] {
                        if (GetTickCount64() > deadline) return false;
                        Sleep(1);
                        return true;
                      });
  if (!first) wait_for_end();
  erase_progress_line();
  const unsigned code_page = saved_code_page.load(std::memory_order_relaxed);
  if (code_page != 0) SetConsoleOutputCP(code_page);
  ExitProcess(static_cast<UINT>(128 + signal_number));
}

void install_handler_once() {
  static std::once_flag installed;
  std::call_once(installed,
                 [] { SetConsoleCtrlHandler(on_console_event, TRUE); });
}

}  // namespace

void guard_temporary(const std::wstring& name) {
  install_handler_once();
  if (!temporaries.guard(name.c_str(), name.size())) wait_for_end();
}

void temporary_created() { temporaries.created(); }

void release_temporary() { temporaries.release(); }

void note_progress_line(std::size_t width) {
  if (width > 0) install_handler_once();
  progress_width.store(width, std::memory_order_relaxed);
}

void note_console_code_page(unsigned code_page) {
  saved_code_page.store(code_page, std::memory_order_relaxed);
}

}  // namespace tnx
