// Names the program works out from paths: the folder part of a path, the
// form under which the system tells two names apart, and the hidden name under
// which a row file is written before it takes its place, ".NAME.tnx-PID-N"
// beside it, where PID tells the process and N the file, so runs and jobs never
// collide and a left-over file (after SIGKILL or a power cut) says where it
// came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tnx {

// The longest file name (one component of a path) the common file systems
// take, in bytes.
inline constexpr std::size_t MAX_NAME_BYTES = 255;

// hidden_temporary_name()
//
// The hidden name for the row file `target` (a path), in its folder. When
// ".NAME.tnx-PID-N" would pass `max_name` bytes, or `shortened` asks for it
// (the file system refused the long form), NAME is cut to its first bytes,
// never inside a UTF-8 character, followed by "~" and a hash of the whole
// name, so two long names that share their start still differ.
[[nodiscard]] std::string hidden_temporary_name(
    std::string_view target, std::uint64_t process, unsigned counter,
    bool shortened = false, std::size_t max_name = MAX_NAME_BYTES);

// The length of the folder part of `path`, its last separator included (a
// slash, and on Windows a backslash or the colon of a drive): 0 for a bare
// name.
[[nodiscard]] std::size_t folder_length(std::string_view path);

// fold_name_case()
//
// Turns `name`, one component of a path, into the form under which the
// system tells names apart: on Windows, whose names ignore case, its ASCII
// letters in lower case; elsewhere it stays as it is.
void fold_name_case(std::string& name);

}  // namespace tnx
