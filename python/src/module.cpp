// The extension module of the Python package: reads scans into NumPy
// arrays with the engine, and converts with the program's own conversion
// and batch. Every call that reads or writes files releases the GIL, so
// Python threads read many files at once; a Cancel flag shared with the
// calls stops them at their next read or write (an interrupt in Python).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capped_text.hpp"
#include "engine/arrays/scan_arrays.hpp"
#include "platform/file_system.hpp"
#include "platform/memory_pages.hpp"
#include "platform/process.hpp"
#include "program/batch_plan.hpp"
#include "program/command_line.hpp"
#include "program/console.hpp"
#include "program/file_conversion.hpp"
#include "program/run.hpp"

namespace py = pybind11;

namespace tnx {
namespace {

// Set once to stop every call that was handed it.
struct Cancel {
  std::atomic<bool> set{false};
};

// The calls of another FileIo, which fail with ECANCELED once `cancel` is
// set: a read that fails ends the conversion, and a conversion whose read
// or write failed never puts its row file in place.
class CancellableIo final : public FileIo {
 public:
  CancellableIo(FileIo& io, const Cancel* cancel) : io_(io), cancel_(cancel) {}

  IoResult identify(int fd, FileId& id) override {
    return io_.identify(fd, id);
  }
  IoResult create_scratch() override { return io_.create_scratch(); }
  IoResult read(int fd, char* buffer, std::size_t size) override {
    if (cancelled()) return {0, ECANCELED};
    return note(io_.read(fd, buffer, size), read_error_);
  }
  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    if (cancelled()) return {0, ECANCELED};
    return note(io_.read_at(fd, buffer, size, offset), read_error_);
  }
  IoResult write(int fd, const char* data, std::size_t size) override {
    if (cancelled()) return {0, ECANCELED};
    return note(io_.write(fd, data, size), write_error_);
  }
  IoResult close(int fd) override { return note(io_.close(fd), write_error_); }
  [[nodiscard]] bool takes_writes_from_other_threads() const override {
    return io_.takes_writes_from_other_threads();
  }

  [[nodiscard]] bool cancelled() const {
    return cancel_ != nullptr && cancel_->set.load(std::memory_order_relaxed);
  }
  [[nodiscard]] int read_error() const { return read_error_.load(); }
  [[nodiscard]] int write_error() const { return write_error_.load(); }

 private:
  static IoResult note(IoResult r, std::atomic<int>& first) {
    int none = 0;
    if (!r.ok() && r.error != EINTR)
      (void)first.compare_exchange_strong(none, r.error);
    return r;
  }

  FileIo& io_;
  const Cancel* cancel_;
  std::atomic<int> read_error_{0};
  std::atomic<int> write_error_{0};
};

// The system's file system, its files read and written through a
// CancellableIo, and the errno value of the first failure of each side
// kept for the exception.
class CancellableFileSystem final : public FileSystem {
 public:
  CancellableFileSystem(FileSystem& fs, const Cancel* cancel)
      : fs_(fs), io_(fs.io(), cancel) {}

  FileIo& io() override { return io_; }
  IoResult open_input(const char* name) override {
    return note(fs_.open_input(name), input_error_);
  }
  IoResult open_output(const char* name) override {
    return note(fs_.open_output(name), output_error_);
  }
  IoResult inspect(const char* name, FileId& id) override {
    return fs_.inspect(name, id);
  }
  IoResult resolve_links(const char* name, std::string& target) override {
    return fs_.resolve_links(name, target);
  }
  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override {
    if (io_.cancelled()) return {0, ECANCELED};
    return note(fs_.create_temporary(target, replacing, temporary),
                output_error_);
  }
  void copy_permissions(int fd, const FileId& from) override {
    fs_.copy_permissions(fd, from);
  }
  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    if (io_.cancelled()) return {0, ECANCELED};
    return note(fs_.install(fd, temporary, target), output_error_);
  }
  void discard(int fd, const std::string& temporary) override {
    fs_.discard(fd, temporary);
  }
  IoResult truncate(int fd) override {
    return note(fs_.truncate(fd), output_error_);
  }
  IoResult make_directory(const char* name) override {
    return fs_.make_directory(name);
  }

  [[nodiscard]] int input_error() const { return input_error_; }
  [[nodiscard]] int output_error() const { return output_error_; }
  [[nodiscard]] CancellableIo& cancellable_io() { return io_; }

 private:
  static IoResult note(IoResult r, int& first) {
    if (!r.ok() && first == 0) first = r.error;
    return r;
  }

  FileSystem& fs_;
  CancellableIo io_;
  int input_error_ = 0;
  int output_error_ = 0;
};

// An input held in memory, read as a regular file that can be read again
// by offset.
class MemoryInputIo final : public FileIo {
 public:
  MemoryInputIo(const char* data, std::size_t size, const Cancel* cancel)
      : data_(data), size_(size), cancel_(cancel) {}

