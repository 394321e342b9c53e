// The whole conversion through LibreOffice: the sample deck at each size, and
// files LibreOffice cannot open. Each conversion starts LibreOffice once
// (about a second).
#include <gtest/gtest.h>

#include "conversion/convert_presentation.h"
#include "platform/error.h"
#include "platform/picture_file.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::ReadBytes;
using testing::ReadSwf;
using testing::RecordingObserver;
using testing::ScratchFolder;
using testing::WriteBytes;

constexpr int kSampleSlides = 6;  // the sample's seventh slide is hidden

class LibreOfficeConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_ / "program");
    std::filesystem::create_directories(root_ / "out");
    std::filesystem::copy_file(QUILLET_PAGE_TEMPLATE, root_ / "program" / "qzp.html");
    setup_.programFolder = root_ / "program";
  }

  ScratchFolder root_;
  ConversionSetup setup_;
  JobState job_;
  RecordingObserver observer_;
  CancelFlag cancel_;
};

struct SizeCase {
  int divisor;
  int width, height;
};

class SampleDeckTest : public LibreOfficeConversionTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SampleDeckTest, OneFramePerShownSlideAtTheRescaledSize) {
  const SizeCase& size = GetParam();
  job_.m_SizeDivisor = size.divisor;
  const ConversionOutcome outcome =
      ConvertPresentation(job_, QUILLET_SAMPLE_DECK, (root_ / "out").string(), setup_, observer_, cancel_);
  EXPECT_EQ(outcome.slideCount, kSampleSlides);
  EXPECT_EQ(outcome.width, size.width);
  EXPECT_EQ(outcome.height, size.height);
  EXPECT_EQ(AllNames(root_ / "out"),
            (std::vector<std::string>{"sample-deck.html", "sample-deck.swf", "sample-deck.swf.js"}));

  const testing::SwfFile movie = ReadSwf(ReadBytes(outcome.movie));
  EXPECT_EQ(movie.frameCount, kSampleSlides);
  EXPECT_EQ(movie.xMax, 20 * size.width);
  EXPECT_EQ(movie.yMax, 20 * size.height);
  const auto frames = testing::FramePictures(movie);
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(kSampleSlides));
  for (const auto& frame : frames) {
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ(frame[0].Width(), size.width);
    EXPECT_EQ(frame[0].Height(), size.height);
  }
  // The work folder keeps the rescaled pictures until the next conversion.
  const std::filesystem::path work = root_ / "program" / "temp";
  for (int n = 1; n <= kSampleSlides; ++n) {
    const Surface picture = LoadPicture(work / ("Slide" + std::to_string(n) + ".jpg"));
    EXPECT_EQ(picture.Width(), size.width);
    EXPECT_EQ(picture.Height(), size.height);
  }
  EXPECT_EQ(observer_.percents, (std::vector<int>{0, 17, 33, 50, 67, 83}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SampleDeckTest,
                         ::testing::Values(SizeCase{1, 720, 540}, SizeCase{2, 360, 270}, SizeCase{3, 240, 180}));

struct Unreadable {
  const char* name;
  std::string bytes;
};

class UnreadableDeckTest : public LibreOfficeConversionTest, public ::testing::WithParamInterface<Unreadable> {};

TEST_P(UnreadableDeckTest, IsRefusedWithLibreOfficesLastWords) {
  const std::string deck = (root_ / GetParam().name).string();
  WriteBytes(deck, GetParam().bytes);
  WriteBytes(root_ / "out" / "x.swf", "earlier");
  try {
    ConvertPresentation(job_, deck, (root_ / "out").string(), setup_, observer_, cancel_);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()),
              deck + " is not a presentation LibreOffice can open (Error: source file could not be loaded)");
  }
  EXPECT_EQ(AllNames(root_ / "out"), std::vector<std::string>{"x.swf"});
  EXPECT_EQ(AllNames(root_ / "program" / "temp"),
            (std::vector<std::string>{".lock", ".quillet-work-folder"}));  // no scratch folder left
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableDeckTest,
                         ::testing::Values(Unreadable{"noise.pptx", std::string("PK\x03\x04 not really a zip", 21)},
                                           Unreadable{"letter.ppt", "Dear reader,\nthis is a letter.\n"}));

}  // namespace
}  // namespace quillet
