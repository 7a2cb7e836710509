// The process services of Windows: the command line read as UTF-8, and a
// console switched to UTF-8 output while the program runs.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: shellapi.h relies on its types.
#include <shellapi.h>

#include "platform.hpp"

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
    std::string& arg = storage[static_cast<std::size_t>(i)];
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0,
                                         nullptr, nullptr);
    ok = size > 0;
    if (!ok) break;
    arg.resize(static_cast<std::size_t>(size));
    ok = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr,
                             nullptr) == size;
    arg.pop_back();  // the terminating NUL, which c_str() supplies again
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
  saved_code_page_ = GetConsoleOutputCP();
  if (saved_code_page_ != 0) SetConsoleOutputCP(CP_UTF8);
}

ProgramArguments::~ProgramArguments() {
  if (saved_code_page_ != 0) SetConsoleOutputCP(saved_code_page_);
}

}  // namespace tnx
