// Making the folder a batch writes its row files into.
#include "program/folders.hpp"

#include <cerrno>
#include <string_view>

#include "platform/file_names.hpp"

namespace tnx {

int make_directories(FileSystem& fs, const std::string& dir) {
  const std::string_view path = dir;
  for (std::size_t end = 1; end <= path.size(); ++end) {
    // Each folder on the way (a part followed by a separator), then all.
    const bool before_separator =
        end < path.size() && folder_length(path.substr(0, end + 1)) == end + 1;
    if (!before_separator && end != path.size()) continue;
    const std::string prefix = dir.substr(0, end);
    if (prefix.back() == ':') continue;  // a drive
    const IoResult r = fs.make_directory(prefix.c_str());
    if (!r.ok() && r.error != EEXIST) return r.error;
  }
  return 0;
}

}  // namespace tnx
