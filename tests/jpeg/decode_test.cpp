// Every picture the encoder writes, decoded again by an independent decoder
// (libjpeg-turbo): no error, no warning, the right size, and at quality 100
// a decoded luminance within 50 dB PSNR of the picture's own.
#include <gtest/gtest.h>

#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;

enum class Kind { kSlide, kNoise, kFlat };

struct DecodeCase {
  const char* name;
  int width, height;
  std::int32_t factors[6];
  std::int32_t quality;
  Kind kind;
  double minimumPsnr;
};

Surface Picture(Kind kind, int width, int height) {
  switch (kind) {
    case Kind::kSlide: return test::SlidePicture(width, height);
    case Kind::kNoise: return test::NoisePicture(width, height, 11);
    case Kind::kFlat: return Surface(width, height, Rgb{200, 120, 40});
  }
  return {};
}

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, DecodesCleanlyAndCloseToThePicture) {
  const DecodeCase& c = GetParam();
  const Surface picture = Picture(c.kind, c.width, c.height);
  cJpeg j;
  j.Quality(c.quality);
  const auto f = c.factors;
  j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
  j.Comment(c.name);
  ASSERT_EQ(j.SampleHDC(picture, c.width, c.height, 0, 0), 0);
  const std::vector<std::uint8_t> jpeg = Access::BuildStream(j);

  EXPECT_EQ(test::TurboDecodeProblem(jpeg), "");
  const test::Decoded decoded = test::DecodeLuminance(jpeg);
  ASSERT_TRUE(decoded.ok) << decoded.message;
  EXPECT_EQ(decoded.warnings, 0);
  ASSERT_EQ(decoded.width, c.width);
  ASSERT_EQ(decoded.height, c.height);
  EXPECT_EQ(decoded.components, f[2] == 0 ? 1 : 3);
  EXPECT_GE(test::LuminancePsnr(picture, decoded), c.minimumPsnr);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Decode,
    ::testing::Values(DecodeCase{"one_pixel", 1, 1, {2, 2, 1, 1, 1, 1}, 100, Kind::kFlat, 50},
                      DecodeCase{"seven_by_nine", 7, 9, {2, 2, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"odd_129x73", 129, 73, {2, 2, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"slide_720x540", 720, 540, {2, 2, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"slide_360x270_q75", 360, 270, {2, 2, 1, 1, 1, 1}, 75, Kind::kSlide, 30},
                      DecodeCase{"grey_129x73", 129, 73, {1, 1, 0, 0, 0, 0}, 100, Kind::kSlide, 50},
                      DecodeCase{"grey_1x1", 1, 1, {1, 1, 0, 0, 0, 0}, 100, Kind::kFlat, 50},
                      DecodeCase{"chroma_1x1_129x73", 129, 73, {1, 1, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"luminance_4x4_129x73", 129, 73, {4, 4, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"luminance_4x4_1x1", 1, 1, {4, 4, 1, 1, 1, 1}, 100, Kind::kFlat, 50},
                      DecodeCase{"luminance_3x3_129x73", 129, 73, {3, 3, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"luminance_3x3_7x9", 7, 9, {3, 3, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"filler_100x75", 100, 75, {2, 2, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      DecodeCase{"filler_100x50", 100, 50, {2, 2, 1, 1, 1, 1}, 100, Kind::kSlide, 50},
                      // Luminance at 1 x 2 of a 2 x 2 maximum is itself halved across.
                      DecodeCase{"tall_1x2_2x1", 45, 70, {1, 2, 2, 1, 1, 1}, 100, Kind::kSlide, 20},
                      DecodeCase{"chroma_2x2_2x2", 33, 17, {2, 2, 2, 2, 2, 2}, 100, Kind::kSlide, 50},
                      DecodeCase{"noise_q100", 64, 48, {1, 1, 1, 1, 1, 1}, 100, Kind::kNoise, 50},
                      DecodeCase{"noise_q50", 61, 47, {2, 2, 1, 1, 1, 1}, 50, Kind::kNoise, 15},
                      DecodeCase{"slide_q1", 129, 73, {2, 2, 1, 1, 1, 1}, 1, Kind::kSlide, 10}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet
