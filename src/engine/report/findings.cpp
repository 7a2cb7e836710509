// The report: what the passes saw in each line, as findings.
#include "engine/report/findings.hpp"

#include <algorithm>
#include <cstring>

#include "engine/data_line.hpp"
#include "engine/number_scan.hpp"

namespace tnx {
namespace {

// A sink of the data-line scanner that keeps no rows: only the scan's
// watch is wanted.
struct NoRows {
  using Label = std::int32_t;
  struct Rows {
    int taken = 0;
    [[nodiscard]] bool full() const noexcept { return taken == MAX_COLUMNS; }
    [[nodiscard]] int count() const noexcept { return taken; }
    void append_digits(const char* /*digits*/, std::size_t /*n*/) noexcept {
      ++taken;
    }
    void append_value(std::uint32_t /*value*/) noexcept { ++taken; }
  };
  static bool label_from_text(const char* /*text*/, std::size_t digits,
                              bool /*negative*/, Label& /*label*/) noexcept {
    // Up to nine digits a label is surely within 32 bits.
    return digits - 1 < 9;
  }
  static void label_from_value(std::int32_t /*value*/,
                               Label& /*label*/) noexcept {}
  static Rows rows(const Label& /*label*/) noexcept { return {}; }
  static void commit(const Rows& /*rows*/) noexcept {}
};

// Keeps the bytes from `first` up to the next white space or NUL, cut to
// Finding::TEXT_BYTES, or the bytes [first, last) when `last` is given.
void keep_text(Finding& finding, const char* first,
               const char* last = nullptr) noexcept {
  const char* p = first;
  const char* const limit = first + Finding::TEXT_BYTES;
  if (last == nullptr) {
    while (p != limit && *p != '\0' && !is_space(*p)) ++p;
    finding.text_cut = p == limit && *p != '\0' && !is_space(*p);
  } else {
    p = std::min(last, limit);
    finding.text_cut = p != last;
  }
  finding.text_size = static_cast<std::uint8_t>(p - first);
  std::memcpy(finding.text.data(), first, finding.text_size);
}

}  // namespace

LineScan scan_line_for_report(const Line& line) noexcept {
  LineScan scan;
  NoRows sink;
  scan_data_line(line, sink, scan);
  return scan;
}

void Findings::header_line(std::uint64_t number, HeaderKeyword keyword,
                           int count) noexcept {
  if (count > 0) return;
  Finding finding;
  finding.kind = FindingKind::header_count;
  finding.line = number;
  finding.keyword = keyword;
  finding.count = count;
  note(finding);
}

void Findings::header_over(const ColumnTables& tables) noexcept {
  // A slot is filled when any line of its keyword gave that many numbers.
  bool points_line = false;
  bool events_line = false;
  for (int i = 0; i < tables.summaries; ++i) {
    const ColumnTables::Count& read =
        tables.counts[static_cast<std::size_t>(i)];
    const bool points = read.keyword == HeaderKeyword::points;
    (points ? points_line : events_line) = true;
    int& filled = points ? points_filled_ : events_filled_;
    filled = std::max(filled, read.count);
  }
  for (const auto& [keyword, seen] :
       {std::pair{HeaderKeyword::points, points_line},
        std::pair{HeaderKeyword::events, events_line}}) {
    if (seen) continue;
    Finding finding;
    finding.kind = FindingKind::header_missing;
    finding.keyword = keyword;
    note(finding);
  }
}

void Findings::data_line(const Line& line, std::uint64_t number) noexcept {
  data_line_scanned(line, number, scan_line_for_report(line));
}

void Findings::data_line_scanned(const Line& line, std::uint64_t number,
                                 const LineScan& scan) noexcept {
  if (scan.blank) return;
  Finding finding;
  finding.line = number;
  // A stop at the NUL is the NUL's finding alone.
  const bool stopped_at_text = scan.stop != nullptr && scan.stop != scan.nul;
  if (scan.values == 0 || stopped_at_text) {
    finding.kind = scan.values == 0        ? FindingKind::no_rows
                   : scan.stopped_at_count ? FindingKind::past_max_columns
                                           : FindingKind::text_in_values;
    finding.count = scan.values == 0 ? (scan.has_label ? 1 : 0) : scan.values;
    finding.column = scan.values + 1;
    if (stopped_at_text) keep_text(finding, scan.stop);
    note(finding);
  }
  if (scan.values > std::min(points_filled_, events_filled_)) {
    Finding past;
    past.kind = FindingKind::past_header;
    past.line = number;
    past.count = scan.values;
    past.points_filled = points_filled_;
    past.events_filled = events_filled_;
    note(past);
  }
  if (scan.wrap_first != nullptr) {
    Finding wrap;
    wrap.kind = FindingKind::wrapped;
    wrap.line = number;
    wrap.column = scan.wrap_column;
    wrap.result = scan.wrap_result;
    keep_text(wrap, scan.wrap_first, scan.wrap_last);
    note(wrap);
  }
  note_nul(line, scan.nul, number);
}

void Findings::header_text(const Line& line, std::uint64_t number) noexcept {
  note_nul(line,
           static_cast<const char*>(std::memchr(line.text, '\0', line.size)),
           number);
}

void Findings::note_nul(const Line& line, const char* nul,
                        std::uint64_t number) noexcept {
  if (nul == nullptr) return;
  Finding finding;
  finding.kind = FindingKind::nul_byte;
  finding.line = number;
  finding.offset = static_cast<std::uint64_t>(nul - line.text) + 1;
  note(finding);
}

std::uint64_t Findings::total() const noexcept {
  std::uint64_t sum = 0;
  for (const std::uint64_t of_kind : counts_) sum += of_kind;
  return sum;
}

void Findings::note(const Finding& finding) noexcept {
  std::uint64_t& of_kind = counts_[static_cast<std::size_t>(finding.kind)];
  if (++of_kind <= SHOWN_PER_KIND) shown_[shown_size_++] = finding;
}

}  // namespace tnx
