// The movie library's calls: polygons, text and buttons as the tags they
// become, every written movie read by the independent parser, the error
// messages of refused calls, and WriteMovie's all-or-nothing file
// replacement. The slide show the conversion builds with these calls is
// tested in tests/conversion/slide_show_movie_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/error.h"
#include "swf/movie.h"
#include "swf/tag_writer.h"
#include "test_support.h"

namespace swf {
namespace {

using swf_test::Bytes;
using swf_test::ExpectIndependentParserAccepts;
using swf_test::ScratchFolder;

// The condition records of the added key events follow the click's, in call
// order: CondKeyPress holds the key code in the condition word's top 7 bits.
TEST(Buttons, KeyPressEventsAddConditionRecordsAfterTheClick) {
  Movie movie;
  movie.SetSize(2000, 2000);
  Object square;
  square.MakePolygon(0, 0);
  square.AddStraightLine(100, 0);
  square.AddStraightLine(0, 100);
  square.AddStraightLine(-100, 0);
  Object button;
  button.MakeButtonSimple(square, 0, 0, 0, 0, 0, 0, 0, 0);
  Action play, first;
  play.MakeActionPlay();
  first.MakeActionGotoFrame(0);
  button.QueueEvent(play, 6);
  button.QueueEvent(play, KeyPressEvent(Key::kRight));
  button.QueueEvent(play, KeyPressEvent(Key::kSpace));
  button.QueueEvent(first, KeyPressEvent(Key::kHome));
  movie.AddObject(button);
  std::string conditions;
  for (const swf_test::RawTag& tag : swf_test::ReadMovieTags(movie.Encode())) {
    if (tag.code != 34) continue;
    // DefineButton2: id, flags, ActionOffset, then the records from 2 bytes after the offset field.
    const std::size_t offset = tag.body[3] | (tag.body[4] << 8);
    conditions = swf_test::Hex(Bytes(tag.body.begin() + 3 + static_cast<std::ptrdiff_t>(offset), tag.body.end()));
  }
  EXPECT_EQ(conditions,
            "06 00 08 00 06 00 "               // release inside: Play
            "06 00 00 04 06 00 "               // Right (2 << 9): Play
            "06 00 00 40 06 00 "               // Space (32 << 9): Play
            "00 00 00 06 81 02 00 00 00 00");  // Home (3 << 9), the last record: GotoFrame 0
}

// The added actions, as the SWF file format writes them.
TEST(Actions, GetUrlAndGotoFrameOfVariableBytes) {
  Movie movie;
  movie.SetSize(2000, 2000);
  Action command, start;
  command.MakeActionGetURL("FSCommand:slide", "3");
  start.MakeActionGotoFrameOfVariable("slide", 12);
  movie.GotoFrame(11);
  movie.AddAction(command);
  movie.AddAction(start);
  std::vector<std::string> actions;
  for (const swf_test::RawTag& tag : swf_test::ReadMovieTags(movie.Encode()))
    if (tag.code == 12) actions.push_back(swf_test::Hex(tag.body));
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0], "83 12 00 46 53 43 6F 6D 6D 61 6E 64 3A 73 6C 69 64 65 00 33 00 00");
  EXPECT_EQ(actions[1],
            "96 07 00 00 73 6C 69 64 65 00 1C "                          // slide
            "96 08 00 00 73 6C 69 64 65 00 03 1D "                       // slide = undefined
            "4A 4C 4C 18 49 12 9D 02 00 D8 00 "                          // n = Number(...); not whole: to Pop (216)
            "4C 96 05 00 07 01 00 00 00 48 9D 02 00 C9 00 "              // n < 1: to Pop (201)
            "4C 96 05 00 07 0C 00 00 00 67 9D 02 00 BA 00 "              // n > 12: to Pop (186)
            "96 07 00 00 00 07 0C 00 00 00 22 "                          // _framesloaded (GetProperty "", 12)
            "96 07 00 00 00 07 05 00 00 00 22 48 "                       // < _totalframes (GetProperty "", 5)
            "9D 02 00 09 00 "                                            // still loading: to the wait (9)
            "9F 01 00 00 99 02 00 96 00 "                                // GotoFrame2 n (stop); skip wait, Pop (150)
            "96 07 00 00 73 6C 69 64 65 00 4D 1D "                       // wait (149 bytes): slide = n
            "96 0C 00 00 00 07 07 00 00 00 07 00 00 00 00 23 "           // _visible = 0 (SetProperty "", 7)
            "96 0E 00 00 6F 6E 45 6E 74 65 72 46 72 61 6D 65 00 "        // onEnterFrame =
            "9B 05 00 00 00 00 5A 00 "                                   // function () { (90 bytes)
            "96 07 00 00 00 07 0C 00 00 00 22 "                          //   _framesloaded
            "96 07 00 00 00 07 05 00 00 00 22 48 "                       //   < _totalframes
            "9D 02 00 3E 00 "                                            //   still loading: return (62)
            "96 0F 00 00 6F 6E 45 6E 74 65 72 46 72 61 6D 65 00 03 1D "  //   onEnterFrame = undefined
            "96 0C 00 00 00 07 07 00 00 00 07 01 00 00 00 23 "           //   _visible = 1
            "96 07 00 00 73 6C 69 64 65 00 1C "                          //   slide
            "96 08 00 00 73 6C 69 64 65 00 03 1D 9F 01 00 00 "           //   slide = undefined; GotoFrame2
            "1D 99 02 00 01 00 "                                         // }; skip the Pop
            "17 00");                                                    // Pop n
}

