// Forward DCT and quantisation: the scale of the AAN outputs, flat blocks,
// the float rounding of every step, the order of the passes, zigzag
// placement and rounding of the quantised values.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "platform/error.h"
#include "test_access.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;
using Block = std::array<float, 64>;

// The true 2-D DCT of T.81 A.3.3, in double.
double TrueDct(const Block& samples, int u, int v) {
  const double cu = u == 0 ? 1 / std::numbers::sqrt2 : 1;
  const double cv = v == 0 ? 1 / std::numbers::sqrt2 : 1;
  double sum = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      sum += samples[static_cast<std::size_t>(y * 8 + x)] * std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
             std::cos((2 * y + 1) * v * std::numbers::pi / 16);
  return cu * cv * sum / 4;
}

double AanFactor(int k) { return k == 0 ? 1 : std::numbers::sqrt2 * std::cos(k * std::numbers::pi / 16); }

// The eight-point AAN step written out again for the test, with float
// variables; lines with several operations are evaluated in double and
// rounded once.
void ReferenceStep(float* p, int stride) {
  float x[8];
  for (int k = 0; k < 8; ++k) x[k] = p[k * stride];
  float t0 = x[7] + x[0], t1 = x[0] - x[7], t2 = x[6] + x[1], t3 = x[1] - x[6];
  float t4 = x[5] + x[2], t5 = x[2] - x[5], t6 = x[4] + x[3], t7 = x[3] - x[4];
  t7 = t5 + t7;
  float t8 = t0 - t6;
  t6 = t0 + t6;
  t0 = t4 + t2;
  t2 = static_cast<float>((static_cast<double>(t2) - t4 + t8) * 0.707106781186548);
  t4 = t3 + t1;
  t3 = static_cast<float>((static_cast<double>(t5) + t3) * 0.707106781186548);
  t5 = static_cast<float>((static_cast<double>(t4) - t7) * 0.382683432365091);
  t7 = static_cast<float>(t7 * 0.541196100146196 - t5);
  t4 = static_cast<float>(t4 * 1.30656296487638 - t5);
  t5 = t3 + t1;
  t1 = t1 - t3;
  p[0] = t6 + t0;
  p[4 * stride] = t6 - t0;
  p[1 * stride] = t5 + t4;
  p[7 * stride] = t5 - t4;
  p[2 * stride] = t8 + t2;
  p[6 * stride] = t8 - t2;
  p[5 * stride] = t7 + t1;
  p[3 * stride] = t1 - t7;
}

enum class PassOrder { kColumnsFirst, kRowsFirst };

Block Reference(Block block, PassOrder order) {
  auto columns = [&] {
    for (int c = 0; c < 8; ++c) ReferenceStep(&block[static_cast<std::size_t>(c)], 8);
  };
  auto rows = [&] {
    for (int r = 0; r < 8; ++r) ReferenceStep(&block[static_cast<std::size_t>(r) * 8], 1);
  };
  if (order == PassOrder::kColumnsFirst) {
    columns();
    rows();
  } else {
    rows();
    columns();
  }
  return block;
}

Block RandomSamples(unsigned seed) {
  std::mt19937 random(seed);
  Block block;
  for (float& sample : block) sample = static_cast<float>(static_cast<int>(random() % 256) - 128) + 0.3f;
  return block;
}

Block Transform(const Block& samples) {
  cJpeg j;
  Access::Block(j) = samples;
  Access::ForwardDCT(j);
  return Access::Block(j);
}

TEST(ForwardDCT, FlatBlockGivesOnlyDc) {
  for (float s : {0.0f, 100.0f, -128.0f, 127.0f, 0.5f}) {
    Block samples;
    samples.fill(s);
    const Block out = Transform(samples);
    EXPECT_EQ(out[0], 64 * s) << s;
    for (std::size_t k = 1; k < 64; ++k) EXPECT_EQ(out[k], 0.0f) << s << " at " << k;
  }
}

TEST(ForwardDCT, OutputsAreTheTrueDctTimesTheAanScale) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const Block samples = RandomSamples(seed);
    const Block out = Transform(samples);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c) {
        const double expected = TrueDct(samples, c, r) * 8 * AanFactor(r) * AanFactor(c);
        EXPECT_NEAR(out[static_cast<std::size_t>(r * 8 + c)], expected, 0.02) << r << "," << c;
      }
  }
}

