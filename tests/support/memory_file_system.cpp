#include "memory_file_system.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tnx::test {

void MemoryFileSystem::add_file(const std::string& name, std::string bytes) {
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->inode = next_inode_++;
  nodes_[name] = node;
}

void MemoryFileSystem::add_link(const std::string& name,
                                const std::string& existing) {
  nodes_[name] = nodes_.at(existing);
}

void MemoryFileSystem::add_directory(const std::string& name) {
  auto node = std::make_shared<Node>();
  node->inode = next_inode_++;
  node->kind = FileKind::directory;
  nodes_[name] = node;
}

void MemoryFileSystem::refuse_output(const std::string& name, int error) {
  refused_[name] = error;
}

bool MemoryFileSystem::exists(const std::string& name) const {
  return nodes_.count(name) != 0;
}

const std::string& MemoryFileSystem::file(const std::string& name) const {
  return nodes_.at(name)->bytes;
}

IoResult MemoryFileSystem::open_input(const char* name) {
  const auto it = nodes_.find(name);
  if (it == nodes_.end()) return IoResult{0, ENOENT};
  return add_open(it->second);
}

IoResult MemoryFileSystem::open_output(const char* name) {
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

IoResult MemoryFileSystem::identify(int fd, FileId& id) {
  const OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  id.device = 1;
  id.inode = f->node->inode;
  id.kind = f->node->kind;
  id.size = f->node->bytes.size();
  return IoResult{};
}

IoResult MemoryFileSystem::truncate(int fd) {
  OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  f->node->bytes.clear();
  return IoResult{};
}

IoResult MemoryFileSystem::read(int fd, char* buffer, std::size_t size) {
  OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  if (f->node->kind == FileKind::directory) return IoResult{0, EISDIR};
  if (f->offset >= read_error_at) return IoResult{0, read_error};
  const std::size_t limit = std::min(read_error_at, f->node->bytes.size());
  const std::size_t n =
      std::min({size, max_read, limit - std::min(limit, f->offset)});
  if (n > 0) std::memcpy(buffer, f->node->bytes.data() + f->offset, n);
  f->offset += n;
  return IoResult{static_cast<std::int64_t>(n), 0};
}

IoResult MemoryFileSystem::write(int fd, const char* data, std::size_t size) {
  if (fd == STDOUT_FD) {
    console_.append(data, size);
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

IoResult MemoryFileSystem::close(int fd) {
  return open_.erase(fd) == 1 ? IoResult{} : IoResult{0, EBADF};
}

IoResult MemoryFileSystem::add_open(std::shared_ptr<Node> node) {
  const int fd = next_fd_++;
  open_[fd] = OpenFile{std::move(node), 0};
  return IoResult{fd, 0};
}

MemoryFileSystem::OpenFile* MemoryFileSystem::find_open(int fd) {
  const auto it = open_.find(fd);
  return it == open_.end() ? nullptr : &it->second;
}

}  // namespace tnx::test
