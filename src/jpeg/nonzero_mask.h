// Which of a block's 64 coefficients are not zero, as a bit mask (bit z for
// zigzag position z), so the coders can walk the non-zero coefficients with
// count-trailing-zeros instead of testing every one.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

inline std::uint64_t NonZeroMask(const std::int16_t* block) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  std::uint64_t zeros = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + part * 16));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + part * 16 + 8));
    const __m128i equal = _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
    zeros |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(equal))) << (part * 16);
  }
  return ~zeros;
#else
  std::uint64_t mask = 0;
  for (int z = 0; z < 64; ++z) mask |= static_cast<std::uint64_t>(block[z] != 0) << z;
  return mask;
#endif
}

}  // namespace quillet
