// The fixed limits of a conversion: how many columns a file can describe, how
// many lines form its header, and the sizes of the buffers that stream it.
#pragma once

#include <cstddef>

namespace tnx {

// Columns described by the header and converted per data line.
inline constexpr int MAX_COLUMNS = 100;

// Lines handed to the header pass; the line after them is dropped unread.
inline constexpr int HEADER_LINES = 3;

// Bytes asked of the input in one read call.
inline constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 20;

// Bytes of rows collected before they are written out in one call.
inline constexpr std::size_t OUTPUT_BUFFER_SIZE = std::size_t{1} << 20;

// Readable bytes guaranteed after the end of every line handed out by the
// line reader, so the record scanner may load whole words past the text.
inline constexpr std::size_t LINE_PADDING = 64;

}  // namespace tnx
