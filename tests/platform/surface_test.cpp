// The surface and the box filter behind every stretch.
#include "platform/surface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quillet {
namespace {

Surface GreyRamp(int width, int height) {
  Surface s(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const auto v = static_cast<std::uint8_t>((x * 37 + y * 11) % 256);
      s.SetPixel(x, y, {v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(v / 2)});
    }
  return s;
}

// A straightforward evaluation of the filter's definition, pixel by pixel.
Rgb Reference(const Surface& src, int ws, int hs, int wd, int hd, int x, int y) {
  std::int64_t sum[3] = {0, 0, 0};
  for (int j = 0; j < hs; ++j)
    for (int i = 0; i < ws; ++i) {
      const std::int64_t wx = std::max<std::int64_t>(
          0, std::min<std::int64_t>((x + 1) * ws, (i + 1) * wd) - std::max<std::int64_t>(x * ws, i * wd));
      const std::int64_t wy = std::max<std::int64_t>(
          0, std::min<std::int64_t>((y + 1) * hs, (j + 1) * hd) - std::max<std::int64_t>(y * hs, j * hd));
      const Rgb p = src.Pixel(i, j);
      sum[0] += wx * wy * p.red;
      sum[1] += wx * wy * p.green;
      sum[2] += wx * wy * p.blue;
    }
  const std::int64_t d = static_cast<std::int64_t>(ws) * hs;
  auto round = [d](std::int64_t s) { return static_cast<std::uint8_t>((2 * s + d) / (2 * d)); };
  return {round(sum[0]), round(sum[1]), round(sum[2])};
}

TEST(Surface, PixelsOutsideReadAsBlack) {
  Surface s(2, 2, {10, 20, 30});
  EXPECT_EQ(s.Pixel(1, 1), (Rgb{10, 20, 30}));
  EXPECT_EQ(s.Pixel(-1, 0), Rgb{});
  EXPECT_EQ(s.Pixel(2, 0), Rgb{});
  EXPECT_EQ(s.Pixel(0, 2), Rgb{});
}

struct Ratio {
  int ws, hs, wd, hd;
};

class BoxFilterRatios : public ::testing::TestWithParam<Ratio> {};

TEST_P(BoxFilterRatios, MatchesTheAreaWeightedMeanRoundedHalfUp) {
  const Ratio r = GetParam();
  const Surface src = GreyRamp(r.ws, r.hs);
  const Surface out = BoxFilter(src, r.wd, r.hd);
  ASSERT_EQ(out.Width(), r.wd);
  ASSERT_EQ(out.Height(), r.hd);
  for (int y = 0; y < r.hd; ++y)
    for (int x = 0; x < r.wd; ++x)
      ASSERT_EQ(out.Pixel(x, y), Reference(src, r.ws, r.hs, r.wd, r.hd, x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(ExactAndFractional, BoxFilterRatios,
                         ::testing::Values(Ratio{8, 8, 4, 4},       // exact halves
                                           Ratio{9, 9, 3, 3},       // exact thirds
                                           Ratio{7, 5, 3, 2},       // fractional both ways
                                           Ratio{100, 75, 50, 38},  // chroma plane of 100 x 75
                                           Ratio{5, 3, 8, 7},       // enlarging
                                           Ratio{1, 1, 3, 2}, Ratio{13, 1, 4, 1}));

TEST(BoxFilter, EqualSizesAreAPlainCopy) {
  const Surface src = GreyRamp(11, 7);
  EXPECT_EQ(BoxFilter(src, 11, 7), src);
}

TEST(BoxFilter, RectanglesInsideAreTheFilteredCrop) {
  const Surface src = GreyRamp(20, 15);
  for (const Ratio r : {Ratio{8, 6, 4, 3}, Ratio{9, 7, 4, 3}, Ratio{3, 2, 5, 4}}) {
    Surface crop(r.ws, r.hs);
    for (int y = 0; y < r.hs; ++y)
      for (int x = 0; x < r.ws; ++x) crop.SetPixel(x, y, src.Pixel(x + 5, y + 3));
    const Surface out = BoxFilter(src, 5, 3, r.ws, r.hs, r.wd, r.hd);
    for (int y = 0; y < r.hd; ++y)
      for (int x = 0; x < r.wd; ++x)
        ASSERT_EQ(out.Pixel(x, y), Reference(crop, r.ws, r.hs, r.wd, r.hd, x, y)) << r.ws << ": " << x << "," << y;
  }
}

TEST(BoxFilter, HalvesRoundUp) {
  // Two pixels 0 and 1 averaged: 0.5 rounds up to 1.
  Surface src(2, 1);
  src.SetPixel(1, 0, {1, 3, 255});
  const Surface out = BoxFilter(src, 1, 1);
  EXPECT_EQ(out.Pixel(0, 0), (Rgb{1, 2, 128}));
}

TEST(BoxFilter, RectangleOutsideTheSourceReadsBlack) {
  const Surface src(4, 4, {200, 200, 200});
  // Half of the 4 x 4 rectangle lies right of the surface.
  const Surface out = BoxFilter(src, 2, 0, 4, 4, 4, 4);
  EXPECT_EQ(out.Pixel(1, 0), (Rgb{200, 200, 200}));
  EXPECT_EQ(out.Pixel(2, 0), Rgb{});
  const Surface half = BoxFilter(src, 2, 0, 4, 4, 1, 1);
  EXPECT_EQ(half.Pixel(0, 0), (Rgb{100, 100, 100}));
}

TEST(BoxFilter, EmptySizesGiveAnEmptySurface) {
  const Surface src(4, 4);
  EXPECT_TRUE(BoxFilter(src, 0, 3).Empty());
  EXPECT_TRUE(BoxFilter(src, 0, 0, -1, 4, 2, 2).Empty());
}

// Large buffers are their own 2 MiB-aligned mappings; growing across the
// threshold and shrinking back keep every value.
TEST(LargeBuffer, KeepsValuesAcrossTheThresholdAndIsAligned) {
  LargeVector<std::uint32_t> values;
  const std::size_t big = (std::size_t{3} << 20) + 7;  // 12 MiB and a bit
  for (std::uint32_t i = 0; i < big; ++i) values.push_back(i * 2654435761U);
  if (big * sizeof(std::uint32_t) >= large_buffer::kThreshold)
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.data()) % (std::size_t{2} << 20), 0U);
  values.resize(10);
  values.shrink_to_fit();
  LargeVector<std::uint32_t> copy = values;
  copy.resize(big, 5);
  for (std::uint32_t i = 0; i < 10; ++i) ASSERT_EQ(copy[i], i * 2654435761U);
  EXPECT_EQ(copy.back(), 5U);
}

}  // namespace
}  // namespace quillet
