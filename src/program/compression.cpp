// Telling a packed scan by its first bytes, and a packed name by its end.
#include "program/compression.hpp"

#include <algorithm>
#include <array>

namespace tnx {
namespace {

struct Signature {
  Compression format;
  std::string_view bytes;
};

using namespace std::string_view_literals;

// gzip: its magic and the only method it defines (deflate). xz: the
// stream header's magic. zstd: a frame's magic, or a skippable frame's
// (whose first byte is any of 0x50 to 0x5F; 0x50 stands for all of them
// below). bzip2 is checked apart: its level digit varies.
constexpr std::array<Signature, 3> SIGNATURES{{
    {Compression::gzip, "\x1f\x8b\x08"sv},
    {Compression::xz, "\xfd\x37\x7a\x58\x5a\x00"sv},
    {Compression::zstd, "\x28\xb5\x2f\xfd"sv},
}};

constexpr std::string_view BZIP2_HEADER = "BZh";
// After the header and level digit: the magic of the first block, or of
// the end of the stream (an empty file packed).
constexpr std::string_view BZIP2_BLOCK = "\x31\x41\x59\x26\x53\x59"sv;
constexpr std::string_view BZIP2_END = "\x17\x72\x45\x38\x50\x90"sv;

// The formats whose libraries this build has: zlib everywhere, the others
// where the system packages them (not for the Windows cross build).
#ifdef TNX_WITH_BZIP2
constexpr bool WITH_BZIP2 = true;
#else
constexpr bool WITH_BZIP2 = false;
#endif
#ifdef TNX_WITH_XZ
constexpr bool WITH_XZ = true;
#else
constexpr bool WITH_XZ = false;
#endif
#ifdef TNX_WITH_ZSTD
constexpr bool WITH_ZSTD = true;
#else
constexpr bool WITH_ZSTD = false;
#endif

constexpr std::string_view ZSTD_SKIPPABLE_TAIL = "\x2a\x4d\x18"sv;

// How `text` and `pattern` compare over their common length, and whether
// `text` holds all of `pattern`.
struct Match {
  bool agrees;
  bool whole;
};

Match compare(std::string_view text, std::string_view pattern) {
  const std::size_t n = std::min(text.size(), pattern.size());
  return {text.substr(0, n) == pattern.substr(0, n),
          text.size() >= pattern.size()};
}

// The same for the bzip2 signature; `whole` when one of its magics follows.
Match compare_bzip2(std::string_view text) {
  const Match header = compare(text, BZIP2_HEADER);
  if (!header.agrees || !header.whole) return header;
  if (text.size() < 4) return {true, false};
  if (text[3] < '1' || text[3] > '9') return {false, false};
  const std::string_view rest = text.substr(4);
  const Match block = compare(rest, BZIP2_BLOCK);
  const Match end = compare(rest, BZIP2_END);
  return {block.agrees || end.agrees,
          (block.agrees && block.whole) || (end.agrees && end.whole)};
}

Match compare_zstd_skippable(std::string_view text) {
  if (text.empty()) return {true, false};
  const auto first = static_cast<unsigned char>(text[0]);
  if ((first & 0xf0U) != 0x50U) return {false, false};
  return compare(text.substr(1), ZSTD_SKIPPABLE_TAIL);
}

}  // namespace

Compression compression_of_content(const char* bytes, std::size_t size) {
  const std::string_view text(bytes, size);
  for (const Signature& s : SIGNATURES) {
    const Match m = compare(text, s.bytes);
    if (m.agrees && m.whole) return s.format;
  }
  if (const Match m = compare_bzip2(text); m.agrees && m.whole) {
    return Compression::bzip2;
  }
  if (const Match m = compare_zstd_skippable(text); m.agrees && m.whole) {
    return Compression::zstd;
  }
  return Compression::none;
}

bool may_be_compressed(const char* bytes, std::size_t size) {
  const std::string_view text(bytes, size);
  for (const Signature& s : SIGNATURES) {
    const Match m = compare(text, s.bytes);
    if (m.agrees && !m.whole) return true;
  }
  const Match bzip2 = compare_bzip2(text);
  const Match skippable = compare_zstd_skippable(text);
  return (bzip2.agrees && !bzip2.whole) ||
         (skippable.agrees && !skippable.whole);
}

namespace {

constexpr std::array<Compression, 4> PACKED{
    Compression::gzip, Compression::bzip2, Compression::xz, Compression::zstd};

}  // namespace

std::string_view compression_suffix(Compression format) {
  switch (format) {
    case Compression::gzip: return ".gz";
    case Compression::bzip2: return ".bz2";
    case Compression::xz: return ".xz";
    case Compression::zstd: return ".zst";
    case Compression::none: break;
  }
  return {};
}

Compression compression_of_name(std::string_view name) {
  for (const Compression format : PACKED) {
    const std::string_view suffix = compression_suffix(format);
    // A name that is the suffix alone (".gz") is a hidden file, not a
    // packed one.
    if (name.size() > suffix.size() && name.ends_with(suffix) &&
        name[name.size() - suffix.size() - 1] != '/') {
      return format;
    }
  }
  return Compression::none;
}

std::size_t compression_suffix(std::string_view name) {
  return compression_suffix(compression_of_name(name)).size();
}

std::string_view compression_name(Compression format) {
  switch (format) {
    case Compression::gzip: return "gzip";
    case Compression::bzip2: return "bzip2";
    case Compression::xz: return "xz";
    case Compression::zstd: return "zstd";
    case Compression::none: break;
  }
  return "none";
}

bool can_decode(Compression format) {
  switch (format) {
    case Compression::bzip2: return WITH_BZIP2;
    case Compression::xz: return WITH_XZ;
    case Compression::zstd: return WITH_ZSTD;
    case Compression::none:
    case Compression::gzip: break;
  }
  return true;
}

}  // namespace tnx
