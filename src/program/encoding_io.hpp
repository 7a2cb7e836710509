// A row file written packed: a FileIo that passes every call to another,
// but packs what is written to the row file (gzip or zstd, level 1) before
// it reaches the file. finish() ends the packed stream; only then is the
// row file complete, and only then may it take the place of the output.
// The writes of the row file come from one thread at a time (the
// converting one, or its writer thread), as the engine makes them.
#pragma once

#include <memory>

#include "engine/file_io.hpp"
#include "program/compression.hpp"

namespace tnx {

class Encoder;

// Whether this build writes row files packed with `format`.
[[nodiscard]] bool can_encode(Compression format);

class EncodingIo final : public FileIo {
 public:
  EncodingIo(FileIo& io, int fd, Compression format);
  EncodingIo(const EncodingIo&) = delete;
  EncodingIo& operator=(const EncodingIo&) = delete;
  ~EncodingIo();

  // 0, or ENOMEM when the encoder could not get its memory.
  [[nodiscard]] int error() const { return error_; }

  // finish()
  //
  // Packs what is left and ends the stream. Returns 0 or the errno value
  // of the failed write.
  [[nodiscard]] int finish();

  IoResult identify(int fd, FileId& id) override {
    return io_.identify(fd, id);
  }
  IoResult create_scratch() override { return io_.create_scratch(); }
  IoResult read(int fd, char* buffer, std::size_t size) override {
    return io_.read(fd, buffer, size);
  }
  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    return io_.read_at(fd, buffer, size, offset);
  }
  IoResult write(int fd, const char* data, std::size_t size) override;
  IoResult close(int fd) override { return io_.close(fd); }
  [[nodiscard]] bool takes_writes_from_other_threads() const override {
    return io_.takes_writes_from_other_threads();
  }

 private:
  IoResult pack(const char* data, std::size_t size, bool last);

  FileIo& io_;
  int fd_;
  std::unique_ptr<Encoder> encoder_;
  std::unique_ptr<char[]> packed_;
  int error_ = 0;
};

}  // namespace tnx
