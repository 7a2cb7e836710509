// A batch's job converts file after file through the same input and row
// buffers. The fuzz input is cut into two or three files, converted in turn
// through one job's memory: each file's row file, console text and status
// must be exactly what the reference converter gives for that file alone,
// whatever the earlier files left in the buffers.
//
// The first byte chooses: bit 0, two files or three; bits 1-2, the read
// block size; bit 3, whether the job starts with full-size buffers (as a
// batch's job does) or none; bit 4, lines held up to 7 bytes, so most come
// in pieces. The next two bytes place the cuts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/conversion.hpp"
#include "fuzz_check.hpp"
#include "memory_conversion.hpp"
#include "reference.hpp"

namespace {

constexpr std::array<std::size_t, 4> BLOCK_SIZES = {1, 7, 4096,
                                                    tnx::BLOCK_SIZE};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t choice = data[0];
  const std::size_t files = (choice & 1) != 0 ? 3 : 2;
  const std::size_t block_size = BLOCK_SIZES[(choice >> 1) & 3];
  const bool full_size = (choice & 8) != 0;
  const std::size_t line_limit = (choice & 16) != 0 ? 7 : tnx::BLOCK_SIZE;
  const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);

  // Cut points, in order, within the bytes.
  std::vector<std::size_t> cuts = {0};
  for (std::size_t k = 1; k < files; ++k) {
    const std::size_t at = bytes.empty() ? 0 : data[k] * bytes.size() / 255;
    cuts.push_back(at < cuts.back() ? cuts.back() : at);
  }
  cuts.push_back(bytes.size());

  tnx::ConversionMemory memory = full_size
                                     ? tnx::ConversionMemory::for_many_files()
                                     : tnx::ConversionMemory();
  for (std::size_t k = 0; k < files; ++k) {
    const std::string input = bytes.substr(cuts[k], cuts[k + 1] - cuts[k]);
    const tnx::test::MemoryConversion got = tnx::test::convert_in_memory(
        input,
        {.block_size = block_size,
         .line_limit = line_limit,
         .background_writing = tnx::BackgroundWriting::never},
        {}, &memory);
    const tnx::test::Conversion want = tnx::test::reference_convert(input);
    TNX_FUZZ_ASSERT(got.result.read_error == 0 && got.result.write_error == 0,
                    "a file failed");
    TNX_FUZZ_ASSERT(got.rows == want.rows,
                    "the rows differ from the file's alone");
    TNX_FUZZ_ASSERT(got.text == want.console,
                    "the console text differs from the file's alone");
    TNX_FUZZ_ASSERT(got.open_descriptors == 0, "a descriptor was left open");
  }
  return 0;
}
