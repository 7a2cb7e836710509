// Opening the input of a conversion or a read.
#include "program/input_file.hpp"

#include <cerrno>
#include <cstring>

namespace tnx {

InputFile::InputFile(FileSystem& fs, const char* name, DashName dash)
    : fs_(fs), text_(fs.io()) {
  error_ = open(name, dash);
  if (error_ != 0) close();
}

void InputFile::close() {
  text_.stop();
  if (fd_ >= 0 && owned_) (void)fs_.io().close(fd_);
  fd_ = -1;
}

int InputFile::open(const char* name, DashName dash) {
  if (dash == DashName::standard_input && std::strcmp(name, "-") == 0) {
    fd_ = STDIN_FD;
    owned_ = false;
  } else {
    const IoResult in = fs_.open_input(name);
    if (!in.ok()) return in.error;
    fd_ = static_cast<int>(in.value);
  }
  FileInfo info;
  const IoResult known = fs_.identify(fd_, info);
  if (!known.ok()) return known.error;
  id_ = info.id;
  if (id_.kind == FileKind::directory) return EISDIR;
  text_.sniff(fd_, owned_ && id_.kind == FileKind::regular);
  return 0;
}

}  // namespace tnx
