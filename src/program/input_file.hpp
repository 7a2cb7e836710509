// The input of a conversion or a read, opened by name and identified: the
// one place where the program opens what it reads.
#pragma once

#include "engine/conversion.hpp"
#include "platform/file_system.hpp"

namespace tnx {

// What the name "-" stands for: standard input (the command line's
// convention), or a file of that name.
enum class DashName { standard_input, file };

// The input opened by name, or standard input, and closed when it goes;
// standard input is read, never closed. A directory is refused (EISDIR):
// it opens for reading on POSIX systems, but holds no lines.
class InputFile {
 public:
  // Opens `name` and identifies it; error() tells whether that failed.
  InputFile(FileSystem& fs, const char* name,
            DashName dash = DashName::standard_input);
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { close(); }

  // 0, or the errno value of the failure to open.
  [[nodiscard]] int error() const { return error_; }
  [[nodiscard]] const FileId& id() const { return id_; }
  // What the conversion reads: a file opened by name from its start;
  // standard input may start anywhere.
  [[nodiscard]] ConversionInput input() const { return {fd_, id_, owned_}; }

  void close();

 private:
  int open(const char* name, DashName dash);

  FileSystem& fs_;
  int fd_ = -1;
  bool owned_ = true;
  FileId id_;
  int error_ = 0;
};

}  // namespace tnx
