#include "memory_file_io.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace tnx::test {

void MemoryFileIo::add_file(const std::string& name, std::string bytes) {
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->inode = next_inode_++;
  nodes_[name] = node;
}

void MemoryFileIo::add_link(const std::string& name,
                            const std::string& existing) {
  nodes_[name] = nodes_.at(existing);
}

void MemoryFileIo::add_directory(const std::string& name) {
  auto node = std::make_shared<Node>();
  node->inode = next_inode_++;
  node->kind = FileKind::directory;
  nodes_[name] = node;
}

void MemoryFileIo::add_symlink(const std::string& name,
                               const std::string& target) {
  symlinks_[name] = target;
}

void MemoryFileIo::set_standard_input(std::string bytes) {
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->inode = next_inode_++;
  node->kind = FileKind::other;
  open_[STDIN_FD] = OpenFile{std::move(node), 0};
}

void MemoryFileIo::set_standard_output(const std::string& name) {
  standard_output_ = nodes_.at(name);
}

void MemoryFileIo::set_mode(const std::string& name, std::uint32_t mode) {
  nodes_.at(name)->mode = mode;
}

std::uint32_t MemoryFileIo::mode(const std::string& name) const {
  return nodes_.at(name)->mode;
}

std::vector<std::string> MemoryFileIo::names() const {
  std::vector<std::string> all;
  for (const auto& [name, node] : nodes_) all.push_back(name);
  for (const auto& [name, target] : symlinks_) all.push_back(name);
  std::sort(all.begin(), all.end());
  return all;
}

bool MemoryFileIo::exists(const std::string& name) const {
  return follow(name) != nullptr;
}

const std::string& MemoryFileIo::file(const std::string& name) const {
  const std::shared_ptr<Node> node = follow(name);
  if (node == nullptr) throw std::out_of_range("no file " + name);
  return node->bytes;
}

std::shared_ptr<MemoryFileIo::Node> MemoryFileIo::follow(
    std::string name) const {
  for (int hops = 0; hops < 40; ++hops) {
    const auto link = symlinks_.find(name);
    if (link == symlinks_.end()) break;
    name = link->second;
  }
  const auto it = nodes_.find(name);
  return it == nodes_.end() ? nullptr : it->second;
}

void MemoryFileIo::describe(const Node& node, FileId& id) const {
  id.device = 1;
  id.inode = node.inode;
  id.kind = node.kind;
  id.size = node.bytes.size();
  if (node.kind == FileKind::regular && reported_size != SIZE_MAX) {
    id.size = reported_size;
  }
}

IoResult MemoryFileIo::identify(int fd, FileId& id) {
  if (fd == STDOUT_FD && standard_output_ != nullptr) {
    describe(*standard_output_, id);
    return IoResult{};
  }
  const OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  describe(*f->node, id);
  return IoResult{};
}

std::size_t MemoryFileIo::readable(const Node& node, std::size_t offset,
                                   std::size_t size) const {
  const std::size_t limit = std::min(read_error_at, node.bytes.size());
  return std::min({size, max_read, limit - std::min(limit, offset)});
}

IoResult MemoryFileIo::read(int fd, char* buffer, std::size_t size) {
  ++read_calls;
  OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  if (f->node->kind == FileKind::directory) return IoResult{0, EISDIR};
  if (f->offset >= read_error_at) return IoResult{0, read_error};
  const std::size_t n = readable(*f->node, f->offset, size);
  if (n > 0) std::memcpy(buffer, f->node->bytes.data() + f->offset, n);
  f->offset += n;
  return IoResult{static_cast<std::int64_t>(n), 0};
}

IoResult MemoryFileIo::read_at(int fd, char* buffer, std::size_t size,
                               std::uint64_t offset) {
  ++read_at_calls;
  const OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  if (f->node->kind != FileKind::regular) return IoResult{0, ESPIPE};
  if (offset >= read_error_at) return IoResult{0, read_error};
  const auto at = static_cast<std::size_t>(offset);
  const std::size_t n = readable(*f->node, at, size);
  if (n > 0) std::memcpy(buffer, f->node->bytes.data() + at, n);
  return IoResult{static_cast<std::int64_t>(n), 0};
}

IoResult MemoryFileIo::write(int fd, const char* data, std::size_t size) {
  if (fd == STDOUT_FD || fd == STDERR_FD) {
    (fd == STDOUT_FD ? console_ : errors_).append(data, size);
    return IoResult{static_cast<std::int64_t>(size), 0};
  }
  OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  std::string& bytes = f->node->bytes;
  if (bytes.size() < f->offset) bytes.resize(f->offset);
  bytes.replace(f->offset, std::min(size, bytes.size() - f->offset), data,
                size);
  f->offset += size;
  return IoResult{static_cast<std::int64_t>(size), 0};
}

IoResult MemoryFileIo::close(int fd) {
  return open_.erase(fd) == 1 ? IoResult{} : IoResult{0, EBADF};
}

IoResult MemoryFileIo::create_scratch() {
  ++scratch_files;
  if (scratch_error != 0) return IoResult{0, scratch_error};
  auto node = std::make_shared<Node>();
  node->inode = next_inode_++;
  return add_open(std::move(node));
}

int MemoryFileIo::open(const std::string& name) {
  if (follow(name) == nullptr) add_file(name, "");
  return static_cast<int>(add_open(follow(name)).value);
}

IoResult MemoryFileIo::add_open(std::shared_ptr<Node> node) {
  const int fd = next_fd_++;
  open_[fd] = OpenFile{std::move(node), 0};
  return IoResult{fd, 0};
}

MemoryFileIo::OpenFile* MemoryFileIo::find_open(int fd) {
  const auto it = open_.find(fd);
  return it == open_.end() ? nullptr : &it->second;
}

}  // namespace tnx::test
