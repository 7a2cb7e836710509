// The grid and the rows' lines, built in one pass over NumPy arrays with the
// GIL released.
#include "scan_grid_bindings.hpp"

#include <pybind11/numpy.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>

#include "engine/arrays/scan_grid.hpp"
#include "platform/memory_pages.hpp"

namespace py = pybind11;

namespace tnx {
namespace {

template <class T>
using Array = py::array_t<T, py::array::c_style | py::array::forcecast>;

// The shape of the rows whose columns are `column`; ValueError for arrays
// no read gives.
GridShape shape_of(const Array<std::uint8_t>& column) {
  const auto rows = static_cast<std::size_t>(column.size());
  std::optional<GridShape> shape;
  {
    py::gil_scoped_release unlocked;
    shape = grid_shape(column.data(), rows);
  }
  if (!shape) {
    throw py::value_error(
        "the columns are not a scan's: each line's rows are its columns "
        "0, 1, 2, ... in order");
  }
  return *shape;
}

// A (lines, columns) float64 array in memory of the platform's large
// pages: the grid is fresh memory as large as the values' array twice over,
// and in pages of 4 KiB its page faults took longer than filling it.
py::array_t<double> new_grid(GridShape shape) {
  const std::size_t cells = shape.lines * shape.columns;
  if (shape.columns != 0 && cells / shape.columns != shape.lines) {
    throw std::bad_alloc();
  }
  if (cells > std::numeric_limits<std::size_t>::max() / sizeof(double)) {
    throw std::bad_alloc();
  }
  void* memory =
      allocate_in_large_pages((cells == 0 ? 1 : cells) * sizeof(double));
  if (memory == nullptr) throw std::bad_alloc();
  py::capsule owner(memory, [](void* p) { std::free(p); });
  return py::array_t<double>({static_cast<py::ssize_t>(shape.lines),
                              static_cast<py::ssize_t>(shape.columns)},
                             static_cast<double*>(memory), owner);
}

void check_rows(const py::array& array, py::ssize_t rows) {
  if (array.ndim() != 1 || array.size() != rows) {
    throw py::value_error("the arrays of a scan have one element per row");
  }
}

py::tuple grid(const Array<std::uint8_t>& column,
               const Array<std::uint32_t>& value,
               const Array<std::int32_t>& label) {
  check_rows(column, column.size());
  check_rows(value, column.size());
  check_rows(label, column.size());
  const GridShape shape = shape_of(column);
  py::array_t<double> image = new_grid(shape);
  py::array_t<std::int32_t> labels(static_cast<py::ssize_t>(shape.lines));
  {
    py::gil_scoped_release unlocked;
    fill_grid(column.data(), value.data(), label.data(),
              static_cast<std::size_t>(column.size()), shape,
              image.mutable_data(), labels.mutable_data());
  }
  return py::make_tuple(image, labels);
}

py::array_t<std::int64_t> line_of_rows(const Array<std::uint8_t>& column,
                                       const Array<std::int64_t>& lines) {
  check_rows(column, column.size());
  const GridShape shape = shape_of(column);
  if (lines.ndim() != 1 ||
      static_cast<std::size_t>(lines.size()) != shape.lines) {
    throw py::value_error("one line number per line that gave rows");
  }
  py::array_t<std::int64_t> out(column.size());
  {
    py::gil_scoped_release unlocked;
    spread_line_numbers(column.data(), static_cast<std::size_t>(column.size()),
                        lines.data(), out.mutable_data());
  }
  return out;
}

}  // namespace

void bind_scan_grid(py::module_& m) {
  m.def("grid", &grid, py::arg("column"), py::arg("value"), py::arg("label"),
        "The values by line and column (float64, NaN where a line gave no "
        "value) and each line's label.");
  m.def("line_of_rows", &line_of_rows, py::arg("column"), py::arg("lines"),
        "Each row's line number, from one number per line (int64).");
}

}  // namespace tnx