  IoResult identify(int /*fd*/, FileId& id) override {
    id = FileId{};
    id.kind = FileKind::regular;
    id.size = size_;
    return {0, 0};
  }
  IoResult create_scratch() override { return {0, ENOSYS}; }
  IoResult read(int fd, char* buffer, std::size_t size) override {
    const IoResult r = read_at(fd, buffer, size, offset_);
    if (r.ok()) offset_ += static_cast<std::uint64_t>(r.value);
    return r;
  }
  IoResult read_at(int /*fd*/, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    if (cancel_ != nullptr && cancel_->set.load(std::memory_order_relaxed)) {
      return {0, ECANCELED};
    }
    if (offset >= size_) return {0, 0};
    const std::size_t n =
        std::min<std::size_t>(size, size_ - static_cast<std::size_t>(offset));
    std::memcpy(buffer, data_ + offset, n);
    return {static_cast<std::int64_t>(n), 0};
  }
  IoResult write(int /*fd*/, const char* /*data*/,
                 std::size_t /*size*/) override {
    return {0, EBADF};
  }
  IoResult close(int /*fd*/) override { return {0, 0}; }

 private:
  const char* data_;
  std::size_t size_;
  std::uint64_t offset_ = 0;
  const Cancel* cancel_;
};

// A NumPy array that takes over `array`'s memory.
template <class T>
py::array_t<T> to_numpy(HeapArray<T>& array, std::size_t rows) {
  if (array.empty()) return py::array_t<T>(static_cast<py::ssize_t>(0));
  T* data = array.release();
  py::capsule owner(data, [](void* p) { std::free(p); });
  return py::array_t<T>({static_cast<py::ssize_t>(rows)}, {sizeof(T)}, data,
                        owner);
}

const char* keyword_name(HeaderKeyword keyword) {
  switch (keyword) {
    case HeaderKeyword::points: return "points";
    case HeaderKeyword::events: return "events";
    case HeaderKeyword::none: break;
  }
  return "";
}

// The arrays and tables as a dict; error: the errno value, 0 when none.
py::dict to_python(ScanArrays& scan) {
  py::dict out;
  out["label"] = to_numpy(scan.label, scan.rows);
  out["column"] = to_numpy(scan.column, scan.rows);
  out["point"] = to_numpy(scan.point, scan.rows);
  out["events"] = to_numpy(scan.events, scan.rows);
  out["value"] = to_numpy(scan.value, scan.rows);
  py::array_t<double> points(MAX_COLUMNS);
  std::copy(scan.tables.points.begin(), scan.tables.points.end(),
            points.mutable_data());
  py::array_t<std::uint32_t> events(MAX_COLUMNS);
  std::copy(scan.tables.events.begin(), scan.tables.events.end(),
            events.mutable_data());
  out["points"] = points;
  out["events_table"] = events;
  py::list counts;
  for (int i = 0; i < scan.tables.summaries; ++i) {
    const auto& c = scan.tables.counts[static_cast<std::size_t>(i)];
    counts.append(py::make_tuple(keyword_name(c.keyword), c.count));
  }
  out["counts"] = counts;
  out["console"] = py::bytes(scan.console);
  out["error"] = scan.error;
  return out;
}

// Reads the file `name` (a file system path as bytes). The dict has
// "error" and "opened" (false when the file could not be opened).
py::dict read_path(const std::string& name, Cancel* cancel) {
  ScanArrays scan;
  bool opened = false;
  CappedText console;
  {
    py::gil_scoped_release unlocked;
    FileSystem& fs = system_file_system();
    CancellableIo io(fs.io(), cancel);
    const IoResult in = fs.open_input(name.c_str());
    if (!in.ok()) {
      scan.error = in.error;
    } else {
      opened = true;
      const int fd = static_cast<int>(in.value);
      ConversionInput input{fd, {}, true};
      const IoResult known = io.identify(fd, input.id);
      if (!known.ok()) {
        scan.error = known.error;
      } else if (input.id.kind == FileKind::directory) {
        scan.error = EISDIR;
      } else {
        CappedTextOutput text(console);
        scan = read_arrays(io, input, text, {}, CHUNK_ROWS,
                           {allocate_in_large_pages});
      }
      (void)io.close(fd);
    }
  }
  scan.console = console.take();
  py::dict out = to_python(scan);
  out["opened"] = opened;
  return out;
}

// Reads a scan held in memory (any object with the buffer protocol).
py::dict read_buffer(const py::buffer& source, Cancel* cancel) {
  const py::buffer_info info = source.request();
  ScanArrays scan;
  CappedText console;
  {
    py::gil_scoped_release unlocked;
    MemoryInputIo io(static_cast<const char*>(info.ptr),
                     static_cast<std::size_t>(info.size * info.itemsize),
                     cancel);
    ConversionInput input{0, {}, true};
    (void)io.identify(0, input.id);
    CappedTextOutput text(console);
    scan =
        read_arrays(io, input, text, {}, CHUNK_ROWS, {allocate_in_large_pages});
  }
  scan.console = console.take();
  py::dict out = to_python(scan);
  out["opened"] = true;
  return out;
}

