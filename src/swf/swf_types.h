// The data model of an SWF file as the movie writer emits it: plain structs
// for the records and tags of the SWF file format (header, RECT, MATRIX,
// CXFORM, shapes, buttons, fonts, text, display list, AVM1 actions). Nothing
// here knows about bytes; tag_writer.h turns these values into a file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace swf {

// Twips are 1/20 of a pixel; every coordinate below is in twips unless said.
inline constexpr std::int32_t kTwipsPerPixel = 20;

struct Rgba {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 255;
  bool operator==(const Rgba&) const = default;
};

// RECT: Xmin, Xmax, Ymin, Ymax.
struct Rect {
  std::int32_t xMin = 0;
  std::int32_t xMax = 0;
  std::int32_t yMin = 0;
  std::int32_t yMax = 0;
  bool operator==(const Rect&) const = default;
};

// MATRIX with its scale and rotate terms in 16.16 fixed point; a term pair is
// written only when it differs from the identity.
struct Matrix {
  static constexpr std::int32_t kOne = 65536;
  std::int32_t scaleX = kOne;
  std::int32_t scaleY = kOne;
  std::int32_t rotateSkew0 = 0;
  std::int32_t rotateSkew1 = 0;
  std::int32_t translateX = 0;
  std::int32_t translateY = 0;
  bool operator==(const Matrix&) const = default;

  static Matrix Translation(std::int32_t x, std::int32_t y) {
    Matrix matrix;
    matrix.translateX = x;
    matrix.translateY = y;
    return matrix;
  }
};

// CXFORM / CXFORMWITHALPHA: optional multiply terms (8.8 fixed, 256 = x1.0)
// and optional add terms, in the order red, green, blue, alpha.
struct ColorTransform {
  std::optional<std::array<std::int16_t, 4>> multiply;
  std::optional<std::array<std::int16_t, 4>> add;
  bool operator==(const ColorTransform&) const = default;
};

// CXFORM carries no alpha terms; CXFORMWITHALPHA does.
enum class ColorTransformKind { kWithoutAlpha, kWithAlpha };

// ---- Shapes -------------------------------------------------------------

enum class FillType : std::uint8_t {
  kSolid = 0x00,
  kRepeatingBitmap = 0x40,
  kClippedBitmap = 0x41,
  kRepeatingBitmapUnsmoothed = 0x42,
  kClippedBitmapUnsmoothed = 0x43,
};

struct FillStyle {
  FillType type = FillType::kSolid;
  Rgba color;                  // kSolid
  std::uint16_t bitmapId = 0;  // the bitmap fills
  Matrix bitmapMatrix;         // bitmap pixels to shape twips
  bool operator==(const FillStyle&) const = default;
};

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const Point&) const = default;
};

// StyleChangeRecord without new style arrays (the writer never needs them).
struct StyleChange {
  std::optional<Point> moveTo;  // absolute, from the shape origin
  std::optional<std::uint32_t> fillStyle0;
  std::optional<std::uint32_t> fillStyle1;
  std::optional<std::uint32_t> lineStyle;
  bool operator==(const StyleChange&) const = default;
};

struct StraightEdge {
  std::int32_t deltaX = 0;
  std::int32_t deltaY = 0;
  bool operator==(const StraightEdge&) const = default;
};

// The anchor delta is relative to the control point.
struct CurvedEdge {
  std::int32_t controlDeltaX = 0;
  std::int32_t controlDeltaY = 0;
  std::int32_t anchorDeltaX = 0;
  std::int32_t anchorDeltaY = 0;
  bool operator==(const CurvedEdge&) const = default;
};

using ShapeRecord = std::variant<StyleChange, StraightEdge, CurvedEdge>;

// SHAPE as a glyph uses it: one fill style (the text colour), no line style.
struct GlyphShape {
  std::vector<ShapeRecord> records;
  bool operator==(const GlyphShape&) const = default;
};

struct LineStyle {
  std::uint16_t width = 0;
  Rgba color;
  bool operator==(const LineStyle&) const = default;
};

// SHAPEWITHSTYLE.
struct ShapeWithStyle {
  std::vector<FillStyle> fillStyles;
  std::vector<LineStyle> lineStyles;
  std::vector<ShapeRecord> records;
  bool operator==(const ShapeWithStyle&) const = default;
};

