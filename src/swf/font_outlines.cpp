// Glyph outlines for the SWF file format's DefineFont2/DefineFont3 tags.
// fontconfig resolves the font name; FreeType loads each glyph unscaled and
// unhinted and walks its outline. Points are scaled into the EM square and
// flipped (SWF's y grows down), rounded to whole units, and then joined:
// TrueType's quadratic arcs stay curved edges, cubic arcs (CFF fonts) are
// approximated by quadratics. The fill side follows the outline's winding:
// FillStyle0 for TrueType-oriented outlines, FillStyle1 for PostScript ones.
#include "swf/font_outlines.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "platform/error.h"
#include "swf/shape_builder.h"

namespace swf {
namespace {

// Families fontconfig resolves through its configured default faces.
constexpr std::array<std::string_view, 8> kGenericFamilies = {"sans-serif", "serif",   "monospace", "sans",
                                                              "mono",       "cursive", "fantasy",   "system-ui"};

bool IsGenericFamily(const std::string& name) {
  return std::any_of(kGenericFamilies.begin(), kGenericFamilies.end(), [&name](std::string_view generic) {
    return FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(name.c_str()),
                              reinterpret_cast<const FcChar8*>(std::string(generic).c_str())) == 0;
  });
}

struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPointer = std::unique_ptr<FcPattern, PatternDeleter>;

// True when one of the matched face's family names is one of the families the
// request was bound to strongly: the name itself and its configured aliases.
bool MatchesRequestedFamily(FcPattern* request, FcPattern* match) {
  FcValue requested;
  FcValueBinding binding;
  for (int index = 0; FcPatternGetWithBinding(request, FC_FAMILY, index, &requested, &binding) == FcResultMatch;
       ++index) {
    if (binding != FcValueBindingStrong || requested.type != FcTypeString) continue;
    FcChar8* family = nullptr;
    for (int found = 0; FcPatternGetString(match, FC_FAMILY, found, &family) == FcResultMatch; ++found) {
      if (FcStrCmpIgnoreCase(family, requested.u.s) == 0) return true;
    }
  }
  return false;
}

std::string FreeTypeMessage(FT_Error error) {
  const char* text = FT_Error_String(error);
  return text != nullptr ? text : "FreeType error " + std::to_string(error);
}

// Collects one glyph's outline as shape records in the EM square.
struct OutlineWalk {
  ShapeBuilder* builder;
  double scale;
  double tolerance;
  Point pen;

  Point Map(const FT_Vector* vector) const {
    return {static_cast<std::int32_t>(std::nearbyint(static_cast<double>(vector->x) * scale)),
            static_cast<std::int32_t>(std::nearbyint(-static_cast<double>(vector->y) * scale))};
  }
};

OutlineWalk& WalkOf(void* user) { return *static_cast<OutlineWalk*>(user); }

int MoveToCallback(const FT_Vector* to, void* user) {
  OutlineWalk& walk = WalkOf(user);
  walk.pen = walk.Map(to);
  walk.builder->MoveTo(walk.pen);
  return 0;
}

int LineToCallback(const FT_Vector* to, void* user) {
  OutlineWalk& walk = WalkOf(user);
  walk.pen = walk.Map(to);
  walk.builder->LineTo(walk.pen);
  return 0;
}

int ConicToCallback(const FT_Vector* control, const FT_Vector* to, void* user) {
  OutlineWalk& walk = WalkOf(user);
  walk.pen = walk.Map(to);
  walk.builder->CurveTo(walk.Map(control), walk.pen);
  return 0;
}

int CubicToCallback(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
  OutlineWalk& walk = WalkOf(user);
  const double x[4] = {static_cast<double>(walk.pen.x), control1->x * walk.scale, control2->x * walk.scale,
                       to->x * walk.scale};
  const double y[4] = {static_cast<double>(walk.pen.y), -control1->y * walk.scale, -control2->y * walk.scale,
                       -to->y * walk.scale};
  for (const QuadraticPiece& piece : ApproximateCubic(x, y, walk.tolerance)) {
    const Point control{static_cast<std::int32_t>(std::nearbyint(piece.controlX)),
                        static_cast<std::int32_t>(std::nearbyint(piece.controlY))};
    const Point anchor{static_cast<std::int32_t>(std::nearbyint(piece.anchorX)),
                       static_cast<std::int32_t>(std::nearbyint(piece.anchorY))};
    walk.builder->CurveTo(control, anchor);
  }
  walk.pen = walk.Map(to);
  return 0;
}

std::string CodePointName(char32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
  return text;
}

std::int32_t ClampToField(double value, std::int32_t low, std::int32_t high) {
  return static_cast<std::int32_t>(
      std::clamp(std::nearbyint(value), static_cast<double>(low), static_cast<double>(high)));
}

}  // namespace

