// The findings of a read, handed to Python with the program's texts.
#include "findings_binding.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "program/console.hpp"
#include "program/findings_text.hpp"

namespace py = pybind11;

namespace tnx {
namespace {

// The kinds as Python names them, in the order of FindingKind.
constexpr std::array<std::string_view, FINDING_KINDS> KIND_NAMES = {
    "no_rows", "text_in_values", "past_max_columns", "past_header",
    "wrapped", "nul_byte",       "header_count",     "header_missing",
};

py::str name_of(FindingKind kind) {
  const std::string_view name = KIND_NAMES[static_cast<std::size_t>(kind)];
  return py::str(name.data(), name.size());
}

// A finding's text as --report prints it: the program's own text, its
// bytes passed through as a reason line passes them.
py::str text_of(const Finding& finding) {
  std::string text;
  add_name(finding_text(finding),
           [&text](std::string_view piece) { text += piece; });
  return py::str(text);
}

}  // namespace

ReadFindings findings_of(const Findings& findings) {
  const std::span<const Finding> kept = findings.shown();
  ReadFindings out;
  out.shown = py::tuple(kept.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const Finding& finding = kept[i];
    py::object line = py::none();
    if (finding.line != 0) line = py::int_(finding.line);
    out.shown[i] = py::make_tuple(name_of(finding.kind), line, finding.column,
                                  text_of(finding));
  }
  out.counts = py::tuple(FINDING_KINDS);
  for (std::size_t kind = 0; kind < FINDING_KINDS; ++kind) {
    out.counts[kind] = findings.count(static_cast<FindingKind>(kind));
  }
  out.summary = py::str(findings_summary(findings));
  return out;
}

void bind_findings(py::module_& m) {
  py::class_<ReadFindings>(m, "ReadFindings",
                           "The findings of a read, as --report shows them.")
      .def_readonly("shown", &ReadFindings::shown)
      .def_readonly("counts", &ReadFindings::counts)
      .def_readonly("summary", &ReadFindings::summary);
  py::tuple kinds(FINDING_KINDS);
  for (std::size_t kind = 0; kind < FINDING_KINDS; ++kind) {
    kinds[kind] = name_of(static_cast<FindingKind>(kind));
  }
  m.attr("FINDING_KINDS") = kinds;
}

}  // namespace tnx
