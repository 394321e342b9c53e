// The capture's inner loops in AVX2, used only when the processor has it:
// colour conversion, the forward DCT and quantisation, eight lanes at a time,
// giving the same floats and the same coefficients as the portable code.
// Single operations are done in float (the sum or difference of two floats
// rounded once is the same whether or not it passes through double); the
// lines of several operations convert to double, four lanes at a time, and
// round to float once, as the portable code does. No fused multiply-add.
#include "jpeg/vector_path.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quillet::vector_path {

namespace {

// Set by tests between encodings and read by the capture's worker threads,
// so it is atomic. It guards no other data: relaxed loads and stores suffice,
// and a relaxed load is a plain load on x86-64.
std::atomic<bool> portableForced{false};

}  // namespace

bool Available() {
#if defined(__x86_64__)
  static const bool hasAvx2 = __builtin_cpu_supports("avx2") != 0;
  return hasAvx2 && !portableForced.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void ForcePortable(bool forced) { portableForced.store(forced, std::memory_order_relaxed); }

#if defined(__x86_64__)

#define QUILLET_AVX2 __attribute__((target("avx2")))
#define QUILLET_AVX2_INLINE __attribute__((target("avx2"), always_inline))

namespace {

constexpr double kCos4 = 0.707106781186548;
constexpr double kRotation = 0.382683432365091;
constexpr double kOddLow = 0.541196100146196;
constexpr double kOddHigh = 1.30656296487638;

// The zigzag position (T.81 Figure A.6) of coefficient (row r, column k),
// indexed k * 8 + r as the transform leaves them; known here so that the
// scatter has constant indexes.
constexpr std::array<std::uint8_t, 64> StandardDestination() {
  std::array<std::uint8_t, 64> destination{};
  int position = 0;
  for (int diagonal = 0; diagonal < 15; ++diagonal)
    for (int step = 0; step <= diagonal; ++step) {
      // Even diagonals run up and to the right, odd ones down and to the left.
      const int r = diagonal % 2 == 0 ? diagonal - step : step;
      const int k = diagonal - r;
      if (r < 8 && k < 8) destination[static_cast<std::size_t>(k * 8 + r)] = static_cast<std::uint8_t>(position++);
    }
  return destination;
}

constexpr std::array<std::uint8_t, 64> kStandardDestination = StandardDestination();

// Eight floats as two halves of four doubles.
struct Wide {
  __m256d low;
  __m256d high;
};

QUILLET_AVX2_INLINE inline Wide Widen(__m256 v) {
  return {_mm256_cvtps_pd(_mm256_castps256_ps128(v)), _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1))};
}

QUILLET_AVX2_INLINE inline __m256 Narrow(__m256d low, __m256d high) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(low)), _mm256_cvtpd_ps(high), 1);
}

