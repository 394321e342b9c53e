// The slide-show movie. Coordinates are twips, 20 to the pixel, x to the right
// and y down from the frame's top-left corner. Every frame stops; the picture and
// the right arrow play on to the next frame, the left arrow goes back one
// frame (to frame 0 from the first). The keys, the slide number told to the
// page and the start slide come on top of those calls. The calls and their
// order are what the movie library expects (movie.h): the picture, the
// triangles and the go-to action reach the movie only through the buttons
// and events that use them.
#include "conversion/slide_show_movie.h"

#include <cstdint>

#include "platform/error.h"

namespace quillet {
namespace {

constexpr float kTwipsPerPixel = 20;
constexpr std::int16_t kFrameRate = 24;
constexpr std::int16_t kWhite = 255;
constexpr std::int16_t kLayer = 1;
constexpr std::int16_t kReleasedInside = 6;  // the ordinary click
constexpr std::int16_t kCounterSize = 400;
constexpr const char* kCounterFont = "Arial";
constexpr int kMostFrames = 32767;
constexpr const char* kSlideCommand = "FSCommand:slide";
constexpr const char* kStartVariable = "slide";
constexpr const char* kGoToCallback = "showSlide";
constexpr const char* kNewWindow = "_blank";

constexpr swf::Key kNextKeys[] = {swf::Key::kRight, swf::Key::kDown, swf::Key::kPageDown, swf::Key::kSpace,
                                  swf::Key::kEnter};
constexpr swf::Key kPreviousKeys[] = {swf::Key::kLeft, swf::Key::kUp, swf::Key::kPageUp};

// The arrows' and counter's colour: red, green, blue, alpha.
struct Colour {
  std::int16_t red, green, blue, alpha;
};
constexpr Colour kInk = {0, 96, 128, 255};

}  // namespace

void SlideShowMovie::SetUpFrame(float width, float height) {
  movie.SetSize(kTwipsPerPixel * width, kTwipsPerPixel * height);
  movie.SetFrameBkColor(kWhite, kWhite, kWhite);
  movie.SetFrameRate(kFrameRate);
}

void SlideShowMovie::BuildFrames(float width, float height, const std::vector<std::string>& pictures,
                                 const std::vector<std::vector<LinkArea>>& links) {
  if (pictures.size() > static_cast<std::size_t>(kMostFrames)) {
    throw Error(kGeneral, "a movie holds at most " + std::to_string(kMostFrames) + " slides, not " +
                              std::to_string(pictures.size()));
  }
  const float frameWidth = kTwipsPerPixel * width;
  const float frameHeight = kTwipsPerPixel * height;
  const int slideCount = static_cast<int>(pictures.size());

  stopAction.MakeActionStop();
  playAction.MakeActionPlay();
  if (slideCount > 0) {
    firstAction.MakeActionGotoFrame(0);
    lastAction.MakeActionGotoFrame(slideCount - 1);
    startAction.MakeActionGotoFrameOfVariable(kStartVariable, slideCount);
    callbackAction.MakeActionGotoFrameCallback(kGoToCallback, slideCount);
    if (advanceSeconds > 0) advanceAction.MakeActionAdvanceEvery(advanceSeconds * 1000);
  }
  std::size_t linksShown = 0;  // link buttons on the previous frame
  for (int a = 0; a < slideCount; ++a) {
    nextShape.MakePolygon(frameWidth - 500, frameHeight - 550);
    nextShape.AddStraightLine(250, 125);
    nextShape.AddStraightLine(-250, 125);
    nextShape.AddStraightLine(0, -250);
    nextShape.SetSolidFill(kInk.red, kInk.green, kInk.blue, kInk.alpha);
    nextShape.SetDepth(kLayer);

    prevShape.MakePolygon(frameWidth - 1800, frameHeight - 550);
    prevShape.AddStraightLine(0, 250);
    prevShape.AddStraightLine(-250, -125);
    prevShape.AddStraightLine(250, -125);
    prevShape.SetSolidFill(kInk.red, kInk.green, kInk.blue, kInk.alpha);
    prevShape.SetDepth(kLayer);

    nextButton.MakeButtonSimple(nextShape, 128, 0, 0, 0, 128, -128, 0, 0);
    nextButton.SetDepth(kLayer);
    prevButton.MakeButtonSimple(prevShape, 128, 0, 0, 0, 128, -128, 0, 0);
    prevButton.SetDepth(kLayer);

    gotoAction.MakeActionGotoFrame(a == 0 ? 0 : a - 1);

    const std::string counter = std::to_string(a + 1) + "/" + std::to_string(slideCount);
    counterText.MakeTextSimple(kCounterFont, counter, frameWidth - 1500, frameHeight - 500, kCounterSize);
    counterText.SetSolidFill(kInk.red, kInk.green, kInk.blue, kInk.alpha);
    counterText.SetDepth(kLayer);

    picture.MakePicture(0, 0, frameWidth, frameHeight, width, height, pictures[static_cast<std::size_t>(a)]);
    pictureButton.MakeButtonSimple(picture, 0, 0, 0, 0, 0, 0, 0, 0);
    pictureButton.SetDepth(kLayer);

    pictureButton.QueueEvent(playAction, kReleasedInside);
    nextButton.QueueEvent(playAction, kReleasedInside);
    prevButton.QueueEvent(gotoAction, kReleasedInside);
    for (const swf::Key key : kNextKeys) nextButton.QueueEvent(playAction, swf::KeyPressEvent(key));
    nextButton.QueueEvent(lastAction, swf::KeyPressEvent(swf::Key::kEnd));
    for (const swf::Key key : kPreviousKeys) prevButton.QueueEvent(gotoAction, swf::KeyPressEvent(key));
    prevButton.QueueEvent(firstAction, swf::KeyPressEvent(swf::Key::kHome));

    movie.GotoFrame(static_cast<std::int16_t>(a));
    movie.AddAction(stopAction);
    slideAction.MakeActionGetURL(kSlideCommand, std::to_string(a + 1));
    movie.AddAction(slideAction);
    if (a == 0) movie.AddAction(callbackAction);
    if (a == 0) movie.AddAction(startAction);
    if (a == 0 && advanceSeconds > 0) movie.AddAction(advanceAction);
    if (a > 0) {
      movie.RemoveObject(pictureButton);
      for (; linksShown > 0; --linksShown) movie.RemoveObject(linkButton);
      movie.RemoveObject(counterText);
      movie.RemoveObject(nextButton);
      movie.RemoveObject(prevButton);
    }
    movie.AddObject(pictureButton);
    if (static_cast<std::size_t>(a) < links.size()) {
      for (const LinkArea& link : links[static_cast<std::size_t>(a)]) {
        if (link.address.empty() && (link.slide < 1 || link.slide > slideCount)) continue;
        if (!(link.width >= 1 && link.height >= 1)) continue;  // too small to click
        linkButton.MakeButtonArea(kTwipsPerPixel * link.x, kTwipsPerPixel * link.y, kTwipsPerPixel * link.width,
                                  kTwipsPerPixel * link.height);
        if (link.address.empty()) {
          linkAction.MakeActionGotoFrame(link.slide - 1);
        } else {
          linkAction.MakeActionGetURL(link.address, kNewWindow);
        }
        linkButton.QueueEvent(linkAction, kReleasedInside);
        movie.AddObject(linkButton);
        ++linksShown;
      }
    }
    movie.AddObject(counterText);
    movie.AddObject(nextButton);
    movie.AddObject(prevButton);
  }
}

void SlideShowMovie::Write(const std::string& path) { movie.WriteMovie(path); }

}  // namespace quillet
