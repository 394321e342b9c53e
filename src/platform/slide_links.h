// The links on a deck's slides, read from its PDF with poppler-glib (whose
// link API poppler-cpp lacks): each link annotation's area and target. A web
// address (http, https, mailto) and a jump to another page of the slides are
// kept; every other target (javascript:, file:, data:, launch actions, an
// unknown scheme, a jump beyond the slides) is dropped and named, so that
// nothing from a deck can run script in the page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

struct SlideLink {
  // The area, as fractions of the page's width and height from its top-left corner.
  double left = 0, top = 0, right = 0, bottom = 0;
  std::string address;  // http, https or mailto; empty for a jump
  int slide = 0;        // a jump: the 1-based slide it shows
  std::string text;     // the words inside the area, UTF-8; may be empty
};

struct DeckLinks {
  std::vector<std::vector<SlideLink>> slides;   // one entry per slide, slide 1 first
  std::vector<double> pageWidths, pageHeights;  // points, per slide
  std::vector<std::string> dropped;             // "slide 3: javascript:alert(1)" for each link left out
};

// True for the addresses a slide show may open: http, https and mailto (any
// letter case), without control characters or spaces, at most 2000 bytes.
bool IsKeptAddress(std::string_view address);

// The links of the first `slides` pages of `pdf` (all pages when 0). Throws
// quillet::Error when poppler-glib cannot open the file.
DeckLinks ReadSlideLinks(const std::filesystem::path& pdf, int slides = 0);

}  // namespace quillet
