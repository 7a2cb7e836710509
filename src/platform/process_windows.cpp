// The process services of Windows: the command line read as UTF-8, and a
// console switched to UTF-8 output while the program runs.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: shellapi.h relies on its types.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <thread>

#include "platform/file_names.hpp"
#include "platform/interrupt_cleanup.hpp"
#include "platform/process.hpp"
#include "platform/utf16.hpp"

namespace tnx {
namespace {

// The wide arguments as UTF-8. Returns false when the command line cannot
// be read or converted; the CRT's argv is used then.
bool utf8_arguments(std::vector<std::string>& storage) {
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (wide == nullptr) return false;
  bool ok = true;
  storage.resize(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc && ok; ++i) {
    ok = to_utf8(wide[i], storage[static_cast<std::size_t>(i)]);
  }
  LocalFree(wide);
  return ok;
}

}  // namespace

ProgramArguments::ProgramArguments(int argc, char** argv) {
  if (utf8_arguments(storage_)) {
    for (const std::string& arg : storage_) values_.push_back(arg.c_str());
  } else {
    storage_.clear();
    values_.assign(argv, argv + argc);
  }
  // Names in messages are UTF-8; a console shows them as such only while
  // its output code page is UTF-8. The console's own page is restored in
  // the destructor, since the console outlives this program.
  // A console event that ends the program restores it too.
  saved_code_page_ = GetConsoleOutputCP();
  if (saved_code_page_ != 0) {
    note_console_code_page(saved_code_page_);
    SetConsoleOutputCP(CP_UTF8);
  }
}

ProgramArguments::~ProgramArguments() {
  if (saved_code_page_ != 0) {
    SetConsoleOutputCP(saved_code_page_);
    note_console_code_page(0);
  }
}

bool open_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    // -1: no such descriptor; -2: one without a stream (a program started
    // without a console).
    const intptr_t handle = _get_osfhandle(fd);
    if (handle != -1 && handle != -2) continue;
    const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (opened < 0) return false;
    if (opened != fd) {
      const int moved = _dup2(opened, fd);
      _close(opened);
      if (moved != 0) return false;
    }
  }
  return true;
}

void share_thread_heaps() {}

int available_processors() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  if (count > 0) return static_cast<int>(count);
  const unsigned threads = std::thread::hardware_concurrency();
  return threads > 0 ? static_cast<int>(threads) : 1;
}

void hold_broken_pipe_signal() {}

void release_broken_pipe_signal() {}

bool is_terminal(int fd) { return _isatty(fd) != 0; }

bool program_expands_wildcards() { return true; }

std::vector<std::string> wildcard_matches(const std::string& pattern) {
  std::vector<std::string> found;
  std::wstring wide;
  if (!to_wide(pattern, wide)) return found;
  const std::string folder = pattern.substr(0, folder_length(pattern));
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW(wide.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  std::string name;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        to_utf8(entry.cFileName, name)) {
      found.push_back(folder + name);
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace tnx
