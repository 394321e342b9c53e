// The baseline JPEG check (ITU-T T.81 marker structure) that guards
// DefineBitsJPEG2: what it accepts, and the message for what it refuses.
#include <gtest/gtest.h>

#include <functional>

#include "platform/error.h"
#include "swf/jpeg_check.h"
#include "test_support.h"

namespace swf {
namespace {

using swf_test::Bytes;
using swf_test::JpegKind;
using swf_test::MakeJpeg;

TEST(JpegCheck, BaselinePictureIsKeptByteForByteWithItsSize) {
  const Bytes jpeg = MakeJpeg(37, 21);
  const JpegPicture picture = CheckBaselineJpeg(jpeg, "a.jpg");
  EXPECT_EQ(picture.bytes, jpeg);
  EXPECT_EQ(picture.width, 37);
  EXPECT_EQ(picture.height, 21);
}

TEST(JpegCheck, BytesAfterEndOfImageAreLeftOut) {
  const Bytes jpeg = MakeJpeg(16, 16);
  Bytes padded = jpeg;
  padded.insert(padded.end(), {0x00, 0x11, 0x22});
  EXPECT_EQ(CheckBaselineJpeg(padded, "a.jpg").bytes, jpeg);
}

// Replaces the first marker `from` (FF xx) by `to` and, if given, one byte
// of its segment.
Bytes WithMarker(Bytes jpeg, std::uint8_t from, std::uint8_t to, int segmentOffset = -1, std::uint8_t value = 0) {
  for (std::size_t at = 0; at + 1 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == from) {
      jpeg[at + 1] = to;
      if (segmentOffset >= 0) jpeg[at + 2 + static_cast<std::size_t>(segmentOffset)] = value;
      return jpeg;
    }
  }
  ADD_FAILURE() << "marker not found";
  return jpeg;
}

struct RefusedCase {
  const char* name;
  std::function<Bytes()> make;
  const char* reason;
};

TEST(JpegCheck, RefusedStreamsNameThePictureAndTheReason) {
  const Bytes baseline = MakeJpeg(24, 16);
  const RefusedCase cases[] = {
      {"empty", [] { return Bytes{}; }, "it does not start with SOI (FF D8)"},
      {"text", [] { return Bytes{'h', 'e', 'l', 'l', 'o', '!'}; }, "it does not start with SOI (FF D8)"},
      {"progressive", [] { return MakeJpeg(24, 16, JpegKind::kProgressive); },
       "it is progressive (SOF2); only baseline pictures can be embedded"},
      {"lossless", [&] { return WithMarker(baseline, 0xC0, 0xC3); }, "its coding process (SOF3) is not baseline"},
      {"twelve-bit", [&] { return WithMarker(baseline, 0xC0, 0xC1, 2, 12); }, "its samples are not 8-bit"},
      {"no size",
       [&] {
         Bytes jpeg = WithMarker(baseline, 0xC0, 0xC0, 3, 0);
         return WithMarker(jpeg, 0xC0, 0xC0, 4, 0);
       },
       "its frame header gives no size"},
      {"cut in the scan", [&] { return Bytes(baseline.begin(), baseline.end() - 40); },
       "it ends inside the scan data, before EOI (FF D9)"},
      {"without EOI", [&] { return Bytes(baseline.begin(), baseline.end() - 2); },
       "it ends inside the scan data, before EOI (FF D9)"},
      {"only SOI and EOI",
       [] {
         return Bytes{0xFF, 0xD8, 0xFF, 0xD9};
       },
       "it has no frame header (SOF0)"},
      {"segment past the end", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x40, 0x00}; },
       "a marker segment runs past the end of the file"},
      {"garbage after SOI", [] { return Bytes{0xFF, 0xD8, 0x12, 0x34, 0xFF, 0xD9}; }, "a marker is missing at byte 2"},
  };
  for (const RefusedCase& entry : cases) {
    try {
      CheckBaselineJpeg(entry.make(), "slides/s1.jpg");
      ADD_FAILURE() << entry.name << ": accepted";
    } catch (const quillet::Error& error) {
      EXPECT_EQ(std::string(error.what()),
                std::string("the picture \"slides/s1.jpg\" is not a baseline JPEG file: ") + entry.reason)
          << entry.name;
    }
  }
}

TEST(JpegCheck, MissingFileAndFolderAreNamed) {
  swf_test::ScratchFolder folder;
  const std::string missing = (folder / "missing.jpg").string();
  try {
    ReadBaselineJpeg(missing);
    ADD_FAILURE() << "accepted";
  } catch (const quillet::Error& error) {
    EXPECT_EQ(std::string(error.what()), "the picture \"" + missing + "\" does not exist");
  }
  try {
    ReadBaselineJpeg(folder.Path().string());
    ADD_FAILURE() << "accepted";
  } catch (const quillet::Error& error) {
    EXPECT_EQ(std::string(error.what()), "the picture \"" + folder.Path().string() + "\" is not a file");
  }
}

TEST(JpegCheck, ReadsAFileFromDisk) {
  swf_test::ScratchFolder folder;
  const Bytes jpeg = MakeJpeg(9, 7);
  swf_test::WriteFile(folder / "p.jpg", jpeg);
  EXPECT_EQ(ReadBaselineJpeg((folder / "p.jpg").string()).bytes, jpeg);
}

}  // namespace
}  // namespace swf
