// The rows of a scan by line and column: the grid of its values (one line
// per data line that gave rows, one column per value), and each row's line.
// A line's rows are its columns 0, 1, ... k-1 in order, so a row of column
// 0 starts the next line; the arrays are checked for that shape before
// anything is written, so arrays changed by hand never lead a write astray.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tnx {

// The lines of a scan's rows, the most rows one of them gave, and where
// the second half of the rows starts: the first line starting at or after
// the middle row (`split_row`, `rows` when none does), and how many lines
// come before it.
struct GridShape {
  std::size_t lines = 0;
  std::size_t columns = 0;
  std::size_t split_row = 0;
  std::size_t split_line = 0;
};

// grid_shape()
//
// The shape of the `rows` rows whose columns are `column`: every row's
// column is 0 (the first row's always) or one more than the row before.
// Returns nullopt for any other arrays.
[[nodiscard]] std::optional<GridShape> grid_shape(const std::uint8_t* column,
                                                  std::size_t rows) noexcept;

// The rows of a grid from which its second half is filled on a thread of
// its own: below, starting one costs more than it saves.
inline constexpr std::size_t GRID_THREAD_ROWS = std::size_t{1} << 20;

// fill_grid()
//
// Writes the rows' values into `grid` (shape.lines x shape.columns, by
// line), NaN where a line gave fewer values, and each line's label into
// `labels` (shape.lines). `shape` must be grid_shape() of `column`. From
// GRID_THREAD_ROWS rows on, a second thread fills the second half (this
// one alone when the thread cannot start).
void fill_grid(const std::uint8_t* column, const std::uint32_t* value,
               const std::int32_t* label, std::size_t rows, GridShape shape,
               double* grid, std::int32_t* labels) noexcept;

// spread_line_numbers()
//
// Writes into `out` (`rows` elements) the number of each row's line, from
// `line_number` (one per line; grid_shape() of `column` counts them).
void spread_line_numbers(const std::uint8_t* column, std::size_t rows,
                         const std::int64_t* line_number,
                         std::int64_t* out) noexcept;

}  // namespace tnx
