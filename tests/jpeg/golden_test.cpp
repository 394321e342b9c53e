// Golden files: the exact bytes of a few pictures, fixed by formula here,
// with fixed settings. The files were checked segment by segment against the
// rules, decoded by djpeg without warning, and reproduced byte for byte by
// the Python reference encoder (reference_encoder.py). Set
// QUILLET_WRITE_GOLDEN=1 to write them again after a deliberate change.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;

// Gradients, a bar, a grid of white lines and a diagonal: every kind of
// block a slide has.
Surface GoldenPicture(int width, int height) {
  Surface s(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Rgb p{static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)),
            static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)), static_cast<std::uint8_t>((x * y) % 256)};
      if (y >= height / 3 && y < height / 2) p = {30, 60, 150};
      if (x % 10 == 9 || y % 12 == 11) p = {255, 255, 255};
      if (x == y) p = {0, 0, 0};
      s.SetPixel(x, y, p);
    }
  return s;
}

struct GoldenCase {
  const char* file;
  int width, height;
  std::int32_t quality;
  std::int32_t factors[6];
  const char* comment;
};

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, BytesAreExactlyTheFile) {
  const GoldenCase& c = GetParam();
  cJpeg j;
  j.Quality(c.quality);
  const auto f = c.factors;
  j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
  j.Comment(c.comment);
  ASSERT_EQ(j.SampleHDC(GoldenPicture(c.width, c.height), c.width, c.height, 0, 0), 0);
  const std::vector<std::uint8_t> stream = Access::BuildStream(j);
  const std::filesystem::path path = std::filesystem::path(QUILLET_GOLDEN_DIR) / c.file;
  if (std::getenv("QUILLET_WRITE_GOLDEN") != nullptr) test::WriteFile(path, stream);
  const std::vector<std::uint8_t> golden = test::ReadFile(path);
  ASSERT_FALSE(golden.empty()) << path;
  EXPECT_EQ(stream.size(), golden.size());
  std::size_t first = 0;
  while (first < std::min(stream.size(), golden.size()) && stream[first] == golden[first]) ++first;
  EXPECT_EQ(first, golden.size()) << "first difference at byte " << first;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Golden,
    ::testing::Values(GoldenCase{"grey_16x8_q75.jpg", 16, 8, 75, {1, 1, 0, 0, 0, 0}, ""},
                      GoldenCase{"colour_37x21_q100_comment.jpg", 37, 21, 100, {2, 2, 1, 1, 1, 1}, "Quillet"},
                      GoldenCase{"colour_70x45_4x4_q90.jpg", 70, 45, 90, {4, 4, 1, 1, 1, 1}, ""},
                      GoldenCase{"colour_45x30_3x3_q50.jpg", 45, 30, 50, {3, 3, 1, 1, 1, 1}, ""}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      return name;
    });

}  // namespace
}  // namespace quillet
