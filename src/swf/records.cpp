// Bit-packed records of the SWF file format. RECT, MATRIX, CXFORM and
// CXFORMWITHALPHA start byte-aligned and are padded at their end; the shape
// records of one SHAPE form one bit stream padded after the EndShapeRecord.
// Every field count is the smallest that holds all the values sharing it, and
// a value wider than its count field allows is refused.
#include "swf/records.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "platform/error.h"

namespace swf {
namespace {

// Widest field each count field can announce.
constexpr int kFiveBitCountLimit = 31;  // RECT, MATRIX, MoveTo
constexpr int kCxformCountLimit = 15;   // CXFORM UB[4]
constexpr int kEdgeBitsLimit = 17;      // edge NumBits UB[4] stores n - 2
constexpr int kEdgeBitsMinimum = 2;

int SignedBitsOf(std::initializer_list<std::int32_t> values) {
  int bits = 0;
  for (std::int32_t value : values) bits = std::max(bits, SignedBitCount(value));
  return bits;
}

void RequireBits(int bits, int limit, const char* record) {
  if (bits <= limit) return;
  throw quillet::Error(quillet::kGeneral, std::string("a value of an SWF ") + record + " needs " +
                                              std::to_string(bits) + " bits but the field holds at most " +
                                              std::to_string(limit));
}

void WriteStyleChange(BitWriter& writer, const StyleChange& change, int fillBits, int lineBits) {
  writer.WriteUnsignedBits(0, 1);  // TypeFlag: non-edge
  writer.WriteUnsignedBits(0, 1);  // StateNewStyles
  writer.WriteUnsignedBits(change.lineStyle ? 1 : 0, 1);
  writer.WriteUnsignedBits(change.fillStyle1 ? 1 : 0, 1);
  writer.WriteUnsignedBits(change.fillStyle0 ? 1 : 0, 1);
  writer.WriteUnsignedBits(change.moveTo ? 1 : 0, 1);
  if (change.moveTo) {
    const int bits = SignedBitsOf({change.moveTo->x, change.moveTo->y});
    RequireBits(bits, kFiveBitCountLimit, "MoveTo");
    writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits), 5);
    writer.WriteSignedBits(change.moveTo->x, bits);
    writer.WriteSignedBits(change.moveTo->y, bits);
  }
  const auto writeStyle = [&writer](std::optional<std::uint32_t> style, int bits) {
    if (!style) return;
    RequireBits(UnsignedBitCount(*style), bits, "style index");
    writer.WriteUnsignedBits(*style, bits);
  };
  writeStyle(change.fillStyle0, fillBits);
  writeStyle(change.fillStyle1, fillBits);
  writeStyle(change.lineStyle, lineBits);
}

void WriteStraightEdge(BitWriter& writer, const StraightEdge& edge) {
  const bool general = edge.deltaX != 0 && edge.deltaY != 0;
  const bool vertical = !general && edge.deltaX == 0 && edge.deltaY != 0;
  const int bits = std::max(kEdgeBitsMinimum, SignedBitsOf({edge.deltaX, edge.deltaY}));
  RequireBits(bits, kEdgeBitsLimit, "straight edge");
  writer.WriteUnsignedBits(1, 1);  // TypeFlag: edge
  writer.WriteUnsignedBits(1, 1);  // StraightFlag
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits - kEdgeBitsMinimum), 4);
  writer.WriteUnsignedBits(general ? 1 : 0, 1);
  if (general) {
    writer.WriteSignedBits(edge.deltaX, bits);
    writer.WriteSignedBits(edge.deltaY, bits);
    return;
  }
  writer.WriteUnsignedBits(vertical ? 1 : 0, 1);
  writer.WriteSignedBits(vertical ? edge.deltaY : edge.deltaX, bits);
}

void WriteCurvedEdge(BitWriter& writer, const CurvedEdge& edge) {
  const int bits = std::max(
      kEdgeBitsMinimum, SignedBitsOf({edge.controlDeltaX, edge.controlDeltaY, edge.anchorDeltaX, edge.anchorDeltaY}));
  RequireBits(bits, kEdgeBitsLimit, "curved edge");
  writer.WriteUnsignedBits(1, 1);  // TypeFlag: edge
  writer.WriteUnsignedBits(0, 1);  // StraightFlag
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits - kEdgeBitsMinimum), 4);
  writer.WriteSignedBits(edge.controlDeltaX, bits);
  writer.WriteSignedBits(edge.controlDeltaY, bits);
  writer.WriteSignedBits(edge.anchorDeltaX, bits);
  writer.WriteSignedBits(edge.anchorDeltaY, bits);
}

// Shape records, EndShapeRecord, padding.
void WriteShapeRecords(BitWriter& writer, const std::vector<ShapeRecord>& records, int fillBits, int lineBits) {
  for (const ShapeRecord& record : records) {
    if (const auto* change = std::get_if<StyleChange>(&record)) {
      WriteStyleChange(writer, *change, fillBits, lineBits);
    } else if (const auto* straight = std::get_if<StraightEdge>(&record)) {
      WriteStraightEdge(writer, *straight);
    } else {
      WriteCurvedEdge(writer, std::get<CurvedEdge>(record));
    }
  }
  writer.WriteUnsignedBits(0, 6);  // EndShapeRecord
  writer.AlignToByte();
}

// Style array counts fit one byte here; the extended 0xFF form is never needed.
void WriteStyleCount(BitWriter& writer, std::size_t count) {
  if (count >= 0xFF) throw quillet::Error(quillet::kGeneral, "a shape has more than 254 styles of one kind");
  writer.WriteUI8(static_cast<std::uint8_t>(count));
}

}  // namespace