// The eight-point step of forward_dct.cpp on eight lanes.
QUILLET_AVX2_INLINE inline void EightPoint(__m256 (&x)[8]) {
  const __m256d cos4 = _mm256_set1_pd(kCos4);
  const __m256d rotation = _mm256_set1_pd(kRotation);
  const __m256d oddLow = _mm256_set1_pd(kOddLow);
  const __m256d oddHigh = _mm256_set1_pd(kOddHigh);

  __m256 t0 = _mm256_add_ps(x[7], x[0]);
  __m256 t1 = _mm256_sub_ps(x[0], x[7]);
  __m256 t2 = _mm256_add_ps(x[6], x[1]);
  __m256 t3 = _mm256_sub_ps(x[1], x[6]);
  __m256 t4 = _mm256_add_ps(x[5], x[2]);
  __m256 t5 = _mm256_sub_ps(x[2], x[5]);
  __m256 t6 = _mm256_add_ps(x[4], x[3]);
  __m256 t7 = _mm256_sub_ps(x[3], x[4]);
  t7 = _mm256_add_ps(t5, t7);
  const __m256 t8 = _mm256_sub_ps(t0, t6);
  t6 = _mm256_add_ps(t0, t6);
  t0 = _mm256_add_ps(t4, t2);
  {
    const Wide a = Widen(t2), b = Widen(t4), c = Widen(t8);
    t2 = Narrow(_mm256_mul_pd(_mm256_add_pd(_mm256_sub_pd(a.low, b.low), c.low), cos4),
                _mm256_mul_pd(_mm256_add_pd(_mm256_sub_pd(a.high, b.high), c.high), cos4));
  }
  t4 = _mm256_add_ps(t3, t1);
  {
    const Wide a = Widen(t5), b = Widen(t3);
    t3 = Narrow(_mm256_mul_pd(_mm256_add_pd(a.low, b.low), cos4), _mm256_mul_pd(_mm256_add_pd(a.high, b.high), cos4));
  }
  const Wide w4 = Widen(t4), w7 = Widen(t7);
  t5 = Narrow(_mm256_mul_pd(_mm256_sub_pd(w4.low, w7.low), rotation),
              _mm256_mul_pd(_mm256_sub_pd(w4.high, w7.high), rotation));
  const Wide w5 = Widen(t5);
  t7 = Narrow(_mm256_sub_pd(_mm256_mul_pd(w7.low, oddLow), w5.low),
              _mm256_sub_pd(_mm256_mul_pd(w7.high, oddLow), w5.high));
  t4 = Narrow(_mm256_sub_pd(_mm256_mul_pd(w4.low, oddHigh), w5.low),
              _mm256_sub_pd(_mm256_mul_pd(w4.high, oddHigh), w5.high));
  t5 = _mm256_add_ps(t3, t1);
  t1 = _mm256_sub_ps(t1, t3);

  x[0] = _mm256_add_ps(t6, t0);
  x[4] = _mm256_sub_ps(t6, t0);
  x[1] = _mm256_add_ps(t5, t4);
  x[7] = _mm256_sub_ps(t5, t4);
  x[2] = _mm256_add_ps(t8, t2);
  x[6] = _mm256_sub_ps(t8, t2);
  x[5] = _mm256_add_ps(t7, t1);
  x[3] = _mm256_sub_ps(t1, t7);
}

