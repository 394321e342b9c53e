// The slide-show movie the conversion writes, built by the real code: the
// tags of every frame, the display list (four objects removed and four
// placed per frame), the button actions and colour transforms, the counter
// text, its one font, where the arrows, counter and picture sit, the
// embedded pictures byte for byte, and every movie read by the independent
// parser.
#include "conversion/slide_show_movie.h"

#include <gtest/gtest.h>

#include <set>

#include "../swf/test_support.h"
#include "swf/movie.h"
#include "swf/tag_writer.h"

namespace swf {
namespace {

using swf_test::Bytes;
using swf_test::ExpectIndependentParserAccepts;
using swf_test::ScratchFolder;

// The conversion's two calls for a frame of width x height pixels.
void Build(quillet::SlideShowMovie& show, float width, float height, const std::vector<std::string>& pictures) {
  show.SetUpFrame(width, height);
  show.BuildFrames(width, height, pictures);
}

std::vector<std::string> Pictures(const ScratchFolder& folder, int count, int width, int height) {
  std::vector<std::string> pictures;
  for (int index = 0; index < count; ++index) {
    const auto path = folder / ("Slide" + std::to_string(index + 1) + ".jpg");
    swf_test::WriteFile(path, swf_test::MakeJpeg(width + index, height));  // each slide differs
    pictures.push_back(path.string());
  }
  return pictures;
}

// Frame actions: stop, tell the page the slide, and on the first frame
// register the page's go-to and go to the start slide.
const std::vector<std::string> kFirstFrame = {"FileAttributes", "SetBackgroundColor", "DoAction",        "DoAction",
                                              "DoAction",       "DoAction",           "DefineBitsJPEG2", "DefineShape",
                                              "DefineButton2",  "PlaceObject2",                        // picture button
                                              "DefineFont3",    "DefineText",         "PlaceObject2",  // counter
                                              "DefineShape",    "DefineButton2",      "PlaceObject2",  // right arrow
                                              "DefineShape",    "DefineButton2",      "PlaceObject2"};  // left arrow
const std::vector<std::string> kLaterFrame = {
    "DoAction",        "DoAction",      "RemoveObject2", "RemoveObject2", "RemoveObject2", "RemoveObject2",
    "DefineBitsJPEG2", "DefineShape",   "DefineButton2", "PlaceObject2",  "DefineText",    "PlaceObject2",
    "DefineShape",     "DefineButton2", "PlaceObject2",  "DefineShape",   "DefineButton2", "PlaceObject2"};

struct SlideShowCase {
  int slides;
  float width;
  float height;
};

class SlideShow : public testing::TestWithParam<SlideShowCase> {};

TEST_P(SlideShow, TagsPerFrameMatchTheCallSequence) {
  const SlideShowCase& show = GetParam();
  ScratchFolder folder;
  quillet::SlideShowMovie built;
  Build(built, show.width, show.height, Pictures(folder, show.slides, 16, 12));
  const Movie& movie = built.LibraryMovie();
  const auto path = folder / "show.swf";
  built.Write(path.string());
  const Bytes bytes = swf_test::ReadFile(path);
  EXPECT_EQ(bytes, movie.Encode());

  const auto frames = swf_test::FrameTagNames(bytes);
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(show.slides) + 1) << swf_test::DumpMovie(bytes);
  for (int a = 0; a < show.slides; ++a)
    EXPECT_EQ(frames[a], a == 0 ? kFirstFrame : kLaterFrame) << "frame " << a << "\n" << swf_test::DumpMovie(bytes);
  EXPECT_EQ(frames.back(), std::vector<std::string>{"End"});

  // Header: CWS, version 10, frame 20 W x 20 H twips, 24 fps, one frame per slide.
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "CWS");
  EXPECT_EQ(bytes[3], 10);
  const MovieFile model = built.LibraryMovie().Assemble();
  EXPECT_EQ(model.frameSize,
            (Rect{0, static_cast<std::int32_t>(20 * show.width), 0, static_cast<std::int32_t>(20 * show.height)}));
  EXPECT_EQ(model.frameRate, 24 << 8);
  EXPECT_EQ(std::get<SetBackgroundColorTag>(model.tags[1]).color, (Rgba{255, 255, 255, 255}));
  ExpectIndependentParserAccepts(path, static_cast<std::size_t>(show.slides));
}

