// What the data-line scanner saw in a line besides its rows, kept when a
// report asks: how many values it took, where they stopped short of the
// line's end, a NUL inside the line, and the first number that wraps.
// LineScan is the watch scan_data_line() tells (data_line.hpp): a line
// that ends at its last value and takes every number on the fast path
// costs it one comparison; only a line with something odd gets a closer
// look here.
#pragma once

#include <cstdint>

#include "engine/line_reader.hpp"

namespace tnx {

// What scanning one data line by the data pass's rules found.
struct LineScan {
  bool blank = false;
  bool has_label = false;
  // Values taken: the rows the line gives.
  int values = 0;
  // Where the values stopped at something other than the end of the text
  // (text that is no number, or anything after the last value taken), or
  // null.
  const char* stop = nullptr;
  bool stopped_at_count = false;
  // The first NUL before the line's end, or null.
  const char* nul = nullptr;
  // The first number that wraps: its text, its column (0: the label) and
  // what it reads as; `wrap_first` null when none does.
  const char* wrap_first = nullptr;
  const char* wrap_last = nullptr;
  int wrap_column = 0;
  std::uint32_t wrap_result = 0;

  // The watch's calls (see scan_data_line()).
  void label_scanned(const char* from, const char* end) noexcept;
  void value_scanned(const char* first, const char* end, int column) noexcept;
  void no_label(const Line& line) noexcept;
  void values_over(const Line& line, const char* at, int taken) noexcept {
    has_label = true;
    values = taken;
    // Almost every line ends at its last value.
    if (at != line.text + line.size) [[unlikely]]
      stopped_short(line, at);
  }

 private:
  // The values ended at `at`, short of the line's end.
  void stopped_short(const Line& line, const char* at) noexcept;
};

}  // namespace tnx
