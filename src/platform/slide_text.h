// The text of a slide, for the page's transcript: the words poppler finds on
// the slide's PDF page, in poppler's reading order, put back together into
// lines, and the slide's title where one can be told. A title is the first
// line in the page's largest type, when that type is clearly larger than all
// the rest and the line starts in the upper half of the page (a title slide's
// title stands about the middle); a slide holding one line of text is titled
// by it. Lines after the title in the same type continue it. Text all in one
// type has no title that can be told.
#pragma once

#include <string>
#include <vector>

namespace poppler {
class page;
}

namespace quillet {

// A link of the slide, for the transcript: its words and where it leads (a
// web address, or #N for slide N).
struct TextLink {
  std::string text;
  std::string href;
};

struct SlideText {
  std::string title;               // UTF-8; empty when no title can be told
  std::vector<std::string> lines;  // the rest of the text, UTF-8, one entry per line
  std::vector<TextLink> links;     // filled by the conversion from the slide's links
  std::vector<std::string> notes;  // the speaker notes, one entry per line; only when asked for
};

// One word as poppler places it: its box in points (y grows downwards) and
// its type size. `spaceAfter` is poppler's own word break.
struct PlacedWord {
  std::string text;  // UTF-8
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  double typeSize = 0;  // 0 when the PDF does not say
  bool spaceAfter = false;
  std::string font;  // the font's name; empty when the PDF does not say
};

// Puts words, in reading order, back into lines and picks the title. Leading
// bullet marks (•, ▪, ➢, the private-use symbols of Wingdings and the like) and
// control characters are left out; they say nothing read aloud.
SlideText ArrangeSlideText(const std::vector<PlacedWord>& words, double pageHeight);

// The text of one PDF page.
SlideText ReadSlideText(const poppler::page& page);

// The speaker notes on a notes page (as LibreOffice prints them after the
// slides): the lines below the picture of the slide, which shows the slide's
// page scaled down, found by where the slide's first word stands on the
// notes page (checked against its last word; else the picture is taken to
// end below the words that begin the notes page as they begin the slide,
// and where the notes page shows none of the slide's words, all its text
// is notes). A line
// that is only the slide's number (the notes page's number) is left out.
std::vector<std::string> ArrangeNotesText(const std::vector<PlacedWord>& slideWords, double slideHeight,
                                          const std::vector<PlacedWord>& notesWords, int slideNumber);
std::vector<std::string> ReadNotesText(const poppler::page& slide, const poppler::page& notes, int slideNumber);

}  // namespace quillet