void WriteRect(BitWriter& writer, const Rect& rect) {
  const int bits = SignedBitsOf({rect.xMin, rect.xMax, rect.yMin, rect.yMax});
  RequireBits(bits, kFiveBitCountLimit, "RECT");
  writer.AlignToByte();
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits), 5);
  writer.WriteSignedBits(rect.xMin, bits);
  writer.WriteSignedBits(rect.xMax, bits);
  writer.WriteSignedBits(rect.yMin, bits);
  writer.WriteSignedBits(rect.yMax, bits);
  writer.AlignToByte();
}

void WriteMatrix(BitWriter& writer, const Matrix& matrix) {
  writer.AlignToByte();
  const bool hasScale = matrix.scaleX != Matrix::kOne || matrix.scaleY != Matrix::kOne;
  writer.WriteUnsignedBits(hasScale ? 1 : 0, 1);
  if (hasScale) {
    const int bits = SignedBitsOf({matrix.scaleX, matrix.scaleY});
    RequireBits(bits, kFiveBitCountLimit, "MATRIX scale");
    writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits), 5);
    writer.WriteSignedBits(matrix.scaleX, bits);
    writer.WriteSignedBits(matrix.scaleY, bits);
  }
  const bool hasRotate = matrix.rotateSkew0 != 0 || matrix.rotateSkew1 != 0;
  writer.WriteUnsignedBits(hasRotate ? 1 : 0, 1);
  if (hasRotate) {
    const int bits = SignedBitsOf({matrix.rotateSkew0, matrix.rotateSkew1});
    RequireBits(bits, kFiveBitCountLimit, "MATRIX rotation");
    writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits), 5);
    writer.WriteSignedBits(matrix.rotateSkew0, bits);
    writer.WriteSignedBits(matrix.rotateSkew1, bits);
  }
  const int bits = SignedBitsOf({matrix.translateX, matrix.translateY});
  RequireBits(bits, kFiveBitCountLimit, "MATRIX translation");
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits), 5);
  writer.WriteSignedBits(matrix.translateX, bits);
  writer.WriteSignedBits(matrix.translateY, bits);
  writer.AlignToByte();
}

void WriteColorTransform(BitWriter& writer, const ColorTransform& transform, ColorTransformKind kind) {
  const std::size_t channels = kind == ColorTransformKind::kWithAlpha ? 4 : 3;
  int bits = 0;
  for (const auto& terms : {transform.multiply, transform.add}) {
    if (!terms) continue;
    for (std::size_t channel = 0; channel < channels; ++channel)
      bits = std::max(bits, SignedBitCount((*terms)[channel]));
  }
  RequireBits(bits, kCxformCountLimit, "CXFORM");
  writer.AlignToByte();
  writer.WriteUnsignedBits(transform.add ? 1 : 0, 1);  // HasAddTerms comes first
  writer.WriteUnsignedBits(transform.multiply ? 1 : 0, 1);
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(bits), 4);
  for (const auto& terms : {transform.multiply, transform.add}) {  // but multiply terms lead the body
    if (!terms) continue;
    for (std::size_t channel = 0; channel < channels; ++channel) writer.WriteSignedBits((*terms)[channel], bits);
  }
  writer.AlignToByte();
}

void WriteColor(BitWriter& writer, const Rgba& color, ColorFormat format) {
  writer.WriteUI8(color.red);
  writer.WriteUI8(color.green);
  writer.WriteUI8(color.blue);
  if (format == ColorFormat::kRgba) writer.WriteUI8(color.alpha);
}

void WriteShapeWithStyle(BitWriter& writer, const ShapeWithStyle& shape, ColorFormat format) {
  WriteStyleCount(writer, shape.fillStyles.size());
  for (const FillStyle& fill : shape.fillStyles) {
    writer.WriteUI8(static_cast<std::uint8_t>(fill.type));
    switch (fill.type) {
      case FillType::kSolid: WriteColor(writer, fill.color, format); break;
      case FillType::kRepeatingBitmap:
      case FillType::kClippedBitmap:
      case FillType::kRepeatingBitmapUnsmoothed:
      case FillType::kClippedBitmapUnsmoothed:
        writer.WriteUI16(fill.bitmapId);
        WriteMatrix(writer, fill.bitmapMatrix);
        break;
    }
  }
  WriteStyleCount(writer, shape.lineStyles.size());
  for (const LineStyle& line : shape.lineStyles) {
    writer.WriteUI16(line.width);
    WriteColor(writer, line.color, format);
  }
  const int fillBits = UnsignedBitCount(static_cast<std::uint32_t>(shape.fillStyles.size()));
  const int lineBits = UnsignedBitCount(static_cast<std::uint32_t>(shape.lineStyles.size()));
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(fillBits), 4);
  writer.WriteUnsignedBits(static_cast<std::uint32_t>(lineBits), 4);
  WriteShapeRecords(writer, shape.records, fillBits, lineBits);
}

void WriteGlyphShape(BitWriter& writer, const GlyphShape& shape) {
  constexpr int kGlyphFillBits = 1;
  constexpr int kGlyphLineBits = 0;
  writer.AlignToByte();
  writer.WriteUnsignedBits(kGlyphFillBits, 4);
  writer.WriteUnsignedBits(kGlyphLineBits, 4);
  WriteShapeRecords(writer, shape.records, kGlyphFillBits, kGlyphLineBits);
}

}  // namespace swf
