// Movie assembly: the movie written through the movie library has one frame
// per picture, the frame size, rate and background asked for, a stop action
// in every frame and the pictures in the order given.
#include "conversion/movie_assembly.h"

#include <gtest/gtest.h>

#include "platform/picture_file.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::ReadBytes;
using testing::ReadSwf;
using testing::ScratchFolder;
using testing::SwfFile;

std::vector<std::string> MakePictures(const ScratchFolder& folder, int count, int width, int height) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path path = folder / ("Slide" + std::to_string(i + 1) + ".jpg");
    WriteJpeg(Surface(width, height, testing::PageColour(i)), path, 95);
    paths.push_back(path.string());
  }
  return paths;
}

SwfFile Assemble(const ScratchFolder& folder, int width, int height, const std::vector<std::string>& pictures) {
  SlideShowMovie movie;
  movie.SetUpFrame(static_cast<float>(width), static_cast<float>(height));
  movie.BuildFrames(static_cast<float>(width), static_cast<float>(height), pictures);
  movie.Write((folder / "show.swf").string());
  return ReadSwf(ReadBytes(folder / "show.swf"));
}

int CountTags(const SwfFile& movie, int code) {
  int count = 0;
  for (const testing::SwfTag& tag : movie.tags) count += tag.code == code ? 1 : 0;
  return count;
}

struct MovieCase {
  int slides, width, height;
};

class SlideShowMovieTest : public ::testing::TestWithParam<MovieCase> {};

TEST_P(SlideShowMovieTest, OneStoppingFramePerSlideAtTheFrameSize) {
  const MovieCase& c = GetParam();
  ScratchFolder folder;
  const SwfFile movie = Assemble(folder, c.width, c.height, MakePictures(folder, c.slides, c.width, c.height));
  EXPECT_EQ(movie.frameCount, c.slides);
  EXPECT_EQ(movie.xMin, 0);
  EXPECT_EQ(movie.yMin, 0);
  EXPECT_EQ(movie.xMax, 20 * c.width);
  EXPECT_EQ(movie.yMax, 20 * c.height);
  EXPECT_EQ(movie.frameRate, 24.0);
  EXPECT_EQ(CountTags(movie, testing::kShowFrame), c.slides);
  EXPECT_EQ(CountTags(movie, testing::kDoAction), c.slides);
  const auto background = std::find_if(movie.tags.begin(), movie.tags.end(), [](const testing::SwfTag& tag) {
    return tag.code == testing::kSetBackgroundColor;
  });
  ASSERT_NE(background, movie.tags.end());
  EXPECT_EQ(background->body, "\xff\xff\xff");
  const auto frames = testing::FramePictures(movie);
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(c.slides));
  for (int a = 0; a < c.slides; ++a) {
    ASSERT_EQ(frames[static_cast<std::size_t>(a)].size(), 1u) << "frame " << a;
    const Surface& picture = frames[static_cast<std::size_t>(a)][0];
    EXPECT_EQ(picture.Width(), c.width);
    EXPECT_EQ(picture.Height(), c.height);
    const Rgb mean = testing::MeanColour(picture);
    const Rgb expected = testing::PageColour(a);
    EXPECT_NEAR(mean.red, expected.red, 3) << "frame " << a;
    EXPECT_NEAR(mean.green, expected.green, 3) << "frame " << a;
    EXPECT_NEAR(mean.blue, expected.blue, 3) << "frame " << a;
  }
}

INSTANTIATE_TEST_SUITE_P(Movies, SlideShowMovieTest,
                         ::testing::Values(MovieCase{1, 360, 270}, MovieCase{3, 240, 180}, MovieCase{12, 481, 270}));

}  // namespace
}  // namespace quillet
