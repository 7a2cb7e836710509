// Decoders of packed scans, one per format, each over the library made for
// it. A decoder takes the packed bytes in pieces of any size and gives the
// text they hold; files of several members or frames (concatenated files,
// parallel packers) decode as one text.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "program/compression.hpp"

namespace tnx {

// What one call of Decoder::decode() did. `error`: null, or the library's
// own words for the damage found; `out_of_memory` when it could not get
// the memory it needs.
struct DecodeStep {
  std::size_t consumed = 0;
  std::size_t produced = 0;
  const char* error = nullptr;
  bool out_of_memory = false;
};

inline constexpr std::string_view TRUNCATED =
    "unexpected end of compressed data";

class Decoder {
 public:
  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  virtual ~Decoder() = default;

  // decode()
  //
  // Decodes from the `in_size` bytes at `in` into the `out_size` bytes at
  // `out`; `last` when no bytes follow those at `in`. A call that neither
  // consumes nor produces asks for more input.
  virtual DecodeStep decode(const char* in, std::size_t in_size, char* out,
                            std::size_t out_size, bool last) = 0;
  // Whether the bytes decoded so far end where a member or frame ends, so
  // that an end of input there is no truncation.
  [[nodiscard]] virtual bool at_end() const = 0;
};

// make_decoder()
//
// A decoder of `format`, or null when this build has none for it or the
// memory for one could not be had (`out_of_memory` tells).
[[nodiscard]] std::unique_ptr<Decoder> make_decoder(Compression format,
                                                    bool& out_of_memory);

// The decoders of each library; null when they cannot get their memory.
[[nodiscard]] std::unique_ptr<Decoder> make_gzip_decoder();
[[nodiscard]] std::unique_ptr<Decoder> make_bzip2_decoder();
[[nodiscard]] std::unique_ptr<Decoder> make_xz_decoder();
[[nodiscard]] std::unique_ptr<Decoder> make_zstd_decoder();

}  // namespace tnx
