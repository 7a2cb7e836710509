// Encoders of packed row files, one per format, each over the library made
// for it.
#pragma once

#include <cstddef>
#include <memory>

#include "program/compression.hpp"

namespace tnx {

// What one call of Encoder::encode() did; `failed` when the library
// refused (for want of memory, as nothing else can fail it here).
struct EncodeStep {
  std::size_t consumed = 0;
  std::size_t produced = 0;
  bool done = false;
  bool failed = false;
};

class Encoder {
 public:
  Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;
  virtual ~Encoder() = default;

  // encode()
  //
  // Packs from the `in_size` bytes at `in` into the `out_size` bytes at
  // `out`; with `last`, also ends the stream once all is packed (`done`).
  virtual EncodeStep encode(const char* in, std::size_t in_size, char* out,
                            std::size_t out_size, bool last) = 0;
};

// The encoders, level 1; null when they cannot get their memory.
[[nodiscard]] std::unique_ptr<Encoder> make_gzip_encoder();
[[nodiscard]] std::unique_ptr<Encoder> make_zstd_encoder();

}  // namespace tnx
