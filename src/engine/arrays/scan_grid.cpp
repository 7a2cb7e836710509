// The grid of a scan's values and the line of each row, from its arrays.
#include "engine/arrays/scan_grid.hpp"

#include <algorithm>
#include <exception>
#include <limits>
#include <thread>

namespace tnx {
namespace {

// The arrays of a grid being filled.
struct GridFill {
  const std::uint8_t* column;
  const std::uint32_t* value;
  const std::int32_t* label;
  std::size_t width;
  double* grid;
  std::int32_t* labels;
};

// Fills the lines of rows [first, last), which start with line `line`: a
// line's values, then NaN up to its end once the next line starts, so each
// cell is written once, in order.
void fill_lines(const GridFill& f, std::size_t first, std::size_t last,
                std::size_t line) noexcept {
  constexpr double none = std::numeric_limits<double>::quiet_NaN();
  std::size_t filled = line * f.width;
  for (std::size_t r = first; r < last; ++r) {
    if (f.column[r] == 0) {
      std::fill(f.grid + filled, f.grid + line * f.width, none);
      f.labels[line] = f.label[r];
      filled = line * f.width;
      ++line;
    }
    f.grid[filled++] = static_cast<double>(f.value[r]);
  }
  std::fill(f.grid + filled, f.grid + line * f.width, none);
}

}  // namespace

std::optional<GridShape> grid_shape(const std::uint8_t* column,
                                    std::size_t rows) noexcept {
  GridShape shape;
  shape.split_row = rows;
  const std::size_t middle = rows / 2;
  unsigned previous = 0;
  unsigned widest = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned c = column[r];
    // A row that neither starts a line nor follows its line's last one.
    if (c != 0 && (r == 0 || c != previous + 1)) return std::nullopt;
    if (c == 0 && r >= middle && shape.split_row == rows) {
      shape.split_row = r;
      shape.split_line = shape.lines;
    }
    shape.lines += c == 0 ? 1 : 0;
    widest = std::max(widest, c);
    previous = c;
  }
  if (rows != 0) shape.columns = std::size_t{widest} + 1;
  if (shape.split_row == rows) shape.split_line = shape.lines;
  return shape;
}

void fill_grid(const std::uint8_t* column, const std::uint32_t* value,
               const std::int32_t* label, std::size_t rows, GridShape shape,
               double* grid, std::int32_t* labels) noexcept {
  const GridFill f{column, value, label, shape.columns, grid, labels};
  std::size_t split = rows;
  std::thread second;
  if (rows >= GRID_THREAD_ROWS) {
    // The two halves share no cell: each starts at a line's start.
    try {
      second = std::thread([&f, &shape, rows] {
        fill_lines(f, shape.split_row, rows, shape.split_line);
      });
      split = shape.split_row;
    } catch (const std::exception&) {
      split = rows;
    }
  }
  fill_lines(f, 0, split, 0);
  if (second.joinable()) second.join();
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