// ---- AVM1 actions --------------------------------------------------------

enum class ActionCode : std::uint8_t {
  kNextFrame = 0x04,
  kPreviousFrame = 0x05,
  kPlay = 0x06,
  kStop = 0x07,
  kSubtract = 0x0B,
  kNot = 0x12,
  kPop = 0x17,
  kToInteger = 0x18,
  kGetTime = 0x34,
  kCallFunction = 0x3D,
  kGetVariable = 0x1C,
  kSetVariable = 0x1D,
  kGetProperty = 0x22,
  kSetProperty = 0x23,
  kReturn = 0x3E,
  kLess2 = 0x48,
  kEquals2 = 0x49,
  kToNumber = 0x4A,
  kPushDuplicate = 0x4C,
  kStackSwap = 0x4D,
  kGetMember = 0x4E,
  kCallMethod = 0x52,
  kGreater = 0x67,
  kGotoFrame = 0x81,
  kGetUrl = 0x83,
  kPush = 0x96,
  kJump = 0x99,
  kDefineFunction = 0x9B,
  kIf = 0x9D,
  kGotoFrame2 = 0x9F,
};

// A value of ActionPush: a string, undefined, a 32-bit integer, null or a
// boolean.
struct Undefined {
  bool operator==(const Undefined&) const = default;
};
struct Null {
  bool operator==(const Null&) const = default;
};
struct Boolean {
  bool value = false;
  bool operator==(const Boolean&) const = default;
};
using PushValue = std::variant<std::string, Undefined, std::int32_t, Null, Boolean>;

// One ACTIONRECORD; only the fields of its code are written.
struct ActionRecord {
  ActionCode code = ActionCode::kStop;
  std::uint16_t frame = 0;                // kGotoFrame, 0-based
  std::string url{};                      // kGetUrl
  std::string target{};                   // kGetUrl
  std::vector<PushValue> values{};        // kPush
  std::int16_t branchOffset = 0;          // kJump, kIf: bytes from the end of this record
  bool play = false;                      // kGotoFrame2: play on rather than stop
  std::uint16_t codeSize = 0;             // kDefineFunction (no name): bytes of the body after it
  std::vector<std::string> parameters{};  // kDefineFunction: the parameters' names
  bool operator==(const ActionRecord&) const = default;

  static ActionRecord Simple(ActionCode code) { return ActionRecord{.code = code}; }
  static ActionRecord GotoFrame(std::uint16_t frame) {
    return ActionRecord{.code = ActionCode::kGotoFrame, .frame = frame};
  }
};

// ---- Tags ----------------------------------------------------------------

enum class TagCode : std::uint16_t {
  kEnd = 0,
  kShowFrame = 1,
  kDefineShape = 2,
  kSetBackgroundColor = 9,
  kDefineText = 11,
  kDoAction = 12,
  kDefineBitsJpeg2 = 21,
  kDefineShape2 = 22,
  kPlaceObject2 = 26,
  kRemoveObject2 = 28,
  kDefineShape3 = 32,
  kDefineText2 = 33,
  kDefineButton2 = 34,
  kDefineFont2 = 48,
  kFileAttributes = 69,
  kDefineFont3 = 75,
};

enum FileAttributeFlag : std::uint32_t {
  kUseNetwork = 0x01,
  kActionScript3 = 0x08,
  kHasMetadata = 0x10,
};

struct FileAttributesTag {
  std::uint32_t flags = 0;
};

struct SetBackgroundColorTag {
  Rgba color;  // written as RGB
};

// The image data is one complete JPEG stream, SOI to EOI.
struct DefineBitsJpeg2Tag {
  std::uint16_t characterId = 0;
  std::vector<std::uint8_t> jpegData;
};

// DefineShape writes colours as RGB, DefineShape3 as RGBA.
enum class ShapeVersion { kDefineShape, kDefineShape3 };

struct DefineShapeTag {
  ShapeVersion version = ShapeVersion::kDefineShape;
  std::uint16_t characterId = 0;
  Rect bounds;
  ShapeWithStyle shape;
};

