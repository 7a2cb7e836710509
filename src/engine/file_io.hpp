// The one seam between the converter and the operating system. Every open,
// read, write, stat, rename and close of a run goes through a FileSystem, so
// tests can substitute one that fails any chosen call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tnx {

// The end of a line in the text files and console text the program writes:
// CR LF on Windows, LF elsewhere. Every file and standard stream is written
// in binary, so the program itself writes each CR.
#ifdef _WIN32
inline constexpr std::string_view LINE_END = "\r\n";
#else
inline constexpr std::string_view LINE_END = "\n";
#endif

// The outcome of one system call: a non-negative count (or descriptor), or
// the errno value of the failure.
struct IoResult {
  std::int64_t value = 0;
  int error = 0;

  [[nodiscard]] bool ok() const { return error == 0; }
};

// `device`: a character or block device (a terminal, /dev/null); `socket`:
// a socket where the system tells (POSIX); `other`: a pipe, or any other
// kind of file.
enum class FileKind { regular, directory, device, socket, other };

// Identity of a file: two files with equal device and inode are the same,
// however the names that lead to them were spelled.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  FileKind kind = FileKind::other;
  // Bytes in the file; meaningful for regular files only.
  std::uint64_t size = 0;
  // Permission bits and owner, as a replacement of the file keeps them.
  std::uint32_t mode = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  // 0 when this program may write the file, otherwise the errno value of
  // the refusal (EACCES, or EROFS on a read-only file system); known from
  // inspect() only.
  int write_error = 0;

  [[nodiscard]] bool same_file(const FileId& other) const {
    return device == other.device && inode == other.inode;
  }
};

inline constexpr int STDIN_FD = 0;
inline constexpr int STDOUT_FD = 1;
inline constexpr int STDERR_FD = 2;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing file for reading.
  virtual IoResult open_input(const char* name) = 0;
  // Opens an existing file for writing, never truncating it: the caller
  // truncates only once it knows the file is not the input.
  virtual IoResult open_output(const char* name) = 0;
  virtual IoResult identify(int fd, FileId& id) = 0;
  // Identifies the file `name` leads to, through symbolic links; ENOENT
  // when there is none.
  virtual IoResult inspect(const char* name, FileId& id) = 0;
  // Sets `target` to the name of the file that the symbolic links starting
  // at `name` lead to, which may not exist yet; `name` itself when it is no
  // link. Replacing `target` replaces what `name` shows, and keeps the links.
  virtual IoResult resolve_links(const char* name, std::string& target) = 0;
  // Creates a new, empty file for writing that is to become `target`, in
  // its folder, with the permissions a new file gets there. `temporary`
  // receives its name, or stays empty where the system can make a file
  // without a name (then nothing is left of it if the program dies), which
  // is only asked for when `replacing` is false. Until install() or
  // discard() takes it, an interrupt of the program removes a named one.
  virtual IoResult create_temporary(const std::string& target, bool replacing,
                                    std::string& temporary) = 0;
  // Gives the file open at `fd` the permission bits of `from`, and its owner
  // where that is allowed. Failures are not the run's: the rows are written
  // whatever the permissions.
  virtual void copy_permissions(int fd, const FileId& from) = 0;
  // Puts the temporary file open at `fd` in the place of `target`, in one
  // step, and closes it. A named one is closed first, so that a failed
  // close leaves `target` as it was, then renamed over `target`; one
  // without a name is given the name `target`. On failure the temporary
  // file is closed and gone.
  virtual IoResult install(int fd, const std::string& temporary,
                           const std::string& target) = 0;
  // Closes the temporary file open at `fd` and removes it.
  virtual void discard(int fd, const std::string& temporary) = 0;
  // Creates the folder `name` (not its parents); EEXIST when there is one.
  virtual IoResult make_directory(const char* name) = 0;
  // Creates a file for writing and reading back (read_at) text too large to
  // hold in memory: in the system's folder for temporary files, without a
  // name where the system allows, and gone once closed in any case.
  virtual IoResult create_scratch() = 0;
  virtual IoResult truncate(int fd) = 0;
  // One read or write call each; they may transfer fewer bytes than asked or
  // fail with EINTR. read_some() and write_all() deal with both.
  virtual IoResult read(int fd, char* buffer, std::size_t size) = 0;
  // One read call at `offset` of a regular file, leaving the offset of
  // read() where it was.
  virtual IoResult read_at(int fd, char* buffer, std::size_t size,
                           std::uint64_t offset) = 0;
  virtual IoResult write(int fd, const char* data, std::size_t size) = 0;
  virtual IoResult close(int fd) = 0;
};

// The operating system's own calls.
[[nodiscard]] FileSystem& system_file_system();

// error_text()
//
// The system's own text for an errno value ("No such file or directory").
[[nodiscard]] std::string error_text(int error);

// read_some()
//
// Reads at most `size` bytes, retrying calls interrupted before they read
// anything. Returns the count (0 only at end of input) or the error.
[[nodiscard]] IoResult read_some(FileSystem& fs, int fd, char* buffer,
                                 std::size_t size);

// read_fully_at()
//
// Reads exactly `size` bytes at `offset`, retrying interrupted calls and
// continuing after short ones. Returns `size`, or the first error; EIO when
// the file ends first (it was made shorter since it was read).
[[nodiscard]] IoResult read_fully_at(FileSystem& fs, int fd, char* buffer,
                                     std::size_t size, std::uint64_t offset);

// write_all()
//
// Writes all `size` bytes, continuing after short writes and interrupted
// calls. Returns `size`, or the first error (bytes before it stay written).
[[nodiscard]] IoResult write_all(FileSystem& fs, int fd, const char* data,
                                 std::size_t size);

}  // namespace tnx
