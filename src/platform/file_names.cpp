// Names worked out from paths: folders, case folding, hidden names.
#include "platform/file_names.hpp"

namespace tnx {
namespace {

#ifdef _WIN32
constexpr std::string_view SEPARATORS = "/\\:";
constexpr bool NAMES_IGNORE_CASE = true;
#else
constexpr std::string_view SEPARATORS = "/";
constexpr bool NAMES_IGNORE_CASE = false;
#endif

constexpr std::string_view HEX_DIGITS = "0123456789abcdef";

// Bytes of the name kept in front of the hash of a shortened name: enough
// for a person to tell which row file it belongs to.
constexpr std::size_t KEPT_NAME_BYTES = 64;

// 64-bit FNV-1a: spreads names that differ anywhere, cheaply.
std::uint64_t name_hash(std::string_view name) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  return hash;
}

// The first `bytes` bytes of `name` or fewer, so that no UTF-8 character is
// cut: a continuation byte (10xxxxxx) does not start one.
std::string_view utf8_prefix(std::string_view name, std::size_t bytes) {
  if (name.size() <= bytes) return name;
  while (bytes > 0 &&
         (static_cast<unsigned char>(name[bytes]) & 0xC0) == 0x80) {
    --bytes;
  }
  return name.substr(0, bytes);
}

}  // namespace

std::size_t folder_length(std::string_view path) {
  const std::size_t cut = path.find_last_of(SEPARATORS);
  return cut == std::string_view::npos ? 0 : cut + 1;
}

void fold_name_case(std::string& name) {
  if (!NAMES_IGNORE_CASE) return;
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string hidden_temporary_name(std::string_view target,
                                  std::uint64_t process, unsigned counter,
                                  bool shortened, std::size_t max_name) {
  const std::size_t folder = folder_length(target);
  const std::string_view name = target.substr(folder);
  std::string suffix = ".tnx-";
  suffix += std::to_string(process);
  suffix += '-';
  suffix += std::to_string(counter);

  std::string hidden(target.substr(0, folder));
  hidden += '.';
  if (!shortened && 1 + name.size() + suffix.size() <= max_name) {
    hidden += name;
  } else {
    hidden += utf8_prefix(name, KEPT_NAME_BYTES);
    hidden += '~';
    const std::uint64_t hash = name_hash(name);
    for (int shift = 60; shift >= 0; shift -= 4) {
      hidden += HEX_DIGITS[(hash >> shift) & 0xF];
    }
  }
  hidden += suffix;
  return hidden;
}

}  // namespace tnx
