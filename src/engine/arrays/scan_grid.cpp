// The grid of a scan's values and the line of each row, from its arrays.
#include "engine/arrays/scan_grid.hpp"

#include <algorithm>
#include <limits>

namespace tnx {

std::optional<GridShape> grid_shape(const std::uint8_t* column,
                                    std::size_t rows) noexcept {
  GridShape shape;
  unsigned previous = 0;
  unsigned widest = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned c = column[r];
    // A row that neither starts a line nor follows its line's last one.
    if (c != 0 && (r == 0 || c != previous + 1)) return std::nullopt;
    shape.lines += c == 0 ? 1 : 0;
    widest = std::max(widest, c);
    previous = c;
  }
  shape.columns = rows == 0 ? 0 : std::size_t{widest} + 1;
  return shape;
}

void fill_grid(const std::uint8_t* column, const std::uint32_t* value,
               const std::int32_t* label, std::size_t rows, GridShape shape,
               double* grid, std::int32_t* labels) noexcept {
  constexpr double none = std::numeric_limits<double>::quiet_NaN();
  const std::size_t width = shape.columns;
  // The grid's cells are written once each, in order: a line's values,
  // then NaN up to its end once the next line starts.
  std::size_t line = 0;
  std::size_t filled = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    if (column[r] == 0) {
      std::fill(grid + filled, grid + line * width, none);
      labels[line] = label[r];
      filled = line * width;
      ++line;
    }
    grid[filled++] = static_cast<double>(value[r]);
  }
  std::fill(grid + filled, grid + line * width, none);
}

void spread_line_numbers(const std::uint8_t* column, std::size_t rows,
                         const std::int64_t* line_number,
                         std::int64_t* out) noexcept {
  const std::int64_t* next = line_number;
  std::int64_t current = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    if (column[r] == 0) current = *next++;
    out[r] = current;
  }
}

}  // namespace tnx
