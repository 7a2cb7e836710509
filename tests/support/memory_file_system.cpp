#include "memory_file_system.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
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

void MemoryFileSystem::add_symlink(const std::string& name,
                                   const std::string& target) {
  symlinks_[name] = target;
}

void MemoryFileSystem::set_standard_input(std::string bytes) {
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->inode = next_inode_++;
  node->kind = FileKind::other;
  open_[STDIN_FD] = OpenFile{std::move(node), 0};
}

void MemoryFileSystem::set_standard_output(const std::string& name) {
  standard_output_ = nodes_.at(name);
}

void MemoryFileSystem::set_mode(const std::string& name, std::uint32_t mode) {
  nodes_.at(name)->mode = mode;
}

std::uint32_t MemoryFileSystem::mode(const std::string& name) const {
  return nodes_.at(name)->mode;
}

std::vector<std::string> MemoryFileSystem::names() const {
  std::vector<std::string> all;
  for (const auto& [name, node] : nodes_) all.push_back(name);
  for (const auto& [name, target] : symlinks_) all.push_back(name);
  std::sort(all.begin(), all.end());
  return all;
}

void MemoryFileSystem::refuse_output(const std::string& name, int error) {
  refused_[name] = error;
}

bool MemoryFileSystem::exists(const std::string& name) const {
  return follow(name) != nullptr;
}

const std::string& MemoryFileSystem::file(const std::string& name) const {
  const std::shared_ptr<Node> node = follow(name);
  if (node == nullptr) throw std::out_of_range("no file " + name);
  return node->bytes;
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::follow(
    std::string name) const {
  for (int hops = 0; hops < 40; ++hops) {
    const auto link = symlinks_.find(name);
    if (link == symlinks_.end()) break;
    name = link->second;
  }
  const auto it = nodes_.find(name);
  return it == nodes_.end() ? nullptr : it->second;
}

void MemoryFileSystem::describe(const Node& node, FileId& id) const {
  id.device = 1;
  id.inode = node.inode;
  id.kind = node.kind;
  id.size = node.bytes.size();
  if (node.kind == FileKind::regular && reported_size != SIZE_MAX) {
    id.size = reported_size;
  }
  id.mode = node.mode;
}

IoResult MemoryFileSystem::open_input(const char* name) {
  std::shared_ptr<Node> node = follow(name);
  if (node == nullptr) return IoResult{0, ENOENT};
  return add_open(std::move(node));
}

IoResult MemoryFileSystem::open_output(const char* name) {
  if (const auto r = refused_.find(name); r != refused_.end()) {
    return IoResult{0, r->second};
  }
  std::shared_ptr<Node> node = follow(name);
  if (node == nullptr) {
    add_file(name, "");
    node = follow(name);
  }
  if (node->kind == FileKind::directory) return IoResult{0, EISDIR};
  opened_outputs_.insert(name);
  return add_open(std::move(node));
}

IoResult MemoryFileSystem::identify(int fd, FileId& id) {
  if (fd == STDOUT_FD && standard_output_ != nullptr) {
    describe(*standard_output_, id);
    return IoResult{};
  }
  const OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  describe(*f->node, id);
  return IoResult{};
}

IoResult MemoryFileSystem::inspect(const char* name, FileId& id) {
  const std::shared_ptr<Node> node = follow(name);
  if (node == nullptr) return IoResult{0, ENOENT};
  describe(*node, id);
  // As for a user who is not the superuser: the owner's write bit decides.
  id.write_error = (node->mode & 0200) != 0 ? 0 : EACCES;
  return IoResult{};
}

IoResult MemoryFileSystem::resolve_links(const char* name,
                                         std::string& target) {
  target = name;
  for (int hops = 0; hops < 40; ++hops) {
    const auto link = symlinks_.find(target);
    if (link == symlinks_.end()) return IoResult{};
    target = link->second;
  }
  return IoResult{0, ELOOP};
}

IoResult MemoryFileSystem::create_temporary(const std::string& target, bool,
                                            std::string& temporary) {
  if (const auto r = refused_.find(target); r != refused_.end()) {
    return IoResult{0, r->second};
  }
  if (temporary_error != 0) return IoResult{0, temporary_error};
  temporary = target + ".tmp" + std::to_string(++temporaries_made_);
  add_file(temporary, "");
  opened_outputs_.insert(target);
  return add_open(nodes_.at(temporary));
}

void MemoryFileSystem::copy_permissions(int fd, const FileId& from) {
  if (OpenFile* f = find_open(fd)) f->node->mode = from.mode;
}

IoResult MemoryFileSystem::install(int fd, const std::string& temporary,
                                   const std::string& target) {
  IoResult r = close(fd);
  const auto it = nodes_.find(temporary);
  if (r.ok() && it == nodes_.end()) r = IoResult{0, ENOENT};
  if (r.ok()) nodes_[target] = it->second;
  nodes_.erase(temporary);
  return r;
}

IoResult MemoryFileSystem::make_directory(const char* name) {
  if (follow(name) != nullptr) return IoResult{0, EEXIST};
  add_directory(name);
  return IoResult{};
}

void MemoryFileSystem::discard(int fd, const std::string& temporary) {
  (void)close(fd);
  nodes_.erase(temporary);
}

IoResult MemoryFileSystem::truncate(int fd) {
  OpenFile* f = find_open(fd);
  if (f == nullptr) return IoResult{0, EBADF};
  f->node->bytes.clear();
  return IoResult{};
}

std::size_t MemoryFileSystem::readable(const Node& node, std::size_t offset,
                                       std::size_t size) const {
  const std::size_t limit = std::min(read_error_at, node.bytes.size());
  return std::min({size, max_read, limit - std::min(limit, offset)});
}

IoResult MemoryFileSystem::read(int fd, char* buffer, std::size_t size) {
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

IoResult MemoryFileSystem::read_at(int fd, char* buffer, std::size_t size,
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

IoResult MemoryFileSystem::write(int fd, const char* data, std::size_t size) {
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

IoResult MemoryFileSystem::close(int fd) {
  return open_.erase(fd) == 1 ? IoResult{} : IoResult{0, EBADF};
}

IoResult MemoryFileSystem::create_scratch() {
  ++scratch_files;
  if (scratch_error != 0) return IoResult{0, scratch_error};
  auto node = std::make_shared<Node>();
  node->inode = next_inode_++;
  return add_open(std::move(node));
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
