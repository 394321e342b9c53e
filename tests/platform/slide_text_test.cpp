// The text of the slides: words put back into lines, bullet marks left out,
// the title told by its type, and the same read through poppler from PDF
// pages the slide exporter renders.
#include "platform/slide_text.h"

#include <gtest/gtest.h>

#include "platform/slide_exporter.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::MakePdf;
using testing::PdfPage;
using testing::PdfText;
using testing::ScratchFolder;
using testing::WriteBytes;

// A word `width` points wide at (left, top), `size` points high, in type `size`.
PlacedWord Word(std::string text, double left, double top, double width, double size, bool spaceAfter = false) {
  return PlacedWord{std::move(text), left, top, left + width, top + size, size, spaceAfter};
}

TEST(ArrangeSlideTextTest, WordsOnOneBaselineMakeALine) {
  const SlideText slide = ArrangeSlideText(
      {
          Word("\xe2\x80\xa2", 50, 104, 6, 10),  // a bullet, smaller, inside the line's height
          Word("Size", 70, 100, 40, 20, true),   // poppler's own space
          Word("of", 114, 100, 20, 20),          // next cell: no space, but a gap
          Word("tab", 160, 100, 30, 20), Word("le\x01", 190, 100, 20, 20),  // one word in two pieces
          Word("\xef\x82\xa7Next", 70, 130, 60, 20),                        // a Wingdings bullet stuck to the word
          Word("back\xed\xa0\x80", 20, 160, 40, 20),  // a surrogate is not UTF-8: one U+FFFD a byte
          Word("left", 10, 160, 30, 20),              // leftwards: a new line
      },
      540);
  EXPECT_EQ(slide.title, "");
  EXPECT_EQ(slide.lines, (std::vector<std::string>{"Size of table", "Next", "back\uFFFD\uFFFD\uFFFD", "left"}));
}

// A notes page shows the slide at half size from (90, 40), its words
// there too, the notes below it and the page's number at the foot; the
// notes are the lines below the slide's picture, without the number. Where
// the notes page shows none of the slide's words, all its text is notes.
TEST(ArrangeNotesTextTest, NotesAreTheLinesBelowTheSlidesPicture) {
  const std::vector<PlacedWord> slide = {Word("Plan", 100, 60, 80, 40, true), Word("Steps", 100, 400, 90, 30)};
  const std::vector<PlacedWord> notes = {
      Word("Plan", 140, 70, 40, 20, true),  Word("Steps", 140, 240, 45, 15),  // slide picture: bottom 40 + 270
      Word("Speak", 60, 330, 50, 12, true), Word("slowly", 114, 330, 50, 12),
      Word("Then", 60, 346, 40, 12),        Word("3", 520, 700, 8, 12),
  };
  EXPECT_EQ(ArrangeNotesText(slide, 540, notes, 3), (std::vector<std::string>{"Speak slowly", "Then"}));
  const std::vector<PlacedWord> noPicture = {notes[2], notes[3], notes[4]};
  EXPECT_EQ(ArrangeNotesText(slide, 540, noPicture, 3), (std::vector<std::string>{"Speak slowly", "Then"}));
  EXPECT_EQ(ArrangeNotesText({}, 540, notes, 3), (std::vector<std::string>{"Plan", "Steps", "Speak slowly", "Then"}));
}

struct TitleCase {
  const char* what;
  std::vector<PlacedWord> words;
  const char* title;
  std::vector<std::string> lines;
};

class TitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleTest, TitleIsTheLargestTypeInTheUpperHalf) {
  const SlideText slide = ArrangeSlideText(GetParam().words, 540);
  EXPECT_EQ(slide.title, GetParam().title) << GetParam().what;
  EXPECT_EQ(slide.lines, GetParam().lines) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Slides, TitleTest,
    ::testing::Values(
        TitleCase{"title then body",
                  {Word("Why", 100, 40, 60, 36, true), Word("now?", 164, 40, 80, 36), Word("Because", 60, 120, 90, 24)},
                  "Why now?",
                  {"Because"}},
        TitleCase{"a title over two lines",
                  {Word("Body", 60, 20, 50, 20), Word("Long", 60, 100, 80, 32), Word("title", 60, 140, 80, 32)},
                  "Long title",
                  {"Body"}},
        TitleCase{"the larger type low on the page",
                  {Word("Top", 60, 40, 50, 20), Word("Big", 60, 400, 80, 40)},
                  "",
                  {"Top", "Big"}},
        TitleCase{
            "type hardly larger", {Word("One", 60, 40, 50, 22), Word("Two", 60, 100, 50, 20)}, "", {"One", "Two"}},
        TitleCase{"one line alone", {Word("Thanks", 200, 240, 90, 20)}, "Thanks", {}},
        TitleCase{"no type sizes", {Word("One", 60, 40, 50, 0), Word("Two", 60, 100, 50, 0)}, "", {"One", "Two"}},
        TitleCase{"nothing", {}, "", {}}));

TEST(ReadSlideTextTest, ExporterReadsEachPagesTextThroughPoppler) {
  ScratchFolder folder;
  const std::vector<PdfText> first = {PdfText{60, 60, 36, "Fish & <chips>"}, PdfText{60, 140, 20, "Cod (fried)"},
                                      PdfText{60, 180, 20, "Haddock"}};
  WriteBytes(folder / "deck.pdf",
             MakePdf({PdfPage{}, PdfPage{}, PdfPage{}}, {first, {}, {PdfText{60, 500, 10, "p. 3"}}}));
  std::filesystem::create_directory(folder / "work");
  std::vector<SlideText> texts;
  SlideExportSettings settings;
  settings.slideTexts = &texts;
  settings.workers = 2;  // each worker fills its own pages
  ASSERT_EQ(ExportSlides(folder / "deck.pdf", folder / "work", settings), 3);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].title, "Fish & <chips>");
  EXPECT_EQ(texts[0].lines, (std::vector<std::string>{"Cod (fried)", "Haddock"}));
  EXPECT_EQ(texts[1].title, "");
  EXPECT_TRUE(texts[1].lines.empty());
  EXPECT_EQ(texts[2].title, "");  // one line, but at the foot of the page
  EXPECT_EQ(texts[2].lines, (std::vector<std::string>{"p. 3"}));
}

}  // namespace
}  // namespace quillet