QUILLET_AVX2_INLINE inline void Transpose(__m256 (&r)[8]) {
  const __m256 a0 = _mm256_unpacklo_ps(r[0], r[1]);
  const __m256 a1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 a2 = _mm256_unpacklo_ps(r[2], r[3]);
  const __m256 a3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 a4 = _mm256_unpacklo_ps(r[4], r[5]);
  const __m256 a5 = _mm256_unpackhi_ps(r[4], r[5]);
  const __m256 a6 = _mm256_unpacklo_ps(r[6], r[7]);
  const __m256 a7 = _mm256_unpackhi_ps(r[6], r[7]);
  const __m256 b0 = _mm256_shuffle_ps(a0, a2, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 b1 = _mm256_shuffle_ps(a0, a2, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 b2 = _mm256_shuffle_ps(a1, a3, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 b3 = _mm256_shuffle_ps(a1, a3, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 b4 = _mm256_shuffle_ps(a4, a6, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 b5 = _mm256_shuffle_ps(a4, a6, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 b6 = _mm256_shuffle_ps(a5, a7, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 b7 = _mm256_shuffle_ps(a5, a7, _MM_SHUFFLE(3, 2, 3, 2));
  r[0] = _mm256_permute2f128_ps(b0, b4, 0x20);
  r[1] = _mm256_permute2f128_ps(b1, b5, 0x20);
  r[2] = _mm256_permute2f128_ps(b2, b6, 0x20);
  r[3] = _mm256_permute2f128_ps(b3, b7, 0x20);
  r[4] = _mm256_permute2f128_ps(b0, b4, 0x31);
  r[5] = _mm256_permute2f128_ps(b1, b5, 0x31);
  r[6] = _mm256_permute2f128_ps(b2, b6, 0x31);
  r[7] = _mm256_permute2f128_ps(b3, b7, 0x31);
}

QUILLET_AVX2 bool TransformStripAvx2(const float* strip, std::size_t stripWidth, std::int32_t blockColumns,
                                     const float* divisor, const ZigZagTable& zigzag, std::int16_t* out) {
  // After the row pass, vector k holds frequency column k of rows 0..7.
  alignas(32) float byColumn[64];
  std::int32_t destination[64];
  for (int k = 0; k < 8; ++k)
    for (int r = 0; r < 8; ++r) {
      byColumn[k * 8 + r] = divisor[zigzag[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)]];
      destination[k * 8 + r] = zigzag[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)];
    }
  bool standardOrder = true;
  for (int n = 0; n < 64; ++n) standardOrder = standardOrder && destination[n] == kStandardDestination[n];
  const __m128i highest = _mm_set1_epi32(std::numeric_limits<std::int16_t>::max());
  const __m128i lowest = _mm_set1_epi32(std::numeric_limits<std::int16_t>::min());
  __m128i outside = _mm_setzero_si128();
  alignas(16) std::int16_t coefficients[64];

  for (std::int32_t column = 0; column < blockColumns; ++column, out += 64) {
    __m256 x[8];
    for (int j = 0; j < 8; ++j) x[j] = _mm256_loadu_ps(strip + static_cast<std::size_t>(j) * stripWidth + column * 8);
    EightPoint(x);  // columns, a lane each
    Transpose(x);
    EightPoint(x);  // rows, a lane each
    for (int k = 0; k < 8; ++k) {
      const Wide value = Widen(x[k]);
      const Wide step = Widen(_mm256_load_ps(byColumn + k * 8));
      // Float times float is exact in double; one rounding, to nearest even.
      const __m128i low = _mm256_cvtpd_epi32(_mm256_mul_pd(step.low, value.low));
      const __m128i high = _mm256_cvtpd_epi32(_mm256_mul_pd(step.high, value.high));
      outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi32(low, highest), _mm_cmplt_epi32(low, lowest)));
      outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi32(high, highest), _mm_cmplt_epi32(high, lowest)));
      _mm_store_si128(reinterpret_cast<__m128i*>(coefficients + k * 8), _mm_packs_epi32(low, high));
    }
    if (standardOrder) {
#pragma GCC unroll 64
      for (int n = 0; n < 64; ++n) out[kStandardDestination[n]] = coefficients[n];
    } else {
      for (int n = 0; n < 64; ++n) out[destination[n]] = coefficients[n];
    }
  }
  return _mm_movemask_epi8(outside) == 0;
}

// The colour conversion in integers and one float addition. Every factor is
// a whole multiple of 2^-27 (checked when the factors are split), so
// red * R + green * G + blue * B + offset is N * 2^-27 for an integer N.
// With each factor F split as Fh * 2^13 + Fl (0 <= Fl < 2^13), N is
// H * 2^13 + L where H (the high products plus the offset's share) and L
// (the low products) are integers below 2^24 in magnitude: both are exact
// as floats, H * 2^-14 and L * 2^-27 are exact too, and their float sum is
// the exact value rounded once, as the double computation gives.
struct SplitFactors {
  bool exact = false;
  std::int16_t high[3] = {};
  std::int16_t low[3] = {};
  std::int32_t offset = 0;  // the offset in units of 2^-14
};

// Two 16-bit factors side by side in every 32-bit lane, for madd.
QUILLET_AVX2_INLINE inline __m256i Pair(std::int16_t first, std::int16_t second) {
  return _mm256_set1_epi32(
      static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(first)) |
                                static_cast<std::uint32_t>(static_cast<std::uint16_t>(second)) << 16));
}

