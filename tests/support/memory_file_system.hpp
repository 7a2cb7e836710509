// A FileSystem held in memory, for the tests and the fuzz harnesses to drive
// the converter without touching the disk: named files (several names may
// lead to one file, as links do), directories, names refused as outputs,
// standard output captured as a string, and knobs that shorten or fail read
// calls. It counts the descriptors still open, so a test can tell a leaked
// file, and answers a close of a descriptor that is not open with EBADF.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "file_io.hpp"

namespace tnx::test {

class MemoryFileSystem final : public FileSystem {
 public:
  // Creates (or replaces) the file `name` holding `bytes`.
  void add_file(const std::string& name, std::string bytes);
  // Makes `name` a second name of the file `existing`.
  void add_link(const std::string& name, const std::string& existing);
  void add_directory(const std::string& name);
  // Names for which open_output fails with `error`, as a missing folder or
  // a read-only file would make it.
  void refuse_output(const std::string& name, int error = ENOENT);

  [[nodiscard]] bool exists(const std::string& name) const;
  // The bytes of the file `name`, which must exist.
  [[nodiscard]] const std::string& file(const std::string& name) const;
  // Everything written to standard output.
  [[nodiscard]] const std::string& console() const { return console_; }
  // Descriptors opened and not closed yet: a run must leave none.
  [[nodiscard]] std::size_t open_descriptors() const { return open_.size(); }
  // Every name open_output succeeded on.
  [[nodiscard]] const std::set<std::string>& opened_outputs() const {
    return opened_outputs_;
  }

  // A read call transfers at most this many bytes.
  std::size_t max_read = SIZE_MAX;
  // A read call that starts at this offset of an input fails with
  // `read_error`; reads before it stop short of it.
  std::size_t read_error_at = SIZE_MAX;
  int read_error = EIO;

  IoResult open_input(const char* name) override;
  IoResult open_output(const char* name) override;
  IoResult identify(int fd, FileId& id) override;
  IoResult truncate(int fd) override;
  IoResult read(int fd, char* buffer, std::size_t size) override;
  IoResult write(int fd, const char* data, std::size_t size) override;
  IoResult close(int fd) override;

 private:
  struct Node {
    std::string bytes;
    std::uint64_t inode = 0;
    FileKind kind = FileKind::regular;
  };
  struct OpenFile {
    std::shared_ptr<Node> node;
    std::size_t offset = 0;
  };

  IoResult add_open(std::shared_ptr<Node> node);
  OpenFile* find_open(int fd);

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::map<std::string, int> refused_;
  std::map<int, OpenFile> open_;
  std::set<std::string> opened_outputs_;
  std::string console_;
  std::uint64_t next_inode_ = 100;
  // Descriptors start after the standard streams, as on a real system, and
  // are never reused, so a second close of one is always seen.
  int next_fd_ = 3;
};

}  // namespace tnx::test
