// The columns of read_many()'s frame, joined from every scan's arrays in one
// pass with the GIL released.
#pragma once

#include <pybind11/pybind11.h>

namespace tnx {

// Adds frame_columns() to `m`.
void bind_frame_columns(pybind11::module_& m);

}  // namespace tnx
