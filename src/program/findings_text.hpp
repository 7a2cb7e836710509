// The report of what a conversion passed over or changed in its input
// (--report): one line per finding kept, "tarnovelix: NAME:LINE: WHAT",
// then a line with the count of each kind, for standard error. Nothing for
// a file without findings.
#pragma once

#include <string>
#include <string_view>

#include "engine/report/findings.hpp"
#include "program/console.hpp"

namespace tnx {

// finding_text()
//
// What `finding` says, after "NAME:LINE: ".
[[nodiscard]] std::string finding_text(const Finding& finding);

// findings_summary()
//
// The report's last line after "NAME: ": the count of every finding and of
// each kind found, "3 findings (lines without rows: 2, ...)". Empty for
// none.
[[nodiscard]] std::string findings_summary(const Findings& findings);

// tell_findings()
//
// Adds the report of `findings` for the input `name` to the reason lines
// of `console`.
void tell_findings(Console& console, std::string_view name,
                   const Findings& findings);

}  // namespace tnx
