// The capture's inner loops in AVX2 (vector_path.cpp), chosen at run time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillet::vector_path {

using ZigZagTable = std::array<std::array<std::int32_t, 8>, 8>;

// True when the processor has AVX2 and the portable code is not forced.
bool Available();
// Makes Available() false (for tests of the portable code) or true again.
// Safe from any thread; an encoding already running may see either value,
// which changes its speed, never its bytes.
void ForcePortable(bool forced);

// Transforms and quantises the blockColumns blocks of an eight-row strip of
// samples (row j of block b at strip[j * stripWidth + 8 * b]) with the
// divisors (zigzag order), writing each block's 64 coefficients in zigzag
// order to out. Returns false when a coefficient does not fit 16 bits.
bool TransformStrip(const float* strip, std::size_t stripWidth, std::int32_t blockColumns, const float* divisor,
                    const ZigZagTable& zigzag, std::int16_t* out);

// `count` RGB pixels to red * f[0] + green * f[1] + blue * f[2] + f[3],
// exact in double, rounded once to float.
void ConvertColours(const std::uint8_t* rgb, std::int32_t count, const float (&factors)[4], float* samples);

}  // namespace quillet::vector_path
