// The fixed limits of a conversion: how many columns a file can describe, how
// many lines form its header, and the sizes of the buffers that stream it.
#pragma once

#include <cstddef>

namespace tnx {

// Columns described by the header and converted per data line.
inline constexpr int MAX_COLUMNS = 100;

// Lines handed to the header pass; the line after them is dropped unread.
inline constexpr int HEADER_LINES = 3;

// Bytes asked of the input in one read call, and the longest line read
// whole, its line end not counted: a longer line is handed on in pieces of
// about this size, the input buffer holding at most this and a line end
// (LINE_END_BYTES). Small, because every page a run touches for the first
// time is a page fault, and on a virtual machine a fault costs as much as
// converting several kilobytes: with 1 MiB blocks and row buffers, a single
// run of 1,000 lines (600 kB) took 1.8 times as long, measured side by
// side, and large files were no faster.
inline constexpr std::size_t BLOCK_SIZE = std::size_t{128} << 10;

// The most bytes a line end takes: a CR LF.
inline constexpr std::size_t LINE_END_BYTES = 2;

// The least read asked of a regular input, however small the size it
// reports: the size is only a hint (files in /proc, and on some FUSE and
// network file systems, report 0 whatever they hold). A pipe delivers at
// most this much per call; below the C library's threshold for a mapping
// of its own, the buffer of a small file still comes from the heap.
inline constexpr std::size_t MIN_BLOCK_SIZE = std::size_t{64} << 10;

// Bytes of rows collected before the converting thread writes them out
// itself, in one call: small for the same reason.
inline constexpr std::size_t ROWS_PER_WRITE = std::size_t{128} << 10;

// The memory for rows when a thread of their own writes them, split into
// buffers of half this size: there large buffers let the two threads run
// without waiting on each other.
inline constexpr std::size_t OUTPUT_BUFFER_SIZE = std::size_t{1} << 20;

// Readable bytes guaranteed after the end of every line handed out by the
// line reader, so the record scanner may load whole words past the text.
inline constexpr std::size_t LINE_PADDING = 64;

// Bytes a row may write past its end, so the row layout may copy its parts
// in fixed sizes; the next row, or the room after a row buffer, takes them.
inline constexpr std::size_t ROW_OVERWRITE = 32;

}  // namespace tnx
