// Compressed scans: which packing a file's first bytes show, and the names
// that say a file is packed. A scan is recognised as compressed by its
// content only, so that a packed file under any name converts as the text
// it holds, and a text file whose name ends in ".gz" converts as text.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string_view>

namespace tnx {

enum class Compression { none, gzip, bzip2, xz, zstd };

// The most bytes any signature needs to be told apart from text.
inline constexpr std::size_t SIGNATURE_BYTES = 10;

// compression_of_content()
//
// The packing whose whole signature `bytes` starts with, or none. bzip2's
// is its "BZh" header, a level digit and the magic of a block or of the
// stream's end, so that a text file that starts with "BZh" stays text.
[[nodiscard]] Compression compression_of_content(const char* bytes,
                                                 std::size_t size);

// may_be_compressed()
//
// Whether more bytes after `bytes` could still complete a signature: how
// long a look at the start of a stream must wait before it knows.
[[nodiscard]] bool may_be_compressed(const char* bytes, std::size_t size);

// compression_suffix()
//
// The length of the suffix that names a packed file at the end of `name`
// (".gz", ".bz2", ".xz", ".zst"), or 0.
[[nodiscard]] std::size_t compression_suffix(std::string_view name);

// The suffix that names a file packed with `format` (".gz"), empty for none.
[[nodiscard]] std::string_view compression_suffix(Compression format);

// The packing named by the suffix of `name`, or none.
[[nodiscard]] Compression compression_of_name(std::string_view name);

// The packing's usual name ("gzip"), for messages.
[[nodiscard]] std::string_view compression_name(Compression format);

// Whether this build reads (decodes) files packed with `format`.
[[nodiscard]] bool can_decode(Compression format);

// make_started()
//
// A decoder or encoder of type `Codec`, its library's stream started; null
// when it cannot get its memory.
template <class Codec>
[[nodiscard]] std::unique_ptr<Codec> make_started() {
  auto codec = std::unique_ptr<Codec>(new (std::nothrow) Codec);
  if (codec == nullptr || !codec->start()) return nullptr;
  return codec;
}

}  // namespace tnx
