// The bit-packed records of the SWF file format that several tags share:
// RECT, MATRIX, CXFORM / CXFORMWITHALPHA, fill and line style arrays and
// shape records. Each is written with the minimal bit counts.
#pragma once

#include <vector>

#include "swf/bit_writer.h"
#include "swf/swf_types.h"

namespace swf {

void WriteRect(BitWriter& writer, const Rect& rect);
void WriteMatrix(BitWriter& writer, const Matrix& matrix);
void WriteColorTransform(BitWriter& writer, const ColorTransform& transform, ColorTransformKind kind);

// Colours of styles are RGB in DefineShape and RGBA from DefineShape3 on.
enum class ColorFormat { kRgb, kRgba };
void WriteColor(BitWriter& writer, const Rgba& color, ColorFormat format);

// SHAPEWITHSTYLE: style arrays, bit counts, records, EndShapeRecord, padding.
void WriteShapeWithStyle(BitWriter& writer, const ShapeWithStyle& shape, ColorFormat format);
// SHAPE as a font glyph: one fill bit, no line bits, records, end, padding.
void WriteGlyphShape(BitWriter& writer, const GlyphShape& shape);

}  // namespace swf
