// Slide rescaling and re-encoding: the rescaled sizes, the percentages shown
// after each slide, and one exported picture shrunk and written out.
#include "conversion/slide_rescale.h"

#include <gtest/gtest.h>

#include "conversion/convert_presentation.h"
#include "conversion/file_helpers.h"
#include "platform/error.h"
#include "platform/picture_file.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;

struct SizeCase {
  int width, height, divisor;
  PictureSize expected;
};

class RescaledSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RescaledSizeTest, DividesAndRoundsHalfToEven) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(RescaledSize(c.width, c.height, c.divisor), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RescaledSizeTest,
                         ::testing::Values(SizeCase{720, 540, 1, {720, 540}}, SizeCase{720, 540, 2, {360, 270}},
                                           SizeCase{720, 540, 3, {240, 180}},
                                           // a 16:9 slide renders 961 pixels wide: 480.5 goes to 480, 320.33 to 320
                                           SizeCase{961, 540, 1, {961, 540}}, SizeCase{961, 540, 2, {480, 270}},
                                           SizeCase{961, 540, 3, {320, 180}},
                                           // 481.5 goes to 482, 321.67 to 322, 0.33 never below one pixel
                                           SizeCase{963, 965, 2, {482, 482}}, SizeCase{965, 1, 3, {322, 1}}));

TEST(RescaledSizeTest, DivisorBelowOneIsAnError) { EXPECT_THROW(RescaledSize(720, 540, 0), Error); }

struct PercentCase {
  int count;
  std::vector<int> shown;
};

class ProgressPercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(ProgressPercentTest, RoundsHalfToEvenAfterEachSlide) {
  const PercentCase& c = GetParam();
  std::vector<int> shown;
  for (int i = 0; i < c.count; ++i) shown.push_back(ProgressPercent(i, c.count));
  EXPECT_EQ(shown, c.shown);
}

INSTANTIATE_TEST_SUITE_P(Counts, ProgressPercentTest,
                         ::testing::Values(PercentCase{1, {0}}, PercentCase{3, {0, 33, 67}},
                                           PercentCase{8, {0, 12, 25, 38, 50, 62, 75, 88}}));

// The sampling factors of a baseline JPEG's components, from its SOF0.
std::vector<int> SamplingFactors(const std::string& jpeg) {
  const std::size_t sof = jpeg.find("\xff\xc0");
  if (sof == std::string::npos) return {};
  const int components = static_cast<unsigned char>(jpeg[sof + 9]);
  std::vector<int> factors;
  for (int i = 0; i < components; ++i) factors.push_back(static_cast<unsigned char>(jpeg[sof + 11 + 3 * i]));
  return factors;
}

Surface Gradient(int width, int height) {
  Surface picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.SetPixel(
          x, y, Rgb{static_cast<std::uint8_t>(x * 255 / width), static_cast<std::uint8_t>(y * 255 / height), 128});
    }
  }
  return picture;
}

TEST(RescaleSlideTest, ShrinksAndReencodesWithItsOwnSettings) {
  ScratchFolder folder;
  WriteJpeg(Gradient(961, 540), folder / "exported.jpg", 100);
  cJpeg encoder;
  encoder.Quality(20);  // RescaleSlide gives its own settings
  encoder.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
  encoder.Comment("left from before");
  RescaleSlide(ReadBytes(folder / "exported.jpg"), folder / "Slide1.jpg", 3, encoder);
  const Surface picture = LoadPicture(folder / "Slide1.jpg");
  EXPECT_EQ(picture.Width(), 320);
  EXPECT_EQ(picture.Height(), 180);
  EXPECT_EQ(SamplingFactors(ReadBytes(folder / "Slide1.jpg")), (std::vector<int>{0x22, 0x11, 0x11}));
  EXPECT_EQ(encoder.Quality(), 100);
  EXPECT_EQ(encoder.Comment(), "");
}

// The written slide is, byte for byte, what the encoder makes of the
// exported picture shrunk by the box filter, at every size divisor, at the
// default settings, at another quality (which keeps the sampling) and at hd's.
TEST(RescaleSlideTest, WritesTheEncoderOutputOfTheBoxFilteredPicture) {
  ScratchFolder folder;
  WriteJpeg(Gradient(721, 541), folder / "exported.jpg", 90);
  const Surface exported = LoadPicture(folder / "exported.jpg");
  struct Case {
    int divisor;
    SlideEncoding encoding;
    int quality, luma;  // what the reference encoder is given
  };
  for (const Case& c : {Case{1, {}, 100, 2}, Case{2, {}, 100, 2}, Case{3, {}, 100, 2}, Case{1, {85, false}, 85, 2},
                        Case{1, kHdEncoding, kHdEncoding.quality, 1}, Case{1, {85, true}, 85, 1}}) {
    cJpeg encoder;
    RescaleSlide(ReadBytes(folder / "exported.jpg"), folder / "Slide1.jpg", c.divisor, encoder, std::nullopt,
                 c.encoding);
    const PictureSize size = RescaledSize(exported.Width(), exported.Height(), c.divisor);
    cJpeg reference;
    reference.SetSamplingFrequencies(c.luma, c.luma, 1, 1, 1, 1);
    reference.Quality(c.quality);
    ASSERT_EQ(reference.SampleHDC(BoxFilter(exported, size.width, size.height), size.width, size.height, 0, 0), 0);
    reference.SaveFile((folder / "expected.jpg").string());
    EXPECT_EQ(ReadBytes(folder / "Slide1.jpg"), ReadBytes(folder / "expected.jpg"))
        << "divisor " << c.divisor << ", quality " << c.quality << ", luma " << c.luma;
  }
}

TEST(RescaleSlideTest, UnreadablePictureIsAnErrorNamingTheSlide) {
  ScratchFolder folder;
  cJpeg encoder;
  try {
    RescaleSlide("not a picture", folder / "Slide1.jpg", 2, encoder);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("Slide1.jpg"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "Slide1.jpg"));
}

}  // namespace
}  // namespace quillet