TEST_P(SlideShow, DisplayListButtonsAndCounterPerFrame) {
  const SlideShowCase& show = GetParam();
  ScratchFolder folder;
  quillet::SlideShowMovie built;
  const std::vector<std::string> pictures = Pictures(folder, show.slides, 16, 12);
  Build(built, show.width, show.height, pictures);
  const MovieFile model = built.LibraryMovie().Assemble();

  const DefineFontTag* font = nullptr;
  int fonts = 0;
  int frame = 0;
  std::vector<std::uint16_t> placed, removed;
  // Per button, its condition words and their actions.
  std::vector<std::vector<std::pair<std::uint16_t, std::vector<ActionRecord>>>> buttons;
  std::vector<std::vector<ActionRecord>> frameActions;
  std::string counter;
  const auto finishFrame = [&] {
    // This frame removes the previous frame's four depths and places four new ones on top.
    const std::uint16_t first = static_cast<std::uint16_t>(4 * frame + 1);
    EXPECT_EQ(placed, (std::vector<std::uint16_t>{first, static_cast<std::uint16_t>(first + 1),
                                                  static_cast<std::uint16_t>(first + 2),
                                                  static_cast<std::uint16_t>(first + 3)}))
        << "frame " << frame;
    if (frame == 0) {
      EXPECT_TRUE(removed.empty());
    } else {
      EXPECT_EQ(removed, (std::vector<std::uint16_t>{
                             static_cast<std::uint16_t>(first - 4), static_cast<std::uint16_t>(first - 3),
                             static_cast<std::uint16_t>(first - 2), static_cast<std::uint16_t>(first - 1)}))
          << "frame " << frame;
    }
    // The picture plays on when clicked. The right arrow plays on when clicked
    // and on Right, Down, PageDown, Space and Enter, and End shows the last
    // slide; the left arrow goes back one frame (0 on the first) when clicked
    // and on Left, Up and PageUp, and Home shows the first slide.
    const std::vector<ActionRecord> play = {ActionRecord::Simple(ActionCode::kPlay)};
    const std::vector<ActionRecord> back = {
        ActionRecord::GotoFrame(static_cast<std::uint16_t>(frame == 0 ? 0 : frame - 1))};
    const auto key = [](int code) { return static_cast<std::uint16_t>(code << 9); };
    using Events = std::vector<std::pair<std::uint16_t, std::vector<ActionRecord>>>;
    ASSERT_EQ(buttons.size(), 3u) << "frame " << frame;
    EXPECT_EQ(buttons[0], (Events{{kOverDownToOverUp, play}}));
    EXPECT_EQ(buttons[1], (Events{{kOverDownToOverUp, play},
                                  {key(2), play},
                                  {key(15), play},
                                  {key(17), play},
                                  {key(32), play},
                                  {key(13), play},
                                  {key(4), {ActionRecord::GotoFrame(static_cast<std::uint16_t>(show.slides - 1))}}}))
        << "frame " << frame;
    EXPECT_EQ(buttons[2], (Events{{kOverDownToOverUp, back},
                                  {key(1), back},
                                  {key(14), back},
                                  {key(16), back},
                                  {key(3), {ActionRecord::GotoFrame(0)}}}))
        << "frame " << frame;
    ASSERT_EQ(frameActions.size(), frame == 0 ? 4u : 2u) << "frame " << frame;
    EXPECT_EQ(frameActions[0], (std::vector<ActionRecord>{ActionRecord::Simple(ActionCode::kStop)}));
    EXPECT_EQ(frameActions[1],
              (std::vector<ActionRecord>{ActionRecord{
                  .code = ActionCode::kGetUrl, .url = "FSCommand:slide", .target = std::to_string(frame + 1)}}));
    if (frame == 0) {
      Action callback, start;
      callback.MakeActionGotoFrameCallback("showSlide", show.slides);
      start.MakeActionGotoFrameOfVariable("slide", show.slides);
      EXPECT_EQ(frameActions[2], callback.Program("test").records);
      EXPECT_EQ(frameActions[3], start.Program("test").records);
    }
    EXPECT_EQ(counter, std::to_string(frame + 1) + "/" + std::to_string(show.slides));
    placed.clear();
    removed.clear();
    buttons.clear();
    frameActions.clear();
    counter.clear();
    ++frame;
  };
  for (const Tag& tag : model.tags) {
    if (const auto* value = std::get_if<DefineFontTag>(&tag)) {
      font = value;
      ++fonts;
    } else if (const auto* value = std::get_if<PlaceObject2Tag>(&tag)) {
      placed.push_back(value->depth);
    } else if (const auto* value = std::get_if<RemoveObject2Tag>(&tag)) {
      removed.push_back(value->depth);
    } else if (const auto* value = std::get_if<DefineButton2Tag>(&tag)) {
      buttons.emplace_back();
      for (const ButtonConditionAction& event : value->conditionActions)
        buttons.back().emplace_back(event.conditions, event.actions);
    } else if (const auto* value = std::get_if<DoActionTag>(&tag)) {
      frameActions.push_back(value->actions);
    } else if (const auto* value = std::get_if<DefineTextTag>(&tag)) {
      ASSERT_NE(font, nullptr) << "text before its font";
      ASSERT_EQ(value->records.size(), 1u);
      EXPECT_EQ(value->records[0].fontId, font->fontId);
      EXPECT_EQ(value->records[0].textHeight, 400);
      EXPECT_EQ(value->records[0].color, (Rgba{0, 96, 128, 255}));
      for (const GlyphEntry& glyph : value->records[0].glyphs)
        counter += static_cast<char>(font->glyphs.at(glyph.index).code);
    } else if (const auto* value = std::get_if<DefineBitsJpeg2Tag>(&tag)) {
      EXPECT_EQ(value->jpegData, swf_test::ReadFile(pictures.at(static_cast<std::size_t>(frame))));
    } else if (std::holds_alternative<ShowFrameTag>(tag)) {
      finishFrame();
    }
  }
  EXPECT_EQ(frame, show.slides);
  EXPECT_EQ(fonts, 1);
  // The one font holds exactly the characters of all counters, ascending.
  std::set<char> used;
  for (int a = 1; a <= show.slides; ++a)
    for (char character : std::to_string(a) + "/" + std::to_string(show.slides)) used.insert(character);
  ASSERT_NE(font, nullptr);
  std::string codes;
  for (const FontGlyph& glyph : font->glyphs) codes += static_cast<char>(glyph.code);
  EXPECT_EQ(codes, std::string(used.begin(), used.end()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SlideShow,
                         testing::Values(SlideShowCase{2, 720, 540}, SlideShowCase{12, 360, 270},
                                         SlideShowCase{1, 240, 180}, SlideShowCase{3, 481, 270}));

// --advance: one more DoAction on the first frame only (its timer, set up
// once), which calls setInterval with the check every 250 ms and _root.play;
// the independent parser reads the movie. Without it the frames are as above.
TEST(SlideShowKiosk, FirstFrameSetsUpTheTimerOnce) {
  ScratchFolder folder;
  quillet::SlideShowMovie built;
  built.SetAdvance(5);
  Build(built, 240, 180, Pictures(folder, 3, 240, 180));
  const auto path = folder / "kiosk.swf";
  built.Write(path.string());
  const auto frames = swf_test::FrameTagNames(swf_test::ReadFile(path));
  std::vector<std::string> first = kFirstFrame;
  first.insert(first.begin() + 5, "DoAction");
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0], first);
  EXPECT_EQ(frames[1], kLaterFrame);
  ExpectIndependentParserAccepts(path, 3);
  std::vector<std::vector<ActionRecord>> actions;
  for (const Tag& tag : built.LibraryMovie().Assemble().tags)
    if (const auto* action = std::get_if<DoActionTag>(&tag)) actions.push_back(action->actions);
  // Frame 1: stop, the slide's report, the go-to callback, the start slide,
  // then the timer; later frames stop and report.
  ASSERT_EQ(actions.size(), 4u + 1u + 2u * 2u);
  const std::vector<ActionRecord>& timer = actions[4];
  const auto has = [&](const PushValue& value) {
    return std::any_of(timer.begin(), timer.end(), [&](const ActionRecord& record) {
      return std::find(record.values.begin(), record.values.end(), value) != record.values.end();
    });
  };
  EXPECT_TRUE(has(PushValue{std::int32_t{5000}}));
  EXPECT_TRUE(has(PushValue{std::int32_t{250}}));
  EXPECT_TRUE(has(PushValue{std::string("setInterval")}));
  EXPECT_TRUE(has(PushValue{std::string("play")}));
  EXPECT_TRUE(has(PushValue{std::string("addListener")}));
  swf::Action tooLong;
  EXPECT_THROW(tooLong.MakeActionAdvanceEvery(24 * 60 * 60 * 1000 + 1), std::exception);
  EXPECT_THROW(tooLong.MakeActionAdvanceEvery(0), std::exception);
}

