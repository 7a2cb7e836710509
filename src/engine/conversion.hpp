// One conversion: an input file into a row file, with the console text and
// messages that go with it. A single run is one conversion; a batch is one
// per file, each exactly what a single run of that file does.
#pragma once

#include <cstddef>

#include "engine/block_reader.hpp"
#include "engine/file_io.hpp"
#include "engine/limits.hpp"
#include "engine/output_thread.hpp"
#include "platform/file_system.hpp"
#include "program/console.hpp"

namespace tnx {

enum class RunStatus {
  ok,
  input_not_opened,
  output_not_opened,
  read_failed,
  write_failed,
  // A batch in which some file failed.
  batch_failed,
  // A command line the program cannot carry out.
  usage_error,
};

// The buffers of one conversion, kept for the next. The first touch of a
// page of memory costs about as much as converting a few kilobytes, so a
// batch's job converts file after file in the same pages. A conversion
// keeps none grown past the usual size, so what a job holds stays bounded.
struct ConversionMemory {
  // Buffers of the full size, for many files of any size: each page is
  // touched by the first file that reaches it, and only then.
  [[nodiscard]] static ConversionMemory for_many_files() noexcept {
    return {InputBuffer::allocate(BLOCK_SIZE),
            RowBuffer::allocate(ROWS_PER_WRITE)};
  }

  InputBuffer input;
  RowBuffer rows;
};

// convert_file()
//
// Converts `input` into the row file `output` ("-" for either: standard
// input, standard output) with the calls of `fs`, adding the console text
// and every failure's message and reason to `console`. Either every row
// reaches `output`, or a regular output is left as it was. `block_size`
// bounds each read of the input. `may_write_in_background`: the rows of a
// large regular file may be written from a thread of their own. `memory`:
// buffers to take over, given back for the next conversion. `line_limit`:
// the most bytes of one line held at once (at least 2), longer lines are
// taken in pieces; also the most bytes of a header line's first word held
// for its echo when the input can be read again.
[[nodiscard]] RunStatus convert_file(const char* input, const char* output,
                                     FileSystem& fs, Console& console,
                                     std::size_t block_size,
                                     bool may_write_in_background,
                                     ConversionMemory& memory,
                                     std::size_t line_limit = BLOCK_SIZE);

// The same, with buffers of its own.
[[nodiscard]] RunStatus convert_file(const char* input, const char* output,
                                     FileSystem& fs, Console& console,
                                     std::size_t block_size = BLOCK_SIZE,
                                     bool may_write_in_background = true,
                                     std::size_t line_limit = BLOCK_SIZE);

}  // namespace tnx
