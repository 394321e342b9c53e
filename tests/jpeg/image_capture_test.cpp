// Image capture: plane geometry, box-filtered planes, edge replication, the
// colour conversion, block order and the capture's own status.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;

struct Geometry {
  int width, height;
  std::int32_t factors[6];
  std::size_t sizes[3];  // Data length per component (Pw x Ph)
};

TEST(SampleHDC, PlaneGeometry) {
  const Geometry cases[] = {
      {100, 75, {2, 2, 1, 1, 1, 1}, {104 * 80, 56 * 40, 56 * 40}},  // chroma 50 x 38 (37.5 up)
      {100, 50, {2, 2, 1, 1, 1, 1}, {104 * 56, 56 * 32, 56 * 32}},
      {1, 1, {2, 2, 1, 1, 1, 1}, {64, 64, 64}},
      {7, 9, {4, 4, 1, 1, 1, 1}, {8 * 16, 64, 64}},
      {129, 73, {3, 3, 1, 1, 1, 1}, {136 * 80, 48 * 32, 48 * 32}},  // 43 x 24.33 -> 25
      {129, 73, {1, 1, 2, 1, 1, 2}, {72 * 40, 136 * 40, 72 * 80}},  // 64.5 -> 65, 36.5 -> 37
      {33, 17, {1, 1, 0, 0, 0, 0}, {40 * 24, 0, 0}},
  };
  for (const Geometry& c : cases) {
    cJpeg j;
    const auto f = c.factors;
    j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    ASSERT_EQ(j.SampleHDC(test::SlidePicture(c.width, c.height), c.width, c.height, 0, 0), 0);
    const auto& comp = Access::Comp(j);
    for (std::size_t i = 0; i < comp.size(); ++i) {
      EXPECT_EQ(comp[i].Data.size(), c.sizes[i]) << c.width << "x" << c.height << " component " << i;
      EXPECT_EQ(comp[i].C, static_cast<std::int32_t>(i) + 1);
    }
    EXPECT_EQ(Access::P(j), 8);
    EXPECT_EQ(Access::X(j), c.width);
    EXPECT_EQ(Access::Y(j), c.height);
  }
}

// A picture padded by hand (last column, then last row repeated) encodes to
// the same coefficients as the unpadded one.
TEST(SampleHDC, EdgesRepeatTheLastColumnThenTheLastRow) {
  const struct { int width, height; } sizes[] = {{5, 3}, {8, 7}, {7, 8}, {13, 11}, {1, 1}};
  for (const auto& size : sizes) {
    const Surface picture = test::NoisePicture(size.width, size.height, 7);
    const int paddedWidth = (size.width + 7) / 8 * 8;
    const int paddedHeight = (size.height + 7) / 8 * 8;
    Surface padded(paddedWidth, paddedHeight);
    for (int y = 0; y < paddedHeight; ++y)
      for (int x = 0; x < paddedWidth; ++x)
        padded.SetPixel(x, y, picture.Pixel(std::min(x, size.width - 1), std::min(y, size.height - 1)));
    cJpeg small;
    cJpeg big;
    small.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    big.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    small.SampleHDC(picture, size.width, size.height, 0, 0);
    big.SampleHDC(padded, paddedWidth, paddedHeight, 0, 0);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(Access::Comp(small)[i].Data, Access::Comp(big)[i].Data) << size.width << "x" << size.height;
  }
}

// Chroma planes are the box-filtered picture: the 2x2 capture's Cb and Cr
// equal a 1x1 capture of the picture box-filtered to the chroma size.
TEST(SampleHDC, SubsampledPlanesAreTheBoxFilteredPicture) {
  const struct {
    int width, height, chromaWidth, chromaHeight;
  } cases[] = {
      {16, 16, 8, 8},  // exact halves
      {24, 8, 12, 4},
      {7, 9, 4, 5},  // fractional: 3.5 and 4.5 rounded up
      {129, 73, 65, 37},
  };
  for (const auto& c : cases) {
    const Surface picture = test::SlidePicture(c.width, c.height);
    cJpeg subsampled;
    subsampled.SampleHDC(picture, c.width, c.height, 0, 0);
    cJpeg direct;
    direct.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    direct.SampleHDC(BoxFilter(picture, c.chromaWidth, c.chromaHeight), c.chromaWidth, c.chromaHeight, 0, 0);
    EXPECT_EQ(Access::Comp(subsampled)[1].Data, Access::Comp(direct)[1].Data) << c.width << "x" << c.height;
    EXPECT_EQ(Access::Comp(subsampled)[2].Data, Access::Comp(direct)[2].Data) << c.width << "x" << c.height;
  }
}

TEST(SampleHDC, ReadsTheRectangleAndBlackOutsideTheSurface) {
  const Surface picture = test::SlidePicture(40, 30);
  Surface part(16, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) part.SetPixel(x, y, picture.Pixel(x + 20, y + 5));
  cJpeg fromRectangle;
  cJpeg fromPart;
  fromRectangle.SampleHDC(picture, 16, 8, 20, 5);
  fromPart.SampleHDC(part, 16, 8, 0, 0);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(Access::Comp(fromRectangle)[i].Data, Access::Comp(fromPart)[i].Data);

  // Partly outside: the part outside reads black.
  Surface straddling(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) straddling.SetPixel(x, y, picture.Pixel(x + 30, y + 20));
  cJpeg fromEdge;
  cJpeg fromStraddling;
  fromEdge.SampleHDC(picture, 16, 16, 30, 20);
  fromStraddling.SampleHDC(straddling, 16, 16, 0, 0);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(Access::Comp(fromEdge)[i].Data, Access::Comp(fromStraddling)[i].Data);

  // Entirely outside: black, so luminance DC is -128 * 8 = -1024 at quality 100.
  cJpeg outside;
  outside.Quality(100);
  outside.SampleHDC(picture, 8, 8, 100, -50);
  EXPECT_EQ(Access::Comp(outside)[0].Data[0], -1024);
}

