#include "memory_file_system.hpp"

#include <string>
#include <utility>

namespace tnx::test {

void MemoryFileSystem::refuse_output(const std::string& name, int error) {
  refused_[name] = error;
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

IoResult MemoryFileSystem::identify(int fd, FileInfo& info) {
  const IoResult r = MemoryFileIo::identify(fd, info.id);
  if (const OpenFile* f = r.ok() ? find_open(fd) : nullptr) {
    info.mode = f->node->mode;
  }
  return r;
}

IoResult MemoryFileSystem::inspect(const char* name, FileInfo& info) {
  const std::shared_ptr<Node> node = follow(name);
  if (node == nullptr) return IoResult{0, ENOENT};
  describe(*node, info.id);
  info.mode = node->mode;
  // As for a user who is not the superuser: the owner's write bit decides.
  info.write_error = (node->mode & 0200) != 0 ? 0 : EACCES;
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

void MemoryFileSystem::copy_permissions(int fd, const FileInfo& from) {
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

}  // namespace tnx::test
