// The plan of a batch, made before any file is converted: the row file of
// each file, the files refused because an earlier one writes their row
// file, and whether a row file is the file standard output was sent to.
// Memory grows by a few bytes per file beyond the names: a batch of a
// hundred thousand files stays small.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "platform/file_system.hpp"
#include "program/name_list.hpp"

namespace tnx {

// row_file_name()
//
// The row file of `input`: its name with the last extension replaced by
// ".ntp" ("scan.dat" gives "scan.ntp", "run.2.dat" "run.2.ntp", "scan"
// "scan.ntp"), in `output_dir` when it is not empty, beside the input
// otherwise.
[[nodiscard]] std::string row_file_name(std::string_view input,
                                        std::string_view output_dir);

// The row file's name of `input` in pieces that point into the input's
// name and the output folder, so it can be written out without building it.
struct RowFileParts {
  std::string_view folder;
  // A separator goes between the folder and the name.
  bool separator = false;
  std::string_view stem;
};

[[nodiscard]] RowFileParts row_file_parts(std::string_view input,
                                          std::string_view output_dir);

struct BatchPlan {
  const NameList* names = nullptr;
  std::string output_dir;
  // Refused file -> the earlier file that writes its row file.
  std::map<std::size_t, std::size_t> refused;
  // Some row file is the file standard output was sent to: its rows go
  // there, so the batch's text goes to standard error.
  bool rows_on_standard_output = false;
};

// plan_batch()
//
// The plan of converting `names` into row files in `output_dir` (beside
// them when empty), with the calls of `fs`. Two files with one row file:
// the later one is refused, unless the row file is a device (a link to
// /dev/null), which takes the rows of any number of files.
[[nodiscard]] BatchPlan plan_batch(FileSystem& fs, const NameList& names,
                                   const std::string& output_dir);

}  // namespace tnx
