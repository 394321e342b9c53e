// Forward DCT and quantisation (ITU-T T.81 A.3.3 and A.3.4). The transform is
// the separable floating-point AAN factorisation: five multiplications per
// eight points, the output scale of every frequency folded into the
// quantisation divisor. Its rounding is part of the output: every stored
// value is a float; a line with several operations is computed in double
// and rounded to float once, when stored. Columns are transformed first,
// then rows.
#include <cmath>
#include <limits>

#include "jpeg/cjpeg.h"
#include "platform/error.h"

namespace quillet {

namespace {

constexpr double kCos4 = 0.707106781186548;      // cos(4*pi/16)
constexpr double kRotation = 0.382683432365091;  // cos(6*pi/16)
constexpr double kOddLow = 0.541196100146196;    // cos(6*pi/16) * sqrt 2
constexpr double kOddHigh = 1.30656296487638;    // cos(2*pi/16) * sqrt 2

// Rounds a value computed in double to the float it is stored as.
inline float Store(double value) { return static_cast<float>(value); }

// The eight-point step on x[0], x[stride], ..., x[7 * stride], in place.
void EightPoint(float* x, int stride) {
  float* const x0 = x;
  float* const x1 = x + stride;
  float* const x2 = x + 2 * stride;
  float* const x3 = x + 3 * stride;
  float* const x4 = x + 4 * stride;
  float* const x5 = x + 5 * stride;
  float* const x6 = x + 6 * stride;
  float* const x7 = x + 7 * stride;
  using D = double;

  float t0 = Store(D{*x7} + *x0);
  float t1 = Store(D{*x0} - *x7);
  float t2 = Store(D{*x6} + *x1);
  float t3 = Store(D{*x1} - *x6);
  float t4 = Store(D{*x5} + *x2);
  float t5 = Store(D{*x2} - *x5);
  float t6 = Store(D{*x4} + *x3);
  float t7 = Store(D{*x3} - *x4);
  // Even part.
  t7 = Store(D{t5} + t7);
  float t8 = Store(D{t0} - t6);
  t6 = Store(D{t0} + t6);
  t0 = Store(D{t4} + t2);
  t2 = Store(((D{t2} - t4) + t8) * kCos4);
  // Odd part; t5 holds the shared rotation term with its sign reversed.
  t4 = Store(D{t3} + t1);
  t3 = Store((D{t5} + t3) * kCos4);
  t5 = Store((D{t4} - t7) * kRotation);
  t7 = Store(D{t7} * kOddLow - t5);
  t4 = Store(D{t4} * kOddHigh - t5);
  t5 = Store(D{t3} + t1);
  t1 = Store(D{t1} - t3);

  *x0 = Store(D{t6} + t0);
  *x4 = Store(D{t6} - t0);
  *x1 = Store(D{t5} + t4);
  *x7 = Store(D{t5} - t4);
  *x2 = Store(D{t8} + t2);
  *x6 = Store(D{t8} - t2);
  *x5 = Store(D{t7} + t1);
  *x3 = Store(D{t1} - t7);
}

}  // namespace

void cJpeg::ForwardDCT() {
  for (int column = 0; column < 8; ++column) EightPoint(&m_Block[static_cast<std::size_t>(column)], 8);
  for (int row = 0; row < 8; ++row) EightPoint(&m_Block[static_cast<std::size_t>(row) * 8], 1);
}

// The product of two floats is exact in double; it is rounded once, to the
// nearest integer with ties to even.
void cJpeg::QuantizeBlock(std::vector<std::int16_t>& destination, std::int32_t& p,
                          const std::array<float, kBlockSize>& divisor) const {
  if (p < 0 || static_cast<std::size_t>(p) + kBlockSize > destination.size())
    throw Error(kSubscriptOutOfRange, "Subscript out of range");
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      const std::int32_t z = m_ZigZag[r][c];
      const double value = std::nearbyint(static_cast<double>(divisor[z]) * m_Block[r * 8 + c]);
      if (!(value >= std::numeric_limits<std::int16_t>::min() && value <= std::numeric_limits<std::int16_t>::max()))
        throw Error(kOverflow, "Overflow");
      destination[static_cast<std::size_t>(p + z)] = static_cast<std::int16_t>(value);
    }
  p += kBlockSize;
}

}  // namespace quillet
