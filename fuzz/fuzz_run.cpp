// The whole conversion of an in-memory input through run(), compared with
// the reference converter, once for every block size: the row file, the
// console text and the status must be the same whether the input arrives a
// byte at a time, in odd pieces, or in full blocks. Block boundaries are
// where a line reader breaks.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "command_line.hpp"
#include "fuzz_check.hpp"
#include "limits.hpp"
#include "memory_file_system.hpp"
#include "reference.hpp"
#include "run.hpp"

namespace {

constexpr const char* INPUT_NAME = "in.dat";
constexpr const char* OUTPUT_NAME = "out.ntp";
constexpr std::array<std::size_t, 5> BLOCK_SIZES = {1, 2, 7, 4096,
                                                    tnx::BLOCK_SIZE};

void check_same(std::string_view got, std::string_view want,
                std::size_t block_size, const char* what) {
  if (got == want) return;
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  std::fprintf(stderr,
               "%s differs with blocks of %zu bytes at byte %zu "
               "(got %zu bytes, want %zu)\n",
               what, block_size, at, got.size(), want.size());
  std::fprintf(stderr, "got:  %.*s\nwant: %.*s\n",
               static_cast<int>(std::min<std::size_t>(got.size() - at, 200)),
               got.data() + at,
               static_cast<int>(std::min<std::size_t>(want.size() - at, 200)),
               want.data() + at);
  TNX_FUZZ_ASSERT(got == want, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const tnx::test::Conversion want = tnx::test::reference_convert(input);

  tnx::RunConfig config;
  config.input = INPUT_NAME;
  config.output = OUTPUT_NAME;
  for (const std::size_t block_size : BLOCK_SIZES) {
    tnx::test::MemoryFileSystem fs;
    fs.add_file(INPUT_NAME, input);
    const tnx::RunStatus status = tnx::run(config, fs, block_size);
    TNX_FUZZ_ASSERT(status == tnx::RunStatus::ok, "the run failed");
    TNX_FUZZ_ASSERT(fs.open_descriptors() == 0, "a descriptor was left open");
    TNX_FUZZ_ASSERT(fs.file(INPUT_NAME) == input, "the input was changed");
    TNX_FUZZ_ASSERT(fs.exists(OUTPUT_NAME), "no row file was made");
    check_same(fs.file(OUTPUT_NAME), want.rows, block_size, "row file");
    check_same(fs.console(), want.console, block_size, "console text");
  }
  return 0;
}
