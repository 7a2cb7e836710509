// A FileSystem held in memory: named files (several names may lead to one
// file, as links do), directories, standard output captured as a string, and
// a few knobs to shorten or fail read calls. Tests drive the converter
// through it without touching the disk.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "file_io.hpp"

namespace tnx::test {

class MemoryFileSystem final : public FileSystem {
 public:
  // Creates (or replaces) the file `name` holding `bytes`.
  void add_file(const std::string& name, std::string bytes) {
    auto node = std::make_shared<Node>();
    node->bytes = std::move(bytes);
    node->inode = next_inode_++;
    nodes_[name] = node;
  }

  // Makes `name` a second name of the file `existing`.
  void add_link(const std::string& name, const std::string& existing) {
    nodes_[name] = nodes_.at(existing);
  }

  void add_directory(const std::string& name) {
    auto node = std::make_shared<Node>();
    node->inode = next_inode_++;
    node->kind = FileKind::directory;
    nodes_[name] = node;
  }

  // Names for which open_output fails with `error`, as a missing folder or
  // a read-only file would make it.
  void refuse_output(const std::string& name, int error = ENOENT) {
    refused_[name] = error;
  }

  [[nodiscard]] bool exists(const std::string& name) const {
    return nodes_.count(name) != 0;
  }

  [[nodiscard]] const std::string& file(const std::string& name) const {
    return nodes_.at(name)->bytes;
  }

  // Everything written to standard output.
  [[nodiscard]] const std::string& console() const { return console_; }

  [[nodiscard]] std::size_t open_count() const { return open_.size(); }
  [[nodiscard]] const std::set<std::string>& opened_outputs() const {
    return opened_outputs_;
  }

  // A read call transfers at most this many bytes.
  std::size_t max_read = SIZE_MAX;
  // A read call that starts at this offset of an input fails with
  // `read_error`; reads before it stop short of it.
  std::size_t read_error_at = SIZE_MAX;
  int read_error = EIO;

  IoResult open_input(const char* name) override {
    const auto it = nodes_.find(name);
    if (it == nodes_.end()) return IoResult{0, ENOENT};
    return add_open(it->second);
  }

  IoResult open_output(const char* name) override {
    if (const auto r = refused_.find(name); r != refused_.end()) {
      return IoResult{0, r->second};
    }
    auto it = nodes_.find(name);
    if (it == nodes_.end()) {
      add_file(name, "");
      it = nodes_.find(name);
    }
    if (it->second->kind == FileKind::directory) return IoResult{0, EISDIR};
    opened_outputs_.insert(name);
    return add_open(it->second);
  }

  IoResult identify(int fd, FileId& id) override {
    const auto it = open_.find(fd);
    if (it == open_.end()) return IoResult{0, EBADF};
    id.device = 1;
    id.inode = it->second.node->inode;
    id.kind = it->second.node->kind;
    id.size = it->second.node->bytes.size();
    return IoResult{};
  }

  IoResult truncate(int fd) override {
    const auto it = open_.find(fd);
    if (it == open_.end()) return IoResult{0, EBADF};
    it->second.node->bytes.clear();
    return IoResult{};
  }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    const auto it = open_.find(fd);
    if (it == open_.end()) return IoResult{0, EBADF};
    OpenFile& f = it->second;
    if (f.node->kind == FileKind::directory) return IoResult{0, EISDIR};
    if (f.offset >= read_error_at) return IoResult{0, read_error};
    const std::size_t limit = std::min(read_error_at, f.node->bytes.size());
    const std::size_t n =
        std::min({size, max_read, limit - std::min(limit, f.offset)});
    if (n > 0) std::memcpy(buffer, f.node->bytes.data() + f.offset, n);
    f.offset += n;
    return IoResult{static_cast<std::int64_t>(n), 0};
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    if (fd == STDOUT_FD) {
      console_.append(data, size);
      return IoResult{static_cast<std::int64_t>(size), 0};
    }
    const auto it = open_.find(fd);
    if (it == open_.end()) return IoResult{0, EBADF};
    OpenFile& f = it->second;
    std::string& bytes = f.node->bytes;
    if (bytes.size() < f.offset) bytes.resize(f.offset);
    bytes.replace(f.offset, std::min(size, bytes.size() - f.offset), data,
                  size);
    f.offset += size;
    return IoResult{static_cast<std::int64_t>(size), 0};
  }

  IoResult close(int fd) override {
    return open_.erase(fd) == 1 ? IoResult{} : IoResult{0, EBADF};
  }

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

  IoResult add_open(std::shared_ptr<Node> node) {
    const int fd = next_fd_++;
    open_[fd] = OpenFile{std::move(node), 0};
    return IoResult{fd, 0};
  }

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::map<std::string, int> refused_;
  std::map<int, OpenFile> open_;
  std::set<std::string> opened_outputs_;
  std::string console_;
  std::uint64_t next_inode_ = 100;
  int next_fd_ = 3;
};

}  // namespace tnx::test
