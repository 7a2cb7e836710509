// Expanding the wildcards of a batch's names.
#include "program/wildcards.hpp"

#include <string>
#include <vector>

#include "platform/process.hpp"

namespace tnx {

const NameList& expand_wildcards(const NameList& names, NameList& expanded) {
  if (!program_expands_wildcards()) return names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string name(names[i]);
    std::vector<std::string> found;
    if (name.find_first_of("*?") != std::string::npos) {
      found = wildcard_matches(name);
    }
    if (found.empty()) {
      expanded.add(name);
    } else {
      for (const std::string& match : found) expanded.add(match);
    }
  }
  return expanded;
}

}  // namespace tnx