TEST(SampleHDC, GreyAndWhiteSamples) {
  struct Sample {
    Rgb colour;
    std::int16_t luminanceDc;  // at quality 100: sample x 64 x 0.125
  };
  const Sample cases[] = {{{128, 128, 128}, 0}, {{255, 255, 255}, 127 * 8}, {{0, 0, 0}, -128 * 8}};
  for (const Sample& c : cases) {
    cJpeg j;
    j.Quality(100);
    j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
    ASSERT_EQ(j.SampleHDC(Surface(8, 8, c.colour), 8, 8, 0, 0), 0);
    const auto& comp = Access::Comp(j);
    EXPECT_EQ(comp[0].Data[0], c.luminanceDc) << int(c.colour.red);
    for (std::size_t k = 1; k < 64; ++k) EXPECT_EQ(comp[0].Data[k], 0);
    for (std::size_t i = 1; i < 3; ++i)
      for (std::int16_t value : comp[i].Data) EXPECT_EQ(value, 0) << "chroma of " << int(c.colour.red);
  }
}

TEST(SampleHDC, ColourConversionOfPrimaries) {
  // Pure red at quality 100: Y = 0.299 * 255 - 128, Cb = -0.16874 * 255,
  // Cr = 0.5 * 255; each DC is the sample x 8, rounded.
  cJpeg j;
  j.Quality(100);
  j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
  j.SampleHDC(Surface(8, 8, Rgb{255, 0, 0}), 8, 8, 0, 0);
  const auto& comp = Access::Comp(j);
  EXPECT_EQ(comp[0].Data[0], static_cast<std::int16_t>(std::nearbyint((0.299 * 255 - 128) * 8)));
  EXPECT_EQ(comp[1].Data[0], static_cast<std::int16_t>(std::nearbyint(-0.16874 * 255 * 8)));
  EXPECT_EQ(comp[2].Data[0], 1020);
}

TEST(SampleHDC, GreyFrameUsesTheLuminanceOfTheColours) {
  cJpeg grey;
  grey.Quality(100);
  grey.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
  grey.SampleHDC(Surface(8, 8, Rgb{0, 255, 0}), 8, 8, 0, 0);
  ASSERT_EQ(Access::Comp(grey).size(), 1u);
  EXPECT_EQ(Access::Comp(grey)[0].Data[0], static_cast<std::int16_t>(std::nearbyint((0.587 * 255 - 128) * 8)));
}

TEST(SampleHDC, BlocksInRasterOrder) {
  // 16 x 16, quadrants of different greys: blocks (0,0), (0,1), (1,0), (1,1).
  Surface picture(16, 16);
  const std::uint8_t levels[4] = {10, 60, 110, 160};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t v = levels[(y / 8) * 2 + x / 8];
      picture.SetPixel(x, y, {v, v, v});
    }
  cJpeg j;
  j.Quality(100);
  j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
  j.SampleHDC(picture, 16, 16, 0, 0);
  const auto& data = Access::Comp(j)[0].Data;
  for (std::size_t block = 0; block < 4; ++block) EXPECT_EQ(data[block * 64], (levels[block] - 128) * 8) << block;
}

TEST(SampleHDC, QualityTakesEffectAtCapture) {
  const Surface picture = test::SlidePicture(16, 16);
  cJpeg a;
  a.Quality(20);
  a.SampleHDC(picture, 16, 16, 0, 0);
  cJpeg b;
  b.SampleHDC(picture, 16, 16, 0, 0);
  b.Quality(20);
  EXPECT_NE(Access::Comp(a)[0].Data, Access::Comp(b)[0].Data);
  b.SampleHDC(picture, 16, 16, 0, 0);
  EXPECT_EQ(Access::Comp(a)[0].Data, Access::Comp(b)[0].Data);
}

TEST(SampleHDC, ZeroOrNegativeSizeCapturesNothing) {
  cJpeg j;
  ASSERT_EQ(j.SampleHDC(test::SlidePicture(16, 16), 16, 16, 0, 0), 0);
  const auto before = Access::Comp(j)[0].Data;
  const struct { int width, height; } sizes[] = {{0, 5}, {5, 0}, {-3, 5}, {5, -1}};
  for (const auto& size : sizes) {
    EXPECT_EQ(j.SampleHDC(test::SlidePicture(8, 8), size.width, size.height, 0, 0), 1);
    EXPECT_EQ(Access::X(j), 16);
    EXPECT_EQ(Access::Y(j), 16);
    EXPECT_EQ(Access::Comp(j)[0].Data, before);
  }
  cJpeg fresh;
  EXPECT_EQ(fresh.SampleHDC(Surface(), 0, 0, 0, 0), 1);
  EXPECT_EQ(Access::P(fresh), 0);
}

}  // namespace
}  // namespace quillet
