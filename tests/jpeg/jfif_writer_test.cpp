// The JFIF stream writer and SaveFile: segment order and bytes for grey and
// colour pictures and with a comment, and the file replaced only by a
// complete stream (old file kept, no temporary file left, on any error).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/error.h"
#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;
using test::ErrorOf;
using Bytes = std::vector<std::uint8_t>;

struct Segment {
  std::uint8_t marker = 0;
  Bytes body;  // after the length field; for SOS, the header only
  friend bool operator==(const Segment&, const Segment&) = default;
};

// Splits a stream into its marker segments (T.81 B.1.1): SOI and EOI carry
// nothing, every other segment a length; a scan's entropy-coded data runs
// to the next marker that is not a stuffed 0xFF 0x00.
std::vector<Segment> Segments(const Bytes& stream) {
  std::vector<Segment> segments;
  std::size_t i = 0;
  while (i + 1 < stream.size()) {
    EXPECT_EQ(stream[i], 0xFF) << "at " << i;
    if (stream[i] != 0xFF) return segments;
    Segment segment;
    segment.marker = stream[i + 1];
    i += 2;
    if (segment.marker == 0xD8 || segment.marker == 0xD9) {
      segments.push_back(segment);
      continue;
    }
    const std::size_t length = stream[i] * 256u + stream[i + 1];
    segment.body.assign(stream.begin() + static_cast<std::ptrdiff_t>(i + 2),
                        stream.begin() + static_cast<std::ptrdiff_t>(i + length));
    i += length;
    if (segment.marker == 0xDA)
      while (i + 1 < stream.size() && !(stream[i] == 0xFF && stream[i + 1] != 0x00)) ++i;
    segments.push_back(segment);
  }
  return segments;
}

std::vector<std::uint8_t> Markers(const std::vector<Segment>& segments) {
  std::vector<std::uint8_t> markers;
  for (const Segment& s : segments) markers.push_back(s.marker);
  return markers;
}

Bytes Capture(cJpeg& j, int width, int height) {
  EXPECT_EQ(j.SampleHDC(test::SlidePicture(width, height), width, height, 0, 0), 0);
  return Access::BuildStream(j);
}

const Bytes kApp0 = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                     0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
const Bytes kFixedComment = {0xFF, 0xFE, 0x00, 0x14, 0x4A, 0x50, 0x45, 0x47, 0x0D, 0x0A, 0x61,
                             0x61, 0x61, 0x61, 0x61, 0x0D, 0x0A, 0x61, 0x61, 0x61, 0x61, 0x61};

TEST(JfifWriter, GreyPictureSegmentsInOrder) {
  cJpeg j;
  j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
  const Bytes stream = Capture(j, 20, 12);
  const auto segments = Segments(stream);
  EXPECT_EQ(Markers(segments), (Bytes{0xD8, 0xE0, 0xFE, 0xDB, 0xC0, 0xC4, 0xC4, 0xDA, 0xD9}));
  EXPECT_EQ(Bytes(stream.begin() + 2, stream.begin() + 20), kApp0);
  EXPECT_EQ(Bytes(stream.begin() + 20, stream.begin() + 42), kFixedComment);
  // SOF0: length 11, precision 8, 12 lines, 20 samples, one component 1, 1x1, table 0.
  EXPECT_EQ(segments[4].body, (Bytes{8, 0, 12, 0, 20, 1, 1, 0x11, 0}));
  // SOS: FF DA 00 08 01 Cs (Td Ta) 00 3F 00.
  EXPECT_EQ(segments[7].body, (Bytes{1, 1, 0x00, 0, 63, 0}));
  EXPECT_EQ(stream[stream.size() - 2], 0xFF);
  EXPECT_EQ(stream.back(), 0xD9);
}

