// What the program needs of its process beyond files: the command line as
// UTF-8 on every platform, and a console that shows UTF-8 names. One
// implementation per platform (platform_posix.cpp, platform_windows.cpp).
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

}  // namespace tnx
