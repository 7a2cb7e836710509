// The one seam between the converter and the operating system. Every open,
// read, write, stat, truncate and close of a run goes through a FileSystem,
// so tests can substitute one that fails any chosen call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tnx {

// The outcome of one system call: a non-negative count (or descriptor), or
// the errno value of the failure.
struct IoResult {
  std::int64_t value = 0;
  int error = 0;

  [[nodiscard]] bool ok() const { return error == 0; }
};

enum class FileKind { regular, directory, other };

// Identity of an open file: two descriptors with equal device and inode name
// the same file, however the names that opened them were spelled.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  FileKind kind = FileKind::other;
  // Bytes in the file; meaningful for regular files only.
  std::uint64_t size = 0;
};

inline constexpr int STDOUT_FD = 1;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing file for reading.
  virtual IoResult open_input(const char* name) = 0;
  // Opens a file for writing, creating it when missing but never truncating:
  // the caller truncates only once it knows the file is not the input.
  virtual IoResult open_output(const char* name) = 0;
  virtual IoResult identify(int fd, FileId& id) = 0;
  virtual IoResult truncate(int fd) = 0;
  // One read or write call each; they may transfer fewer bytes than asked or
  // fail with EINTR. read_some() and write_all() deal with both.
  virtual IoResult read(int fd, char* buffer, std::size_t size) = 0;
  virtual IoResult write(int fd, const char* data, std::size_t size) = 0;
  virtual IoResult close(int fd) = 0;
};

// The operating system's own calls.
[[nodiscard]] FileSystem& system_file_system();

// read_some()
//
// Reads at most `size` bytes, retrying calls interrupted before they read
// anything. Returns the count (0 only at end of input) or the error.
[[nodiscard]] IoResult read_some(FileSystem& fs, int fd, char* buffer,
                                 std::size_t size);

// write_all()
//
// Writes all `size` bytes, continuing after short writes and interrupted
// calls. Returns `size`, or the first error (bytes before it stay written).
[[nodiscard]] IoResult write_all(FileSystem& fs, int fd, const char* data,
                                 std::size_t size);

}  // namespace tnx