TEST(JfifWriter, ColourPictureSegmentsInOrder) {
  cJpeg j;
  const Bytes stream = Capture(j, 129, 73);
  const auto segments = Segments(stream);
  EXPECT_EQ(Markers(segments), (Bytes{0xD8, 0xE0, 0xFE, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA, 0xD9}));
  EXPECT_EQ(segments[5].body, (Bytes{8, 0, 73, 0, 129, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
  EXPECT_EQ(segments[10].body, (Bytes{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));
  // The tables in the order DC 0, AC 0, DC 1, AC 1.
  EXPECT_EQ(segments[6].body[0], 0x00);
  EXPECT_EQ(segments[7].body[0], 0x10);
  EXPECT_EQ(segments[8].body[0], 0x01);
  EXPECT_EQ(segments[9].body[0], 0x11);
}

TEST(JfifWriter, QuantisationTablesAsEightBitEntriesInZigZagOrder) {
  for (std::int32_t quality : {1, 75, 100}) {
    cJpeg j;
    j.Quality(quality);
    const auto segments = Segments(Capture(j, 16, 16));
    for (std::size_t t = 0; t < 2; ++t) {
      const Segment& dqt = segments[3 + t];
      ASSERT_EQ(dqt.body.size(), 65u);
      EXPECT_EQ(dqt.body[0], t);
      for (std::size_t z = 0; z < 64; ++z) EXPECT_EQ(dqt.body[1 + z], Access::QTable(j)[t].Qk[z]) << quality;
    }
  }
  cJpeg j;
  j.Quality(1);
  const auto segments = Segments(Capture(j, 8, 8));
  for (std::size_t z = 1; z < 65; ++z) EXPECT_EQ(segments[3].body[z], 255);
}

TEST(JfifWriter, HuffmanTableSegmentsHoldBitsAndValues) {
  cJpeg j;
  const auto segments = Segments(Capture(j, 64, 40));
  const Access::Table* tables[4] = {&Access::HuffDC(j)[0], &Access::HuffAC(j)[0], &Access::HuffDC(j)[1],
                                    &Access::HuffAC(j)[1]};
  for (std::size_t t = 0; t < 4; ++t) {
    const Segment& dht = segments[6 + t];
    std::size_t count = 0;
    for (std::size_t l = 0; l < 16; ++l) {
      EXPECT_EQ(dht.body[1 + l], tables[t]->BITS[l]);
      count += tables[t]->BITS[l];
    }
    ASSERT_EQ(dht.body.size(), 17 + count);
    for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(dht.body[17 + k], tables[t]->HUFFVAL[k]);
  }
}

TEST(JfifWriter, CommentComesBeforeTheFixedComment) {
  cJpeg j;
  j.Comment("abc");
  const Bytes stream = Capture(j, 8, 8);
  EXPECT_EQ(Bytes(stream.begin() + 20, stream.begin() + 27), (Bytes{0xFF, 0xFE, 0x00, 0x05, 0x61, 0x62, 0x63}));
  EXPECT_EQ(Bytes(stream.begin() + 27, stream.begin() + 49), kFixedComment);

  cJpeg utf8;
  utf8.Comment("\xC3\xA9t\xC3\xA9");  // UTF-8 text, written as it is
  const auto segments = Segments(Capture(utf8, 8, 8));
  EXPECT_EQ(segments[2].body, (Bytes{0xC3, 0xA9, 't', 0xC3, 0xA9}));

  cJpeg longest;
  longest.Comment(std::string(65533, 'q'));
  const Bytes big = Capture(longest, 8, 8);
  EXPECT_EQ(Bytes(big.begin() + 20, big.begin() + 24), (Bytes{0xFF, 0xFE, 0xFF, 0xFF}));
}

TEST(JfifWriter, WriteCOMWritesNothingForEmptyText) {
  cJpeg j;
  Access::StartOutput(j);
  Access::WriteCOM(j, "");
  EXPECT_TRUE(Access::Output(j).empty());
}

TEST(JfifWriter, FourByFourLuminanceGivesTwoScans) {
  cJpeg j;
  j.SetSamplingFrequencies(4, 4, 1, 1, 1, 1);
  const auto segments = Segments(Capture(j, 70, 45));
  const Bytes markers = Markers(segments);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xDA), 2);
  EXPECT_EQ(segments[10].body, (Bytes{1, 1, 0x00, 0, 63, 0}));
  EXPECT_EQ(segments[11].body, (Bytes{2, 2, 0x11, 3, 0x11, 0, 63, 0}));
}

TEST(JfifWriter, SidesAbove65535AreAnOverflow) {
  cJpeg j;
  j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
  ASSERT_EQ(j.SampleHDC(Surface(1, 1), 65536, 1, 0, 0), 0);
  EXPECT_EQ(ErrorOf([&] { Access::BuildStream(j); }), "6: Overflow");
  ASSERT_EQ(j.SampleHDC(Surface(1, 1), 65535, 1, 0, 0), 0);
  EXPECT_EQ(ErrorOf([&] { Access::BuildStream(j); }), "no error");
}

TEST(JfifWriter, NoiseAtQualityHundredFitsWhateverTheEstimate) {
  // Much entropy-coded data and many stuffed bytes.
  cJpeg j;
  j.Quality(100);
  j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
  j.SampleHDC(test::NoisePicture(256, 256, 3), 256, 256, 0, 0);
  const Bytes stream = Access::BuildStream(j);
  EXPECT_GT(stream.size(), 256u * 256u * 2);
  EXPECT_EQ(test::DecodeLuminance(stream).warnings, 0);
}

// --- SaveFile ----------------------------------------------------------------

TEST(SaveFile, EmptyNameReturnsOneAndTouchesNothing) {
  cJpeg j;
  EXPECT_EQ(j.SaveFile(""), 1);  // not even the missing capture is noticed
}

TEST(SaveFile, CreatesTheFileWhenNoneExists) {
  test::ScratchFolder folder("save-creates");
  cJpeg j;
  j.SampleHDC(test::SlidePicture(30, 20), 30, 20, 0, 0);
  const auto path = folder.Path() / "new.jpg";
  EXPECT_EQ(j.SaveFile(path.string()), 0);
  EXPECT_EQ(test::ReadFile(path), Access::BuildStream(j));
  EXPECT_EQ(test::AllNames(folder.Path()), std::vector<std::string>{"new.jpg"});
}

TEST(SaveFile, ReplacesAnExistingFileAndCanBeRepeated) {
  test::ScratchFolder folder("save-replaces");
  const auto path = folder.Path() / "slide.jpg";
  test::WriteFile(path, Bytes(5000, 0x42));
  cJpeg j;
  j.SampleHDC(test::SlidePicture(30, 20), 30, 20, 0, 0);
  EXPECT_EQ(j.SaveFile(path.string()), 0);
  const Bytes first = test::ReadFile(path);
  EXPECT_EQ(first.size(), Access::BuildStream(j).size());
  EXPECT_EQ(j.SaveFile(path.string()), 0);
  EXPECT_EQ(test::ReadFile(path), first);
  EXPECT_EQ(test::AllNames(folder.Path()), std::vector<std::string>{"slide.jpg"});
}

TEST(SaveFile, TheNewFileKeepsTheOldFilesPermissions) {
  test::ScratchFolder folder("save-permissions");
  const auto path = folder.Path() / "slide.jpg";
  test::WriteFile(path, Bytes(10, 1));
  const auto mode =
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read;
  std::filesystem::permissions(path, mode);
  cJpeg j;
  j.SampleHDC(test::SlidePicture(8, 8), 8, 8, 0, 0);
  ASSERT_EQ(j.SaveFile(path.string()), 0);
  EXPECT_EQ(std::filesystem::status(path).permissions(), mode);
  EXPECT_GT(test::ReadFile(path).size(), 10u);
}

TEST(SaveFile, WritesTheTablesTheCaptureWasQuantisedWith) {
  test::ScratchFolder folder("save-quality");
  cJpeg j;
  j.Quality(90);
  j.SampleHDC(test::SlidePicture(30, 20), 30, 20, 0, 0);
  const Bytes expected = Access::BuildStream(j);
  j.Quality(10);  // takes effect at the next capture only
  const auto path = folder.Path() / "q.jpg";
  j.SaveFile(path.string());
  EXPECT_EQ(test::ReadFile(path), expected);
}

struct FailureCase {
  const char* why;
  std::function<void(cJpeg&)> prepare;
  std::string target;  // relative to the folder
  std::string errorStart;
};

TEST(SaveFile, OnAnyErrorTheOldFileStaysAndNoTemporaryFileIsLeft) {
  const FailureCase cases[] = {
      {"never captured", [](cJpeg&) {}, "old.jpg", "9: "},
      {"capture discarded by new sampling factors",
       [](cJpeg& j) {
         j.SampleHDC(test::SlidePicture(8, 8), 8, 8, 0, 0);
         j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
       },
       "old.jpg", "9: "},
      {"width above 65535",
       [](cJpeg& j) {
         j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
         j.SampleHDC(Surface(1, 1), 70000, 1, 0, 0);
       },
       "old.jpg", "6: Overflow"},
      {"the target is a folder", [](cJpeg& j) { j.SampleHDC(test::SlidePicture(8, 8), 8, 8, 0, 0); }, "folder",
       "1: cannot write"},
      {"the folder does not exist", [](cJpeg& j) { j.SampleHDC(test::SlidePicture(8, 8), 8, 8, 0, 0); },
       "missing/x.jpg", "1: cannot write"},
  };
  for (const FailureCase& c : cases) {
    test::ScratchFolder folder("save-fails");
    const Bytes old(777, 0x17);
    test::WriteFile(folder.Path() / "old.jpg", old);
    std::filesystem::create_directory(folder.Path() / "folder");
    cJpeg j;
    c.prepare(j);
    const std::string error = ErrorOf([&] { j.SaveFile((folder.Path() / c.target).string()); });
    EXPECT_EQ(error.substr(0, c.errorStart.size()), c.errorStart) << c.why << ": " << error;
    EXPECT_EQ(test::ReadFile(folder.Path() / "old.jpg"), old) << c.why;
    EXPECT_EQ(test::AllNames(folder.Path()), (std::vector<std::string>{"folder", "old.jpg"})) << c.why;
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path() / "folder")) << c.why;
  }
}

}  // namespace
}  // namespace quillet