TEST(ForwardDCT, RoundsLikeFloatStepsColumnsFirst) {
  int orderMatters = 0;
  for (unsigned seed = 1; seed <= 200; ++seed) {
    const Block samples = RandomSamples(seed);
    const Block out = Transform(samples);
    EXPECT_EQ(out, Reference(samples, PassOrder::kColumnsFirst)) << seed;
    if (Reference(samples, PassOrder::kRowsFirst) != out) ++orderMatters;
  }
  // The test can tell the two orders apart.
  EXPECT_GT(orderMatters, 0);
}

// --- QuantizeBlock ---------------------------------------------------------

struct Rounding {
  float divisor;
  float sample;
  std::int16_t expected;
};

TEST(QuantizeBlock, RoundsTheExactProductHalfToEven) {
  const Rounding cases[] = {
      {1.0f, 2.5f, 2},
      {1.0f, -3.5f, -4},
      {1.0f, 0.5f, 0},
      {1.0f, 1.5f, 2},
      {1.0f, -0.5f, 0},
      {0.5f, 5.0f, 2},
      {1.0f, 2.49f, 2},
      {1.0f, -1016.0f, -1016},
      // 0.1f is 0.100000001490116...: the exact product 2.5000000373 rounds
      // up, while a product first rounded to float (exactly 2.5) would give 2.
      {0.1f, 25.0f, 3},
  };
  for (const Rounding& c : cases) {
    cJpeg j;
    std::array<float, 64> divisor;
    divisor.fill(c.divisor);
    Access::Block(j).fill(0);
    Access::Block(j)[0] = c.sample;
    std::vector<std::int16_t> data(64, 99);
    std::int32_t p = 0;
    Access::QuantizeBlock(j, data, p, divisor);
    EXPECT_EQ(data[0], c.expected) << c.divisor << " x " << c.sample;
  }
}

TEST(QuantizeBlock, PlacesCoefficientsInZigZagOrderAndAdvancesBy64) {
  cJpeg j;
  std::array<float, 64> divisor;
  divisor.fill(1.0f);
  for (int k = 0; k < 64; ++k) Access::Block(j)[static_cast<std::size_t>(k)] = static_cast<float>(k + 1);
  std::vector<std::int16_t> data(192, 0);
  std::int32_t p = 64;
  Access::QuantizeBlock(j, data, p, divisor);
  EXPECT_EQ(p, 128);
  EXPECT_EQ(data[64 + 0], 1);    // (0, 0)
  EXPECT_EQ(data[64 + 1], 2);    // (0, 1)
  EXPECT_EQ(data[64 + 2], 9);    // (1, 0)
  EXPECT_EQ(data[64 + 3], 17);   // (2, 0)
  EXPECT_EQ(data[64 + 63], 64);  // (7, 7)
  EXPECT_EQ(data[64 + 35], 57);  // (7, 0)
  EXPECT_EQ(data[63], 0);        // nothing before p
  EXPECT_EQ(data[128], 0);       // nothing after p + 63
}

TEST(QuantizeBlock, DcOfFlatHundredAtQualitySeventyFiveIsHundred) {
  cJpeg j;
  j.Quality(75);
  Access::Block(j).fill(100.0f);
  Access::ForwardDCT(j);
  std::vector<std::int16_t> data(64);
  std::int32_t p = 0;
  Access::QuantizeBlock(j, data, p, Access::QTable(j)[0].Divisor);
  EXPECT_EQ(data[0], 100);
  for (std::size_t k = 1; k < 64; ++k) EXPECT_EQ(data[k], 0);
}

TEST(QuantizeBlock, OutOfShortRangeIsOverflow) {
  cJpeg j;
  std::array<float, 64> divisor;
  divisor.fill(1.0f);
  for (float value : {32768.0f, -32769.0f}) {
    Access::Block(j).fill(0);
    Access::Block(j)[10] = value;
    std::vector<std::int16_t> data(64);
    std::int32_t p = 0;
    try {
      Access::QuantizeBlock(j, data, p, divisor);
      ADD_FAILURE() << value;
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), 6);
    }
  }
  Access::Block(j).fill(0);
  Access::Block(j)[10] = 32767.4f;
  std::vector<std::int16_t> data(64);
  std::int32_t p = 0;
  Access::QuantizeBlock(j, data, p, divisor);
  EXPECT_EQ(data[static_cast<std::size_t>(Access::ZigZag(j)[1][2])], 32767);
}

}  // namespace
}  // namespace quillet