enum ButtonState : std::uint8_t {
  kButtonUp = 0x01,
  kButtonOver = 0x02,
  kButtonDown = 0x04,
  kButtonHitTest = 0x08,
};

struct ButtonRecord {
  std::uint8_t states = 0;  // ButtonState bits
  std::uint16_t characterId = 0;
  std::uint16_t depth = 1;
  Matrix matrix;
  ColorTransform colorTransform;  // CXFORMWITHALPHA
};

enum ButtonCondition : std::uint16_t {
  kIdleToOverUp = 0x0001,
  kOverUpToIdle = 0x0002,
  kOverUpToOverDown = 0x0004,
  kOverDownToOverUp = 0x0008,  // released inside: the ordinary click
  kOverDownToOutDown = 0x0010,
  kOutDownToOverDown = 0x0020,
  kOutDownToIdle = 0x0040,
};

struct ButtonConditionAction {
  std::uint16_t conditions = 0;
  std::vector<ActionRecord> actions;
};

struct DefineButton2Tag {
  std::uint16_t characterId = 0;
  bool trackAsMenu = false;
  std::vector<ButtonRecord> records;
  std::vector<ButtonConditionAction> conditionActions;
};

// One glyph of a DefineFont2/DefineFont3, in the font's EM square (1024 or
// 20480 units), y down, baseline at 0.
struct FontGlyph {
  std::uint16_t code = 0;  // Unicode
  GlyphShape shape;
  std::int32_t advance = 0;
  Rect bounds;
};

// DefineFont2 stores EM values in a 1024 square, DefineFont3 in 20480.
enum class FontVersion { kDefineFont2, kDefineFont3 };

enum class LanguageCode : std::uint8_t { kNone = 0, kLatin = 1 };

struct DefineFontTag {
  FontVersion version = FontVersion::kDefineFont3;
  std::uint16_t fontId = 0;
  std::string name;
  bool bold = false;
  bool italic = false;
  LanguageCode language = LanguageCode::kNone;
  std::vector<FontGlyph> glyphs;  // ascending by code
  std::int32_t ascent = 0;        // positive, above the baseline
  std::int32_t descent = 0;       // positive, below the baseline
  std::int32_t leading = 0;
};

struct GlyphEntry {
  std::uint32_t index = 0;   // into the font's glyph table
  std::int32_t advance = 0;  // twips
};

struct TextRecord {
  std::optional<std::uint16_t> fontId;  // with textHeight
  std::uint16_t textHeight = 0;
  std::optional<Rgba> color;
  std::optional<std::int16_t> xOffset;
  std::optional<std::int16_t> yOffset;  // the baseline
  std::vector<GlyphEntry> glyphs;       // at most 255
};

// DefineText writes colours as RGB, DefineText2 as RGBA.
enum class TextVersion { kDefineText, kDefineText2 };

struct DefineTextTag {
  TextVersion version = TextVersion::kDefineText;
  std::uint16_t characterId = 0;
  Rect bounds;
  Matrix matrix;
  std::vector<TextRecord> records;
};

// PlaceObject2 without ratio, name, clip depth or clip actions.
struct PlaceObject2Tag {
  bool move = false;
  std::uint16_t depth = 0;
  std::optional<std::uint16_t> characterId;
  std::optional<Matrix> matrix;
  std::optional<ColorTransform> colorTransform;
};

struct RemoveObject2Tag {
  std::uint16_t depth = 0;
};

struct DoActionTag {
  std::vector<ActionRecord> actions;
};

struct ShowFrameTag {};
struct EndTag {};

using Tag =
    std::variant<FileAttributesTag, SetBackgroundColorTag, DefineBitsJpeg2Tag, DefineShapeTag, DefineButton2Tag,
                 DefineFontTag, DefineTextTag, PlaceObject2Tag, RemoveObject2Tag, DoActionTag, ShowFrameTag, EndTag>;

// An uncompressed (FWS) SWF file. The frame count is the number of
// ShowFrame tags; the tag list should close with End.
struct MovieFile {
  std::uint8_t version = 10;
  Rect frameSize;
  std::uint16_t frameRate = 12 << 8;  // 8.8 fixed
  std::vector<Tag> tags;
};

}  // namespace swf
