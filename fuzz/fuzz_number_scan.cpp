// Differential fuzzing of the number scanners against the reference scanner.
// The first byte picks the scanner (and the list length); the rest is the
// text, copied into a buffer of exactly its size so that any read past
// `last` is an out-of-bounds read the address sanitizer reports.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "number_scan.hpp"
#include "reference.hpp"

namespace {

using tnx::ScanResult;
using tnx::ScanStatus;
namespace ref = tnx::reference;

constexpr std::uint32_t SENTINEL_U32 = 0xA5A5A5A5u;
constexpr double SENTINEL_REAL = -12345.678;

ScanStatus expected_status(ref::Outcome outcome) {
  switch (outcome) {
    case ref::Outcome::ok: return ScanStatus::ok;
    case ref::Outcome::end_of_text: return ScanStatus::end_of_text;
    case ref::Outcome::no_number: return ScanStatus::no_number;
  }
  return ScanStatus::no_number;
}

void check_stop(const ScanResult& got, const ref::Scanned& want,
                const char* first) {
  TNX_FUZZ_ASSERT(got.status == expected_status(want.outcome),
                  "status differs from the reference");
  TNX_FUZZ_ASSERT(got.end == first + want.end,
                  "stop point differs from the reference");
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_u32(const char* first, const char* last) {
  std::uint32_t value = SENTINEL_U32;
  const ScanResult got = tnx::scan_u32(first, last, value);
  const ref::Scanned want = ref::scan_integer({first, last}, 0);
  check_stop(got, want, first);
  TNX_FUZZ_ASSERT(
      value == (want.outcome == ref::Outcome::ok ? want.bits : SENTINEL_U32),
      "scan_u32 value differs");
}

void check_i32(const char* first, const char* last) {
  std::int32_t value = 77;
  const ScanResult got = tnx::scan_i32(first, last, value);
  const ref::Scanned want = ref::scan_integer({first, last}, 0);
  check_stop(got, want, first);
  const std::int32_t expected = want.outcome == ref::Outcome::ok
                                    ? static_cast<std::int32_t>(want.bits)
                                    : 77;
  TNX_FUZZ_ASSERT(value == expected, "scan_i32 value differs");
}

void check_double(const char* first, const char* last) {
  double value = SENTINEL_REAL;
  const ScanResult got = tnx::scan_double(first, last, value);
  const ref::Scanned want = ref::scan_real({first, last}, 0);
  check_stop(got, want, first);
  const double expected =
      want.outcome == ref::Outcome::ok ? want.real : SENTINEL_REAL;
  TNX_FUZZ_ASSERT(same_bits(value, expected), "scan_double value differs");
}

// The list scanners against the reference scanner applied repeatedly.
template <typename T, typename ListScan, typename RefScan, typename Pick>
void check_list(const char* first, const char* last, int max, T sentinel,
                ListScan list_scan, RefScan ref_scan, Pick pick) {
  std::vector<T> values(static_cast<std::size_t>(max) + 1, sentinel);
  const int count = list_scan(first, last, values.data(), max);
  const std::string_view text(first, static_cast<std::size_t>(last - first));
  std::size_t pos = 0;
  int expected = 0;
  for (; expected < max; ++expected) {
    const ref::Scanned s = ref_scan(text, pos);
    if (s.outcome == ref::Outcome::end_of_text && expected == 0) {
      expected = -1;
      break;
    }
    if (s.outcome != ref::Outcome::ok) break;
    T want = pick(s);
    T got = values[static_cast<std::size_t>(expected)];
    TNX_FUZZ_ASSERT(std::memcmp(&got, &want, sizeof got) == 0,
                    "list value differs from the reference");
    pos = s.end;
  }
  TNX_FUZZ_ASSERT(count == expected, "list count differs from the reference");
  for (std::size_t i = static_cast<std::size_t>(count < 0 ? 0 : count);
       i < values.size(); ++i) {
    TNX_FUZZ_ASSERT(std::memcmp(&values[i], &sentinel, sizeof sentinel) == 0,
                    "a slot past the count was written");
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
    case 0: check_u32(first, last); break;
    case 1: check_i32(first, last); break;
    case 2: check_double(first, last); break;
    case 3:
      check_list<std::uint32_t>(first, last, max, SENTINEL_U32,
                                tnx::scan_u32_list, ref::scan_integer,
                                [](const ref::Scanned& s) { return s.bits; });
      break;
    default:
      check_list<double>(first, last, max, SENTINEL_REAL, tnx::scan_double_list,
                         ref::scan_real,
                         [](const ref::Scanned& s) { return s.real; });
      break;
  }
  return 0;
}
