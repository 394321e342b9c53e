// Quillet's movie library: three classes that build an SWF slide show by
// method calls, in the order the slide-show movie makes them. Coordinates are in
// twips (20 per pixel), frames are 0-based. Every failing call throws
// quillet::Error with a message that names the call and the cause.
//
//   Action  one AVM1 action: Stop, Play, GotoFrame, and as additions GetURL
//           (FSCommand, or an address to open), a go-to to the frame a
//           variable names, and a go-to the page can call.
//   Object  one thing to show: a filled polygon, a line of text, a picture,
//           or a button made from one of those; as an addition, an invisible
//           button over a rectangle (a link area). Each Make... call starts a new
//           definition; adding the object to a movie copies the definition.
//   Movie   frame settings, the frames (display list changes and actions),
//           and WriteMovie, which writes the whole file or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swf/definitions.h"

namespace swf {

// Key codes of key-press events, as the SWF file format numbers them.
enum class Key : std::uint8_t {
  kLeft = 1,
  kRight = 2,
  kHome = 3,
  kEnd = 4,
  kEnter = 13,
  kUp = 14,
  kDown = 15,
  kPageUp = 16,
  kPageDown = 17,
  kSpace = 32,
};

// Object::QueueEvent's event code for a press of `key`: 256 plus its code.
constexpr std::int16_t KeyPressEvent(Key key) { return static_cast<std::int16_t>(256 + static_cast<int>(key)); }

class Action {
 public:
  void MakeActionStop();
  // Plays on from the next frame; on the last frame players loop the movie
  // back to its first frame.
  void MakeActionPlay();
  // Goes to the 0-based frame and stops there.
  void MakeActionGotoFrame(std::int32_t frame);

  // Beyond Stop, Play and GotoFrame, for the keys and the page:
  //
  // getURL(url, target). With a url "FSCommand:NAME" the player calls the
  // page's FSCommand handler with NAME and `target` instead of opening
  // anything (Ruffle: the player element's onFSCommand(NAME, target)).
  void MakeActionGetURL(const std::string& url, const std::string& target);
  // Reads the variable `variable` of the timeline the action runs on (a
  // page's parameter such as slide=5 lands on the root timeline) and clears
  // it. When it held a whole number n from 1 to frameCount, goes to the
  // 0-based frame n - 1 and stops there; anything else does nothing. While
  // the player is still loading the movie's frames, the timeline is hidden
  // and the go-to waits (in an onEnterFrame handler) until all are loaded.
  void MakeActionGotoFrameOfVariable(const std::string& variable, std::int32_t frameCount);
  // Registers, through ExternalInterface.addCallback (AVM1, SWF 8 and
  // later), a function `name`(n) the page can call on the player element:
  // when n is a whole number from 1 to frameCount and every frame is
  // loaded, it goes to the 0-based frame n - 1, stops there and returns
  // true; anything else does nothing and returns false. A player without
  // ExternalInterface ignores the registration.
  void MakeActionGotoFrameCallback(const std::string& name, std::int32_t frameCount);

  // A kiosk's timer, set up once however often the action runs: every
  // `milliseconds` (1 to a day) without a key pressed or the mouse pressed
  // the root timeline plays on to its next frame, as a click on the slide
  // does (from the last frame players go back to the first); any key or
  // mouse press restarts the wait. A setInterval that checks four times a
  // second against getTimer(), and the root as a Key listener with
  // onKeyDown and onMouseDown handlers.
  void MakeActionAdvanceEvery(std::int32_t milliseconds);

  // The action made last; throws when none was made.
  ActionProgram Program(const char* caller) const;

 private:
  std::optional<ActionProgram> action_;
};

class Object {
 public:
  Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // A filled polygon starting at (x, y); AddStraightLine extends it, and the
  // contour is closed back to the start when the lines do not end there.
  void MakePolygon(float x, float y);
  void AddStraightLine(std::int16_t dx, std::int16_t dy);
  // The fill of a polygon or the colour of a text, components 0 to 255.
  void SetSolidFill(std::int16_t r, std::int16_t g, std::int16_t b, std::int16_t a);
  // A layer hint only: a movie stacks objects in the order they are added.
  void SetDepth(std::int16_t depth);
  // A push button showing `shape` (polygon, text or picture) in its up state and
  // as its hit area; the over state adds (r1, g1, b1, a1) to the shape's colours,
  // the down state adds (r2, g2, b2, a2).
  void MakeButtonSimple(Object& shape, std::int16_t r1, std::int16_t g1, std::int16_t b1, std::int16_t a1,
                        std::int16_t r2, std::int16_t g2, std::int16_t b2, std::int16_t a2);
  // As an addition: a button that shows nothing, its hit area the rectangle
  // (x, y, width, height) twips, a link area over a picture. Players show
  // the hand cursor over it.
  void MakeButtonArea(float x, float y, float width, float height);
  // One line of text in the font fontconfig finds for `font`, UTF-8 `text`,
  // its EM square `size` twips high, the top of its tallest glyph at y (a text
  // without ink puts the font's ascent line there).
  void MakeTextSimple(const std::string& font, const std::string& text, float x, float y, std::int16_t size);
  // A baseline JPEG file shown in the rectangle (x, y, width, height) twips,
  // pixelWidth x pixelHeight picture pixels across it.
  void MakePicture(std::int16_t x, std::int16_t y, float width, float height, float pixelWidth, float pixelHeight,
                   const std::string& path);
  // Runs `action` when the button's event happens. Event code 6: the button is
  // released inside (the ordinary click). As an addition, KeyPressEvent(key):
  // the key is pressed while the player has keyboard focus (players honour
  // it on visible buttons of the root timeline).
  void QueueEvent(Action& action, std::int16_t eventCode);

  const ObjectDefinition& Definition() const { return definition_; }
  std::uint64_t Identity() const { return identity_; }

 private:
  std::uint64_t identity_;
  ObjectDefinition definition_;
  std::int16_t depthHint_ = 0;
};

class Movie {
 public:
  // The frame size in twips.
  void SetSize(float width, float height);
  void SetFrameBkColor(std::int16_t r, std::int16_t g, std::int16_t b);
  // Frames per second, 1 to 255.
  void SetFrameRate(std::int16_t rate);
  // Selects the 0-based frame the calls below fill; the movie has at least
  // frame + 1 frames from then on.
  void GotoFrame(std::int16_t frame);
  void AddAction(Action& action);
  // Places the object's current definition at a new depth above everything
  // placed before.
  void AddObject(Object& object);
  // Takes the object out from the depth it was last placed at.
  void RemoveObject(Object& object);
  // Writes the movie to `path`: a temporary file in the same folder renamed
  // into place, so an earlier file stays untouched when anything fails.
  void WriteMovie(const std::string& path);

  // The SWF file model and its bytes, as WriteMovie would write them.
  MovieFile Assemble() const;
  std::vector<std::uint8_t> Encode() const;

 private:
  struct Placement {
    std::uint64_t object = 0;
    std::uint16_t depth = 0;
    std::int32_t frame = 0;
  };

  MovieSettings settings_;
  std::vector<std::vector<FrameOperation>> frames_{1};
  std::int32_t currentFrame_ = 0;
  std::uint32_t lastDepth_ = 0;
  std::vector<Placement> placements_;  // objects on the display list, in placing order
};

}  // namespace swf