// The page's go-to and a link area, as the SWF file format writes them: the
// callback registered through ExternalInterface.addCallback, and an
// invisible button (hit state only) whose click opens an address in a new
// window.
TEST(Actions, GotoCallbackAndLinkAreaBytes) {
  Movie movie;
  movie.SetSize(2000, 2000);
  Action callback, open;
  callback.MakeActionGotoFrameCallback("go", 3);
  open.MakeActionGetURL("https://a.b/", "_blank");
  Object area;
  area.MakeButtonArea(100, 200, 300, 40);
  area.QueueEvent(open, 6);
  movie.GotoFrame(2);
  movie.AddAction(callback);
  movie.AddObject(area);
  std::vector<std::string> tags;
  for (const swf_test::RawTag& tag : swf_test::ReadMovieTags(movie.Encode()))
    if (tag.code == 12 || tag.code == 2 || tag.code == 34) tags.push_back(swf_test::Hex(tag.body));
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0],
            "9B 07 00 00 01 00 6E 00 5D 00 "                          // function (n) { (93 bytes)
            "96 03 00 00 6E 00 1C 4A 4C 4C 18 49 12 9D 02 00 44 00 "  //   n = Number(n); not whole: to fail (68)
            "4C 96 05 00 07 01 00 00 00 48 9D 02 00 35 00 "           //   n < 1: to fail (53)
            "4C 96 05 00 07 03 00 00 00 67 9D 02 00 26 00 "           //   n > 3: to fail (38)
            "96 07 00 00 00 07 0C 00 00 00 22 "                       //   _framesloaded
            "96 07 00 00 00 07 05 00 00 00 22 48 9D 02 00 0A 00 "     //   < _totalframes: to fail (10)
            "9F 01 00 00 96 02 00 05 01 3E "                          //   GotoFrame2 n (stop); return true
            "17 96 02 00 05 00 3E "                                   //   fail: Pop n; return false }
            "96 11 00 02 00 67 6F 00 07 03 00 00 00 00 66 6C 61 73 68 00 1C "        // fn, null, "go", 3, flash
            "96 0A 00 00 65 78 74 65 72 6E 61 6C 00 4E "                             // .external
            "96 13 00 00 45 78 74 65 72 6E 61 6C 49 6E 74 65 72 66 61 63 65 00 4E "  // .ExternalInterface
            "96 0D 00 00 61 64 64 43 61 6C 6C 62 61 63 6B 00 52 17 00");             // .addCallback(...); Pop
  // The area: a 300 x 40 twips rectangle at (100, 200).
  EXPECT_EQ(tags[1], "01 00 50 C8 C8 19 07 80 01 00 00 00 00 00 10 15 26 46 47 81 2C D5 51 C1 6A 6A D8 00");
  EXPECT_EQ(tags[2],
            "02 00 00 0A 00 "           // button 2, push button, actions 10 bytes on
            "08 01 00 01 00 00 00 00 "  // hit state only: shape 1 at depth 1; end of records
            "00 00 08 00 "              // the last condition: released inside
            "83 14 00 68 74 74 70 73 3A 2F 2F 61 2E 62 2F 00 5F 62 6C 61 6E 6B 00 00");  // getURL(url, "_blank")
}

