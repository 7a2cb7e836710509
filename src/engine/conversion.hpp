// One conversion: an open input into an open row file. The header pass
// reads the first lines into the column tables and hands its echo to a
// TextOutput, the line after them is dropped, and the data pass writes a
// row per value of every later line. The buffers it streams through can be
// kept for the next conversion.
#pragma once

#include <cstddef>

#include "engine/buffers.hpp"
#include "engine/file_io.hpp"
#include "engine/limits.hpp"
#include "engine/passes.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// The buffers of one conversion, kept for the next. The first touch of a
// page of memory costs about as much as converting a few kilobytes, so a
// batch's job converts file after file in the same pages. A conversion
// keeps none grown past the usual size, so what a job holds stays bounded.
struct ConversionMemory {
  // Buffers of the full size, for many files of any size: each page is
  // touched by the first file that reaches them, and only then.
  [[nodiscard]] static ConversionMemory for_many_files() noexcept {
    return {InputBuffer::allocate(BLOCK_SIZE),
            RowBuffer::allocate(ROWS_PER_WRITE)};
  }

  InputBuffer input;
  RowBuffer rows;
};

// The row file, open for writing, and the kind of file it is.
struct ConversionOutput {
  int fd = -1;
  FileKind kind = FileKind::other;
};

// How a conversion ended: the errno values of the first failed read and of
// the first failed write, or 0. A read that fails ends the data pass; the
// rows converted before it are written all the same.
struct ConversionResult {
  int read_error = 0;
  int write_error = 0;
};

// convert()
//
// Converts `input` into `output` with the calls of `io`, handing the header
// pass's echo and summaries to `text` (flushed once the header pass is
// over). `memory`: buffers to take over, given back for the next
// conversion. `notes`, when given, are handed what the passes met besides
// the rows (a report, from what the data pass's scan of each line saw: see
// LineScan). Neither file is closed.
[[nodiscard]] ConversionResult convert(FileIo& io, const ConversionInput& input,
                                       const ConversionOutput& output,
                                       TextOutput& text,
                                       ConversionMemory& memory,
                                       const ConversionSettings& settings,
                                       PassNotes* notes = nullptr);

}  // namespace tnx
