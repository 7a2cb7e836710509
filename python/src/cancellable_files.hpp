// The files of the package's calls, which a Cancel flag stops: once it is
// set, every read and write fails with ECANCELED. A read that fails ends
// the conversion, and a conversion whose read or write failed never puts
// its row file in place (an interrupt in Python).
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/forwarding_files.hpp"

namespace tnx {

// Set once to stop every call that was handed it.
struct Cancel {
  std::atomic<bool> set{false};
};

// Whether `cancel` (which may be null) was set.
inline bool is_cancelled(const Cancel* cancel) {
  return cancel != nullptr && cancel->set.load(std::memory_order_relaxed);
}

// Another FileIo, whose reads and writes fail once `cancel` is set.
class CancellableIo final : public ForwardingFileIo {
 public:
  CancellableIo(FileIo& io, const Cancel* cancel)
      : ForwardingFileIo(io), cancel_(cancel) {}

  IoResult read(int fd, char* buffer, std::size_t size) override {
    if (is_cancelled(cancel_)) return {0, ECANCELED};
    return inner().read(fd, buffer, size);
  }
  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    if (is_cancelled(cancel_)) return {0, ECANCELED};
    return inner().read_at(fd, buffer, size, offset);
  }
  IoResult write(int fd, const char* data, std::size_t size) override {
    if (is_cancelled(cancel_)) return {0, ECANCELED};
    return inner().write(fd, data, size);
  }

 private:
  const Cancel* cancel_;
};

// Another file system, its files read and written through a CancellableIo,
// which neither makes nor puts in place a row file once `cancel` is set.
class CancellableFileSystem final : public ForwardingFileSystem {
 public:
  CancellableFileSystem(FileSystem& fs, const Cancel* cancel)
      : ForwardingFileSystem(fs), io_(fs.io(), cancel), cancel_(cancel) {}

  FileIo& io() override { return io_; }
  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override {
    if (is_cancelled(cancel_)) return {0, ECANCELED};
    return inner().create_temporary(target, replacing, temporary);
  }
  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    if (is_cancelled(cancel_)) return {0, ECANCELED};
    return inner().install(fd, temporary, target);
  }

 private:
  CancellableIo io_;
  const Cancel* cancel_;
};

// An input held in memory, read as a regular file that can be read again
// by offset.
class MemoryInputIo final : public FileIo {
 public:
  MemoryInputIo(const char* data, std::size_t size, const Cancel* cancel)
      : data_(data), size_(size), cancel_(cancel) {}

  // What it is: a regular file of its size.
  [[nodiscard]] FileId id() const {
    FileId id;
    id.kind = FileKind::regular;
    id.size = size_;
    return id;
  }
  IoResult create_scratch() override { return {0, ENOSYS}; }
  IoResult read(int fd, char* buffer, std::size_t size) override {
    const IoResult r = read_at(fd, buffer, size, offset_);
    if (r.ok()) offset_ += static_cast<std::uint64_t>(r.value);
    return r;
  }
  IoResult read_at(int /*fd*/, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    if (is_cancelled(cancel_)) return {0, ECANCELED};
    if (offset >= size_) return {0, 0};
    const std::size_t n =
        std::min<std::size_t>(size, size_ - static_cast<std::size_t>(offset));
    std::memcpy(buffer, data_ + offset, n);
    return {static_cast<std::int64_t>(n), 0};
  }
  IoResult write(int /*fd*/, const char* /*data*/,
                 std::size_t /*size*/) override {
    return {0, EBADF};
  }
  IoResult close(int /*fd*/) override { return {0, 0}; }

 private:
  const char* data_;
  std::size_t size_;
  std::uint64_t offset_ = 0;
  const Cancel* cancel_;
};

}  // namespace tnx
