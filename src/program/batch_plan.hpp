// The plan of a batch, made before any file is converted: the row file of
// each file, the files refused because an earlier one writes their row
// file or because their row file is an input of the batch, and whether a
// row file is the file standard output was sent to.
// Memory grows by a few bytes per file beyond the names: a batch of a
// hundred thousand files stays small.
#pragma once

#include <cstddef>
#include <cstdint>
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
// "scan.ntp"), after a suffix of a packed file is dropped ("run.dat.gz"
// gives "run.ntp"), in `output_dir` when it is not empty, beside the input
// otherwise; `packing` (".gz", ".zst" or empty) after ".ntp".
[[nodiscard]] std::string row_file_name(std::string_view input,
                                        std::string_view output_dir,
                                        std::string_view packing = {});

// The row file's name of `input` in pieces that point into the input's
// name and the output folder, so it can be written out without building it.
struct RowFileParts {
  std::string_view folder;
  // A separator goes between the folder and the name.
  bool separator = false;
  std::string_view stem;
  // After ".ntp": the suffix of a packed row file, or empty.
  std::string_view packing;
};

[[nodiscard]] RowFileParts row_file_parts(std::string_view input,
                                          std::string_view output_dir,
                                          std::string_view packing = {});

// In BatchPlan::refused: the refused file's row file is an input of the
// batch.
inline constexpr std::size_t ROW_FILE_IS_INPUT = SIZE_MAX;

struct BatchPlan {
  const NameList* names = nullptr;
  std::string output_dir;
  // The suffix of packed row files, or empty.
  std::string packing;
  // Refused file -> the earlier file that writes its row file, or
  // ROW_FILE_IS_INPUT.
  std::map<std::size_t, std::size_t> refused;
  // Some row file is the file standard output was sent to: its rows go
  // there, so the batch's text goes to standard error.
  bool rows_on_standard_output = false;
};

// plan_batch()
//
// The plan of converting `names` into row files in `output_dir` (beside
// them when empty), with the calls of `fs`. Row files and inputs are told
// apart by what their names lead to (links followed, the folder by
// identity, the name's case where the system ignores it). A file whose row
// file is another input of the batch is refused, whichever comes first, so
// that no input is overwritten; of two files with one row file, the later
// one is refused. A device (a link to /dev/null) is neither: it takes the
// rows of any number of files. (A file that is its own row file is left to
// its conversion, which refuses it as the same file as the input.)
[[nodiscard]] BatchPlan plan_batch(FileSystem& fs, const NameList& names,
                                   const std::string& output_dir,
                                   std::string_view packing = {});

// Which standard streams lead to an input of a batch.
struct StreamsOnInputs {
  bool standard_output = false;
  bool standard_error = false;
};

// streams_on_inputs()
//
// Which of standard output and standard error lead to one of `names`, so
// that writing there would change it (see
// writing_changes_input()), with the calls of `fs`. Looks at the names
// only when a stream is a regular file or a pipe.
[[nodiscard]] StreamsOnInputs streams_on_inputs(FileSystem& fs,
                                                const NameList& names);

// refusal_reason()
//
// Why `plan` refuses the file `index`, which it refuses: "also the row
// file of NAME" (NAME as given), or "an input of this batch".
[[nodiscard]] std::string refusal_reason(const BatchPlan& plan,
                                         std::size_t index);

}  // namespace tnx
