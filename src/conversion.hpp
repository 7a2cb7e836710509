// One conversion: an input file into a row file, with the console text and
// messages that go with it. A single run is one conversion; a batch is one
// per file, each exactly what a single run of that file does.
#pragma once

#include <cstddef>

#include "console.hpp"
#include "file_io.hpp"
#include "limits.hpp"

namespace tnx {

enum class RunStatus {
  ok,
  input_not_opened,
  output_not_opened,
  read_failed,
  write_failed,
};

// convert_file()
//
// Converts `input` into the row file `output` ("-" for either: standard
// input, standard output) with the calls of `fs`, adding the console text
// and every failure's message and reason to `console`. Either every row
// reaches `output`, or a regular output is left as it was. `block_size`
// bounds each read of the input.
[[nodiscard]] RunStatus convert_file(const char* input, const char* output,
                                     FileSystem& fs, Console& console,
                                     std::size_t block_size = BLOCK_SIZE);

}  // namespace tnx
