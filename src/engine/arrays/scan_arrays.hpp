// Rows kept as numbers instead of text: one array per field, one element
// per row, in row-file order, read with the very rules of the row file
// (the same passes, scanners, header tables and stop rules). Formatting
// row i as "%4d %.3f %u %u" from label[i], point[i], events[i] and
// value[i] gives the row file's row i; column[i] is the value's column,
// which the row file does not show. line_number[j] is the number in the
// input (from 1, as the report counts lines) of the j-th data line that
// gave rows: the rows of a column 0 start the next such line.
//
// The data pass stores each value as it comes, and the other fields once
// per line (a line's rows are its columns 0, 1, ... with the line's label
// and the tables' slots); for a large input a second thread fills those
// while the data pass goes on (see SharedFieldsThread). Rows go to
// chunks: the first one is sized for every row a regular input can give,
// its untouched pages costing nothing, so the rows of a file usually fill
// it alone and it becomes the arrays without a copy, given back what it
// did not use; otherwise (an input of unknown size, or one that grew)
// chunks of CHUNK_ROWS follow and are joined once, each freed as it is
// copied. So memory peaks at the arrays plus one chunk, and nothing is
// allocated per row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/arrays/heap_array.hpp"
#include "engine/arrays/shared_fields.hpp"
#include "engine/column_tables.hpp"
#include "engine/file_io.hpp"
#include "engine/passes.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// The rows of one input as numbers, with the header tables and the console
// text.
struct ScanArrays {
  std::size_t rows = 0;
  HeapArray<std::int32_t> label;
  HeapArray<std::uint8_t> column;
  HeapArray<double> point;
  HeapArray<std::uint32_t> events;
  HeapArray<std::uint32_t> value;
  // The data lines that gave rows, and each one's number in the input.
  std::size_t lines = 0;
  HeapArray<std::int64_t> line_number;
  ColumnTables tables;
  // The header pass's echo and summaries, as the command line prints them.
  std::string console;
  // The errno value of the first failed read (the rows before it are kept),
  // or ENOMEM when the arrays could not get their memory (no rows then).
  int error = 0;
};

// How the arrays are made. Every new array's memory comes from `allocate`
// (`realloc` gives back what an array did not use). A first chunk of
// `background_rows` rows or more has the fields a line's rows share filled
// by a thread of its own (see SharedFieldsThread), handed `batch_lines`
// lines at a time.
struct ArraySettings {
  AllocateMemory allocate = nullptr;
  // 1 Mi rows (21 MiB of arrays): under it, starting a thread costs more
  // than it saves.
  std::size_t background_rows = std::size_t{1} << 20;
  std::size_t batch_lines = SharedFieldsThread::BATCH_LINES;
};

// What a read hands on besides the rows, each only when given.
struct ReadSinks {
  // What the passes met, as a conversion hands it to a report (each data
  // line as the one scan of it saw it).
  PassNotes* notes = nullptr;
  // The header's comment lines and the dropped line.
  HeaderTextSink* header_texts = nullptr;
};

// The rows per chunk of the data pass: 128 Ki rows, 2.6 MiB of all their
// fields.
inline constexpr std::size_t CHUNK_ROWS = std::size_t{128} << 10;

// read_arrays()
//
// Reads `input` with the calls of `io` into arrays: the header pass, the
// dropped line and the data pass of a conversion (see convert()), the rows
// kept as numbers. `chunk_rows` (at least MAX_COLUMNS): the rows of each
// chunk of the data pass; `arrays`: how the arrays are made. The input is
// not closed.
[[nodiscard]] ScanArrays read_arrays(FileIo& io, const ConversionInput& input,
                                     const ConversionSettings& settings = {},
                                     std::size_t chunk_rows = CHUNK_ROWS,
                                     const ArraySettings& arrays = {});

// The same, the header pass's echo and summaries handed to `text` as they
// come instead of kept in ScanArrays::console (left empty): the caller
// decides how much of an echo as long as its header line to keep; `sinks`
// are handed what the passes meet besides the rows.
[[nodiscard]] ScanArrays read_arrays(FileIo& io, const ConversionInput& input,
                                     TextOutput& text,
                                     const ConversionSettings& settings = {},
                                     std::size_t chunk_rows = CHUNK_ROWS,
                                     const ArraySettings& arrays = {},
                                     const ReadSinks& sinks = {});

}  // namespace tnx
