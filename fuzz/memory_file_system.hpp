// A FileSystem held in memory: named files as strings, descriptors as indexes
// into a table, and standard output captured as a string. Reads may be cut
// short to a chosen size, which is how the harnesses and the fault tests
// deliver an input in pieces the system would rarely produce.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "file_io.hpp"

namespace tnx::testing {

class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::string console;
  // Largest count one read call returns; 0 means no limit.
  std::size_t read_limit = 0;
  int open_count = 0;

  IoResult open_input(const char* name) override {
    const auto it = files.find(name);
    if (it == files.end()) return IoResult{0, ENOENT};
    return new_descriptor(name);
  }

  IoResult open_output(const char* name) override {
    files.try_emplace(name);
    return new_descriptor(name);
  }

  IoResult identify(int fd, FileId& id) override {
    const Descriptor* d = find(fd);
    if (d == nullptr) return IoResult{0, EBADF};
    id.device = 1;
    id.inode = inode_of(d->name);
    id.kind = FileKind::regular;
    id.size = files[d->name].size();
    return IoResult{};
  }

  IoResult truncate(int fd) override {
    const Descriptor* d = find(fd);
    if (d == nullptr) return IoResult{0, EBADF};
    files[d->name].clear();
    return IoResult{};
  }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    Descriptor* d = find(fd);
    if (d == nullptr) return IoResult{0, EBADF};
    const std::string& content = files[d->name];
    std::size_t count = std::min(size, content.size() - d->offset);
    if (read_limit != 0) count = std::min(count, read_limit);
    std::memcpy(buffer, content.data() + d->offset, count);
    d->offset += count;
    return IoResult{static_cast<std::int64_t>(count), 0};
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    if (fd == STDOUT_FD) {
      console.append(data, size);
      return IoResult{static_cast<std::int64_t>(size), 0};
    }
    Descriptor* d = find(fd);
    if (d == nullptr) return IoResult{0, EBADF};
    files[d->name].append(data, size);
    return IoResult{static_cast<std::int64_t>(size), 0};
  }

  IoResult close(int fd) override {
    Descriptor* d = find(fd);
    if (d == nullptr) return IoResult{0, EBADF};
    d->open = false;
    return IoResult{};
  }

  // Descriptors still open: a run must leave none.
  [[nodiscard]] int open_descriptors() const {
    int count = 0;
    for (const Descriptor& d : descriptors_) count += d.open ? 1 : 0;
    return count;
  }

 private:
  struct Descriptor {
    std::string name;
    std::size_t offset = 0;
    bool open = true;
  };

  // Descriptors start at 3, after the standard streams, as on a real system.
  static constexpr int FIRST_FD = 3;

  IoResult new_descriptor(const char* name) {
    ++open_count;
    descriptors_.push_back(Descriptor{name});
    return IoResult{
        static_cast<std::int64_t>(descriptors_.size()) - 1 + FIRST_FD, 0};
  }

  Descriptor* find(int fd) {
    const auto index = static_cast<std::size_t>(fd - FIRST_FD);
    if (fd < FIRST_FD || index >= descriptors_.size()) return nullptr;
    Descriptor& d = descriptors_[index];
    return d.open ? &d : nullptr;
  }

  std::uint64_t inode_of(const std::string& name) const {
    std::uint64_t inode = 1;
    for (const auto& [file_name, content] : files) {
      if (file_name == name) return inode;
      ++inode;
    }
    return 0;
  }

  std::vector<Descriptor> descriptors_;
};

}  // namespace tnx::testing
