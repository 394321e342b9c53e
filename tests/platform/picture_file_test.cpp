// Picture files: loading each format, refusing damaged files with a message
// naming the file, and writing JPEG files through a temporary file.
#include "platform/picture_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/error.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

class PictureFile : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("quillet-picture-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
               std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  std::vector<fs::path> Entries() const {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder_)) entries.push_back(entry.path().filename());
    return entries;
  }

  fs::path folder_;
};

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

Surface Pattern(int width, int height) {
  Surface s(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      s.SetPixel(x, y,
                 {static_cast<std::uint8_t>(x * 20), static_cast<std::uint8_t>(y * 30),
                  static_cast<std::uint8_t>(100 + x + y)});
  return s;
}

std::string MessageOf(const fs::path& path) {
  try {
    LoadPicture(path);
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

TEST_F(PictureFile, LoadsPpmWithComments) {
  std::vector<std::uint8_t> bytes = Bytes("P6\n# a comment\n2 1\n255\n");
  for (std::uint8_t b : {10, 20, 30, 40, 50, 60}) bytes.push_back(b);
  const Surface s = LoadPicture(Write("a.ppm", bytes));
  ASSERT_EQ(s.Width(), 2);
  ASSERT_EQ(s.Height(), 1);
  EXPECT_EQ(s.Pixel(0, 0), (Rgb{10, 20, 30}));
  EXPECT_EQ(s.Pixel(1, 0), (Rgb{40, 50, 60}));
}

TEST_F(PictureFile, LoadsPgmAsEqualChannelsAndScalesMaxValue) {
  std::vector<std::uint8_t> bytes = Bytes("P5 2 1 15 ");
  bytes.push_back(15);
  bytes.push_back(7);
  const Surface s = LoadPicture(Write("a.pgm", bytes));
  EXPECT_EQ(s.Pixel(0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(s.Pixel(1, 0), (Rgb{119, 119, 119}));  // 7 * 255 / 15 = 119
}

TEST_F(PictureFile, LoadsSixteenBitPpm) {
  std::vector<std::uint8_t> bytes = Bytes("P6 1 1 65535\n");
  for (std::uint8_t b : {0xFF, 0xFF, 0x00, 0x00, 0x80, 0x00}) bytes.push_back(b);
  EXPECT_EQ(LoadPicture(Write("a.ppm", bytes)).Pixel(0, 0), (Rgb{255, 0, 128}));
}

TEST_F(PictureFile, LoadsPng) {
  const Surface pattern = Pattern(5, 3);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 5;
  image.height = 3;
  image.format = PNG_FORMAT_RGB;
  const fs::path path = folder_ / "a.png";
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pattern.Bytes().data(), 15, nullptr));
  EXPECT_EQ(LoadPicture(path), pattern);
}

TEST_F(PictureFile, WritesJpegThatLoadsBack) {
  const Surface pattern(24, 16, Rgb{200, 100, 50});
  const fs::path path = folder_ / "out.jpg";
  WriteJpeg(pattern, path, 100);
  const Surface back = LoadPicture(path);
  ASSERT_EQ(back.Width(), 24);
  ASSERT_EQ(back.Height(), 16);
  const Rgb p = back.Pixel(10, 10);
  EXPECT_NEAR(p.red, 200, 2);
  EXPECT_NEAR(p.green, 100, 2);
  EXPECT_NEAR(p.blue, 50, 2);
  EXPECT_EQ(Entries(), std::vector<fs::path>{"out.jpg"});
}

TEST_F(PictureFile, WriteJpegReplacesAnExistingFile) {
  const fs::path path = Write("out.jpg", Bytes("old"));
  WriteJpeg(Pattern(8, 8), path, 90);
  EXPECT_EQ(LoadPicture(path).Width(), 8);
  EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(PictureFile, FailedWriteLeavesOldFileAndNoTemporary) {
  const fs::path path = Write("out.jpg", Bytes("old"));
  EXPECT_THROW(WriteJpeg(Surface(), path, 90), Error);
  EXPECT_THROW(WriteJpeg(Pattern(4, 4), path, 0), Error);
  EXPECT_THROW(WriteJpeg(Pattern(4, 4), folder_ / "missing-folder" / "x.jpg", 90), Error);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
  EXPECT_EQ(Entries(), std::vector<fs::path>{"out.jpg"});
}

struct BadFile {
  const char* name;
  std::string bytes;
  const char* reason;
};

TEST_F(PictureFile, RefusesBadFilesNamingThem) {
  const BadFile cases[] = {
      {"empty.ppm", "", "the file is empty"},
      {"text.txt", "hello", "unsupported format"},
      {"short.ppm", std::string("P6 2 2 255\n") + "abc", "truncated"},
      {"header.ppm", "P6 2", "truncated"},
      {"comments.ppm", "P6 #" + std::string(70000, 'c') + "\n1 1 255\nabc", "the header is too long"},
      {"zero.ppm", "P6 0 5 255\n", "no pixels"},
      {"huge.ppm", "P6 100000 100000 255\n", "too large"},
      {"maxval.pgm", "P5 1 1 0\n", "maximum sample value"},
      {"garbage.pgm", "P5 x 1 255\n", "malformed"},
      {"cut.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), "PNG"},
      {"cut.jpg", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), "JPEG"},
  };
  for (const BadFile& bad : cases) {
    const fs::path path = Write(bad.name, Bytes(bad.bytes));
    const std::string message = MessageOf(path);
    EXPECT_NE(message.find(path.string()), std::string::npos) << bad.name << ": " << message;
    EXPECT_NE(message.find(bad.reason), std::string::npos) << bad.name << ": " << message;
  }
  EXPECT_NE(MessageOf(folder_ / "missing.ppm").find("no such file"), std::string::npos);
  EXPECT_NE(MessageOf(folder_).find("folder"), std::string::npos);
}

TEST_F(PictureFile, RefusesTruncatedJpeg) {
  const fs::path path = folder_ / "whole.jpg";
  WriteJpeg(Pattern(64, 64), path, 90);
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  bytes.resize(bytes.size() / 2);
  const std::string message = MessageOf(Write("half.jpg", Bytes(bytes)));
  EXPECT_NE(message.find("half.jpg"), std::string::npos) << message;
  EXPECT_NE(message.find("the JPEG data cannot be decoded (Premature end of JPEG file)"), std::string::npos) << message;
}

}  // namespace
}  // namespace quillet
