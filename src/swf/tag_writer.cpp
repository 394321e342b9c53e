// The tag layer of the SWF file format: every tag body is written into its
// own buffer first, then the header chooses between the short form (length
// up to 62) and the long form in one place, WriteTagHeader. The bitmap tags
// always take the long form, as players and validators expect.
#include "swf/tag_writer.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <string>

#include "platform/error.h"
#include "swf/bit_writer.h"
#include "swf/records.h"

namespace swf {
namespace {

constexpr std::uint32_t kShortLengthLimit = 62;
constexpr std::uint32_t kLongLengthMarker = 0x3F;
constexpr std::size_t kTagLengthLimit = std::numeric_limits<std::int32_t>::max();

bool NeedsLongHeader(TagCode code) { return code == TagCode::kDefineBitsJpeg2; }

void WriteTagHeader(BitWriter& writer, TagCode code, std::size_t length) {
  if (length > kTagLengthLimit)
    throw quillet::Error(quillet::kGeneral, "an SWF tag of " + std::to_string(length) + " bytes is too long");
  const auto codeBits = static_cast<std::uint16_t>(static_cast<std::uint16_t>(code) << 6);
  if (length <= kShortLengthLimit && !NeedsLongHeader(code)) {
    writer.WriteUI16(static_cast<std::uint16_t>(codeBits | length));
    return;
  }
  writer.WriteUI16(static_cast<std::uint16_t>(codeBits | kLongLengthMarker));
  writer.WriteUI32(static_cast<std::uint32_t>(length));
}

void WriteActionString(BitWriter& writer, const std::string& text) {
  if (text.find('\0') != std::string::npos)
    throw quillet::Error(quillet::kGeneral, "an action's string holds a NUL character");
  writer.WriteString(text);
}

// The payload of an action with a code of 0x80 or more.
void WriteActionPayload(BitWriter& payload, const ActionRecord& action) {
  switch (action.code) {
    case ActionCode::kGotoFrame: payload.WriteUI16(action.frame); break;
    case ActionCode::kGetUrl:
      WriteActionString(payload, action.url);
      WriteActionString(payload, action.target);
      break;
    case ActionCode::kPush:
      for (const PushValue& value : action.values) {
        if (const auto* text = std::get_if<std::string>(&value)) {
          payload.WriteUI8(0);
          WriteActionString(payload, *text);
        } else if (std::holds_alternative<Undefined>(value)) {
          payload.WriteUI8(3);
        } else if (std::holds_alternative<Null>(value)) {
          payload.WriteUI8(2);
        } else if (const auto* boolean = std::get_if<Boolean>(&value)) {
          payload.WriteUI8(5);
          payload.WriteUI8(boolean->value ? 1 : 0);
        } else {
          payload.WriteUI8(7);
          payload.WriteUI32(static_cast<std::uint32_t>(std::get<std::int32_t>(value)));
        }
      }
      break;
    case ActionCode::kJump:
    case ActionCode::kIf: payload.WriteSI16(action.branchOffset); break;
    case ActionCode::kGotoFrame2: payload.WriteUI8(action.play ? 1 : 0); break;
    case ActionCode::kDefineFunction:
      payload.WriteString("");  // no name: the function is left on the stack
      payload.WriteUI16(static_cast<std::uint16_t>(action.parameters.size()));
      for (const std::string& parameter : action.parameters) WriteActionString(payload, parameter);
      payload.WriteUI16(action.codeSize);
      break;
    default: break;
  }
}

void WriteActionRecords(BitWriter& writer, const std::vector<ActionRecord>& actions) {
  for (const ActionRecord& action : actions) {
    const auto code = static_cast<std::uint8_t>(action.code);
    writer.WriteUI8(code);
    if (code < 0x80) continue;
    BitWriter payload;
    WriteActionPayload(payload, action);
    if (payload.Size() > 0xFFFF) throw quillet::Error(quillet::kGeneral, "an action is too long");
    writer.WriteUI16(static_cast<std::uint16_t>(payload.Size()));
    writer.WriteBytes(payload.Bytes());
  }
  writer.WriteUI8(0);  // ActionEndFlag
}

}  // namespace

std::size_t ActionLength(const std::vector<ActionRecord>& actions) {
  BitWriter writer;
  WriteActionRecords(writer, actions);
  return writer.Size() - 1;  // without the ActionEndFlag
}

namespace {

void WriteBody(BitWriter& writer, const FileAttributesTag& tag) { writer.WriteUI32(tag.flags); }

void WriteBody(BitWriter& writer, const SetBackgroundColorTag& tag) {
  WriteColor(writer, tag.color, ColorFormat::kRgb);
}

void WriteBody(BitWriter& writer, const DefineBitsJpeg2Tag& tag) {
  writer.WriteUI16(tag.characterId);
  writer.WriteBytes(tag.jpegData);
}

void WriteBody(BitWriter& writer, const DefineShapeTag& tag) {
  writer.WriteUI16(tag.characterId);
  WriteRect(writer, tag.bounds);
  WriteShapeWithStyle(writer, tag.shape,
                      tag.version == ShapeVersion::kDefineShape3 ? ColorFormat::kRgba : ColorFormat::kRgb);
}

void WriteBody(BitWriter& writer, const DefineButton2Tag& tag) {
  writer.WriteUI16(tag.characterId);
  writer.WriteUI8(tag.trackAsMenu ? 1 : 0);
  BitWriter records;
  for (const ButtonRecord& record : tag.records) {
    constexpr std::uint8_t kAnyState = kButtonUp | kButtonOver | kButtonDown | kButtonHitTest;
    if ((record.states & kAnyState) == 0) throw quillet::Error(quillet::kGeneral, "a button record shows in no state");
    records.WriteUI8(record.states);
    records.WriteUI16(record.characterId);
    records.WriteUI16(record.depth);
    WriteMatrix(records, record.matrix);
    WriteColorTransform(records, record.colorTransform, ColorTransformKind::kWithAlpha);
  }
  records.WriteUI8(0);  // CharacterEndFlag
  const std::size_t actionOffset = tag.conditionActions.empty() ? 0 : 2 + records.Size();
  if (actionOffset > 0xFFFF) throw quillet::Error(quillet::kGeneral, "a button's records are too long");
  writer.WriteUI16(static_cast<std::uint16_t>(actionOffset));
  writer.WriteBytes(records.Bytes());
  for (std::size_t index = 0; index < tag.conditionActions.size(); ++index) {
    const ButtonConditionAction& condition = tag.conditionActions[index];
    BitWriter actions;
    WriteActionRecords(actions, condition.actions);
    const bool last = index + 1 == tag.conditionActions.size();
    const std::size_t size = last ? 0 : 4 + actions.Size();
    if (size > 0xFFFF) throw quillet::Error(quillet::kGeneral, "a button action is too long");
    writer.WriteUI16(static_cast<std::uint16_t>(size));
    writer.WriteUI16(condition.conditions);
    writer.WriteBytes(actions.Bytes());
  }
}

enum FontFlag : std::uint8_t {
  kFontBold = 0x01,
  kFontItalic = 0x02,
  kFontWideCodes = 0x04,
  kFontWideOffsets = 0x08,
  kFontHasLayout = 0x80,
};

void RequireUnsigned16(std::int32_t value, const char* what) {
  if (value >= 0 && value <= 0xFFFF) return;
  throw quillet::Error(quillet::kGeneral, std::string("a font's ") + what + " of " + std::to_string(value) +
                                              " does not fit its 16-bit field");
}

void WriteBody(BitWriter& writer, const DefineFontTag& tag) {
  if (tag.name.size() > 0xFF) throw quillet::Error(quillet::kGeneral, "the font name \"" + tag.name + "\" is too long");
  if (tag.glyphs.size() > 0xFFFF) throw quillet::Error(quillet::kGeneral, "a font holds more than 65535 glyphs");
  for (std::size_t index = 1; index < tag.glyphs.size(); ++index) {
    if (tag.glyphs[index - 1].code >= tag.glyphs[index].code)
      throw quillet::Error(quillet::kGeneral, "a font's code table is not in ascending order");
  }
  std::vector<std::vector<std::uint8_t>> shapes;
  std::size_t shapeBytes = 0;
  for (const FontGlyph& glyph : tag.glyphs) {
    BitWriter shape;
    WriteGlyphShape(shape, glyph.shape);
    shapes.push_back(shape.Bytes());
    shapeBytes += shapes.back().size();
  }
  const std::size_t count = tag.glyphs.size();
  const bool wideOffsets = (count + 1) * 2 + shapeBytes > 0xFFFF;
  const std::size_t offsetWidth = wideOffsets ? 4 : 2;

  std::uint8_t flags = kFontHasLayout | kFontWideCodes;
  if (wideOffsets) flags |= kFontWideOffsets;
  if (tag.italic) flags |= kFontItalic;
  if (tag.bold) flags |= kFontBold;
  writer.WriteUI16(tag.fontId);
  writer.WriteUI8(flags);
  writer.WriteUI8(static_cast<std::uint8_t>(tag.language));
  writer.WriteUI8(static_cast<std::uint8_t>(tag.name.size()));
  writer.WriteBytes(std::vector<std::uint8_t>(tag.name.begin(), tag.name.end()));
  writer.WriteUI16(static_cast<std::uint16_t>(count));
  std::size_t offset = (count + 1) * offsetWidth;  // from the start of the OffsetTable
  const auto writeOffset = [&writer, wideOffsets](std::size_t value) {
    if (wideOffsets) {
      writer.WriteUI32(static_cast<std::uint32_t>(value));
    } else {
      writer.WriteUI16(static_cast<std::uint16_t>(value));
    }
  };
  for (const auto& shape : shapes) {
    writeOffset(offset);
    offset += shape.size();
  }
  writeOffset(offset);  // CodeTableOffset
  for (const auto& shape : shapes) writer.WriteBytes(shape);
  for (const FontGlyph& glyph : tag.glyphs) writer.WriteUI16(glyph.code);
  RequireUnsigned16(tag.ascent, "ascent");
  RequireUnsigned16(tag.descent, "descent");
  writer.WriteUI16(static_cast<std::uint16_t>(tag.ascent));
  writer.WriteUI16(static_cast<std::uint16_t>(tag.descent));
  if (tag.leading < std::numeric_limits<std::int16_t>::min() || tag.leading > std::numeric_limits<std::int16_t>::max())
    throw quillet::Error(quillet::kGeneral, "a font's leading does not fit its 16-bit field");
  writer.WriteSI16(static_cast<std::int16_t>(tag.leading));
  for (const FontGlyph& glyph : tag.glyphs) {
    if (glyph.advance < 0 || glyph.advance > std::numeric_limits<std::int16_t>::max())
      throw quillet::Error(quillet::kGeneral,
                           "a glyph advance of " + std::to_string(glyph.advance) + " does not fit its 16-bit field");
    writer.WriteSI16(static_cast<std::int16_t>(glyph.advance));
  }
  for (const FontGlyph& glyph : tag.glyphs) WriteRect(writer, glyph.bounds);
  writer.WriteUI16(0);  // KerningCount
}

enum TextRecordFlag : std::uint8_t {
  kTextRecordType = 0x80,
  kTextHasFont = 0x08,
  kTextHasColor = 0x04,
  kTextHasYOffset = 0x02,
  kTextHasXOffset = 0x01,
};

void WriteBody(BitWriter& writer, const DefineTextTag& tag) {
  std::uint32_t largestIndex = 0;
  int advanceBits = 1;
  for (const TextRecord& record : tag.records) {
    for (const GlyphEntry& glyph : record.glyphs) {
      largestIndex = std::max(largestIndex, glyph.index);
      advanceBits = std::max(advanceBits, SignedBitCount(glyph.advance));
    }
  }
  const int glyphBits = std::max(1, UnsignedBitCount(largestIndex));
  writer.WriteUI16(tag.characterId);
  WriteRect(writer, tag.bounds);
  WriteMatrix(writer, tag.matrix);
  writer.WriteUI8(static_cast<std::uint8_t>(glyphBits));
  writer.WriteUI8(static_cast<std::uint8_t>(advanceBits));
  const ColorFormat format = tag.version == TextVersion::kDefineText2 ? ColorFormat::kRgba : ColorFormat::kRgb;
  for (const TextRecord& record : tag.records) {
    if (record.glyphs.size() > 0xFF)
      throw quillet::Error(quillet::kGeneral, "a text record holds more than 255 glyphs");
    std::uint8_t flags = kTextRecordType;
    if (record.fontId) flags |= kTextHasFont;
    if (record.color) flags |= kTextHasColor;
    if (record.yOffset) flags |= kTextHasYOffset;
    if (record.xOffset) flags |= kTextHasXOffset;
    writer.WriteUI8(flags);
    if (record.fontId) writer.WriteUI16(*record.fontId);
    if (record.color) WriteColor(writer, *record.color, format);
    if (record.xOffset) writer.WriteSI16(*record.xOffset);
    if (record.yOffset) writer.WriteSI16(*record.yOffset);
    if (record.fontId) writer.WriteUI16(record.textHeight);
    writer.WriteUI8(static_cast<std::uint8_t>(record.glyphs.size()));
    for (const GlyphEntry& glyph : record.glyphs) {
      writer.WriteUnsignedBits(glyph.index, glyphBits);
      writer.WriteSignedBits(glyph.advance, advanceBits);
    }
    writer.AlignToByte();
  }
  writer.WriteUI8(0);  // EndOfRecordsFlag
}

enum PlaceFlag : std::uint8_t {
  kPlaceMove = 0x01,
  kPlaceHasCharacter = 0x02,
  kPlaceHasMatrix = 0x04,
  kPlaceHasColorTransform = 0x08,
};

void WriteBody(BitWriter& writer, const PlaceObject2Tag& tag) {
  if (!tag.move && !tag.characterId)
    throw quillet::Error(quillet::kGeneral, "a PlaceObject2 neither places nor moves a character");
  std::uint8_t flags = 0;
  if (tag.move) flags |= kPlaceMove;
  if (tag.characterId) flags |= kPlaceHasCharacter;
  if (tag.matrix) flags |= kPlaceHasMatrix;
  if (tag.colorTransform) flags |= kPlaceHasColorTransform;
  writer.WriteUI8(flags);
  writer.WriteUI16(tag.depth);
  if (tag.characterId) writer.WriteUI16(*tag.characterId);
  if (tag.matrix) WriteMatrix(writer, *tag.matrix);
  if (tag.colorTransform) WriteColorTransform(writer, *tag.colorTransform, ColorTransformKind::kWithAlpha);
}

void WriteBody(BitWriter& writer, const RemoveObject2Tag& tag) { writer.WriteUI16(tag.depth); }
void WriteBody(BitWriter& writer, const DoActionTag& tag) { WriteActionRecords(writer, tag.actions); }
void WriteBody(BitWriter&, const ShowFrameTag&) {}
void WriteBody(BitWriter&, const EndTag&) {}

}  // namespace

TagCode CodeOf(const Tag& tag) {
  struct Visitor {
    TagCode operator()(const FileAttributesTag&) const { return TagCode::kFileAttributes; }
    TagCode operator()(const SetBackgroundColorTag&) const { return TagCode::kSetBackgroundColor; }
    TagCode operator()(const DefineBitsJpeg2Tag&) const { return TagCode::kDefineBitsJpeg2; }
    TagCode operator()(const DefineShapeTag& shape) const {
      return shape.version == ShapeVersion::kDefineShape3 ? TagCode::kDefineShape3 : TagCode::kDefineShape;
    }
    TagCode operator()(const DefineButton2Tag&) const { return TagCode::kDefineButton2; }
    TagCode operator()(const DefineFontTag& font) const {
      return font.version == FontVersion::kDefineFont3 ? TagCode::kDefineFont3 : TagCode::kDefineFont2;
    }
    TagCode operator()(const DefineTextTag& text) const {
      return text.version == TextVersion::kDefineText2 ? TagCode::kDefineText2 : TagCode::kDefineText;
    }
    TagCode operator()(const PlaceObject2Tag&) const { return TagCode::kPlaceObject2; }
    TagCode operator()(const RemoveObject2Tag&) const { return TagCode::kRemoveObject2; }
    TagCode operator()(const DoActionTag&) const { return TagCode::kDoAction; }
    TagCode operator()(const ShowFrameTag&) const { return TagCode::kShowFrame; }
    TagCode operator()(const EndTag&) const { return TagCode::kEnd; }
  };
  return std::visit(Visitor{}, tag);
}

std::vector<std::uint8_t> EncodeTag(const Tag& tag) {
  BitWriter body;
  std::visit([&body](const auto& value) { WriteBody(body, value); }, tag);
  BitWriter whole;
  WriteTagHeader(whole, CodeOf(tag), body.Size());
  whole.WriteBytes(body.Bytes());
  return whole.Bytes();
}

std::vector<std::uint8_t> EncodeMovie(const MovieFile& movie) {
  const auto frameCount = std::count_if(movie.tags.begin(), movie.tags.end(),
                                        [](const Tag& tag) { return std::holds_alternative<ShowFrameTag>(tag); });
  if (frameCount > 0xFFFF)
    throw quillet::Error(quillet::kGeneral, "a movie of " + std::to_string(frameCount) +
                                                " frames does not fit the SWF frame count (at most 65535)");
  BitWriter writer;
  for (char letter : {'F', 'W', 'S'}) writer.WriteUI8(static_cast<std::uint8_t>(letter));
  writer.WriteUI8(movie.version);
  writer.WriteUI32(0);  // FileLength, set below
  WriteRect(writer, movie.frameSize);
  writer.WriteUI16(movie.frameRate);
  writer.WriteUI16(static_cast<std::uint16_t>(frameCount));
  std::vector<std::uint8_t> bytes = writer.Bytes();
  for (const Tag& tag : movie.tags) {
    const std::vector<std::uint8_t> encoded = EncodeTag(tag);
    if (bytes.size() + encoded.size() > std::numeric_limits<std::uint32_t>::max())
      throw quillet::Error(quillet::kGeneral, "the movie is larger than an SWF file can be (4 GiB)");
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  }
  const auto length = static_cast<std::uint32_t>(bytes.size());
  for (int index = 0; index < 4; ++index) bytes[4 + index] = static_cast<std::uint8_t>((length >> (8 * index)) & 0xFF);
  return bytes;
}

namespace {
constexpr std::size_t kHeaderBytes = 8;  // signature, version, FileLength
}

std::vector<std::uint8_t> CompressMovie(const std::vector<std::uint8_t>& fws) {
  if (fws.size() < kHeaderBytes || fws[0] != 'F' || fws[1] != 'W' || fws[2] != 'S')
    throw quillet::Error(quillet::kGeneral, "only an uncompressed SWF file can be compressed");
  const std::size_t bodySize = fws.size() - kHeaderBytes;
  uLongf compressedSize = compressBound(static_cast<uLong>(bodySize));
  std::vector<std::uint8_t> cws(kHeaderBytes + compressedSize);
  std::copy(fws.begin(), fws.begin() + kHeaderBytes, cws.begin());
  cws[0] = 'C';
  if (compress2(cws.data() + kHeaderBytes, &compressedSize, fws.data() + kHeaderBytes, static_cast<uLong>(bodySize),
                Z_BEST_COMPRESSION) != Z_OK)
    throw quillet::Error(quillet::kGeneral, "zlib could not compress the movie");
  cws.resize(kHeaderBytes + compressedSize);
  return cws;
}

std::vector<std::uint8_t> ExpandMovie(const std::vector<std::uint8_t>& file) {
  if (file.size() >= kHeaderBytes && file[0] == 'F' && file[1] == 'W' && file[2] == 'S') return file;
  if (file.size() < kHeaderBytes || file[0] != 'C' || file[1] != 'W' || file[2] != 'S')
    throw quillet::Error(quillet::kGeneral, "not an SWF file (FWS or CWS)");
  const std::uint32_t length = file[4] | (file[5] << 8) | (file[6] << 16) | (static_cast<std::uint32_t>(file[7]) << 24);
  if (length < kHeaderBytes) throw quillet::Error(quillet::kGeneral, "the SWF file's length is too short");
  std::vector<std::uint8_t> fws(length);
  std::copy(file.begin(), file.begin() + kHeaderBytes, fws.begin());
  fws[0] = 'F';
  uLongf expanded = length - kHeaderBytes;
  if (uncompress(fws.data() + kHeaderBytes, &expanded, file.data() + kHeaderBytes,
                 static_cast<uLong>(file.size() - kHeaderBytes)) != Z_OK ||
      expanded != length - kHeaderBytes)
    throw quillet::Error(quillet::kGeneral, "the SWF file's zlib stream is damaged or of another length");
  return fws;
}

}  // namespace swf
