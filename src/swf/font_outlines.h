// Fonts for embedded text: the face for a font name is found with
// fontconfig, and the glyphs are read as outlines with FreeType and turned
// into the glyph shapes of an SWF DefineFont2/DefineFont3 tag.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "swf/swf_types.h"

namespace swf {

struct FontFaceLocation {
  std::string file;
  int index = 0;  // face within the file
  bool operator==(const FontFaceLocation&) const = default;
  // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy 14 misreads the defaulted <=>
  auto operator<=>(const FontFaceLocation&) const = default;
};

// The face fontconfig chooses for `name`, accepted only when it is the named
// family or one fontconfig substitutes for it on purpose (so "Arial" finds a
// metric-compatible face such as Liberation Sans); a generic name such as
// "sans-serif" takes the default face. Throws quillet::Error otherwise.
FontFaceLocation FindFontFace(const std::string& name);

// One FreeType face opened in unhinted font units, scaled into an EM square
// of emSquare units (1024 for DefineFont2, 20480 for DefineFont3), y down.
class FontOutlines {
 public:
  FontOutlines(const FontFaceLocation& location, std::int32_t emSquare);
  ~FontOutlines();
  FontOutlines(const FontOutlines&) = delete;
  FontOutlines& operator=(const FontOutlines&) = delete;

  // The glyph the font maps `code` to (its missing-glyph box when none).
  FontGlyph Glyph(char32_t code) const;

  std::string FamilyName() const;
  bool Bold() const;
  bool Italic() const;
  std::int32_t Ascent() const;
  std::int32_t Descent() const;
  std::int32_t Leading() const;

 private:
  struct Face;
  std::unique_ptr<Face> face_;
  std::int32_t emSquare_;
};

}  // namespace swf