// The fill style of a polygon's single contour lies on its inside.
TEST(Polygons, FillSideFollowsTheWindingAndOpenPolygonsAreClosed) {
  struct Case {
    std::vector<std::pair<std::int16_t, std::int16_t>> lines;
    bool fillOnRight;
  };
  const Case cases[] = {
      {{{250, 125}, {-250, 125}, {0, -250}}, true},   // right arrow: clockwise on screen (y down)
      {{{0, 250}, {-250, -125}, {250, -125}}, true},  // left arrow: clockwise too
      {{{-250, 125}, {250, 125}, {0, -250}}, false},  // counter-clockwise: inside on the left
      {{{100, 0}, {0, 100}}, true},                   // open: closed back to the start
  };
  for (const Case& entry : cases) {
    Object shape;
    shape.MakePolygon(1000, 1000);
    for (const auto& [dx, dy] : entry.lines) shape.AddStraightLine(dx, dy);
    Movie movie;
    movie.SetSize(4000, 4000);
    movie.AddObject(shape);
    const MovieFile model = movie.Assemble();
    const auto& tag = std::get<DefineShapeTag>(model.tags[2]);
    const auto& first = std::get<StyleChange>(tag.shape.records.front());
    EXPECT_EQ(first.fillStyle1.has_value(), entry.fillOnRight);
    EXPECT_EQ(first.fillStyle0.has_value(), !entry.fillOnRight);
    Point pen = *first.moveTo;
    for (std::size_t index = 1; index < tag.shape.records.size(); ++index) {
      const auto& edge = std::get<StraightEdge>(tag.shape.records[index]);
      pen.x += edge.deltaX;
      pen.y += edge.deltaY;
    }
    EXPECT_EQ(pen, *first.moveTo);
    EXPECT_EQ(tag.shape.fillStyles.at(0).color, (Rgba{0, 0, 0, 255}));  // black until SetSolidFill
  }
}

TEST(Polygons, TranslucentFillNeedsDefineShape3) {
  Object shape;
  shape.MakePolygon(0, 0);
  shape.AddStraightLine(100, 0);
  shape.AddStraightLine(0, 100);
  shape.SetSolidFill(10, 20, 30, 128);
  Movie movie;
  movie.SetSize(4000, 4000);
  movie.AddObject(shape);
  const MovieFile model = movie.Assemble();
  EXPECT_EQ(CodeOf(model.tags[2]), TagCode::kDefineShape3);
}

TEST(Text, LongTextSplitsIntoRecordsOf255GlyphsWithCumulativelyRoundedAdvances) {
  ScratchFolder folder;
  Movie movie;
  movie.SetSize(20000, 2000);
  Object text;
  text.MakeTextSimple("Arial", std::string(300, '1'), 0, 0, 333);
  movie.AddObject(text);
  const MovieFile model = movie.Assemble();
  const auto& font = std::get<DefineFontTag>(model.tags[2]);
  const auto& tag = std::get<DefineTextTag>(model.tags[3]);
  ASSERT_EQ(font.glyphs.size(), 1u);
  ASSERT_EQ(tag.records.size(), 2u);
  EXPECT_EQ(tag.records[0].glyphs.size(), 255u);
  EXPECT_EQ(tag.records[1].glyphs.size(), 45u);
  EXPECT_TRUE(tag.records[0].fontId.has_value());
  EXPECT_FALSE(tag.records[1].fontId.has_value());  // continues with the same font and pen
  EXPECT_FALSE(tag.records[1].xOffset.has_value());
  std::int64_t total = 0;
  for (const TextRecord& record : tag.records)
    for (const GlyphEntry& glyph : record.glyphs) total += glyph.advance;
  EXPECT_EQ(total, static_cast<std::int64_t>(std::nearbyint(300.0 * font.glyphs[0].advance * 333 / 20480)));
  // The baseline sits so that the top of the digit's ink is at the text's y.
  ASSERT_LT(font.glyphs[0].bounds.yMin, 0);
  EXPECT_LT(-font.glyphs[0].bounds.yMin, font.ascent);
  EXPECT_EQ(*tag.records[0].yOffset,
            static_cast<std::int16_t>(std::nearbyint(-font.glyphs[0].bounds.yMin * 333.0 / 20480)));
  const auto path = folder / "long.swf";
  movie.WriteMovie(path.string());
  ExpectIndependentParserAccepts(path, 1);
}