SplitFactors Split(const float (&factors)[4]) {
  constexpr double kUnit = 134217728.0;  // 2^27
  SplitFactors split;
  for (int k = 0; k < 3; ++k) {
    const double scaled = static_cast<double>(factors[k]) * kUnit;
    if (!(scaled > -kUnit && scaled < kUnit) || scaled != static_cast<double>(static_cast<std::int64_t>(scaled)))
      return split;
    const auto units = static_cast<std::int64_t>(scaled);
    const std::int64_t high = units >= 0 ? units / 8192 : -((-units + 8191) / 8192);  // floor
    split.high[k] = static_cast<std::int16_t>(high);
    split.low[k] = static_cast<std::int16_t>(units - high * 8192);
  }
  const double offset = static_cast<double>(factors[3]) * 16384.0;
  if (!(offset > -4194304.0 && offset < 4194304.0) || offset != static_cast<double>(static_cast<std::int32_t>(offset)))
    return split;
  split.offset = static_cast<std::int32_t>(offset);
  split.exact = true;
  return split;
}

QUILLET_AVX2 void ConvertAvx2(const std::uint8_t* rgb, std::int32_t count, const float (&factors)[4], float* samples) {
  const SplitFactors split = Split(factors);
  std::int32_t n = 0;
  if (split.exact) {
    // Per 32-bit lane: (red, green) and (blue, 0) as 16-bit pairs.
    const __m128i pickRedGreen = _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
    const __m128i pickBlue = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m256i pickRedGreenTwice = _mm256_broadcastsi128_si256(pickRedGreen);
    const __m256i pickBlueTwice = _mm256_broadcastsi128_si256(pickBlue);
    const __m256i redGreenHigh = Pair(split.high[0], split.high[1]);
    const __m256i blueHigh = Pair(split.high[2], 0);
    const __m256i redGreenLow = Pair(split.low[0], split.low[1]);
    const __m256i blueLow = Pair(split.low[2], 0);
    const __m256i offset = _mm256_set1_epi32(split.offset);
    const __m256 highUnit = _mm256_set1_ps(1.0f / 16384.0f);
    const __m256 lowUnit = _mm256_set1_ps(1.0f / 134217728.0f);
    // Two 16-byte loads of four pixels each: stay two pixels from the end.
    for (; n + 10 <= count; n += 8) {
      const std::uint8_t* p = rgb + static_cast<std::size_t>(n) * 3;
      const __m256i bytes =
          _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
      const __m256i redGreen = _mm256_shuffle_epi8(bytes, pickRedGreenTwice);
      const __m256i blue = _mm256_shuffle_epi8(bytes, pickBlueTwice);
      const __m256i high = _mm256_add_epi32(
          _mm256_add_epi32(_mm256_madd_epi16(redGreen, redGreenHigh), _mm256_madd_epi16(blue, blueHigh)), offset);
      const __m256i low = _mm256_add_epi32(_mm256_madd_epi16(redGreen, redGreenLow), _mm256_madd_epi16(blue, blueLow));
      const __m256 sum = _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(high), highUnit),
                                       _mm256_mul_ps(_mm256_cvtepi32_ps(low), lowUnit));
      _mm256_storeu_ps(samples + n, sum);
    }
  }
  for (; n < count; ++n) {
    const std::uint8_t* pixel = rgb + static_cast<std::size_t>(n) * 3;
    samples[n] =
        static_cast<float>(static_cast<double>(pixel[0]) * factors[0] + static_cast<double>(pixel[1]) * factors[1] +
                           static_cast<double>(pixel[2]) * factors[2] + static_cast<double>(factors[3]));
  }
}

}  // namespace

bool TransformStrip(const float* strip, std::size_t stripWidth, std::int32_t blockColumns, const float* divisor,
                    const ZigZagTable& zigzag, std::int16_t* out) {
  return TransformStripAvx2(strip, stripWidth, blockColumns, divisor, zigzag, out);
}

void ConvertColours(const std::uint8_t* rgb, std::int32_t count, const float (&factors)[4], float* samples) {
  ConvertAvx2(rgb, count, factors, samples);
}

#else

bool TransformStrip(const float*, std::size_t, std::int32_t, const float*, const ZigZagTable&, std::int16_t*) {
  std::abort();
}

void ConvertColours(const std::uint8_t*, std::int32_t, const float (&)[4], float*) { std::abort(); }

#endif

}  // namespace quillet::vector_path
