// The FileSystem of Windows. Names arrive as UTF-8 and are opened through the
// wide-character calls, so any name the user can type opens. Files are opened
// in binary mode: the line reader drops the CR of CR LF itself, and rows carry
// their own CR LF. Standard output stays in text mode, so console text written
// with '\n' reaches the console as CR LF, as from any Windows console program.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the CRT headers below rely on its types.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <string>

#include "file_io.hpp"

namespace tnx {
namespace {

IoResult from_call(std::int64_t result) {
  if (result < 0) return IoResult{0, errno};
  return IoResult{result, 0};
}

// The errno value closest to a failed Windows call's error code.
int errno_from_last_error() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
  }
}

// to_wide()
//
// Converts the UTF-8 name to UTF-16. Returns false when the name is not valid
// UTF-8: such a name cannot have come from the command line, and guessing a
// code page for it could open some other file.
bool to_wide(const char* name, std::wstring& wide) {
  const int size =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
  if (size <= 0) return false;
  wide.resize(static_cast<std::size_t>(size));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1,
                             wide.data(), size) == size;
}

// A single read or write call takes at most this many bytes, the largest
// count the CRT's int result can report.
unsigned int call_size(std::size_t size) {
  return size > INT_MAX ? static_cast<unsigned int>(INT_MAX)
                        : static_cast<unsigned int>(size);
}

class WindowsFileSystem final : public FileSystem {
 public:
  WindowsFileSystem() { (void)_setmode(STDOUT_FD, _O_TEXT); }

  IoResult open_input(const char* name) override {
    std::wstring wide;
    if (!to_wide(name, wide)) return IoResult{0, ENOENT};
    return from_call(
        _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
  }

  IoResult open_output(const char* name) override {
    std::wstring wide;
    if (!to_wide(name, wide)) return IoResult{0, ENOENT};
    return from_call(_wopen(wide.c_str(),
                            _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE));
  }

  IoResult identify(int fd, FileId& id) override {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return IoResult{0, EBADF};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      // Consoles, pipes and devices have no file index. Each open one is
      // told apart by its handle, under a volume number no disk gives out
      // together with such a small index.
      id.device = UINT64_MAX;
      id.inode = reinterpret_cast<std::uintptr_t>(handle);
      id.kind = FileKind::other;
      return IoResult{};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
      return IoResult{0, errno_from_last_error()};
    }
    id.device = info.dwVolumeSerialNumber;
    id.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    id.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                  ? FileKind::directory
                  : FileKind::regular;
    return IoResult{};
  }

  IoResult truncate(int fd) override {
    const errno_t error = _chsize_s(fd, 0);
    return IoResult{0, error};
  }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    return from_call(_read(fd, buffer, call_size(size)));
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    return from_call(_write(fd, data, call_size(size)));
  }

  IoResult close(int fd) override { return from_call(_close(fd)); }
};

}  // namespace

FileSystem& system_file_system() {
  static WindowsFileSystem fs;
  return fs;
}

}  // namespace tnx
