// Each tag kind of the writer against golden bytes, and a whole file: the
// 200 x 200 pixel movie with one red 100 x 100 square (79 bytes). A failure
// prints both tag lists in readable form.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "swf/shape_builder.h"
#include "swf/tag_writer.h"
#include "test_support.h"

namespace swf {
namespace {

using swf_test::DumpMovie;
using swf_test::DumpTags;
using swf_test::FromHex;
using swf_test::Hex;
using swf_test::ReadTags;

struct TagCase {
  const char* name;
  Tag tag;
  const char* golden;  // header and body
};

void ExpectTag(const TagCase& entry) {
  const std::vector<std::uint8_t> actual = EncodeTag(entry.tag);
  const std::vector<std::uint8_t> expected = FromHex(entry.golden);
  EXPECT_EQ(Hex(actual), Hex(expected)) << entry.name << "\nwritten:\n"
                                        << DumpTags(ReadTags(actual)) << "expected:\n"
                                        << DumpTags(ReadTags(expected));
}

DefineShapeTag RedSquare() {
  StyleChange fill;
  fill.fillStyle1 = 1;
  ShapeBuilder builder(fill);
  builder.MoveTo({-1000, -1000});
  builder.LineTo({1000, -1000});
  builder.LineTo({1000, 1000});
  builder.LineTo({-1000, 1000});
  builder.CloseContour();
  DefineShapeTag shape;
  shape.characterId = 1;
  shape.bounds = builder.Bounds();
  shape.shape.fillStyles.push_back(FillStyle{FillType::kSolid, Rgba{255, 0, 0, 255}, 0, {}});
  shape.shape.records = builder.Records();
  return shape;
}

TEST(MovieFile, RedSquareIsTheSeventyNineByteGolden) {
  MovieFile movie;
  movie.version = 10;
  movie.frameSize = Rect{0, 4000, 0, 4000};
  movie.frameRate = 12 << 8;
  PlaceObject2Tag place;
  place.depth = 1;
  place.characterId = 1;
  place.matrix = Matrix::Translation(2000, 2000);
  movie.tags = {FileAttributesTag{0}, SetBackgroundColorTag{Rgba{255, 255, 255, 255}},
                RedSquare(),          place,
                ShowFrameTag{},       EndTag{}};
  const std::vector<std::uint8_t> expected = FromHex(
      "46 57 53 0A 4F 00 00 00 68 00 1F 40 00 07 D0 00 00 0C 01 00 "
      "44 11 00 00 00 00 43 02 FF FF FF 9F 00 01 00 5C 18 7D 10 61 "
      "F4 00 01 00 FF 00 00 00 10 15 70 62 0C 7A 1F 43 A5 F4 3A 20 "
      "C3 A6 0C 00 89 06 06 01 00 01 00 18 FA 0F A0 40 00 00 00");
  const std::vector<std::uint8_t> actual = EncodeMovie(movie);
  EXPECT_EQ(Hex(actual), Hex(expected)) << "written:\n" << DumpMovie(actual) << "expected:\n" << DumpMovie(expected);
}

TEST(MovieFile, FrameCountIsTheNumberOfShowFrames) {
  MovieFile movie;
  movie.frameSize = Rect{0, 200, 0, 200};
  movie.frameRate = 24 << 8;
  movie.tags = {FileAttributesTag{0}, ShowFrameTag{}, ShowFrameTag{}, ShowFrameTag{}, EndTag{}};
  const std::vector<std::uint8_t> bytes = EncodeMovie(movie);
  // RECT 0..200 needs 9 bits: 5 + 36 bits = 6 bytes, then rate 00 18, count 03 00.
  EXPECT_EQ(Hex(std::vector<std::uint8_t>(bytes.begin() + 8, bytes.begin() + 18)), "48 01 90 00 64 00 00 18 03 00");
  EXPECT_EQ(bytes[4], bytes.size());
}

TEST(Tags, SmallTagsGoldenBytes) {
  PlaceObject2Tag place;
  place.depth = 1;
  place.characterId = 1;
  place.matrix = Matrix::Translation(2000, 2000);
  PlaceObject2Tag text;
  text.depth = 2;
  text.characterId = 5;
  text.matrix = Matrix::Translation(5700, 4900);
  const TagCase cases[] = {
      {"FileAttributes", FileAttributesTag{0}, "44 11 00 00 00 00"},
      {"SetBackgroundColor", SetBackgroundColorTag{Rgba{255, 255, 255, 255}}, "43 02 FF FF FF"},
      {"ShowFrame", ShowFrameTag{}, "40 00"},
      {"End", EndTag{}, "00 00"},
      {"RemoveObject2", RemoveObject2Tag{1}, "02 07 01 00"},
      {"PlaceObject2", place, "89 06 06 01 00 01 00 18 FA 0F A0"},
      {"PlaceObject2 text", text, "8A 06 06 02 00 05 00 1C B2 22 64 80"},
      {"DoAction Stop", DoActionTag{{ActionRecord::Simple(ActionCode::kStop)}}, "02 03 07 00"},
      {"DoAction Play", DoActionTag{{ActionRecord::Simple(ActionCode::kPlay)}}, "02 03 06 00"},
      {"DoAction GotoFrame 5", DoActionTag{{ActionRecord::GotoFrame(5)}}, "06 03 81 02 00 05 00 00"},
  };
  for (const TagCase& entry : cases) ExpectTag(entry);
}

TEST(Tags, DefineBitsJpeg2AlwaysTakesTheLongHeader) {
  ExpectTag(
      {"DefineBitsJPEG2", DefineBitsJpeg2Tag{1, {0xFF, 0xD8, 0xFF, 0xD9}}, "7F 05 06 00 00 00 01 00 FF D8 FF D9"});
}

TEST(Tags, LongHeaderFromSixtyThreeBodyBytes) {
  DoActionTag shortest;
  DoActionTag longest;
  for (int index = 0; index < 61; ++index) shortest.actions.push_back(ActionRecord::Simple(ActionCode::kPlay));
  for (int index = 0; index < 62; ++index) longest.actions.push_back(ActionRecord::Simple(ActionCode::kPlay));
  const std::vector<std::uint8_t> shortBytes = EncodeTag(shortest);  // 62 body bytes
  const std::vector<std::uint8_t> longBytes = EncodeTag(longest);    // 63 body bytes
  EXPECT_EQ(Hex({shortBytes.begin(), shortBytes.begin() + 2}), "3E 03");
  EXPECT_EQ(Hex({longBytes.begin(), longBytes.begin() + 6}), "3F 03 3F 00 00 00");
}

TEST(Tags, DefineShapeWithClippedSmoothedBitmapFill) {
  StyleChange fill;
  fill.fillStyle1 = 1;
  ShapeBuilder builder(fill);
  builder.MoveTo({0, 0});
  builder.LineTo({2000, 0});
  builder.LineTo({2000, 2000});
  builder.LineTo({0, 2000});
  builder.CloseContour();
  DefineShapeTag shape;
  shape.characterId = 3;
  shape.bounds = builder.Bounds();
  Matrix bitmapMatrix;
  bitmapMatrix.scaleX = bitmapMatrix.scaleY = 20 * 65536;
  shape.shape.fillStyles.push_back(FillStyle{FillType::kClippedBitmap, {}, 2, bitmapMatrix});
  shape.shape.records = builder.Records();
  // id, RECT 0..2000, one fill 41 + bitmap 2 + scale 20, no lines, 10, records.
  ExpectTag({"DefineShape bitmap", shape,
             "A3 00 03 00 60 00 3E 80 00 3E 80 01 41 02 00 D9 40 00 05 00 00 00 00 10 "
             "14 1E 87 D0 E9 7D 0E 88 30 E9 83 00 00"});
}

TEST(Tags, DefineShape3WritesRgbaColours) {
  DefineShapeTag shape = RedSquare();
  shape.version = ShapeVersion::kDefineShape3;
  shape.shape.fillStyles[0].color.alpha = 0x80;
  ExpectTag({"DefineShape3", shape,
             "20 08 01 00 5C 18 7D 10 61 F4 00 01 00 FF 00 00 80 00 10 "
             "15 70 62 0C 7A 1F 43 A5 F4 3A 20 C3 A6 0C 00"});
}

TEST(Tags, LongEdgesAreSplitIntoRecordsThatFit) {
  StyleChange fill;
  fill.fillStyle1 = 1;
  ShapeBuilder builder(fill);
  builder.MoveTo({0, 0});
  builder.LineTo({70000, 0});
  ASSERT_EQ(builder.Records().size(), 3u);
  EXPECT_EQ(std::get<StraightEdge>(builder.Records()[1]), (StraightEdge{35000, 0}));
  EXPECT_EQ(std::get<StraightEdge>(builder.Records()[2]), (StraightEdge{35000, 0}));
}

TEST(Tags, DefineButton2WithStatesColourTransformsAndReleaseAction) {
  DefineButton2Tag button;
  button.characterId = 5;
  using Terms = std::array<std::int16_t, 4>;
  button.records = {
      ButtonRecord{kButtonUp | kButtonHitTest, 3, 1, Matrix{}, ColorTransform{}},
      ButtonRecord{kButtonOver, 3, 1, Matrix{}, ColorTransform{std::nullopt, Terms{128, 0, 0, 0}}},
      ButtonRecord{kButtonDown, 3, 1, Matrix{}, ColorTransform{std::nullopt, Terms{128, -128, 0, 0}}},
  };
  button.conditionActions = {{kOverDownToOverUp, {ActionRecord::Simple(ActionCode::kPlay)}}};
  ExpectTag({"DefineButton2", button,
             "AB 08 05 00 00 22 00 "
             "09 03 00 01 00 00 00 "
             "02 03 00 01 00 00 A5 00 00 00 00 00 "
             "04 03 00 01 00 00 A5 01 80 00 00 00 "
             "00 "
             "00 00 08 00 06 00"});
}

TEST(Tags, DefineButton2ChainsConditionActionsAndHasNoOffsetWithoutThem) {
  DefineButton2Tag button;
  button.characterId = 2;
  button.records = {ButtonRecord{0x0F, 1, 1, Matrix{}, ColorTransform{}}};
  ExpectTag({"DefineButton2 without actions", button, "8D 08 02 00 00 00 00 0F 01 00 01 00 00 00 00"});
  button.conditionActions = {{kOverDownToOverUp, {ActionRecord::GotoFrame(3)}},
                             {kOverDownToOverUp, {ActionRecord::Simple(ActionCode::kPlay)}}};
  // First record: size 4 + 6 action bytes = 10; the last has size 0.
  ExpectTag({"DefineButton2 with two actions", button,
             "9D 08 02 00 00 0A 00 0F 01 00 01 00 00 00 00 "
             "0A 00 08 00 81 02 00 03 00 00 "
             "00 00 08 00 06 00"});
}

TEST(Tags, DefineFont3LayoutWithOffsetsCodesAndMetrics) {
  DefineFontTag font;
  font.fontId = 1;
  font.name = "T";
  FontGlyph space;
  space.code = 32;
  space.advance = 5690;
  FontGlyph curve;
  curve.code = 65;
  curve.advance = 13660;
  StyleChange first;
  first.fillStyle0 = 1;
  first.moveTo = Point{0, 0};
  curve.shape.records = {first, CurvedEdge{10, -10, 10, 10}};
  font.glyphs = {space, curve};
  font.ascent = 18540;
  font.descent = 4340;
  font.leading = 670;
  ExpectTag({"DefineFont3", font,
             "E9 12 01 00 84 00 01 54 02 00 "
             "06 00 08 00 0F 00 "
             "10 00 10 0C 18 D5 65 28 00 "
             "20 00 41 00 "
             "6C 48 F4 10 9E 02 3A 16 5C 35 00 00 00 00"});
}

TEST(Tags, DefineFont3SwitchesToWideOffsetsPastSixtyFourKilobytes) {
  DefineFontTag font;
  font.fontId = 1;
  font.name = "Wide";
  for (std::uint16_t code = 1; code <= 3; ++code) {
    FontGlyph glyph;
    glyph.code = code;
    StyleChange first;
    first.fillStyle0 = 1;
    first.moveTo = Point{0, 0};
    glyph.shape.records.push_back(first);
    for (int edge = 0; edge < 12000; ++edge) glyph.shape.records.push_back(StraightEdge{100, 100});
    font.glyphs.push_back(glyph);
  }
  const std::vector<std::uint8_t> bytes = EncodeTag(font);
  EXPECT_EQ(bytes[6 + 2], 0x8C);  // after the long header and FontID: HasLayout, WideOffsets, WideCodes
}

TEST(Tags, DefineTextRecordWithFontColourOffsetsAndGlyphs) {
  DefineTextTag text;
  text.characterId = 2;
  text.bounds = Rect{0, 333, 72, 362};
  TextRecord record;
  record.fontId = 1;
  record.textHeight = 400;
  record.color = Rgba{0, 96, 128, 255};
  record.xOffset = 0;
  record.yOffset = 362;
  record.glyphs = {{0, 222}, {1, 111}};
  text.records = {record};
  // GlyphBits 1, AdvanceBits 9; flags 8F; font, colour, X, Y, height, count, entries.
  ExpectTag({"DefineText", text,
             "DC 02 02 00 50 00 A6 89 0B 50 00 01 09 "
             "8F 01 00 00 60 80 00 00 6A 01 90 01 02 37 A6 F0 00"});
}

TEST(Tags, PlaceObject2WithoutCharacterOrMoveIsRefused) {
  PlaceObject2Tag place;
  place.depth = 1;
  EXPECT_THROW(EncodeTag(place), quillet::Error);
}

}  // namespace
// The written file is the FWS file with its body as one zlib stream; the
// header keeps the version and the uncompressed FileLength.
TEST(CompressedMovie, KeepsTheHeaderAndExpandsToTheSameFile) {
  MovieFile movie;
  movie.version = 10;
  movie.frameSize = Rect{0, 4000, 0, 3000};
  movie.frameRate = 24 << 8;
  movie.tags = {SetBackgroundColorTag{Rgba{255, 255, 255, 255}}, ShowFrameTag{}, ShowFrameTag{}, EndTag{}};
  const std::vector<std::uint8_t> fws = EncodeMovie(movie);
  const std::vector<std::uint8_t> cws = CompressMovie(fws);
  ASSERT_GT(cws.size(), 10u);
  EXPECT_EQ(std::string(cws.begin(), cws.begin() + 3), "CWS");
  EXPECT_TRUE(std::equal(fws.begin() + 3, fws.begin() + 8, cws.begin() + 3));
  EXPECT_EQ(cws[8], 0x78);  // a zlib stream
  EXPECT_EQ(ExpandMovie(cws), fws);
  EXPECT_EQ(ExpandMovie(fws), fws);
  std::vector<std::uint8_t> damaged = cws;
  damaged.resize(damaged.size() - 3);
  EXPECT_THROW(ExpandMovie(damaged), quillet::Error);
  EXPECT_THROW(CompressMovie(cws), quillet::Error);
}

}  // namespace swf
