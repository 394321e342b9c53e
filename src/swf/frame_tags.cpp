// Assembles the SWF file model of a movie from its recorded frames (the SWF
// file format's display list model): every placed definition becomes its
// defining tags (DefineBitsJPEG2, DefineShape, DefineFont3, DefineText,
// DefineButton2) written just before the PlaceObject2 that shows it, removals
// become RemoveObject2, actions become DoAction, and each frame ends with
// ShowFrame. Text needs its font first, yet later frames may use more
// glyphs, so the glyphs of every frame are gathered before anything is written.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "platform/error.h"
#include "swf/definitions.h"
#include "swf/shape_builder.h"

namespace swf {
namespace {

constexpr std::int32_t kFont3EmSquare = 20480;
constexpr std::size_t kGlyphsPerTextRecord = 255;
constexpr std::uint16_t kButtonRecordDepth = 1;

// One embedded font: its glyphs ascending by code, and where each code went.
struct EmbeddedFont {
  DefineFontTag tag;
  std::map<char32_t, std::uint32_t> indexOf;
  bool written = false;
};

// What a definition's tags leave behind: the character to place and the
// matrix that puts it where the definition says.
struct Character {
  std::uint16_t id = 0;
  Matrix placement;
};

class Assembler {
 public:
  explicit Assembler(std::vector<Tag>& tags) : tags_(tags) {}

  void GatherGlyphs(const std::vector<std::vector<FrameOperation>>& frames);
  void AddFrame(const std::vector<FrameOperation>& operations);
  std::uint16_t NewCharacterId();

 private:
  Character Define(const ObjectDefinition& definition);
  Character Define(const FaceDefinition& face);
  Character DefinePolygon(const PolygonDefinition& polygon);
  Character DefineText(const TextDefinition& text);
  Character DefinePicture(const PictureDefinition& picture);
  Character DefineButton(const ButtonDefinition& button);

