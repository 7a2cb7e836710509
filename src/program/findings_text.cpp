// The --report lines of a conversion, for standard error.
#include "program/findings_text.hpp"

#include <array>
#include <cstdint>

#include "engine/limits.hpp"

namespace tnx {
namespace {

std::string_view keyword_text(HeaderKeyword keyword) {
  return keyword == HeaderKeyword::points ? "\"points\"" : "\"events\"";
}

// The input's bytes in quotes, each byte that is not printable ASCII (or is
// a quote or a backslash) as \xHH, so that no byte of the input can reach
// the terminal as a control.
std::string quoted(const Finding& finding) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string text = "\"";
  for (std::size_t i = 0; i < finding.text_size; ++i) {
    const auto byte = static_cast<unsigned char>(finding.text[i]);
    if (byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      text += "\\x";
      text += hex[byte >> 4];
      text += hex[byte & 15];
    }
  }
  if (finding.text_cut) text += "...";
  text += '"';
  return text;
}

// "column 41 gets", or "columns 41 to 50 get".
std::string columns_text(int first, int last) {
  if (first == last) return "column " + std::to_string(first) + " gets ";
  return "columns " + std::to_string(first) + " to " + std::to_string(last) +
         " get ";
}

std::string past_header_text(const Finding& finding) {
  const int points = finding.points_filled;
  const int events = finding.events_filled;
  const int count = finding.count;
  std::string text =
      std::to_string(count) + (count == 1 ? " value" : " values") +
      ", more than the header gave (points " + std::to_string(points) +
      ", events " + std::to_string(events) + "): ";
  if (points == events) {
    return text + columns_text(points + 1, count) +
           "coordinate 0 and events number 0";
  }
  if (count > points) text += columns_text(points + 1, count) + "coordinate 0";
  if (count > points && count > events) text += "; ";
  if (count > events) {
    text += columns_text(events + 1, count) + "events number 0";
  }
  return text;
}

std::string wrapped_text(const Finding& finding) {
  if (finding.column == 0) {
    return "label " + quoted(finding) +
           " is outside the 32-bit range: it reads as " +
           std::to_string(static_cast<std::int32_t>(finding.result));
  }
  const bool negative = finding.text_size > 0 && finding.text[0] == '-';
  return "value " + quoted(finding) + " in column " +
         std::to_string(finding.column) +
         (negative ? " is negative" : " is outside the 32-bit range") +
         ": it reads as " + std::to_string(finding.result);
}

std::string no_rows_text(const Finding& finding) {
  const bool has_text = finding.text_size > 0;
  if (finding.count == 0) {
    return has_text ? "gives no rows: it starts with " + quoted(finding)
                    : "gives no rows: it starts with a NUL byte";
  }
  return has_text ? "gives no rows: a label, then " + quoted(finding)
                  : "gives no rows: a label and no value";
}

// The kinds as the summary names them, in the order of FindingKind.
constexpr std::array<std::string_view, FINDING_KINDS> KIND_NAMES = {
    "lines without rows",
    "lines whose values stop at text",
    "lines of more than 100 values",
    "lines past the header's columns",
    "lines with a wrapped number",
    "lines with a NUL byte",
    "keyword lines without numbers",
    "keyword lines missing",
};

}  // namespace

std::string finding_text(const Finding& finding) {
  switch (finding.kind) {
    case FindingKind::no_rows: return no_rows_text(finding);
    case FindingKind::text_in_values:
      return "values stop at " + quoted(finding) + " in column " +
             std::to_string(finding.column) +
             ": the rest of the line gives no rows";
    case FindingKind::past_max_columns:
      return "more than " + std::to_string(MAX_COLUMNS) +
             " values: the rest of the line from " + quoted(finding) +
             " is passed over";
    case FindingKind::past_header: return past_header_text(finding);
    case FindingKind::wrapped: return wrapped_text(finding);
    case FindingKind::nul_byte:
      return "a NUL byte at byte " + std::to_string(finding.offset) +
             " ends the line's text";
    case FindingKind::header_count:
      return "the " + std::string(keyword_text(finding.keyword)) +
             " line gives no numbers (count " + std::to_string(finding.count) +
             (finding.count < 0 ? "): nothing follows its keyword"
                                : "): text that is no number follows its "
                                  "keyword");
    case FindingKind::header_missing:
      return "no " + std::string(keyword_text(finding.keyword)) +
             " line in the header: every " +
             (finding.keyword == HeaderKeyword::points ? "coordinate"
                                                       : "events number") +
             " is 0";
  }
  return {};
}

std::string findings_summary(const Findings& findings) {
  const std::uint64_t total = findings.total();
  if (total == 0) return {};
  std::string summary =
      std::to_string(total) + (total == 1 ? " finding (" : " findings (");
  bool first = true;
  for (std::size_t kind = 0; kind < FINDING_KINDS; ++kind) {
    const std::uint64_t count = findings.count(static_cast<FindingKind>(kind));
    if (count == 0) continue;
    if (!first) summary += ", ";
    first = false;
    summary += KIND_NAMES[kind];
    summary += ": ";
    summary += std::to_string(count);
  }
  summary += ')';
  return summary;
}

void tell_findings(Console& console, std::string_view name,
                   const Findings& findings) {
  if (findings.total() == 0) return;
  std::string where;
  for (const Finding& finding : findings.shown()) {
    where.assign(name);
    if (finding.line != 0) {
      where += ':';
      where += std::to_string(finding.line);
    }
    console.report(where, finding_text(finding));
  }
  console.report(name, findings_summary(findings));
}

}  // namespace tnx
