// Bases for decorators of a FileIo or a FileSystem: every call passes to
// the one decorated, so a decorator overrides only the calls it changes
// (one that cancels, one that fails a chosen call).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/file_io.hpp"
#include "platform/file_system.hpp"

namespace tnx {

class ForwardingFileIo : public FileIo {
 public:
  explicit ForwardingFileIo(FileIo& inner) : inner_(inner) {}

  IoResult create_scratch() override { return inner_.create_scratch(); }
  IoResult read(int fd, char* buffer, std::size_t size) override {
    return inner_.read(fd, buffer, size);
  }
  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    return inner_.read_at(fd, buffer, size, offset);
  }
  IoResult write(int fd, const char* data, std::size_t size) override {
    return inner_.write(fd, data, size);
  }
  IoResult close(int fd) override { return inner_.close(fd); }
  [[nodiscard]] bool takes_writes_from_other_threads() const override {
    return inner_.takes_writes_from_other_threads();
  }

 protected:
  ForwardingFileIo(const ForwardingFileIo&) = default;
  ForwardingFileIo& operator=(const ForwardingFileIo&) = delete;
  ~ForwardingFileIo() = default;

  [[nodiscard]] FileIo& inner() const { return inner_; }

 private:
  FileIo& inner_;
};

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

  FileIo& io() override { return inner_.io(); }
  IoResult identify(int fd, FileInfo& info) override {
    return inner_.identify(fd, info);
  }
  IoResult open_input(const char* name) override {
    return inner_.open_input(name);
  }
  IoResult open_output(const char* name) override {
    return inner_.open_output(name);
  }
  IoResult inspect(const char* name, FileInfo& info) override {
    return inner_.inspect(name, info);
  }
  IoResult resolve_links(const char* name, std::string& target) override {
    return inner_.resolve_links(name, target);
  }
  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override {
    return inner_.create_temporary(target, replacing, temporary);
  }
  void copy_permissions(int fd, const FileInfo& from) override {
    inner_.copy_permissions(fd, from);
  }
  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    return inner_.install(fd, temporary, target);
  }
  void discard(int fd, const std::string& temporary) override {
    inner_.discard(fd, temporary);
  }
  IoResult truncate(int fd) override { return inner_.truncate(fd); }
  IoResult make_directory(const char* name) override {
    return inner_.make_directory(name);
  }

 protected:
  ForwardingFileSystem(const ForwardingFileSystem&) = default;
  ForwardingFileSystem& operator=(const ForwardingFileSystem&) = delete;
  ~ForwardingFileSystem() = default;

  [[nodiscard]] FileSystem& inner() const { return inner_; }

 private:
  FileSystem& inner_;
};

}  // namespace tnx
