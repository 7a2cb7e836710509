// The conversions of Windows's own calls between UTF-8 and UTF-16.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>

#include "platform/utf16.hpp"

namespace tnx {

bool to_wide(std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                       text.data(), length, nullptr, 0);
  if (size <= 0) return false;
  wide.resize(static_cast<std::size_t>(size));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                             wide.data(), size) == size;
}

bool to_utf8(std::wstring_view wide, std::string& text) {
  text.clear();
  if (wide.empty()) return true;
  if (wide.size() > INT_MAX) return false;
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr,
                                       0, nullptr, nullptr);
  if (size <= 0) return false;
  text.resize(static_cast<std::size_t>(size));
  return WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), size,
                             nullptr, nullptr) == size;
}

}  // namespace tnx
