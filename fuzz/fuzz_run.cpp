// The whole conversion of an in-memory input through the engine, compared
// with the reference converter, once for every block size and again with a line
// limit of a few bytes: the row file, the console text and the status must
// be the same whether the input arrives a byte at a time, in odd pieces, or
// in full blocks, and whether its lines arrive whole or in pieces (their
// numbers compacted, their echo handed on as it comes, a long first word
// read again, or held when the input is standard input). Block boundaries
// and piece boundaries are where a line reader breaks.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/limits.hpp"
#include "engine/report/findings.hpp"
#include "fuzz_check.hpp"
#include "memory_conversion.hpp"
#include "reference.hpp"

namespace {

struct Reading {
  std::size_t block_size;
  std::size_t line_limit;
  bool standard_input;
};

constexpr std::array<Reading, 9> READINGS = {{
    {1, tnx::BLOCK_SIZE, false},
    {2, tnx::BLOCK_SIZE, false},
    {7, tnx::BLOCK_SIZE, false},
    {4096, tnx::BLOCK_SIZE, false},
    {tnx::BLOCK_SIZE, tnx::BLOCK_SIZE, false},
    {1, 2, false},
    {2, 7, false},
    {7, 7, true},
    {4096, 3, true},
}};

void check_same(std::string_view got, std::string_view want,
                const Reading& reading, const char* what) {
  if (got == want) return;
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  std::fprintf(stderr,
               "%s differs with blocks of %zu bytes, lines held up to %zu%s, "
               "at byte %zu (got %zu bytes, want %zu)\n",
               what, reading.block_size, reading.line_limit,
               reading.standard_input ? " from standard input" : "", at,
               got.size(), want.size());
  std::fprintf(stderr, "got:  %.*s\nwant: %.*s\n",
               static_cast<int>(std::min<std::size_t>(got.size() - at, 200)),
               got.data() + at,
               static_cast<int>(std::min<std::size_t>(want.size() - at, 200)),
               want.data() + at);
  TNX_FUZZ_ASSERT(got == want, what);
}

bool same_findings(const tnx::Findings& a, const tnx::Findings& b) {
  for (std::size_t kind = 0; kind < tnx::FINDING_KINDS; ++kind) {
    const auto k = static_cast<tnx::FindingKind>(kind);
    if (a.count(k) != b.count(k)) return false;
  }
  const auto x = a.shown();
  const auto y = b.shown();
  return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                    [](const tnx::Finding& f, const tnx::Finding& g) {
                      return f.kind == g.kind && f.line == g.line &&
                             f.column == g.column && f.count == g.count &&
                             f.result == g.result && f.offset == g.offset &&
                             f.text == g.text && f.text_size == g.text_size;
                    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const tnx::test::Conversion want = tnx::test::reference_convert(input);

  // The report's findings must not change a byte, and lines read whole
  // must give the same findings whatever the block size.
  tnx::Findings first;
  bool have_first = false;
  for (const Reading& reading : READINGS) {
    tnx::test::MemoryInput how;
    how.standard_input = reading.standard_input;
    tnx::Findings findings;
    const tnx::test::MemoryConversion got = tnx::test::convert_in_memory(
        input,
        {.block_size = reading.block_size, .line_limit = reading.line_limit},
        how, nullptr, &findings);
    if (reading.line_limit == tnx::BLOCK_SIZE && !have_first) {
      first = findings;
      have_first = true;
    } else if (reading.line_limit == tnx::BLOCK_SIZE) {
      TNX_FUZZ_ASSERT(same_findings(findings, first),
                      "the findings depend on the block size");
    }
    TNX_FUZZ_ASSERT(got.result.read_error == 0 && got.result.write_error == 0,
                    "the conversion failed");
    TNX_FUZZ_ASSERT(got.open_descriptors == 0, "a descriptor was left open");
    check_same(got.rows, want.rows, reading, "row file");
    check_same(got.text, want.console, reading, "console text");
  }
  return 0;
}
