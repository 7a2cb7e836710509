// The inputs of the per-file benchmark and the checks of what the programs
// wrote: files made by datagen (one per size, the shell loop's and the
// batch comparison's), and byte-for-byte comparisons and hashes of row
// files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "per_file_settings.hpp"

namespace per_file {

// Writes datagen's standard shape of `lines` data lines with `seed` to
// `path`; `columns` values per line instead of its 100 when given.
void generate(const Settings& settings, long lines, unsigned long seed,
              const std::string& path, int columns = 0);

// The size of `path`; stops the benchmark when it cannot be known.
[[nodiscard]] std::uintmax_t file_size(const std::string& path);
// Compares two files byte for byte; returns an empty string when they are
// the same, else where they first differ.
[[nodiscard]] std::string compare_files(const std::string& a,
                                        const std::string& b);
// 64-bit FNV-1a of a file's bytes, to tell row files apart without keeping
// them.
[[nodiscard]] std::uint64_t file_hash(const std::string& path);
// Whether an executable asks for a program interpreter, the dynamic loader:
// "statically linked", "dynamically linked" or why neither is known.
[[nodiscard]] std::string linkage(const std::string& path);

// Lines per file of the shell loop: 10 to 100, varying with the file.
inline constexpr long LOOP_MIN_LINES = 10;
inline constexpr long LOOP_MAX_LINES = 100;

// The shell loop's files, in one folder, with their row files beside them.
struct LoopFiles {
  std::string dir;
  std::vector<std::string> inputs;
  std::uintmax_t input_bytes = 0;
};

[[nodiscard]] LoopFiles make_loop_files(const Settings& settings);
// Removes the row files of the loop's files, and writes out dirty pages.
void clear_loop_outputs(const LoopFiles& files);
// The hashes of the loop's row files, in the order of the inputs.
[[nodiscard]] std::vector<std::uint64_t> loop_hashes(const LoopFiles& files);

// File i has 10 + (7 i mod 291) data lines and 1 + (13 i mod 100) values per
// line (seed i + 1). 7 and 13 are prime to 291 and 100, so the first 291
// files take every line count once and the first 100 every column count,
// and the two counts do not rise together.
inline constexpr long BATCH_MIN_LINES = 10;
inline constexpr long BATCH_MAX_LINES = 300;
inline constexpr long BATCH_LINE_STEP = 7;
inline constexpr int BATCH_MAX_COLUMNS = 100;
inline constexpr int BATCH_COLUMN_STEP = 13;

// The batch comparison's files, in DIR/in, and their row files' names.
struct BatchFiles {
  std::string dir;
  std::vector<std::string> inputs;
  std::vector<std::string> row_names;  // "f0000.ntp": each input's row file
  std::uintmax_t input_bytes = 0;
  std::uintmax_t row_bytes = 0;
};

[[nodiscard]] BatchFiles make_batch_files(const Settings& settings);
// A new, empty output folder, with the machine's dirty pages written out.
void fresh_folder(const std::string& path);
// Empties the row files of a run that has been checked, and keeps them.
void empty_row_files(const BatchFiles& files, const std::string& out);
// The hashes of the row files in `out`, in the order of the inputs.
[[nodiscard]] std::vector<std::uint64_t> row_hashes(const BatchFiles& files,
                                                    const std::string& out);

}  // namespace per_file