// Converts `input` into `output` as a single run does. Returns the status
// (RunStatus as an int), the console text (each line cut as CappedText
// cuts it), the failure lines, and the errno value and the side ("input"
// or "output") of the failure.
py::tuple convert_one(const std::string& input, const std::string& output,
                      Cancel* cancel) {
  RunStatus status = RunStatus::ok;
  CappedText text;
  std::string errors;
  int error = 0;
  const char* side = "";
  {
    py::gil_scoped_release unlocked;
    CancellableFileSystem fs(system_file_system(), cancel);
    // The console moves its text to the CappedText as it grows, so the
    // echo of a long header line is never held whole.
    CappedScratchIo console_io(text);
    {
      Console console(console_io, false);
      status = convert_file(input.c_str(), output.c_str(), fs, console);
      text.add(console.take_text().memory());
      errors = console.take_errors();
    }
    switch (status) {
      case RunStatus::input_not_opened:
        error = fs.input_error();
        side = "input";
        break;
      case RunStatus::read_failed:
        error = fs.cancellable_io().read_error();
        side = "input";
        break;
      case RunStatus::output_not_opened:
      case RunStatus::write_failed:
        error = fs.output_error() != 0 ? fs.output_error()
                                       : fs.cancellable_io().write_error();
        side = "output";
        break;
      default: break;
    }
    if (status != RunStatus::ok && error == 0 &&
        fs.cancellable_io().cancelled()) {
      error = ECANCELED;
    }
  }
  return py::make_tuple(static_cast<int>(status), py::bytes(text.take()),
                        py::bytes(errors), error, side);
}

// The command line's run, with the arguments as bytes; returns the exit
// status. Standard output and error are written directly.
int run_command_line(const std::vector<std::string>& arguments) {
  py::gil_scoped_release unlocked;
  if (!open_standard_streams()) return 1;
  std::vector<const char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return exit_code(
      run(parse_command_line(static_cast<int>(arguments.size()), argv.data()),
          system_file_system()));
}

}  // namespace
}  // namespace tnx

PYBIND11_MODULE(_core, m) {
  m.doc() =
      "The engine of the tarnovelix package (use the package's functions).";
  m.attr("version") = TNX_VERSION;
  m.attr("MAX_COLUMNS") = tnx::MAX_COLUMNS;
  py::class_<tnx::Cancel>(m, "Cancel",
                          "A flag that stops the calls it is handed.")
      .def(py::init<>())
      .def(
          "set", [](tnx::Cancel& c) { c.set.store(true); },
          "Stops every call handed this flag at its next read or write.")
      .def_property_readonly("is_set",
                             [](const tnx::Cancel& c) { return c.set.load(); });
  m.def("read_path", &tnx::read_path, py::arg("name"),
        py::arg("cancel") = nullptr,
        "Reads the scan file `name` (bytes) into arrays.");
  m.def("read_buffer", &tnx::read_buffer, py::arg("source"),
        py::arg("cancel") = nullptr,
        "Reads a scan held in memory into arrays.");
  m.def(
      "convert", &tnx::convert_one, py::arg("input"), py::arg("output"),
      py::arg("cancel") = nullptr,
      "Converts `input` into the row file `output` as the command line does.");
  m.def(
      "row_file_name",
      [](const std::string& input, const std::string& output_dir) {
        return py::bytes(tnx::row_file_name(input, output_dir));
      },
      py::arg("input"), py::arg("output_dir"),
      "The row file the batch writes for `input` (bytes) into `output_dir` "
      "(empty: beside it).");
  m.def(
      "refused_row_files",
      [](const std::vector<std::string>& inputs,
         const std::string& output_dir) {
        tnx::NameList names;
        for (const std::string& input : inputs) names.add(input);
        const tnx::BatchPlan plan =
            tnx::plan_batch(tnx::system_file_system(), names, output_dir);
        py::dict reasons;
        for (const auto& [index, earlier] : plan.refused) {
          reasons[py::int_(index)] =
              py::bytes(tnx::refusal_reason(plan, index));
        }
        return reasons;
      },
      py::arg("inputs"), py::arg("output_dir"),
      "The inputs (bytes) the batch refuses, because an earlier one writes "
      "their row file in `output_dir` or it is an input of the batch: "
      "refused index -> the reason (bytes).");
  m.def("run_command_line", &tnx::run_command_line, py::arg("arguments"),
        "Runs the command line with `arguments` (argv, bytes); returns the "
        "exit status.");
}