// ---- Refused calls --------------------------------------------------------

struct RefusedCall {
  const char* name;
  std::function<void(const ScratchFolder&)> call;
  std::string message;
};

TEST(RefusedCalls, ThrowErrorNumberOneWithAClearMessage) {
  const auto picture = [](const ScratchFolder& folder) {
    swf_test::WriteFile(folder / "p.jpg", swf_test::MakeJpeg(8, 8));
    return (folder / "p.jpg").string();
  };
  const RefusedCall cases[] = {
      {"missing picture",
       [](const ScratchFolder& folder) {
         Object o;
         o.MakePicture(0, 0, 200, 200, 10, 10, (folder / "none.jpg").string());
       },
       "MakePicture: the picture \"<folder>/none.jpg\" does not exist"},
      {"progressive picture",
       [](const ScratchFolder& folder) {
         swf_test::WriteFile(folder / "p.jpg", swf_test::MakeJpeg(8, 8, swf_test::JpegKind::kProgressive));
         Object o;
         o.MakePicture(0, 0, 160, 160, 8, 8, (folder / "p.jpg").string());
       },
       "MakePicture: the picture \"<folder>/p.jpg\" is not a baseline JPEG file: it is progressive (SOF2); only "
       "baseline pictures can be embedded"},
      {"picture of no pixels",
       [&](const ScratchFolder& folder) {
         Object o;
         o.MakePicture(0, 0, 160, 160, 0, 8, picture(folder));
       },
       "MakePicture: the pixel size 0 x 8 is not at least 1 x 1"},
      {"picture of no size",
       [&](const ScratchFolder& folder) {
         Object o;
         o.MakePicture(0, 0, 0, 160, 8, 8, picture(folder));
       },
       "MakePicture: the picture size 0 x 160 twips is not positive"},
      {"add nothing",
       [](const ScratchFolder&) {
         Movie m;
         Object o;
         m.AddObject(o);
       },
       "AddObject: the object has nothing made (call MakePolygon, MakeTextSimple, MakePicture or MakeButtonSimple "
       "first)"},
      {"remove unplaced",
       [](const ScratchFolder&) {
         Movie m;
         Object o;
         o.MakePolygon(0, 0);
         m.RemoveObject(o);
       },
       "RemoveObject: the object is not in the movie at frame 0 (it was never added, or was removed already)"},
      {"remove twice",
       [](const ScratchFolder&) {
         Movie m;
         Object o;
         o.MakePolygon(0, 0);
         m.AddObject(o);
         m.GotoFrame(1);
         m.RemoveObject(o);
         m.RemoveObject(o);
       },
       "RemoveObject: the object is not in the movie at frame 1 (it was never added, or was removed already)"},
      {"remove before placing",
       [](const ScratchFolder&) {
         Movie m;
         Object o;
         o.MakePolygon(0, 0);
         m.GotoFrame(3);
         m.AddObject(o);
         m.GotoFrame(1);
         m.RemoveObject(o);
       },
       "RemoveObject: the object is not in the movie at frame 1 (it was never added, or was removed already)"},
      {"event code 5",
       [](const ScratchFolder&) {
         Object shape, button;
         Action play;
         play.MakeActionPlay();
         shape.MakePolygon(0, 0);
         button.MakeButtonSimple(shape, 0, 0, 0, 0, 0, 0, 0, 0);
         button.QueueEvent(play, 5);
       },
       "QueueEvent: event code 5 is not supported (6: released inside; 256 plus an SWF key code: a key press)"},
      {"event on a polygon",
       [](const ScratchFolder&) {
         Object o;
         Action a;
         a.MakeActionPlay();
         o.MakePolygon(0, 0);
         o.QueueEvent(a, 6);
       },
       "QueueEvent: the object is not a button (call MakeButtonSimple first)"},
      {"event with an unmade action",
       [](const ScratchFolder&) {
         Object shape, button;
         Action nothing;
         shape.MakePolygon(0, 0);
         button.MakeButtonSimple(shape, 0, 0, 0, 0, 0, 0, 0, 0);
         button.QueueEvent(nothing, 6);
       },
       "QueueEvent: the action has not been made (call MakeActionStop, MakeActionPlay or MakeActionGotoFrame first)"},
      {"goto frame below 0",
       [](const ScratchFolder&) {
         Movie m;
         m.GotoFrame(-1);
       },
       "GotoFrame: frame -1 is below 0"},
      {"goto action below 0",
       [](const ScratchFolder&) {
         Action a;
         a.MakeActionGotoFrame(-2);
       },
       "MakeActionGotoFrame: frame -2 is outside 0 to 65534"},
      {"unknown font",
       [](const ScratchFolder&) {
         Object o;
         o.MakeTextSimple("No Such Font Quillet", "1/2", 0, 0, 400);
       },
       "MakeTextSimple: no font face was found for \"No Such Font Quillet\" (install the font or a metric-compatible "
       "one)"},
      {"text size 0",
       [](const ScratchFolder&) {
         Object o;
         o.MakeTextSimple("Arial", "1/2", 0, 0, 0);
       },
       "MakeTextSimple: the text size 0 is not positive"},
      {"text not UTF-8",
       [](const ScratchFolder&) {
         Object o;
         o.MakeTextSimple("Arial", "a\xC3", 0, 0, 400);
       },
       "MakeTextSimple: the text \"a\xC3\" is not valid UTF-8"},
      {"text beyond U+FFFF",
       [](const ScratchFolder&) {
         Object o;
         o.MakeTextSimple("Arial", "\xF0\x9F\x98\x80", 0, 0, 400);
       },
       "MakeTextSimple: the text \"\xF0\x9F\x98\x80\" holds a character beyond U+FFFF, which SWF fonts cannot hold"},
      {"frame too wide",
       [](const ScratchFolder&) {
         Movie m;
         m.SetSize(3e9f, 100);
       },
       "SetSize: the width of 3000000000 twips does not fit the SWF coordinate fields"},
      {"frame of no size",
       [](const ScratchFolder&) {
         Movie m;
         m.SetSize(0, 100);
       },
       "SetSize: the frame size 0 x 100 twips is not positive"},
      {"polygon far away",
       [](const ScratchFolder&) {
         Object o;
         o.MakePolygon(-2e9f, 0);
       },
       "MakePolygon: x of -2000000000 twips does not fit the SWF coordinate fields"},
      {"colour 300",
       [](const ScratchFolder&) {
         Object o;
         o.MakePolygon(0, 0);
         o.SetSolidFill(300, 0, 0, 255);
       },
       "SetSolidFill: colour component 300 is outside 0 to 255"},
      {"fill on a picture",
       [&](const ScratchFolder& folder) {
         Object o;
         o.MakePicture(0, 0, 160, 160, 8, 8, picture(folder));
         o.SetSolidFill(0, 0, 0, 255);
       },
       "SetSolidFill: only a polygon or a text has a fill (call MakePolygon or MakeTextSimple first)"},
      {"line without polygon",
       [](const ScratchFolder&) {
         Object o;
         o.AddStraightLine(1, 1);
       },
       "AddStraightLine: the object is not a polygon (call MakePolygon first)"},
      {"background colour",
       [](const ScratchFolder&) {
         Movie m;
         m.SetFrameBkColor(0, -1, 0);
       },
       "SetFrameBkColor: colour component -1 is outside 0 to 255"},
      {"rate 0",
       [](const ScratchFolder&) {
         Movie m;
         m.SetFrameRate(0);
       },
       "SetFrameRate: the rate 0 is outside 1 to 255 frames per second"},
      {"button of nothing",
       [](const ScratchFolder&) {
         Object shape, button;
         button.MakeButtonSimple(shape, 0, 0, 0, 0, 0, 0, 0, 0);
       },
       "MakeButtonSimple: the shape object has nothing made (call MakePolygon, MakeTextSimple or MakePicture on it "
       "first)"},
      {"button of a button",
       [](const ScratchFolder&) {
         Object shape, inner, outer;
         shape.MakePolygon(0, 0);
         inner.MakeButtonSimple(shape, 0, 0, 0, 0, 0, 0, 0, 0);
         outer.MakeButtonSimple(inner, 0, 0, 0, 0, 0, 0, 0, 0);
       },
       "MakeButtonSimple: a button cannot show another button"},
      {"action unmade",
       [](const ScratchFolder&) {
         Movie m;
         Action a;
         m.AddAction(a);
       },
       "AddAction: the action has not been made (call MakeActionStop, MakeActionPlay or MakeActionGotoFrame first)"},
      {"undefined key code",
       [](const ScratchFolder&) {
         Object square, button;
         square.MakePolygon(0, 0);
         button.MakeButtonSimple(square, 0, 0, 0, 0, 0, 0, 0, 0);
         Action a;
         a.MakeActionPlay();
         button.QueueEvent(a, 256 + 7);
       },
       "QueueEvent: event code 263 is not supported (6: released inside; 256 plus an SWF key code: a key press)"},
      {"variable goto past the end",
       [](const ScratchFolder& folder) {
         Movie m;
         Action a;
         a.MakeActionGotoFrameOfVariable("slide", 3);
         m.SetSize(2000, 2000);
         m.GotoFrame(1);
         m.AddAction(a);
         m.WriteMovie((folder / "m.swf").string());
       },
       "WriteMovie: an action in frame 1 goes to frame 2, but the movie has only 2 frames"},
      {"variable name too long for the branches",
       [](const ScratchFolder&) {
         Action a;
         a.MakeActionGotoFrameOfVariable(std::string(20000, 'v'), 3);
       },
       "MakeActionGotoFrameOfVariable: the variable name of 20000 bytes is too long for the action's branches"},
      {"write without size",
       [](const ScratchFolder& folder) {
         Movie m;
         m.WriteMovie((folder / "m.swf").string());
       },
       "WriteMovie: the frame size was never set (call SetSize first)"},
      {"goto past the end",
       [](const ScratchFolder& folder) {
         Movie m;
         Action a;
         a.MakeActionGotoFrame(5);
         m.SetSize(2000, 2000);
         m.AddAction(a);
         m.WriteMovie((folder / "m.swf").string());
       },
       "WriteMovie: an action in frame 0 goes to frame 5, but the movie has only 1 frames"},
      {"write into a missing folder",
       [](const ScratchFolder& folder) {
         Movie m;
         m.SetSize(2000, 2000);
         m.WriteMovie((folder / "missing" / "m.swf").string());
       },
       "WriteMovie: cannot write the movie \"<folder>/missing/m.swf\": No such file or directory"},
      {"write over a folder",
       [](const ScratchFolder& folder) {
         std::filesystem::create_directories(folder / "taken" / "inside");
         Movie m;
         m.SetSize(2000, 2000);
         m.WriteMovie((folder / "taken").string());
       },
       "WriteMovie: cannot write the movie \"<folder>/taken\": Is a directory"},
      {"write to no path",
       [](const ScratchFolder&) {
         Movie m;
         m.SetSize(2000, 2000);
         m.WriteMovie("");
       },
       "WriteMovie: no output path was given"},
  };
  for (const RefusedCall& entry : cases) {
    ScratchFolder folder;
    std::string expected = entry.message;
    if (const auto at = expected.find("<folder>"); at != std::string::npos)
      expected.replace(at, 8, folder.Path().string());
    try {
      entry.call(folder);
      ADD_FAILURE() << entry.name << ": no error";
    } catch (const quillet::Error& error) {
      EXPECT_EQ(error.Number(), 1) << entry.name;
      EXPECT_EQ(std::string(error.what()), expected) << entry.name;
    }
    // No temporary file is ever left behind.
    for (const auto& item : std::filesystem::directory_iterator(folder.Path()))
      EXPECT_NE(item.path().filename().string().front(), '.') << entry.name << " left " << item.path();
  }
}

