// The files of Windows: the calls on open files (WindowsFileIo) apart from
// those on names (WindowsFileSystem). Names arrive as UTF-8 and are opened
// through the wide-character calls, so any name the user can type opens. Files
// and the standard streams are all in binary mode: the line reader drops the CR
// of CR LF itself, and rows and console text carry their own CR LF. Temporary
// row files are guarded against console control events (Ctrl-C,
// Ctrl-Break, closing the window) through interrupt_cleanup.hpp.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the CRT headers below rely on its types.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>

#include "platform/call_result.hpp"
#include "platform/file_names.hpp"
#include "platform/file_system.hpp"
#include "platform/interrupt_cleanup.hpp"
#include "platform/utf16.hpp"

namespace tnx {
namespace {

// The errno value closest to a failed Windows call's error code.
int errno_from(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
  }
}

int errno_from_last_error() { return errno_from(GetLastError()); }

// The Windows error code whose message best says what an errno value means.
DWORD code_from(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: return ERROR_DISK_FULL;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EIO: return ERROR_GEN_FAILURE;
    default: return 0;
  }
}

// A single read or write call takes at most this many bytes, the largest
// count the CRT's int result can report.
unsigned int call_size(std::size_t size) {
  return size > INT_MAX ? static_cast<unsigned int>(INT_MAX)
                        : static_cast<unsigned int>(size);
}

void describe(const BY_HANDLE_FILE_INFORMATION& found, FileInfo& info) {
  FileId& id = info.id;
  id.device = found.dwVolumeSerialNumber;
  id.inode = (std::uint64_t{found.nFileIndexHigh} << 32) | found.nFileIndexLow;
  id.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  id.kind = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                ? FileKind::directory
                : FileKind::regular;
  info.write_error =
      (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? EACCES : 0;
}

// A handle for looking at what `wide` names (through links), not for
// reading or writing it.
HANDLE open_for_inspection(const std::wstring& wide) {
  return CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Removes the file `name`, whatever its state.
void remove_named(const std::string& name) {
  std::wstring wide;
  if (to_wide(name, wide)) DeleteFileW(wide.c_str());
}

// The descriptor of a handle just created; the handle is closed when no
// descriptor can be had.
IoResult descriptor_of(HANDLE handle, int flags) {
  const int fd =
      _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags);
  if (fd >= 0) return IoResult{fd, 0};
  CloseHandle(handle);
  return IoResult{0, EMFILE};
}

// The calls on open files.
class WindowsFileIo final : public FileIo {
 public:
  IoResult create_scratch() override {
    wchar_t folder[MAX_PATH + 1];
    const DWORD size = GetTempPathW(MAX_PATH + 1, folder);
    if (size == 0 || size > MAX_PATH) return IoResult{0, ENOENT};
    wchar_t name[MAX_PATH + 1];
    if (GetTempFileNameW(folder, L"tnx", 0, name) == 0) {
      return IoResult{0, errno_from_last_error()};
    }
    // Deleted by the system once closed, whatever ends the program.
    const HANDLE handle = CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
        nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const int error = errno_from_last_error();
      DeleteFileW(name);
      return IoResult{0, error};
    }
    return descriptor_of(handle, _O_RDWR | _O_BINARY);
  }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    return from_call(_read(fd, buffer, call_size(size)));
  }

  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    // The CRT has no positioned read: move the file's offset there and
    // back again. Each descriptor is read from one thread only.
    if (offset > static_cast<std::uint64_t>(LLONG_MAX)) {
      return IoResult{0, EINVAL};
    }
    const __int64 before = _lseeki64(fd, 0, SEEK_CUR);
    if (before < 0) return IoResult{0, errno};
    if (_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0) {
      return IoResult{0, errno};
    }
    const IoResult r = from_call(_read(fd, buffer, call_size(size)));
    if (_lseeki64(fd, before, SEEK_SET) < 0 && r.ok()) {
      return IoResult{0, errno};
    }
    return r;
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    return from_call(_write(fd, data, call_size(size)));
  }

  IoResult close(int fd) override { return from_call(_close(fd)); }

  // The system takes calls from any thread.
  [[nodiscard]] bool takes_writes_from_other_threads() const override {
    return true;
  }
};

// The calls on names.
class WindowsFileSystem final : public FileSystem {
 public:
  WindowsFileSystem() {
    for (const int fd : {STDIN_FD, STDOUT_FD, STDERR_FD}) {
      (void)_setmode(fd, _O_BINARY);
    }
  }

  FileIo& io() override { return io_; }

  IoResult open_input(const char* name) override {
    std::wstring wide;
    if (!to_wide(name, wide)) return IoResult{0, ENOENT};
    return from_call(
        _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
  }

  IoResult open_output(const char* name) override {
    std::wstring wide;
    if (!to_wide(name, wide)) return IoResult{0, ENOENT};
    return from_call(
        _wopen(wide.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT));
  }

  IoResult identify(int fd, FileInfo& info) override {
    FileId& id = info.id;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return IoResult{0, EBADF};
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
      // Consoles, pipes and devices have no file index. Each open one is
      // told apart by its handle, under a volume number no disk gives out
      // together with such a small index.
      id.device = UINT64_MAX;
      id.inode = reinterpret_cast<std::uintptr_t>(handle);
      id.kind = type == FILE_TYPE_CHAR ? FileKind::device : FileKind::other;
      return IoResult{};
    }
    BY_HANDLE_FILE_INFORMATION found{};
    if (!GetFileInformationByHandle(handle, &found)) {
      const DWORD error = GetLastError();
      // A file redirected to standard input can come as a handle that
      // reads but cannot describe itself (wine gives the program such a
      // handle for `< file`). Read it as a stream with an identity of its
      // own rather than refuse a file that reads.
      if (error != ERROR_INVALID_HANDLE) return IoResult{0, errno_from(error)};
      id.device = UINT64_MAX;
      id.inode = reinterpret_cast<std::uintptr_t>(handle);
      id.kind = FileKind::other;
      return IoResult{};
    }
    describe(found, info);
    return IoResult{};
  }

