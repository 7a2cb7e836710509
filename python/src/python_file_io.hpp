// Inputs that are Python objects: a file object read block by block (its
// readinto() or read() called with the GIL taken, so a file of any size
// costs no more memory than the blocks the engine asks for), and a file
// system whose one input is such an object or a scan held in memory, so
// that a read or a conversion takes it as it takes a file opened by name.
#pragma once

#include <pybind11/pybind11.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "cancellable_files.hpp"
#include "platform/forwarding_files.hpp"

namespace tnx {

// The descriptor the input object is known by: no descriptor the system
// hands out is ever this large, so it cannot be confused with a real one.
inline constexpr int OBJECT_FD = INT_MAX;

// A Python binary file object read as a stream: each read() is one call of
// its readinto1(), readinto() or else read(), into the caller's buffer.
// The first Python exception a call raises fails that read (EIO) and every
// later one, and is kept for raise_failure(). Made and destroyed with the
// GIL held; read() may be called from any thread without it.
class PythonFileIo final : public FileIo {
 public:
  PythonFileIo(const pybind11::object& file, const Cancel* cancel);

  IoResult create_scratch() override { return {0, ENOSYS}; }
  IoResult read(int fd, char* buffer, std::size_t size) override;
  IoResult read_at(int /*fd*/, char* /*buffer*/, std::size_t /*size*/,
                   std::uint64_t /*offset*/) override {
    return {0, ESPIPE};
  }
  IoResult write(int /*fd*/, const char* /*data*/,
                 std::size_t /*size*/) override {
    return {0, EBADF};
  }
  IoResult close(int /*fd*/) override { return {0, 0}; }

  // Raises the exception a call of the object raised, if any; with the GIL.
  void raise_failure();

 private:
  [[nodiscard]] std::int64_t read_into(char* buffer, std::size_t size);
  [[nodiscard]] std::int64_t read_copy(char* buffer, std::size_t size);

  pybind11::object readinto_;
  pybind11::object read_;
  const Cancel* cancel_;
  std::optional<pybind11::error_already_set> failure_;
};

// Another file system whose input, whatever name it is opened by, is
// `input`: read through `input_io`, identified as `id`. Every other call
// passes to the file system decorated (the output, scratch files).
class OneInputFileSystem final : public ForwardingFileSystem {
 public:
  OneInputFileSystem(FileSystem& fs, FileIo& input_io, const FileId& id)
      : ForwardingFileSystem(fs), io_(fs.io(), input_io), id_(id) {}

  FileIo& io() override { return io_; }
  IoResult open_input(const char* /*name*/) override { return {OBJECT_FD, 0}; }
  IoResult identify(int fd, FileInfo& info) override {
    if (fd != OBJECT_FD) return inner().identify(fd, info);
    info = FileInfo();
    info.id = id_;
    return {0, 0};
  }

 private:
  // The calls on OBJECT_FD go to the input's FileIo, the others on.
  class RoutingIo final : public ForwardingFileIo {
   public:
    RoutingIo(FileIo& io, FileIo& input)
        : ForwardingFileIo(io), input_(input) {}

    IoResult read(int fd, char* buffer, std::size_t size) override {
      return fd == OBJECT_FD ? input_.read(fd, buffer, size)
                             : inner().read(fd, buffer, size);
    }
    IoResult read_at(int fd, char* buffer, std::size_t size,
                     std::uint64_t offset) override {
      return fd == OBJECT_FD ? input_.read_at(fd, buffer, size, offset)
                             : inner().read_at(fd, buffer, size, offset);
    }
    IoResult close(int fd) override {
      return fd == OBJECT_FD ? input_.close(fd) : inner().close(fd);
    }

   private:
    FileIo& input_;
  };

  RoutingIo io_;
  FileId id_;
};

}  // namespace tnx
