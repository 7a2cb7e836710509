// A slow, plain model of the conversion, written straight from the input
// syntax, for the harnesses to compare the real pipeline against. It works on
// whole strings and indexes, with no buffers, no padding and no fast paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tnx::reference {

enum class Outcome { ok, end_of_text, no_number };

// One scanned number: where it stopped (index into the text, the start
// position unless `outcome` is ok) and its value.
struct Scanned {
  Outcome outcome = Outcome::no_number;
  std::size_t end = 0;
  std::uint32_t bits = 0;  // for the integer scans
  double real = 0.0;       // for the real scan
};

[[nodiscard]] bool is_c_space(char c);

// Integer: white space, optional sign, at least one digit; the value is the
// digits modulo 2^32, negated modulo 2^32 after a minus sign.
[[nodiscard]] Scanned scan_integer(std::string_view text, std::size_t pos);

// Real: white space, optional sign, digits with at most one point (at least
// one digit), then optionally e or E, an optional sign and digits, the letter
// and sign taken even without digits. The value is strtod's on the extent.
[[nodiscard]] Scanned scan_real(std::string_view text, std::size_t pos);

// The console text and the row file one conversion of `input` produces.
struct Conversion {
  std::string console;
  std::string rows;
};

[[nodiscard]] Conversion convert(std::string_view input);

}  // namespace tnx::reference
