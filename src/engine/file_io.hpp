// The seam between a conversion and the files it reads and writes: every
// read, positioned read, write and close goes through a FileIo, so tests
// can substitute one that fails any chosen call. Files are opened, named
// and identified elsewhere (the program's file system); a conversion knows
// them by their descriptors and the FileId it is handed.
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

// `device`: a character or block device (a terminal, /dev/null); `socket`:
// a socket where the system tells (POSIX); `other`: a pipe, or any other
// kind of file.
enum class FileKind { regular, directory, device, socket, other };

// Identity of a file: two files with equal device and inode are the same,
// however the names that lead to them were spelled. What a conversion
// needs of its files; the program's file system tells more (FileInfo).
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  FileKind kind = FileKind::other;
  // Bytes in the file; meaningful for regular files only.
  std::uint64_t size = 0;

  [[nodiscard]] bool same_file(const FileId& other) const {
    return device == other.device && inode == other.inode;
  }
};

inline constexpr int STDIN_FD = 0;
inline constexpr int STDOUT_FD = 1;
inline constexpr int STDERR_FD = 2;

class FileIo {
 public:
  // create_scratch()
  //
  // Creates a file for writing and reading back (read_at) text too large to
  // hold in memory: in the system's folder for temporary files, without a
  // name where the system allows, and gone once closed in any case.
  virtual IoResult create_scratch() = 0;
  // One read or write call each; they may transfer fewer bytes than asked or
  // fail with EINTR. read_some() and write_all() deal with both.
  virtual IoResult read(int fd, char* buffer, std::size_t size) = 0;
  // One read call at `offset` of a regular file, leaving the offset of
  // read() where it was.
  virtual IoResult read_at(int fd, char* buffer, std::size_t size,
                           std::uint64_t offset) = 0;
  virtual IoResult write(int fd, const char* data, std::size_t size) = 0;
  virtual IoResult close(int fd) = 0;

  // takes_writes_from_other_threads()
  //
  // Whether write() may be called for one file from another thread while
  // this one makes other calls: what lets a conversion write the rows of a
  // large file from a thread of their own. A FileIo that answers false
  // (the tests' own, whose faults count the calls in order) gets every call
  // from the converting thread.
  [[nodiscard]] virtual bool takes_writes_from_other_threads() const {
    return false;
  }

 protected:
  FileIo() = default;
  FileIo(const FileIo&) = default;
  FileIo& operator=(const FileIo&) = default;
  ~FileIo() = default;
};

// read_some()
//
// Reads at most `size` bytes, retrying calls interrupted before they read
// anything. Returns the count (0 only at end of input) or the error.
[[nodiscard]] IoResult read_some(FileIo& io, int fd, char* buffer,
                                 std::size_t size);

// read_fully_at()
//
// Reads exactly `size` bytes at `offset`, retrying interrupted calls and
// continuing after short ones. Returns `size`, or the first error; EIO when
// the file ends first (it was made shorter since it was read).
[[nodiscard]] IoResult read_fully_at(FileIo& io, int fd, char* buffer,
                                     std::size_t size, std::uint64_t offset);

// write_all()
//
// Writes all `size` bytes, continuing after short writes and interrupted
// calls. Returns `size`, or the first error (bytes before it stay written).
[[nodiscard]] IoResult write_all(FileIo& io, int fd, const char* data,
                                 std::size_t size);

}  // namespace tnx
