// Packed scans: the fuzz input, packed with gzip in one member or two, is
// converted through the program's decoding input, by name and from standard
// input, and must give the rows, console text and status of its text read
// from standard input, as `zcat | tarnovelix -` does. Then the same packed
// bytes damaged, one byte of the first member's data changed or the whole
// cut short, must fail as a damaged input with the decoder's reason, or
// (when the change cannot be seen, as in the padding bits) give those same
// rows: never other rows reported as success.
//
// The first byte, when there is one, chooses the level (its value modulo
// 10); the cut between the members, the changed byte and the length kept
// come from the input's size and a sum of its bytes, so any stored scan
// serves as a seed.
#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>

#include "engine/conversion.hpp"
#include "fuzz_check.hpp"
#include "memory_conversion.hpp"
#include "memory_file_io.hpp"
#include "program/decoding_io.hpp"
#include "string_output.hpp"

namespace {

// `text` packed as one gzip member at `level`.
std::string gzip_member(std::string_view text, int level) {
  z_stream z{};
  TNX_FUZZ_ASSERT(deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8,
                               Z_DEFAULT_STRATEGY) == Z_OK,
                  "zlib did not start");
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  // zlib's interface takes the input as non-const; it only reads it.
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int done = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  (void)deflateEnd(&z);
  TNX_FUZZ_ASSERT(done == Z_STREAM_END, "zlib did not pack the input");
  return out;
}

struct Decoded {
  tnx::ConversionResult result;
  std::string rows;
  std::string text;
  std::string reason;
  std::size_t open_descriptors = 0;
};

// Converts `packed` through a DecodingIo, as a run reads a file by name or
// its standard input.
Decoded convert_packed(const std::string& packed, bool standard_input) {
  tnx::test::MemoryFileIo io;
  tnx::ConversionInput in;
  if (standard_input) {
    io.set_standard_input(packed);
    in.fd = tnx::STDIN_FD;
  } else {
    io.add_file("in.dat.gz", packed);
    in.fd = io.open("in.dat.gz");
    in.from_start = true;
  }
  (void)io.identify(in.fd, in.id);
  const tnx::ConversionOutput out{io.open("out.ntp"), tnx::FileKind::regular};
  tnx::test::StringOutput text;
  tnx::ConversionMemory memory;
  Decoded done;
  {
    tnx::DecodingIo decoding(io);
    decoding.sniff(in.fd, in.from_start);
    done.result = tnx::convert(decoding.reader(io), decoding.text_of(in), out,
                               text, memory, {});
    decoding.stop();
    done.reason = std::string(decoding.reason());
  }
  if (!standard_input) (void)io.close(in.fd);
  (void)io.close(out.fd);
  done.rows = io.file("out.ntp");
  done.text = text.text();
  done.open_descriptors = io.open_descriptors();
  return done;
}

// A damaged packed input: failed with the decoder's reason, or (the damage
// unseen) the text's rows.
void check_damaged(const std::string& packed,
                   const tnx::test::MemoryConversion& want, const char* what) {
  for (const bool standard_input : {false, true}) {
    const Decoded got = convert_packed(packed, standard_input);
    TNX_FUZZ_ASSERT(got.open_descriptors == 0, "a descriptor was left open");
    if (got.result.read_error == 0) {
      TNX_FUZZ_ASSERT(got.rows == want.rows && got.text == want.text, what);
    } else {
      TNX_FUZZ_ASSERT(
          got.result.read_error == tnx::DAMAGED_INPUT && !got.reason.empty(),
          "a damaged input failed without the decoder's reason");
    }
  }
}

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const int level = size == 0 ? 6 : data[0] % 10;
  const std::size_t sum =
      std::accumulate(data, data + size, std::size_t{0}) * 31 + size;
  const std::size_t cut = size % 2 == 0 ? size : sum % (size + 1);
  const std::string first = gzip_member(input.substr(0, cut), level);
  const std::string packed =
      cut < size ? first + gzip_member(input.substr(cut), level) : first;

  const tnx::test::MemoryConversion want =
      tnx::test::convert_in_memory(input, {}, {.standard_input = true});
  TNX_FUZZ_ASSERT(want.result.read_error == 0 && want.result.write_error == 0,
                  "the plain text failed");
  for (const bool standard_input : {false, true}) {
    const Decoded got = convert_packed(packed, standard_input);
    TNX_FUZZ_ASSERT(got.result.read_error == 0 && got.result.write_error == 0,
                    "the packed text failed");
    TNX_FUZZ_ASSERT(got.rows == want.rows, "the rows differ from the text's");
    TNX_FUZZ_ASSERT(got.text == want.text,
                    "the console text differs from the text's");
    TNX_FUZZ_ASSERT(got.open_descriptors == 0, "a descriptor was left open");
  }

  // A byte of the first member's data or trailer changed; its 10-byte
  // header is left, so the input is still known for gzip.
  constexpr std::size_t header = 10;
  std::string changed = packed;
  const std::size_t at = header + sum % (first.size() - header);
  changed[at] = static_cast<char>(static_cast<unsigned char>(changed[at]) ^
                                  (1U << (sum % 8)));
  check_damaged(changed, want, "a changed byte gave other rows");

  // Cut short anywhere but between the members, where what is left is whole.
  const std::size_t kept = header + sum % (packed.size() - header);
  if (kept != first.size()) {
    const Decoded got = convert_packed(packed.substr(0, kept), sum % 2 == 0);
    TNX_FUZZ_ASSERT(
        got.result.read_error == tnx::DAMAGED_INPUT && !got.reason.empty(),
        "a packed input cut short did not fail with its reason");
  }
  return 0;
}
