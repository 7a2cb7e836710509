// The module's functions over a read's arrays: the grid of the values and
// each row's line (see engine/arrays/scan_grid.hpp).
#pragma once

#include <pybind11/pybind11.h>

namespace tnx {

// Adds grid() and line_of_rows() to `m`.
void bind_scan_grid(pybind11::module_& m);

}  // namespace tnx
