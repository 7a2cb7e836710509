// The end of a line in the text files the program writes, rows and console
// text alike: CR LF where the build asks for it (TNX_CRLF_LINE_ENDS, which
// the build sets for Windows), LF elsewhere. Every file and standard stream
// is written in binary, so the program itself writes each CR.
#pragma once

#include <string_view>

namespace tnx {

#ifdef TNX_CRLF_LINE_ENDS
inline constexpr std::string_view LINE_END = "\r\n";
#else
inline constexpr std::string_view LINE_END = "\n";
#endif

}  // namespace tnx
