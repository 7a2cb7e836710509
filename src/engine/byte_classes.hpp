// Which of 16 bytes are digits and which are white space, one bit per byte,
// lowest bit first: how the data pass and the report find the numbers of a
// line without a branch per byte. SSE2 is part of every x86-64 processor;
// elsewhere, or when the build asks for it (TNX_PORTABLE_SCAN), a plain
// loop classifies the bytes.
#pragma once

#include <cstdint>

#include "engine/number_scan.hpp"

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(TNX_PORTABLE_SCAN)
#include <emmintrin.h>
#define TNX_BYTE_CLASSES_SSE2 1
#else
#define TNX_BYTE_CLASSES_SSE2 0
#endif

namespace tnx {

struct ByteClasses {
  std::uint16_t digits = 0;
  std::uint16_t spaces = 0;
};

// classify_16()
//
// The classes of the 16 bytes at `p`, all of which must be readable.
[[gnu::always_inline]] inline ByteClasses classify_16(const char* p) noexcept {
  ByteClasses classes;
#if TNX_BYTE_CLASSES_SSE2
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // A byte b is in [low, low + span] when b - low, as an unsigned byte, is
  // its own minimum with span.
  const __m128i from_zero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const __m128i digit_bytes =
      _mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero);
  const __m128i from_tab = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
  const __m128i controls = _mm_cmpeq_epi8(
      _mm_min_epu8(from_tab, _mm_set1_epi8('\r' - '\t')), from_tab);
  const __m128i space_bytes =
      _mm_or_si128(controls, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
  classes.digits = static_cast<std::uint16_t>(_mm_movemask_epi8(digit_bytes));
  classes.spaces = static_cast<std::uint16_t>(_mm_movemask_epi8(space_bytes));
#else
  for (unsigned i = 0; i < 16; ++i) {
    classes.digits = static_cast<std::uint16_t>(
        classes.digits | static_cast<unsigned>(is_digit(p[i])) << i);
    classes.spaces = static_cast<std::uint16_t>(
        classes.spaces | static_cast<unsigned>(is_space(p[i])) << i);
  }
#endif
  return classes;
}

}  // namespace tnx
