// UTF-8, the text of the program's names and messages, to and from UTF-16,
// the text of Windows's wide-character calls. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace tnx {

// to_wide()
//
// Sets `wide` to the UTF-16 form of `text`. Returns false when `text` is
// not valid UTF-8: such a name cannot have come from the command line, and
// guessing a code page for it could open some other file.
[[nodiscard]] bool to_wide(std::string_view text, std::wstring& wide);

// to_utf8()
//
// Sets `text` to the UTF-8 form of `wide`. Returns false when the system
// cannot convert it.
[[nodiscard]] bool to_utf8(std::wstring_view wide, std::string& text);

}  // namespace tnx
