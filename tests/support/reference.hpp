// A slow, plain model of the conversion, written straight from the number
// syntax, the header rules and the row format, for the tests, the fault tests
// and the fuzz harnesses to compare the real pipeline with, and for
// tnx_reference to write and check end-to-end expectations by. It works on
// whole strings and indexes, with no buffers, no padding and no fast paths:
// integers are reduced modulo 2^32 with explicit 64-bit arithmetic, the
// rounding of reals is left to strtod on the extent found, and every row is
// one snprintf. It shares no code with the converter, only the enum of scan
// outcomes and the shape of the column tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/header.hpp"
#include "engine/number_scan.hpp"

namespace tnx::test {

[[nodiscard]] bool ref_is_space(char c);
[[nodiscard]] bool ref_is_digit(char c);

template <typename T>
struct RefScan {
  ScanStatus status = ScanStatus::no_number;
  // Offset just past the number when status is ok, the start otherwise.
  std::size_t end = 0;
  T value{};
};

// Integer: white space, an optional sign, at least one digit. The value is
// the digits modulo 2^32, negated modulo 2^32 after a minus sign.
[[nodiscard]] RefScan<std::uint32_t> ref_scan_u32(std::string_view s,
                                                  std::size_t pos);

// The same 32 bits read as two's complement.
[[nodiscard]] RefScan<std::int32_t> ref_scan_i32(std::string_view s,
                                                 std::size_t pos);

// Real: white space, an optional sign, digits with at most one point (at
// least one digit), then optionally e or E, an optional sign and digits; the
// letter and sign are taken even without digits after them, but then leave
// the value alone.
[[nodiscard]] RefScan<double> ref_scan_double(std::string_view s,
                                              std::size_t pos);

// As a formatted scan with `max` directives: the count stored, or -1 when
// only white space came before the end.
template <typename T, typename Scan>
int ref_scan_list(std::string_view s, T* values, int max, Scan scan) {
  int count = 0;
  std::size_t pos = 0;
  while (count < max) {
    const RefScan<T> r = scan(s, pos);
    if (r.status == ScanStatus::end_of_text) return count == 0 ? -1 : count;
    if (r.status != ScanStatus::ok) return count;
    values[count++] = r.value;
    pos = r.end;
  }
  return count;
}

// Appends the rows of one data line to `rows`, each ended by `row_end`: none
// unless the text starts with an integer label, then one per integer after
// it, up to MAX_COLUMNS. A NUL ends the text.
void append_reference_rows(std::string& rows, std::string_view text,
                           const ColumnTables& tables,
                           std::string_view row_end);

// The console text and the row file of one conversion.
struct Conversion {
  std::string console;
  std::string rows;
};

// The conversion of `input`: the header echo and summaries of the first
// HEADER_LINES lines, nothing of the line after them, and the rows of every
// later line. Console lines and rows end in LF, as in the end-to-end
// expectations.
[[nodiscard]] Conversion reference_convert(std::string_view input);

}  // namespace tnx::test
