// The input of a conversion or a read, opened by name and identified: the
// one place where the program opens what it reads, and where a packed
// input is recognised by its first bytes and given its decoder.
#pragma once

#include <string_view>

#include "engine/conversion.hpp"
#include "platform/file_system.hpp"
#include "program/decoding_io.hpp"

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
  // standard input may start anywhere. A packed file is read as the
  // stream of the text it holds: of unknown size, never read again.
  [[nodiscard]] ConversionInput input() const {
    return text_.text_of({fd_, id_, owned_});
  }
  // The calls that read the input: through its decoder when packed.
  [[nodiscard]] FileIo& io() { return text_.reader(fs_.io()); }
  // The decoder's words for a damaged packed input, or empty; known once
  // the input is closed, which stops the decoder.
  [[nodiscard]] std::string_view damage() const { return text_.reason(); }

  void close();

 private:
  int open(const char* name, DashName dash);

  FileSystem& fs_;
  int fd_ = -1;
  bool owned_ = true;
  FileId id_;
  int error_ = 0;
  // Last, so that its decoding thread stops before what it reads goes.
  DecodingIo text_;
};

}  // namespace tnx
