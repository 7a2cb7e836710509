// The files a batch's names stand for, where the program and not the shell
// expands wildcards.
#pragma once

#include "program/name_list.hpp"

namespace tnx {

// expand_wildcards()
//
// The files `names` stand for: each name holding * or ? replaced by the
// files it matches, sorted by name, where the program expands wildcards
// (a pattern that matches nothing stays as it is). Elsewhere the shell has
// done it, and `names` itself is returned. `expanded` holds the names made.
[[nodiscard]] const NameList& expand_wildcards(const NameList& names,
                                               NameList& expanded);

}  // namespace tnx