  IoResult inspect(const char* name, FileInfo& info) override {
    std::wstring wide;
    if (!to_wide(name, wide)) return IoResult{0, ENOENT};
    const HANDLE handle = open_for_inspection(wide);
    if (handle == INVALID_HANDLE_VALUE) {
      return IoResult{0, errno_from_last_error()};
    }
    IoResult r;
    BY_HANDLE_FILE_INFORMATION found{};
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
      // A device such as NUL or CON, or a named pipe: the same as no other
      // file.
      info.id.device = UINT64_MAX - 1;
      info.id.inode = 0;
      info.id.kind =
          type == FILE_TYPE_CHAR ? FileKind::device : FileKind::other;
    } else if (GetFileInformationByHandle(handle, &found)) {
      describe(found, info);
    } else {
      r = IoResult{0, errno_from_last_error()};
    }
    CloseHandle(handle);
    return r;
  }

  IoResult resolve_links(const char* name, std::string& target) override;
  // Every temporary file has a name here: Windows has no file without one.
  IoResult create_temporary(const std::string& target, bool,
                            std::string& temporary) override;

  void copy_permissions(int, const FileInfo&) override {
    // A replaced file is writable (read-only ones are not replaced), which
    // is all Windows keeps of permissions in a file's attributes here.
  }

  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    IoResult r = from_call(_close(fd));
    std::wstring from;
    std::wstring to;
    if (r.ok() && (!to_wide(temporary, from) || !to_wide(target, to))) {
      r = IoResult{0, ENOENT};
    }
    if (r.ok() &&
        !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      r = IoResult{0, errno_from_last_error()};
    }
    if (!r.ok()) remove_named(temporary);
    release_temporary();
    return r;
  }

  void discard(int fd, const std::string& temporary) override {
    (void)_close(fd);
    remove_named(temporary);
    release_temporary();
  }

  IoResult truncate(int fd) override {
    const errno_t error = _chsize_s(fd, 0);
    return IoResult{0, error};
  }

  IoResult make_directory(const char* name) override {
    std::wstring wide;
    if (!to_wide(name, wide)) return IoResult{0, ENOENT};
    if (!CreateDirectoryW(wide.c_str(), nullptr)) {
      return IoResult{0, errno_from_last_error()};
    }
    return IoResult{};
  }

 private:
  WindowsFileIo io_;
};

IoResult WindowsFileSystem::resolve_links(const char* name,
                                          std::string& target) {
  target = name;
  std::wstring wide;
  if (!to_wide(target, wide)) return IoResult{};
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return IoResult{};
  }
  // A link to an existing file: the name the system ends at.
  const HANDLE handle = open_for_inspection(wide);
  if (handle == INVALID_HANDLE_VALUE) return IoResult{};
  std::wstring final_name(32768, L'\0');
  const DWORD size = GetFinalPathNameByHandleW(
      handle, final_name.data(), static_cast<DWORD>(final_name.size()),
      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  std::string resolved;
  if (size > 0 && size < final_name.size() &&
      to_utf8(std::wstring_view(final_name.data(), size), resolved)) {
    target = resolved;
  }
  return IoResult{};
}

IoResult WindowsFileSystem::create_temporary(const std::string& target, bool,
                                             std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Names are limited to 255 UTF-16 units, which a name of 255 UTF-8
    // bytes never passes.
    temporary = hidden_temporary_name(
        target, static_cast<std::uint64_t>(_getpid()), counter.fetch_add(1));
    std::wstring wide;
    if (!to_wide(temporary, wide)) return IoResult{0, ENOENT};
    // Guarded before it exists; nothing between the guard and
    // temporary_created() allocates or locks, since the console event's
    // handler may wait for this creation to finish.
    guard_temporary(wide);
    // Delete sharing lets a console event remove the file while it is
    // still being written.
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE,
                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD create_error = GetLastError();
    temporary_created();
    if (handle != INVALID_HANDLE_VALUE) {
      const IoResult r = descriptor_of(handle, _O_WRONLY | _O_BINARY);
      if (r.ok()) return r;
      DeleteFileW(wide.c_str());
      release_temporary();
      return r;
    }
    const int error = errno_from(create_error);
    release_temporary();
    if (error != EEXIST) return IoResult{0, error};
  }
  return IoResult{0, EEXIST};
}

}  // namespace

FileSystem& system_file_system() {
  static WindowsFileSystem fs;
  return fs;
}

std::string error_text(int error) {
  const DWORD code = code_from(error);
  if (code != 0) {
    wchar_t* message = nullptr;
    const DWORD size = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (size > 0 && message != nullptr) {
      std::string text;
      if (!to_utf8(std::wstring_view(message, size), text)) text.clear();
      LocalFree(message);
      // The system's messages end with a full stop and CR LF.
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' ||
                               text.back() == ' ')) {
        text.pop_back();
      }
      return text;
    }
  }
  char buffer[128] = "";
  strerror_s(buffer, sizeof buffer, error);
  return buffer;
}

}  // namespace tnx
