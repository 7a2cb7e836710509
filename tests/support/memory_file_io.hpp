// Files held in memory, and the calls a conversion makes on them, for the
// tests and the fuzz harnesses to drive the engine without touching the
// disk: named files (several names may lead to one file, as hard links do),
// symbolic links, directories, standard input given as a string, standard
// output and standard error captured as strings, and knobs that shorten or
// fail read calls. It counts the descriptors still open, so a test can tell
// a leaked file, and answers a close of a descriptor that is not open with
// EBADF. MemoryFileSystem adds the calls on names.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_io.hpp"

namespace tnx::test {

class MemoryFileIo : public FileIo {
 public:
  MemoryFileIo() = default;
  MemoryFileIo(const MemoryFileIo&) = delete;
  MemoryFileIo& operator=(const MemoryFileIo&) = delete;
  ~MemoryFileIo() = default;

  // Creates (or replaces) the file `name` holding `bytes`.
  void add_file(const std::string& name, std::string bytes);
  // Makes `name` a second name of the file `existing`.
  void add_link(const std::string& name, const std::string& existing);
  void add_directory(const std::string& name);
  // Makes `name` a symbolic link to `target`, which need not exist.
  void add_symlink(const std::string& name, const std::string& target);
  // Standard input reads `bytes`.
  void set_standard_input(std::string bytes);
  // Standard output is the file `name` (its identity; what is written to
  // it is still captured by console()).
  void set_standard_output(const std::string& name);
  void set_mode(const std::string& name, std::uint32_t mode);

  // Opens the file `name` for reading and writing, made empty when there is
  // none: how a test gets a descriptor without the calls on names.
  [[nodiscard]] int open(const std::string& name);

  [[nodiscard]] bool exists(const std::string& name) const;
  // The bytes of the file `name`, which must exist.
  [[nodiscard]] const std::string& file(const std::string& name) const;
  [[nodiscard]] std::uint32_t mode(const std::string& name) const;
  // Every name that leads to a file or directory, sorted.
  [[nodiscard]] std::vector<std::string> names() const;
  // Everything written to standard output, and to standard error.
  [[nodiscard]] const std::string& console() const { return console_; }
  [[nodiscard]] const std::string& errors() const { return errors_; }
  // Descriptors opened and not closed yet: a run must leave none.
  [[nodiscard]] std::size_t open_descriptors() const {
    return open_.size() - open_.count(STDIN_FD);
  }

  // A read call transfers at most this many bytes.
  std::size_t max_read = SIZE_MAX;
  // When not SIZE_MAX, identify() reports this size for every regular
  // file, as files in /proc report 0.
  std::size_t reported_size = SIZE_MAX;
  // Calls of read() and read_at() made so far.
  std::size_t read_calls = 0;
  std::size_t read_at_calls = 0;
  // A read call that starts at this offset of an input fails with
  // `read_error`; reads before it stop short of it.
  std::size_t read_error_at = SIZE_MAX;
  int read_error = EIO;
  // When not 0, create_scratch fails with this errno value; and how many
  // scratch files were asked for.
  int scratch_error = 0;
  int scratch_files = 0;

  // Describes the file open at `fd`, as the program's file system does.
  IoResult identify(int fd, FileId& id);
  IoResult create_scratch() override;
  IoResult read(int fd, char* buffer, std::size_t size) override;
  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override;
  IoResult write(int fd, const char* data, std::size_t size) override;
  IoResult close(int fd) override;

 protected:
  struct Node {
    std::string bytes;
    std::uint64_t inode = 0;
    FileKind kind = FileKind::regular;
    std::uint32_t mode = 0644;
  };
  struct OpenFile {
    std::shared_ptr<Node> node;
    std::size_t offset = 0;
  };

  IoResult add_open(std::shared_ptr<Node> node);
  OpenFile* find_open(int fd);
  // The node `name` leads to through symbolic links, or null.
  [[nodiscard]] std::shared_ptr<Node> follow(std::string name) const;
  void describe(const Node& node, FileId& id) const;

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::map<std::string, std::string> symlinks_;

 private:
  // The bytes a read at `offset` of `node` transfers, for `size` asked.
  [[nodiscard]] std::size_t readable(const Node& node, std::size_t offset,
                                     std::size_t size) const;

  std::shared_ptr<Node> standard_output_;
  std::map<int, OpenFile> open_;
  std::string console_;
  std::string errors_;
  std::uint64_t next_inode_ = 100;
  // Descriptors start after the standard streams, as on a real system, and
  // are never reused, so a second close of one is always seen.
  int next_fd_ = 3;
};

}  // namespace tnx::test
