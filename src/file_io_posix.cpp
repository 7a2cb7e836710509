// The FileSystem of POSIX systems: the plain system calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_io.hpp"

namespace tnx {
namespace {

IoResult from_call(std::int64_t result) {
  if (result < 0) return IoResult{0, errno};
  return IoResult{result, 0};
}

class PosixFileSystem final : public FileSystem {
 public:
  IoResult open_input(const char* name) override {
    return from_call(::open(name, O_RDONLY | O_CLOEXEC));
  }

  IoResult open_output(const char* name) override {
    // 0666 less the umask: the permissions any text editor would give.
    return from_call(::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  }

  IoResult identify(int fd, FileId& id) override {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return IoResult{0, errno};
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.kind = S_ISREG(st.st_mode)   ? FileKind::regular
              : S_ISDIR(st.st_mode) ? FileKind::directory
                                    : FileKind::other;
    return IoResult{};
  }

  IoResult truncate(int fd) override { return from_call(::ftruncate(fd, 0)); }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    return from_call(::read(fd, buffer, size));
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    return from_call(::write(fd, data, size));
  }

  IoResult close(int fd) override { return from_call(::close(fd)); }
};

}  // namespace

FileSystem& system_file_system() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace tnx
