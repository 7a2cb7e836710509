// Reading a Python file object block by block.
#include "python_file_io.hpp"

#include <cstring>
#include <utility>

namespace py = pybind11;

namespace tnx {

PythonFileIo::PythonFileIo(const py::object& file, const Cancel* cancel)
    : cancel_(cancel) {
  // readinto1 makes one call of the stream below where the file object is
  // buffered, so a read of a pipe returns what came, as a read of the
  // descriptor does; readinto would wait until the buffer is full.
  if (py::hasattr(file, "readinto1")) {
    readinto_ = file.attr("readinto1");
  } else if (py::hasattr(file, "readinto")) {
    readinto_ = file.attr("readinto");
  } else {
    read_ = file.attr("read");
  }
}

IoResult PythonFileIo::read(int /*fd*/, char* buffer, std::size_t size) {
  if (is_cancelled(cancel_)) return {0, ECANCELED};
  py::gil_scoped_acquire locked;
  if (failure_) return {0, EIO};
  try {
    const std::int64_t count =
        readinto_ ? read_into(buffer, size) : read_copy(buffer, size);
    if (count < 0) return {0, EAGAIN};
    return {count, 0};
  } catch (py::error_already_set& raised) {
    failure_ = std::move(raised);
  } catch (const py::cast_error&) {
    PyErr_SetString(PyExc_TypeError,
                    "a file object's readinto must give the count of bytes "
                    "it read");
    failure_ = py::error_already_set();
  } catch (const py::builtin_exception& refused) {
    refused.set_error();
    failure_ = py::error_already_set();
  }
  return {0, EIO};
}

// One readinto() straight into `buffer`. The view of `buffer` is released
// after the call, so an object that keeps it can never touch the buffer
// again. Returns the count, or -1 for None (a non-blocking file with no
// bytes ready).
std::int64_t PythonFileIo::read_into(char* buffer, std::size_t size) {
  py::memoryview view = py::memoryview::from_memory(
      buffer, static_cast<py::ssize_t>(size), false);
  py::object count = readinto_(view);
  view.attr("release")();
  if (count.is_none()) return -1;
  const auto n = count.cast<std::int64_t>();
  if (n < 0 || static_cast<std::uint64_t>(n) > size) {
    throw py::value_error("a file object's readinto gave a count out of range");
  }
  return n;
}

// One read(size), its bytes copied into `buffer`.
std::int64_t PythonFileIo::read_copy(char* buffer, std::size_t size) {
  py::object data = read_(size);
  if (data.is_none()) return -1;
  if (!PyBytes_Check(data.ptr()) && !PyByteArray_Check(data.ptr())) {
    throw py::type_error(
        "a file object's read must give bytes (a file opened with 'rb')");
  }
  const py::buffer_info info = py::buffer(data).request();
  const auto n = static_cast<std::size_t>(info.size);
  if (n > size) {
    throw py::value_error("a file object's read gave more bytes than asked");
  }
  std::memcpy(buffer, info.ptr, n);
  return static_cast<std::int64_t>(n);
}

void PythonFileIo::raise_failure() {
  if (failure_) {
    py::error_already_set raised = std::move(*failure_);
    failure_.reset();
    throw raised;
  }
}

}  // namespace tnx
