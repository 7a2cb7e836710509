// What the report of a read gives Python: the findings the command line's
// --report shows, each with the text it prints for it, and the count of
// every kind. The findings come from the engine's own report (the notes
// of the passes a read runs), their texts from the program's report, so
// that Python and the command line say the same, byte for byte.
#pragma once

#include <pybind11/pybind11.h>

#include "engine/report/findings.hpp"

namespace tnx {

// The findings of one read, as Python takes them.
struct ReadFindings {
  // Each finding kept (the first SHOWN_PER_KIND of each kind), in the order
  // of the input: (kind, line, column, text), the kind by its name in
  // FINDING_KINDS, the line None for the file as a whole, the column as
  // Finding has it, the text as --report prints it after "NAME:LINE: ".
  pybind11::tuple shown;
  // The count of each kind, in the order of FINDING_KINDS.
  pybind11::tuple counts;
  // The report's last line after "NAME: "; empty for no findings.
  pybind11::str summary;
};

// findings_of()
//
// What `findings` hold, for Python (the GIL held).
[[nodiscard]] ReadFindings findings_of(const Findings& findings);

// bind_findings()
//
// Adds ReadFindings and FINDING_KINDS, the kinds' names, to `m`.
void bind_findings(pybind11::module_& m);

}  // namespace tnx
