// Differential fuzzing of the number scanners against the reference scanners.
// The first byte picks the scanner (and the list length); the rest is the
// text, copied into a buffer of exactly its size so that any read past
// `last` is an out-of-bounds read the address sanitizer reports.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "engine/number_scan.hpp"
#include "fuzz_check.hpp"
#include "reference.hpp"

namespace {

using tnx::ScanResult;
using tnx::ScanStatus;
using tnx::test::RefScan;

constexpr std::uint32_t SENTINEL_U32 = 0xA5A5A5A5u;
constexpr std::int32_t SENTINEL_I32 = 77;
constexpr double SENTINEL_REAL = -12345.678;

template <typename T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// One scan from the start of the text: the same status, stop point and
// value as the reference, and the value left alone unless a number was read.
template <typename T, typename Scan, typename Ref>
void check_one(const char* first, const char* last, T sentinel, Scan scan,
               Ref ref, const char* value_differs) {
  T value = sentinel;
  const ScanResult got = scan(first, last, value);
  const RefScan<T> want =
      ref(std::string_view(first, static_cast<std::size_t>(last - first)), 0);
  TNX_FUZZ_ASSERT(got.status == want.status,
                  "status differs from the reference");
  TNX_FUZZ_ASSERT(got.end == first + want.end,
                  "stop point differs from the reference");
  const T expected = want.status == ScanStatus::ok ? want.value : sentinel;
  TNX_FUZZ_ASSERT(same_bits(value, expected), value_differs);
}

// The list scanners against the reference list scan, which stores as the
// reference scanner reads, one number after another.
template <typename T, typename ListScan, typename Ref>
void check_list(const char* first, const char* last, int max, T sentinel,
                ListScan list_scan, Ref ref) {
  std::vector<T> values(static_cast<std::size_t>(max) + 1, sentinel);
  std::vector<T> want(values);
  const int count = list_scan(first, last, values.data(), max);
  const int expected = tnx::test::ref_scan_list(
      std::string_view(first, static_cast<std::size_t>(last - first)),
      want.data(), max, ref);
  TNX_FUZZ_ASSERT(count == expected, "list count differs from the reference");
  for (std::size_t i = 0; i < values.size(); ++i) {
    TNX_FUZZ_ASSERT(same_bits(values[i], want[i]),
                    static_cast<int>(i) < count
                        ? "list value differs from the reference"
                        : "a slot past the count was written");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const unsigned selector = data[0];
  // An exact-size copy: its end is the end of the allocation.
  std::vector<char> text(data + 1, data + size);
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // 0 to 6 numbers, or the full width of a line.
  const int narrow = static_cast<int>(selector >> 3) % 8;
  const int max = narrow == 7 ? 100 : narrow;
  switch (selector % 5) {
    case 0:
      check_one(first, last, SENTINEL_U32, tnx::scan_u32,
                tnx::test::ref_scan_u32, "scan_u32 value differs");
      break;
    case 1:
      check_one(first, last, SENTINEL_I32, tnx::scan_i32,
                tnx::test::ref_scan_i32, "scan_i32 value differs");
      break;
    case 2:
      check_one(first, last, SENTINEL_REAL, tnx::scan_double,
                tnx::test::ref_scan_double, "scan_double value differs");
      break;
    case 3:
      check_list(first, last, max, SENTINEL_U32, tnx::scan_u32_list,
                 tnx::test::ref_scan_u32);
      break;
    default:
      check_list(first, last, max, SENTINEL_REAL, tnx::scan_double_list,
                 tnx::test::ref_scan_double);
      break;
  }
  return 0;
}
