// A row file written packed: a FileIo that passes every call to another,
// but packs what is written to the row file (gzip or zstd, level 1) before
// it reaches the file. finish() ends the packed stream; only then is the
// row file complete, and only then may it take the place of the output.
// The writes of the row file come from one thread at a time (the
// converting one, or its writer thread), as the engine makes them.
#pragma once

#include <memory>

#include "engine/file_io.hpp"
#include "platform/forwarding_files.hpp"
#include "program/compression.hpp"

namespace tnx {

class Encoder;

// Whether this build writes row files packed with `format`.
[[nodiscard]] bool can_encode(Compression format);

class EncodingIo final : public ForwardingFileIo {
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

  IoResult write(int fd, const char* data, std::size_t size) override;

 private:
  IoResult pack(const char* data, std::size_t size, bool last);

  int fd_;
  std::unique_ptr<Encoder> encoder_;
  std::unique_ptr<char[]> packed_;
  int error_ = 0;
};

}  // namespace tnx
