// tarnovelix: converts a file of numeric records into a row file.
#include "command_line.hpp"
#include "file_io.hpp"
#include "run.hpp"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: shellapi.h relies on its types.
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// The arguments as the user typed them: the narrow argv of the CRT holds them
// in the ANSI code page, where a name like mesure_été.dat may not survive.
// The rest of the program takes names as UTF-8. Returns false when the
// command line cannot be read, and the CRT's argv is used instead.
bool utf8_arguments(std::vector<std::string>& storage,
                    std::vector<const char*>& argv) {
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
  if (!ok) return false;
  for (const std::string& arg : storage) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  return true;
}

// Names in messages are UTF-8; a console shows them as such only while its
// output code page is UTF-8. The console's own page is restored on exit,
// since the console outlives this program.
class Utf8Console {
 public:
  Utf8Console() : saved_(GetConsoleOutputCP()) {
    if (saved_ != 0) SetConsoleOutputCP(CP_UTF8);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;
  ~Utf8Console() {
    if (saved_ != 0) SetConsoleOutputCP(saved_);
  }

 private:
  UINT saved_;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace tnx;
  std::vector<std::string> storage;
  std::vector<const char*> args;
  const Utf8Console console;
  RunConfig config;
  if (utf8_arguments(storage, args)) {
    config = parse_command_line(static_cast<int>(args.size()) - 1, args.data());
  } else {
    config = parse_command_line(argc, argv);
  }
  return exit_code(run(config, system_file_system()));
}

#else

int main(int argc, char** argv) {
  using namespace tnx;
  return exit_code(run(parse_command_line(argc, argv), system_file_system()));
}

#endif