// ---- Writing --------------------------------------------------------------

Movie SquareMovie(std::int16_t red) {
  Movie movie;
  movie.SetSize(4000, 4000);
  Object square;
  square.MakePolygon(1000, 1000);
  square.AddStraightLine(2000, 0);
  square.AddStraightLine(0, 2000);
  square.AddStraightLine(-2000, 0);
  square.SetSolidFill(red, 0, 0, 255);
  movie.AddObject(square);
  return movie;
}

TEST(WriteMovie, ReplacesAnEarlierFileAndLeavesNoTemporaryFile) {
  ScratchFolder folder;
  const std::string path = (folder / "deck.swf").string();
  SquareMovie(10).WriteMovie(path);
  const Movie second = SquareMovie(200);
  Movie copy = SquareMovie(200);
  copy.WriteMovie(path);
  EXPECT_EQ(swf_test::ReadFile(path), second.Encode());
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(folder.Path())) ++entries;
  EXPECT_EQ(entries, 1u);
  ExpectIndependentParserAccepts(path, 1);
}

TEST(WriteMovie, FailedWriteLeavesTheEarlierFileUntouched) {
  ScratchFolder folder;
  const std::string path = (folder / "deck.swf").string();
  SquareMovie(10).WriteMovie(path);
  const Bytes before = swf_test::ReadFile(path);
  Movie broken = SquareMovie(20);
  Action jump;
  jump.MakeActionGotoFrame(9);
  broken.AddAction(jump);
  EXPECT_THROW(broken.WriteMovie(path), quillet::Error);
  EXPECT_EQ(swf_test::ReadFile(path), before);
}

