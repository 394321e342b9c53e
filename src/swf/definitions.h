// What the movie library's objects hold between calls: one definition per
// object (polygon, text, picture or button), the actions, and the frame
// operations a movie collects. Plain values, copied when an object is added,
// so the same object can be made again for the next frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "swf/font_outlines.h"
#include "swf/jpeg_check.h"
#include "swf/swf_types.h"

namespace swf {

struct PolygonDefinition {
  Point start;
  std::vector<Point> deltas;  // straight lines from the pen, in call order
  Rgba fill;
};

struct TextDefinition {
  FontFaceLocation face;
  std::u32string text;     // every code point within U+0000..U+FFFF
  Point position;          // the top of the tallest glyph of the text at y
  std::uint16_t size = 0;  // the EM square's height in twips
  Rgba color;
};

struct PictureDefinition {
  Point origin;
  std::int32_t width = 0;   // twips
  std::int32_t height = 0;  // twips
  std::int32_t scaleX = 0;  // 16.16 fixed: twips per picture pixel
  std::int32_t scaleY = 0;
  std::shared_ptr<const JpegPicture> picture;
};

// What a button shows: any definition but a button.
using FaceDefinition = std::variant<PolygonDefinition, TextDefinition, PictureDefinition>;

// What an Action holds: its records, and how many frames a movie needs so
// that every frame its go-tos can reach exists.
struct ActionProgram {
  std::vector<ActionRecord> records;
  std::uint32_t framesNeeded = 0;
};

struct ButtonEvent {
  std::uint16_t condition = kOverDownToOverUp;  // a ButtonCondition or a key press
  ActionProgram action;
};

struct ButtonDefinition {
  FaceDefinition face;
  ColorTransform over;  // add terms of the over state
  ColorTransform down;  // add terms of the down state
  std::vector<ButtonEvent> events;
  bool hitAreaOnly = false;  // the face is the hit area only: nothing shows
};

using ObjectDefinition =
    std::variant<std::monostate, PolygonDefinition, TextDefinition, PictureDefinition, ButtonDefinition>;

struct PlaceOperation {
  ObjectDefinition definition;  // never std::monostate
  std::uint16_t depth = 0;
};

struct RemoveOperation {
  std::uint16_t depth = 0;
};

struct ActionOperation {
  ActionProgram action;
};

using FrameOperation = std::variant<PlaceOperation, RemoveOperation, ActionOperation>;

struct MovieSettings {
  Rect frameSize;  // Xmax, Ymax in twips; zero until SetSize
  Rgba background{255, 255, 255, 255};
  std::uint16_t frameRate = 12 << 8;  // 8.8 fixed
};

// Builds the whole SWF file model of a movie: header values, FileAttributes,
// SetBackgroundColor, then every frame's definitions, display list changes and
// actions in call order, ShowFrame, and End. Fonts are gathered over all
// frames first, so one font per face holds every glyph any frame uses.
MovieFile AssembleMovie(const MovieSettings& settings, const std::vector<std::vector<FrameOperation>>& frames);

}  // namespace swf
