// What a conversion passed over or changed in its input, noted when the
// user asks for a report: the converter itself never complains about its
// input, so these are facts about what the rules did, never guesses. Each
// is told by the program's own rules: a data line's findings come from the
// data pass's own scan of it (a LineScan, line_scan.hpp), so the same white
// space, signs, stop rules and wrap-around hold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/column_tables.hpp"
#include "engine/line_reader.hpp"
#include "engine/line_scan.hpp"
#include "engine/passes.hpp"

namespace tnx {

enum class FindingKind : std::uint8_t {
  // A data line that is not blank and gives no rows: it starts with no
  // number, or its label is followed by no value.
  no_rows,
  // A data line whose values stop before its end at text that is no number.
  text_in_values,
  // More than MAX_COLUMNS values, or text after the last: passed over.
  past_max_columns,
  // More values than the header's points or events lines filled: those
  // columns get coordinate 0 or events number 0.
  past_header,
  // A label or value outside its 32-bit range, or a negative value: it
  // wraps around.
  wrapped,
  // A NUL byte inside a line, which ends the line's text.
  nul_byte,
  // A points or events line that gave a count of -1 or 0.
  header_count,
  // No points or no events line in the header at all; the last kind.
  header_missing,
};

inline constexpr std::size_t FINDING_KINDS =
    static_cast<std::size_t>(FindingKind::header_missing) + 1;

// One finding, with what its message needs.
struct Finding {
  FindingKind kind = FindingKind::no_rows;
  // The line's number in the input, from 1; 0 for the file as a whole.
  std::uint64_t line = 0;
  // The column of the value concerned, from 1; 0 for a label.
  int column = 0;
  // The values the line gave (no_rows: whether it had a label, 1 or 0), or
  // the count a header line read (header_count).
  int count = 0;
  // The keyword of a header finding.
  HeaderKeyword keyword = HeaderKeyword::none;
  // past_header: the slots the points and events lines filled.
  int points_filled = 0;
  int events_filled = 0;
  // wrapped: what the number reads as (a label's as two's complement).
  std::uint32_t result = 0;
  // nul_byte: the NUL's byte in the line, from 1.
  std::uint64_t offset = 0;
  // The input's bytes the finding is about, cut to TEXT_BYTES: the text at
  // which the values stop, or the number that wraps.
  static constexpr std::size_t TEXT_BYTES = 16;
  std::array<char, TEXT_BYTES> text{};
  std::uint8_t text_size = 0;
  bool text_cut = false;
};

// scan_line_for_report()
//
// Scans `line` (with the NUL and padding the line reader provides) with the
// data pass's scanner (data_line.hpp), keeping no rows, and says what
// happened.
[[nodiscard]] LineScan scan_line_for_report(const Line& line) noexcept;

class Findings final : public PassNotes {
 public:
  // The first findings of each kind are kept to be shown; the rest are
  // counted.
  static constexpr std::size_t SHOWN_PER_KIND = 5;

  // header_line()
  //
  // Line `number` of the header was a points or events line that read
  // `count` numbers.
  void header_line(std::uint64_t number, HeaderKeyword keyword,
                   int count) noexcept override;

  // header_text()
  //
  // Notes a NUL byte inside header line `number`, read whole: it ends the
  // line's text, as in a data line.
  void header_text(const Line& line, std::uint64_t number) noexcept override;

  // header_over()
  //
  // The header pass is over: notes a keyword without any line, and keeps
  // how many slots each table has for the data lines.
  void header_over(const ColumnTables& tables) noexcept override;

  // data_line()
  //
  // Notes what data line `number` gives besides its rows.
  void data_line(const Line& line, std::uint64_t number) noexcept override;

  // data_line_scanned()
  //
  // As data_line(), from what the data pass's scan of the line saw.
  void data_line_scanned(const Line& line, std::uint64_t number,
                         const LineScan& scan) noexcept override;

  [[nodiscard]] std::uint64_t count(FindingKind kind) const noexcept {
    return counts_[static_cast<std::size_t>(kind)];
  }
  [[nodiscard]] std::uint64_t total() const noexcept;
  // The findings kept, in the order of the input.
  [[nodiscard]] std::span<const Finding> shown() const noexcept {
    return {shown_.data(), shown_size_};
  }

 private:
  void note(const Finding& finding) noexcept;
  // Notes the NUL byte at `nul` in line `number`, if not null.
  void note_nul(const Line& line, const char* nul,
                std::uint64_t number) noexcept;

  std::array<std::uint64_t, FINDING_KINDS> counts_{};
  std::array<Finding, FINDING_KINDS * SHOWN_PER_KIND> shown_{};
  std::size_t shown_size_ = 0;
  int points_filled_ = 0;
  int events_filled_ = 0;
};

}  // namespace tnx
