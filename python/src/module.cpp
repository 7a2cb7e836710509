// The extension module of the Python package: reads scans into NumPy
// arrays with the engine, and converts with the program's own conversion
// and batch. Every call that reads or writes files releases the GIL, so
// Python threads read many files at once; a Cancel flag shared with the
// calls stops them at their next read or write (an interrupt in Python).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "cancellable_files.hpp"
#include "capped_text.hpp"
#include "engine/arrays/scan_arrays.hpp"
#include "findings_binding.hpp"
#include "frame_columns.hpp"
#include "header_texts.hpp"
#include "platform/file_system.hpp"
#include "platform/memory_pages.hpp"
#include "platform/process.hpp"
#include "program/batch_plan.hpp"
#include "program/command_line.hpp"
#include "program/console.hpp"
#include "program/file_conversion.hpp"
#include "program/input_file.hpp"
#include "program/run.hpp"
#include "python_file_io.hpp"
#include "scan_grid_bindings.hpp"

namespace py = pybind11;

namespace tnx {
namespace {

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

// What a read gives Python: the arrays of the rows, the number of each
// line that gave rows, the header's tables, the console text, the comment
// lines and the dropped line (None: the input had none), the errno value of
// a failure (0: none), and the findings of a read with a report (None
// without).
struct ReadResult {
  py::array label, column, point, events, value, lines;
  py::array points, events_table;
  py::tuple counts;
  py::bytes console;
  py::tuple comments;
  py::object dropped = py::none();
  int error = 0;
  // The decoder's words for a damaged packed input; empty: the system's
  // text for `error`.
  py::bytes reason;
  py::object findings = py::none();
};

void add_header_texts(ReadResult& out, const KeptHeaderTexts& texts) {
  py::tuple comments(texts.comments().size());
  for (std::size_t i = 0; i < texts.comments().size(); ++i) {
    comments[i] = py::bytes(texts.comments()[i]);
  }
  out.comments = comments;
  if (texts.has_dropped()) out.dropped = py::bytes(texts.dropped());
}

ReadResult to_python(ScanArrays& scan, const std::string& console,
                     const KeptHeaderTexts& texts, std::string_view reason) {
  ReadResult out;
  out.reason = py::bytes(reason.data(), reason.size());
  add_header_texts(out, texts);
  out.lines = to_numpy(scan.line_number, scan.lines);
  out.label = to_numpy(scan.label, scan.rows);
  out.column = to_numpy(scan.column, scan.rows);
  out.point = to_numpy(scan.point, scan.rows);
  out.events = to_numpy(scan.events, scan.rows);
  out.value = to_numpy(scan.value, scan.rows);
  py::array_t<double> points(MAX_COLUMNS);
  std::copy(scan.tables.points.begin(), scan.tables.points.end(),
            points.mutable_data());
  py::array_t<std::uint32_t> events(MAX_COLUMNS);
  std::copy(scan.tables.events.begin(), scan.tables.events.end(),
            events.mutable_data());
  out.points = points;
  out.events_table = events;
  py::tuple counts(static_cast<std::size_t>(scan.tables.summaries));
  for (int i = 0; i < scan.tables.summaries; ++i) {
    const auto& c = scan.tables.counts[static_cast<std::size_t>(i)];
    counts[static_cast<std::size_t>(i)] =
        py::make_tuple(keyword_name(c.keyword), c.count);
  }
  out.counts = counts;
  out.console = py::bytes(console);
  out.error = scan.error;
  return out;
}

// The findings a read with a report noted, else None.
py::object findings_or_none(const Findings* findings) {
  if (findings == nullptr) return py::none();
  return py::cast(findings_of(*findings));
}

// Reads the input `fs` opens as `name` (`dash`: what "-" stands for),
// noting its findings when `report` is set.
ReadResult read_named(FileSystem& fs, const char* name, DashName dash,
                      Cancel* cancel, bool report) {
  Findings findings;
  Findings* notes = report ? &findings : nullptr;
  ScanArrays scan;
  CappedText console;
  KeptHeaderTexts texts;
  std::string damage;
  {
    py::gil_scoped_release unlocked;
    CancellableFileSystem cancellable(fs, cancel);
    InputFile in(cancellable, name, dash);
    if (in.error() != 0) {
      scan.error = in.error();
    } else {
      CappedTextOutput text(console);
      scan = read_arrays(in.io(), in.input(), text, {}, CHUNK_ROWS,
                         {allocate_in_large_pages}, {notes, &texts});
      in.close();
      if (scan.error != 0) damage = in.damage();
    }
  }
  ReadResult out = to_python(scan, console.take(), texts, damage);
  out.findings = findings_or_none(notes);
  return out;
}

// Reads the file `name` (a file system path as bytes; "-" is a file of
// that name).
ReadResult read_path(const std::string& name, Cancel* cancel, bool report) {
  return read_named(system_file_system(), name.c_str(), DashName::file, cancel,
                    report);
}

// The identity of a Python input: that of the file it reads where known
// (`device`, `inode`: 0 when not), so that no conversion writes over it;
// a stream, of unknown size.
FileId object_id(std::uint64_t device, std::uint64_t inode) {
  FileId id;
  id.device = device;
  id.inode = inode;
  id.kind = FileKind::other;
  return id;
}

// Runs `use` on a file system whose one input is `source`: a scan held in
// memory (any object with the buffer protocol), or else a binary file
// object read block by block (`device`, `inode`: the file it reads, where
// known). Raises what the file object's reads raised.
template <class Use>
auto on_object_input(const py::object& source, std::uint64_t device,
                     std::uint64_t inode, Cancel* cancel, Use use) {
  if (py::isinstance<py::buffer>(source)) {
    const py::buffer_info info = py::buffer(source).request();
    MemoryInputIo io(static_cast<const char*>(info.ptr),
                     static_cast<std::size_t>(info.size * info.itemsize),
                     cancel);
    OneInputFileSystem fs(system_file_system(), io, io.id());
    return use(fs);
  }
  PythonFileIo io(source, cancel);
  OneInputFileSystem fs(system_file_system(), io, object_id(device, inode));
  auto result = use(fs);
  io.raise_failure();
  return result;
}

// Reads a binary file object, or a scan held in memory; packed bytes are
// read as the text they hold, as a packed file is.
ReadResult read_object(const py::object& source, std::uint64_t device,
                       std::uint64_t inode, Cancel* cancel, bool report) {
  return on_object_input(source, device, inode, cancel, [&](FileSystem& fs) {
    return read_named(fs, "", DashName::file, cancel, report);
  });
}

// What a conversion gives Python: whether it succeeded, the console text
// (each line cut as CappedText cuts it), and what failed: the file
// ("input" or "output"), the errno value and the program's reason.
struct ConvertResult {
  bool ok = true;
  py::bytes console;
  std::string failed_file;
  int error = 0;
  py::bytes reason;
};

const char* file_name(FailedFile file) {
  switch (file) {
    case FailedFile::input: return "input";
    case FailedFile::output: return "output";
    case FailedFile::none: break;
  }
  return "";
}

// Converts the input `fs` opens as `input` into `output` as a single run
// does.
ConvertResult convert_named(FileSystem& fs, const std::string& input,
                            const std::string& output, Cancel* cancel) {
  ConversionOutcome outcome;
  CappedText text;
  {
    py::gil_scoped_release unlocked;
    CancellableFileSystem cancellable(fs, cancel);
    // The console moves its text to the CappedText as it grows, so the
    // echo of a long header line is never held whole.
    CappedScratchIo console_io(text);
    Console console(console_io, ConsoleMode::collect);
    outcome = convert_file(input.c_str(), output.c_str(), cancellable, console);
    text.add(console.take_text().memory());
  }
  ConvertResult out;
  out.ok = outcome.status == RunStatus::ok;
  out.console = py::bytes(text.take());
  if (!out.ok) {
    const ConversionFailure& failure = outcome.failure;
    out.failed_file = file_name(failure.file);
    // Every failure of a conversion is told with its errno value; EINVAL
    // stands for one that had none.
    out.error = failure.error != 0 ? failure.error : EINVAL;
    out.reason = py::bytes(failure.reason);
  }
  return out;
}

// Converts `input` into `output` as a single run does.
ConvertResult convert_one(const std::string& input, const std::string& output,
                          Cancel* cancel) {
  return convert_named(system_file_system(), input, output, cancel);
}

// Converts a binary file object, or a scan held in memory, into `output`;
// `name` is what the console calls the input.
ConvertResult convert_object(const py::object& source, const std::string& name,
                             const std::string& output, std::uint64_t device,
                             std::uint64_t inode, Cancel* cancel) {
  return on_object_input(source, device, inode, cancel, [&](FileSystem& fs) {
    return convert_named(fs, name, output, cancel);
  });
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

// The module's types: the cancel flag and the results of the calls.
void bind_types(py::module_& m) {
  py::class_<Cancel>(m, "Cancel", "A flag that stops the calls it is handed.")
      .def(py::init<>())
      .def(
          "set", [](Cancel& c) { c.set.store(true); },
          "Stops every call handed this flag at its next read or write.")
      .def_property_readonly("is_set",
                             [](const Cancel& c) { return c.set.load(); });
  py::class_<ReadResult>(m, "ReadResult",
                         "The arrays, tables and console text of a read.")
      .def_readonly("label", &ReadResult::label)
      .def_readonly("column", &ReadResult::column)
      .def_readonly("point", &ReadResult::point)
      .def_readonly("events", &ReadResult::events)
      .def_readonly("value", &ReadResult::value)
      .def_readonly("lines", &ReadResult::lines)
      .def_readonly("comments", &ReadResult::comments)
      .def_readonly("dropped", &ReadResult::dropped)
      .def_readonly("points", &ReadResult::points)
      .def_readonly("events_table", &ReadResult::events_table)
      .def_readonly("counts", &ReadResult::counts)
      .def_readonly("console", &ReadResult::console)
      .def_readonly("error", &ReadResult::error)
      .def_readonly("reason", &ReadResult::reason)
      .def_readonly("findings", &ReadResult::findings);
  py::class_<ConvertResult>(m, "ConvertResult",
                            "The console text of a conversion and its failure.")
      .def_readonly("ok", &ConvertResult::ok)
      .def_readonly("console", &ConvertResult::console)
      .def_readonly("failed_file", &ConvertResult::failed_file)
      .def_readonly("error", &ConvertResult::error)
      .def_readonly("reason", &ConvertResult::reason);
}

// The calls that read or convert a source that is no name: a binary file
// object, standard input, a scan held in memory (converted).
void bind_object_sources(py::module_& m) {
  m.def("read_file_object", &read_object, py::arg("file"),
        py::arg("device") = 0, py::arg("inode") = 0,
        py::arg("cancel") = nullptr, py::arg("report") = false,
        "Reads a binary file object block by block into arrays; `device` "
        "and `inode`: the file it reads, where known.");
  m.def(
      "read_standard_input",
      [](Cancel* cancel, bool report) {
        return read_named(system_file_system(), "-", DashName::standard_input,
                          cancel, report);
      },
      py::arg("cancel") = nullptr, py::arg("report") = false,
      "Reads standard input into arrays.");
  m.def("convert_object", &convert_object, py::arg("source"), py::arg("name"),
        py::arg("output"), py::arg("device") = 0, py::arg("inode") = 0,
        py::arg("cancel") = nullptr,
        "Converts a binary file object or a scan held in memory into the "
        "row file `output`; `name` is the input's name in the console text.");
}

}  // namespace
}  // namespace tnx

PYBIND11_MODULE(_core, m) {
  m.doc() =
      "The engine of the tarnovelix package (use the package's functions).";
  m.attr("version") = TNX_VERSION;
  m.attr("MAX_COLUMNS") = tnx::MAX_COLUMNS;
  tnx::bind_types(m);
  tnx::bind_object_sources(m);
  tnx::bind_findings(m);
  tnx::bind_scan_grid(m);
  tnx::bind_frame_columns(m);
  m.def("read_path", &tnx::read_path, py::arg("name"),
        py::arg("cancel") = nullptr, py::arg("report") = false,
        "Reads the scan file `name` (bytes) into arrays, with its findings "
        "when `report` is set.");
  m.def(
      "read_buffer",
      [](const py::buffer& source, tnx::Cancel* cancel, bool report) {
        return tnx::read_object(source, 0, 0, cancel, report);
      },
      py::arg("source"), py::arg("cancel") = nullptr, py::arg("report") = false,
      "Reads a scan held in memory into arrays, with its findings when "
      "`report` is set.");
  m.def(
      "convert", &tnx::convert_one, py::arg("input"), py::arg("output"),
      py::arg("cancel") = nullptr,
      "Converts `input` into the row file `output` as the command line does.");
  m.def(
      "row_file_name",
      [](const std::string& input, const std::string& output_dir,
         const std::string& packing) {
        return py::bytes(tnx::row_file_name(input, output_dir, packing));
      },
      py::arg("input"), py::arg("output_dir"), py::arg("packing") = "",
      "The row file the batch writes for `input` (bytes) into `output_dir` "
      "(empty: beside it), `packing` (\".gz\", \".zst\" or empty) after "
      "\".ntp\".");
  m.def(
      "refused_row_files",
      [](const std::vector<std::string>& inputs, const std::string& output_dir,
         const std::string& packing) {
        tnx::NameList names;
        for (const std::string& input : inputs) names.add(input);
        const tnx::BatchPlan plan = tnx::plan_batch(tnx::system_file_system(),
                                                    names, output_dir, packing);
        py::dict reasons;
        for (const auto& [index, earlier] : plan.refused) {
          reasons[py::int_(index)] =
              py::bytes(tnx::refusal_reason(plan, index));
        }
        return reasons;
      },
      py::arg("inputs"), py::arg("output_dir"), py::arg("packing") = "",
      "The inputs (bytes) the batch refuses, because an earlier one writes "
      "their row file in `output_dir` or it is an input of the batch: "
      "refused index -> the reason (bytes).");
  m.def("run_command_line", &tnx::run_command_line, py::arg("arguments"),
        "Runs the command line with `arguments` (argv, bytes); returns the "
        "exit status.");
}