  std::vector<Tag>& tags_;
  std::uint32_t lastCharacterId_ = 0;
  std::map<FontFaceLocation, std::set<char32_t>> glyphsOfFace_;
  std::map<FontFaceLocation, EmbeddedFont> fonts_;
};

std::uint16_t Assembler::NewCharacterId() {
  if (lastCharacterId_ >= 0xFFFF) throw quillet::Error(quillet::kGeneral, "the movie needs more than 65535 characters");
  return static_cast<std::uint16_t>(++lastCharacterId_);
}

void Assembler::GatherGlyphs(const std::vector<std::vector<FrameOperation>>& frames) {
  const auto gather = [this](const TextDefinition& text) {
    glyphsOfFace_[text.face].insert(text.text.begin(), text.text.end());
  };
  for (const auto& frame : frames) {
    for (const FrameOperation& operation : frame) {
      const auto* place = std::get_if<PlaceOperation>(&operation);
      if (place == nullptr) continue;
      if (const auto* text = std::get_if<TextDefinition>(&place->definition)) gather(*text);
      if (const auto* button = std::get_if<ButtonDefinition>(&place->definition)) {
        if (const auto* text = std::get_if<TextDefinition>(&button->face)) gather(*text);
      }
    }
  }
  for (const auto& [face, codes] : glyphsOfFace_) {
    const FontOutlines outlines(face, kFont3EmSquare);
    EmbeddedFont& font = fonts_[face];
    font.tag.version = FontVersion::kDefineFont3;
    font.tag.name = outlines.FamilyName();
    font.tag.bold = outlines.Bold();
    font.tag.italic = outlines.Italic();
    font.tag.ascent = outlines.Ascent();
    font.tag.descent = outlines.Descent();
    font.tag.leading = outlines.Leading();
    for (char32_t code : codes) {  // std::set keeps them ascending
      font.indexOf[code] = static_cast<std::uint32_t>(font.tag.glyphs.size());
      font.tag.glyphs.push_back(outlines.Glyph(code));
    }
  }
}

void Assembler::AddFrame(const std::vector<FrameOperation>& operations) {
  for (const FrameOperation& operation : operations) {
    if (const auto* place = std::get_if<PlaceOperation>(&operation)) {
      const Character character = Define(place->definition);
      PlaceObject2Tag tag;
      tag.depth = place->depth;
      tag.characterId = character.id;
      tag.matrix = character.placement;
      tags_.push_back(tag);
    } else if (const auto* remove = std::get_if<RemoveOperation>(&operation)) {
      tags_.push_back(RemoveObject2Tag{remove->depth});
    } else {
      tags_.push_back(DoActionTag{std::get<ActionOperation>(operation).action.records});
    }
  }
  tags_.push_back(ShowFrameTag{});
}

Character Assembler::Define(const ObjectDefinition& definition) {
  struct Visitor {
    Assembler& self;
    Character operator()(const std::monostate&) const {
      throw quillet::Error(quillet::kGeneral, "an object with nothing made was placed");
    }
    Character operator()(const PolygonDefinition& value) const { return self.DefinePolygon(value); }
    Character operator()(const TextDefinition& value) const { return self.DefineText(value); }
    Character operator()(const PictureDefinition& value) const { return self.DefinePicture(value); }
    Character operator()(const ButtonDefinition& value) const { return self.DefineButton(value); }
  };
  return std::visit(Visitor{*this}, definition);
}

Character Assembler::Define(const FaceDefinition& face) {
  return std::visit([this](const auto& value) { return Define(ObjectDefinition{value}); }, face);
}

// A polygon is drawn at its absolute coordinates; its one fill style lies on
// the inside of the contour: the right of the edges when the contour runs
// clockwise on screen (y down), the left otherwise.
Character Assembler::DefinePolygon(const PolygonDefinition& polygon) {
  std::vector<Point> points{polygon.start};
  for (const Point& delta : polygon.deltas) {
    const std::int64_t x = std::int64_t{points.back().x} + delta.x;
    const std::int64_t y = std::int64_t{points.back().y} + delta.y;
    if (std::llabs(x) > (1 << 30) - 1 || std::llabs(y) > (1 << 30) - 1)
      throw quillet::Error(quillet::kGeneral, "a polygon corner does not fit the SWF coordinate fields");
    points.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
  }
  double twiceArea = 0;
  for (std::size_t index = 0; index < points.size(); ++index) {
    const Point& from = points[index];
    const Point& to = points[(index + 1) % points.size()];
    twiceArea += static_cast<double>(from.x) * to.y - static_cast<double>(to.x) * from.y;
  }
  StyleChange fill;
  if (twiceArea >= 0) {
    fill.fillStyle1 = 1;
  } else {
    fill.fillStyle0 = 1;
  }
  ShapeBuilder builder(fill);
  builder.MoveTo(points.front());
  for (std::size_t index = 1; index < points.size(); ++index) builder.LineTo(points[index]);
  builder.CloseContour();

  DefineShapeTag tag;
  tag.version = polygon.fill.alpha == 255 ? ShapeVersion::kDefineShape : ShapeVersion::kDefineShape3;
  tag.characterId = NewCharacterId();
  tag.bounds = builder.Bounds();
  tag.shape.fillStyles.push_back(FillStyle{FillType::kSolid, polygon.fill, 0, {}});
  tag.shape.records = builder.Records();
  tags_.push_back(tag);
  return {tag.characterId, Matrix{}};
}

// The text is laid out from its own origin: the first record's YOffset is
// the baseline, placed so that the tallest glyph of this text has its top at
// the origin (a text without ink falls back to one ascent); the placement
// moves it to the definition's position, so the glyph tops sit at y and a
// counter lines up with shapes drawn from the same y. Pen positions are
// rounded cumulatively.
Character Assembler::DefineText(const TextDefinition& text) {
  EmbeddedFont& font = fonts_.at(text.face);
  if (!font.written && !text.text.empty()) {
    font.tag.fontId = NewCharacterId();
    tags_.push_back(font.tag);
    font.written = true;
  }
  const double scale = static_cast<double>(text.size) / kFont3EmSquare;
  std::int32_t inkTop = -font.tag.ascent;
  bool hasInk = false;
  for (const std::uint32_t character : text.text) {
    const FontGlyph& glyph = font.tag.glyphs[font.indexOf.at(character)];
    if (glyph.bounds == Rect{}) continue;
    inkTop = hasInk ? std::min(inkTop, glyph.bounds.yMin) : glyph.bounds.yMin;
    hasInk = true;
  }
  const double baseline = std::nearbyint(-static_cast<double>(inkTop) * scale);
  if (baseline > 32767)
    throw quillet::Error(quillet::kGeneral, "the text size " + std::to_string(text.size) + " is too large");

  DefineTextTag tag;
  tag.version = text.color.alpha == 255 ? TextVersion::kDefineText : TextVersion::kDefineText2;
  tag.characterId = NewCharacterId();
  std::optional<Rect> bounds;
  std::int64_t penUnits = 0;
  std::int32_t penTwips = 0;
  for (std::size_t at = 0; at < text.text.size(); ++at) {
    if (at % kGlyphsPerTextRecord == 0) {
      TextRecord record;
      if (at == 0) {
        record.fontId = font.tag.fontId;
        record.textHeight = text.size;
        record.color = text.color;
        record.xOffset = 0;
        record.yOffset = static_cast<std::int16_t>(baseline);
      }
      tag.records.push_back(record);
    }
    const std::uint32_t index = font.indexOf.at(text.text[at]);
    const FontGlyph& glyph = font.tag.glyphs[index];
    penUnits += glyph.advance;
    const auto nextPen = static_cast<std::int32_t>(std::nearbyint(static_cast<double>(penUnits) * scale));
    tag.records.back().glyphs.push_back({index, nextPen - penTwips});
    if (!(glyph.bounds == Rect{})) {
      const Rect ink{static_cast<std::int32_t>(std::floor(penTwips + glyph.bounds.xMin * scale)),
                     static_cast<std::int32_t>(std::ceil(penTwips + glyph.bounds.xMax * scale)),
                     static_cast<std::int32_t>(std::floor(baseline + glyph.bounds.yMin * scale)),
                     static_cast<std::int32_t>(std::ceil(baseline + glyph.bounds.yMax * scale))};
      if (!bounds) {
        bounds = ink;
      } else {
        bounds = Rect{std::min(bounds->xMin, ink.xMin), std::max(bounds->xMax, ink.xMax),
                      std::min(bounds->yMin, ink.yMin), std::max(bounds->yMax, ink.yMax)};
      }
    }
    penTwips = nextPen;
  }
  tag.bounds = bounds.value_or(Rect{});
  tags_.push_back(tag);
  return {tag.characterId, Matrix::Translation(text.position.x, text.position.y)};
}

// The picture's bytes go into a DefineBitsJPEG2; a rectangle filled with the
// clipped, smoothed bitmap shows it, the bitmap matrix mapping its pixels onto
// the rectangle.
Character Assembler::DefinePicture(const PictureDefinition& picture) {
  const std::uint16_t bitmapId = NewCharacterId();
  tags_.push_back(DefineBitsJpeg2Tag{bitmapId, picture.picture->bytes});

  StyleChange fill;
  fill.fillStyle1 = 1;  // the rectangle runs clockwise on screen
  ShapeBuilder builder(fill);
  const Point topLeft = picture.origin;
  const Point bottomRight{picture.origin.x + picture.width, picture.origin.y + picture.height};
  builder.MoveTo(topLeft);
  builder.LineTo({bottomRight.x, topLeft.y});
  builder.LineTo(bottomRight);
  builder.LineTo({topLeft.x, bottomRight.y});
  builder.CloseContour();

  Matrix bitmapMatrix = Matrix::Translation(picture.origin.x, picture.origin.y);
  bitmapMatrix.scaleX = picture.scaleX;
  bitmapMatrix.scaleY = picture.scaleY;
  DefineShapeTag tag;
  tag.characterId = NewCharacterId();
  tag.bounds = builder.Bounds();
  tag.shape.fillStyles.push_back(FillStyle{FillType::kClippedBitmap, {}, bitmapId, bitmapMatrix});
  tag.shape.records = builder.Records();
  tags_.push_back(tag);
  return {tag.characterId, Matrix{}};
}

// Up and hit states show the face as it is; over and down add their colour
// transforms. States with equal transforms share one record. A link area's
// face is its hit state alone.
Character Assembler::DefineButton(const ButtonDefinition& button) {
  const Character face = Define(button.face);
  DefineButton2Tag tag;
  tag.characterId = NewCharacterId();
  const auto addState = [&tag, &face](std::uint8_t state, const ColorTransform& transform) {
    for (ButtonRecord& record : tag.records) {
      if (record.colorTransform == transform) {
        record.states |= state;
        return;
      }
    }
    tag.records.push_back(ButtonRecord{state, face.id, kButtonRecordDepth, face.placement, transform});
  };
  if (button.hitAreaOnly) {
    addState(kButtonHitTest, ColorTransform{});
  } else {
    addState(kButtonUp | kButtonHitTest, ColorTransform{});
    addState(kButtonOver, button.over);
    addState(kButtonDown, button.down);
  }
  for (const ButtonEvent& event : button.events)
    tag.conditionActions.push_back({event.condition, event.action.records});
  tags_.push_back(tag);
  return {tag.characterId, Matrix{}};
}

}  // namespace

MovieFile AssembleMovie(const MovieSettings& settings, const std::vector<std::vector<FrameOperation>>& frames) {
  for (std::size_t frame = 0; frame < frames.size(); ++frame) {
    for (const FrameOperation& operation : frames[frame]) {
      std::vector<const ActionProgram*> actions;
      if (const auto* doAction = std::get_if<ActionOperation>(&operation)) actions.push_back(&doAction->action);
      if (const auto* place = std::get_if<PlaceOperation>(&operation)) {
        if (const auto* button = std::get_if<ButtonDefinition>(&place->definition)) {
          for (const ButtonEvent& event : button->events) actions.push_back(&event.action);
        }
      }
      for (const ActionProgram* action : actions) {
        if (action->framesNeeded > frames.size())
          throw quillet::Error(quillet::kGeneral, "an action in frame " + std::to_string(frame) + " goes to frame " +
                                                      std::to_string(action->framesNeeded - 1) +
                                                      ", but the movie has only " + std::to_string(frames.size()) +
                                                      " frames");
      }
    }
  }
  MovieFile movie;
  movie.version = 10;
  movie.frameSize = settings.frameSize;
  movie.frameRate = settings.frameRate;
  movie.tags.push_back(FileAttributesTag{0});
  movie.tags.push_back(SetBackgroundColorTag{settings.background});
  Assembler assembler(movie.tags);
  assembler.GatherGlyphs(frames);
  for (const auto& frame : frames) assembler.AddFrame(frame);
  movie.tags.push_back(EndTag{});
  return movie;
}

}  // namespace swf