TEST(SlideShowGeometry, ArrowsCounterAndPictureSitWhereTheCallsPutThem) {
  ScratchFolder folder;
  quillet::SlideShowMovie built;
  Build(built, 360, 270, Pictures(folder, 1, 360, 270));
  const MovieFile model = built.LibraryMovie().Assemble();
  std::vector<Rect> shapeBounds;
  std::vector<FillStyle> fills;
  std::optional<Matrix> textPlacement;
  for (const Tag& tag : model.tags) {
    if (const auto* shape = std::get_if<DefineShapeTag>(&tag)) {
      shapeBounds.push_back(shape->bounds);
      fills.push_back(shape->shape.fillStyles.at(0));
      EXPECT_EQ(shape->version, ShapeVersion::kDefineShape);
    }
    if (const auto* place = std::get_if<PlaceObject2Tag>(&tag); place != nullptr && place->depth == 2)
      textPlacement = place->matrix;
  }
  ASSERT_EQ(shapeBounds.size(), 3u);
  EXPECT_EQ(shapeBounds[0], (Rect{0, 7200, 0, 5400}));        // the picture
  EXPECT_EQ(shapeBounds[1], (Rect{6700, 6950, 4850, 5100}));  // right arrow
  EXPECT_EQ(shapeBounds[2], (Rect{5150, 5400, 4850, 5100}));  // left arrow
  EXPECT_EQ(fills[0].type, FillType::kClippedBitmap);
  EXPECT_EQ(fills[0].bitmapMatrix.scaleX, 20 * 65536);
  EXPECT_EQ(fills[0].bitmapMatrix.scaleY, 20 * 65536);
  EXPECT_EQ(fills[1].color, (Rgba{0, 96, 128, 255}));
  ASSERT_TRUE(textPlacement.has_value());
  EXPECT_EQ(*textPlacement, Matrix::Translation(5700, 4900));
}