TEST(WriteMovie, FramesSelectedByGotoFrameAreFilledInAnyOrder) {
  ScratchFolder folder;
  Movie movie;
  movie.SetSize(2000, 2000);
  Action stop;
  stop.MakeActionStop();
  movie.GotoFrame(2);
  movie.AddAction(stop);
  movie.GotoFrame(0);
  movie.AddAction(stop);
  const auto frames = swf_test::FrameTagNames(movie.Encode());
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0], (std::vector<std::string>{"FileAttributes", "SetBackgroundColor", "DoAction"}));
  EXPECT_TRUE(frames[1].empty());
  EXPECT_EQ(frames[2], std::vector<std::string>{"DoAction"});
  const auto path = folder / "frames.swf";
  movie.WriteMovie(path.string());
  ExpectIndependentParserAccepts(path, 3);
}

TEST(WriteMovie, TextButtonAndTranslucentTextParse) {
  ScratchFolder folder;
  Movie movie;
  movie.SetSize(8000, 4000);
  Object label, button, faded;
  Action play;
  play.MakeActionPlay();
  label.MakeTextSimple("Arial", "Next \xC3\xA9t\xC3\xA9", 100, 100, 400);  // "Next été"
  button.MakeButtonSimple(label, 0, 0, 0, 0, 50, 50, 50, 0);
  button.QueueEvent(play, 6);
  faded.MakeTextSimple("Arial", "faded", 100, 1000, 300);
  faded.SetSolidFill(0, 0, 0, 100);
  movie.AddObject(button);
  movie.AddObject(faded);
  const auto path = folder / "text.swf";
  movie.WriteMovie(path.string());
  const auto frames = swf_test::FrameTagNames(swf_test::ReadFile(path));
  EXPECT_EQ(frames[0], (std::vector<std::string>{"FileAttributes", "SetBackgroundColor", "DefineFont3", "DefineText",
                                                 "DefineButton2", "PlaceObject2", "DefineText2", "PlaceObject2"}));
  ExpectIndependentParserAccepts(path, 1);
}

}  // namespace
}  // namespace swf
