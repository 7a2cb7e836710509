// The columns of read_many()'s frame, each written once into its final dtype:
// a row's line is spread from its scan's line numbers straight into the
// joined column, with no array of lines per scan to join afterwards.
#include "frame_columns.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/arrays/scan_grid.hpp"

namespace py = pybind11;

namespace tnx {
namespace {

template <class T>
using Array = py::array_t<T, py::array::c_style | py::array::forcecast>;

// One scan's arrays, held (and so alive) while the GIL is released.
struct ScanArrays {
  Array<std::uint8_t> column;
  Array<std::int64_t> lines;
  Array<std::int32_t> label;
  Array<double> point;
  Array<std::uint32_t> events;
  Array<std::uint32_t> value;
  std::size_t rows = 0;
};

ScanArrays arrays_of(const py::handle& scan) {
  ScanArrays a{
      scan.attr("column").cast<Array<std::uint8_t>>(),
      scan.attr("lines").cast<Array<std::int64_t>>(),
      scan.attr("label").cast<Array<std::int32_t>>(),
      scan.attr("point").cast<Array<double>>(),
      scan.attr("events").cast<Array<std::uint32_t>>(),
      scan.attr("value").cast<Array<std::uint32_t>>(),
  };
  a.rows = static_cast<std::size_t>(a.column.size());
  const auto same = [&](const py::array& x) {
    return x.ndim() == 1 && static_cast<std::size_t>(x.size()) == a.rows;
  };
  if (!same(a.label) || !same(a.point) || !same(a.events) || !same(a.value)) {
    throw py::value_error("the arrays of a scan have one element per row");
  }
  const std::optional<GridShape> shape = grid_shape(a.column.data(), a.rows);
  if (!shape || a.lines.ndim() != 1 ||
      static_cast<std::size_t>(a.lines.size()) != shape->lines) {
    throw py::value_error("one line number per line that gave rows");
  }
  return a;
}

template <class T>
void widen(const std::uint32_t* from, std::size_t rows, T* to) noexcept {
  for (std::size_t i = 0; i < rows; ++i) to[i] = static_cast<T>(from[i]);
}

// The output columns, written at `at` rows from their starts.
template <class Count>
struct Columns {
  std::int64_t* line;
  std::int32_t* label;
  std::uint8_t* column;
  double* point;
  Count* events;
  Count* value;
};

template <class Count>
void write_scan(const ScanArrays& a, const Columns<Count>& out,
                std::size_t at) noexcept {
  const std::size_t n = a.rows;
  spread_line_numbers(a.column.data(), n, a.lines.data(), out.line + at);
  std::memcpy(out.label + at, a.label.data(), n * sizeof(std::int32_t));
  std::memcpy(out.column + at, a.column.data(), n);
  std::memcpy(out.point + at, a.point.data(), n * sizeof(double));
  widen(a.events.data(), n, out.events + at);
  widen(a.value.data(), n, out.value + at);
}

// The scans from `first` to `last`, their rows from `at` on.
template <class Count>
void write_range(const std::vector<ScanArrays>& scans, std::size_t first,
                 std::size_t last, const Columns<Count>& out,
                 std::size_t at) noexcept {
  for (std::size_t i = first; i < last; ++i) {
    write_scan(scans[i], out, at);
    at += scans[i].rows;
  }
}

// Writes every scan, the first half of the rows on a second thread when
// there are enough of them: the columns are fresh memory, and its page
// faults and copies take two processors as well as one.
template <class Count>
void write_scans(const std::vector<ScanArrays>& scans,
                 const Columns<Count>& out, std::size_t rows) noexcept {
  constexpr std::size_t kRowsForTwoThreads = 1 << 16;
  std::size_t split = 0;
  std::size_t at = 0;
  while (split < scans.size() && 2 * at < rows) at += scans[split++].rows;
  if (rows < kRowsForTwoThreads || std::thread::hardware_concurrency() < 2) {
    write_range(scans, 0, scans.size(), out, 0);
    return;
  }
  std::optional<std::thread> second;
  try {
    second.emplace([&] { write_range(scans, 0, split, out, 0); });
  } catch (const std::system_error&) {
    write_range(scans, 0, split, out, 0);
  }
  write_range(scans, split, scans.size(), out, at);
  if (second) second->join();
}

template <class Count>
py::tuple joined(const std::vector<ScanArrays>& scans, std::size_t rows) {
  const auto n = static_cast<py::ssize_t>(rows);
  py::array_t<std::int64_t> line(n);
  py::array_t<std::int32_t> label(n);
  py::array_t<std::uint8_t> column(n);
  py::array_t<double> point(n);
  py::array_t<Count> events(n);
  py::array_t<Count> value(n);
  const Columns<Count> out{line.mutable_data(),   label.mutable_data(),
                           column.mutable_data(), point.mutable_data(),
                           events.mutable_data(), value.mutable_data()};
  {
    py::gil_scoped_release unlocked;
    write_scans(scans, out, rows);
  }
  return py::make_tuple(line, label, column, point, events, value);
}

py::tuple frame_columns(const py::sequence& scans, bool compact) {
  std::vector<ScanArrays> arrays;
  arrays.reserve(scans.size());
  std::size_t rows = 0;
  for (const auto scan : scans) {
    arrays.push_back(arrays_of(scan));
    rows += arrays.back().rows;
  }
  if (compact) return joined<std::uint32_t>(arrays, rows);
  return joined<std::int64_t>(arrays, rows);
}

}  // namespace

void bind_frame_columns(py::module_& m) {
  m.def("frame_columns", &frame_columns, py::arg("scans"), py::arg("compact"),
        "The rows of every scan joined: line (int64), label, column, point, "
        "events and value (int64, or uint32 with compact).");
}

}  // namespace tnx