FontFaceLocation FindFontFace(const std::string& name) {
  if (name.empty()) throw quillet::Error(quillet::kGeneral, "no font name was given");
  if (!FcInit()) throw quillet::Error(quillet::kGeneral, "fontconfig could not be initialised");
  PatternPointer request(FcPatternCreate());
  FcPatternAddString(request.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddBool(request.get(), FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, request.get(), FcMatchPattern);
  FcDefaultSubstitute(request.get());
  FcResult result = FcResultNoMatch;
  PatternPointer match(FcFontMatch(nullptr, request.get(), &result));
  if (!match || result != FcResultMatch)
    throw quillet::Error(quillet::kGeneral, "no font face was found for \"" + name + "\"");
  if (!IsGenericFamily(name) && !MatchesRequestedFamily(request.get(), match.get()))
    throw quillet::Error(quillet::kGeneral,
                         "no font face was found for \"" + name + "\" (install the font or a metric-compatible one)");
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
    throw quillet::Error(quillet::kGeneral, "the font face for \"" + name + "\" has no file");
  FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);
  return {reinterpret_cast<const char*>(file), index};
}

struct FontOutlines::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Face() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

FontOutlines::FontOutlines(const FontFaceLocation& location, std::int32_t emSquare)
    : face_(std::make_unique<Face>()), emSquare_(emSquare) {
  if (const FT_Error error = FT_Init_FreeType(&face_->library))
    throw quillet::Error(quillet::kGeneral, "FreeType could not be initialised: " + FreeTypeMessage(error));
  if (const FT_Error error = FT_New_Face(face_->library, location.file.c_str(), location.index, &face_->face))
    throw quillet::Error(quillet::kGeneral,
                         "cannot open the font \"" + location.file + "\": " + FreeTypeMessage(error));
  if (!FT_IS_SCALABLE(face_->face) || face_->face->units_per_EM == 0)
    throw quillet::Error(quillet::kGeneral, "the font \"" + location.file + "\" has no outlines");
}

FontOutlines::~FontOutlines() = default;

FontGlyph FontOutlines::Glyph(char32_t code) const {
  FT_Face face = face_->face;
  const FT_UInt index = FT_Get_Char_Index(face, code);
  if (const FT_Error error = FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP))
    throw quillet::Error(quillet::kGeneral,
                         "cannot load the glyph for " + CodePointName(code) + ": " + FreeTypeMessage(error));
  if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
    throw quillet::Error(quillet::kGeneral, "the glyph for " + CodePointName(code) + " has no outline");
  const double scale = static_cast<double>(emSquare_) / face->units_per_EM;
  FT_Outline* outline = &face->glyph->outline;
  // Flipping y turns a TrueType outline's clockwise outer contours
  // counter-clockwise: their inside is then on the left of each edge.
  StyleChange fill;
  if (FT_Outline_Get_Orientation(outline) == FT_ORIENTATION_POSTSCRIPT) {
    fill.fillStyle1 = 1;
  } else {
    fill.fillStyle0 = 1;
  }
  ShapeBuilder builder(fill);
  OutlineWalk walk{&builder, scale, emSquare_ / 2048.0, {}};
  FT_Outline_Funcs functions{};
  functions.move_to = MoveToCallback;
  functions.line_to = LineToCallback;
  functions.conic_to = ConicToCallback;
  functions.cubic_to = CubicToCallback;
  if (const FT_Error error = FT_Outline_Decompose(outline, &functions, &walk))
    throw quillet::Error(quillet::kGeneral,
                         "cannot read the outline for " + CodePointName(code) + ": " + FreeTypeMessage(error));
  builder.CloseContour();

  FontGlyph glyph;
  glyph.code = static_cast<std::uint16_t>(code);
  glyph.shape.records = builder.Records();
  glyph.bounds = builder.Bounds();
  glyph.advance = ClampToField(static_cast<double>(face->glyph->metrics.horiAdvance) * scale, 0,
                               std::numeric_limits<std::int16_t>::max());
  return glyph;
}

std::string FontOutlines::FamilyName() const {
  return face_->face->family_name != nullptr ? face_->face->family_name : "";
}

bool FontOutlines::Bold() const { return (face_->face->style_flags & FT_STYLE_FLAG_BOLD) != 0; }
bool FontOutlines::Italic() const { return (face_->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0; }

std::int32_t FontOutlines::Ascent() const {
  const double scale = static_cast<double>(emSquare_) / face_->face->units_per_EM;
  return ClampToField(face_->face->ascender * scale, 0, 0xFFFF);
}

std::int32_t FontOutlines::Descent() const {
  const double scale = static_cast<double>(emSquare_) / face_->face->units_per_EM;
  return ClampToField(-face_->face->descender * scale, 0, 0xFFFF);
}

std::int32_t FontOutlines::Leading() const {
  const FT_Face face = face_->face;
  const double scale = static_cast<double>(emSquare_) / face->units_per_EM;
  return ClampToField((face->height - (face->ascender - face->descender)) * scale, 0,
                      std::numeric_limits<std::int16_t>::max());
}

}  // namespace swf