TEST(Buttons, ArrowStatesAddTheColoursOfTheEightIntegers) {
  ScratchFolder folder;
  quillet::SlideShowMovie built;
  Build(built, 240, 180, Pictures(folder, 1, 24, 18));
  std::vector<const DefineButton2Tag*> buttons;
  const MovieFile model = built.LibraryMovie().Assemble();
  for (const Tag& tag : model.tags)
    if (const auto* button = std::get_if<DefineButton2Tag>(&tag)) buttons.push_back(button);
  ASSERT_EQ(buttons.size(), 3u);
  // Picture button: all eight integers 0, so one record serves every state.
  ASSERT_EQ(buttons[0]->records.size(), 1u);
  EXPECT_EQ(buttons[0]->records[0].states, kButtonUp | kButtonOver | kButtonDown | kButtonHitTest);
  EXPECT_EQ(buttons[0]->records[0].colorTransform, ColorTransform{});
  // Arrows: up + hit as drawn, over adds (128, 0, 0, 0), down adds (128, -128, 0, 0).
  for (const DefineButton2Tag* arrow : {buttons[1], buttons[2]}) {
    ASSERT_EQ(arrow->records.size(), 3u);
    EXPECT_EQ(arrow->records[0].states, kButtonUp | kButtonHitTest);
    EXPECT_EQ(arrow->records[0].colorTransform, ColorTransform{});
    EXPECT_EQ(arrow->records[1].states, kButtonOver);
    EXPECT_EQ(arrow->records[1].colorTransform.add, (std::array<std::int16_t, 4>{128, 0, 0, 0}));
    EXPECT_EQ(arrow->records[2].states, kButtonDown);
    EXPECT_EQ(arrow->records[2].colorTransform.add, (std::array<std::int16_t, 4>{128, -128, 0, 0}));
  }
}

}  // namespace
}  // namespace swf
