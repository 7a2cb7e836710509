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

#include "platform/interrupt_handler.hpp"

namespace tnx {
namespace {

// The console's output code page to restore; 0 when unchanged.
std::atomic<unsigned> saved_code_page{0};

// A creation under way on another thread is waited for 5 s at most: no
// lock or allocation lies between guard and creation, so only a stuck file
// system takes that long.
constexpr ULONGLONG CREATION_WAIT_MS = 5000;

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
  const bool first = detail::temporaries.end(
      detail::this_process(), [](const wchar_t* name) { DeleteFileW(name); },
      [deadline] {
        if (GetTickCount64() > deadline) return false;
        Sleep(1);
        return true;
      });
  if (!first) detail::wait_for_end();
  detail::erase_progress_line();
  const unsigned code_page = saved_code_page.load(std::memory_order_relaxed);
  if (code_page != 0) SetConsoleOutputCP(code_page);
  ExitProcess(static_cast<UINT>(128 + signal_number));
}

}  // namespace

namespace detail {

unsigned this_process() noexcept {
  return static_cast<unsigned>(GetCurrentProcessId());
}

void install_handlers_once() {
  static std::once_flag installed;
  std::call_once(installed,
                 [] { SetConsoleCtrlHandler(on_console_event, TRUE); });
}

void wait_for_end() {
  for (;;) Sleep(INFINITE);
}

void write_to_standard_error(const char* data, std::size_t size) noexcept {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  while (size > 0) {
    DWORD written = 0;
    const auto part = static_cast<DWORD>(size);
    if (!WriteFile(error, data, part, &written, nullptr) || written == 0) {
      return;
    }
    data += written;
    size -= written;
  }
}

}  // namespace detail

void note_console_code_page(unsigned code_page) {
  saved_code_page.store(code_page, std::memory_order_relaxed);
}

}  // namespace tnx
