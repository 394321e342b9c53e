// The slide exporter: PDF decks rendered page by page, and a LibreOffice that
// fails, hangs or is missing.
#include "platform/slide_exporter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "platform/error.h"
#include "platform/picture_file.h"
#include "stand_ins.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::CancelOnceStarted;
using testing::ErrorText;
using testing::FakeOffice;
using testing::HelperPid;
using testing::MakePdf;
using testing::PdfPage;
using testing::ProcessAlive;
using testing::ScratchFolder;
using testing::WriteBytes;

TEST(SlideExporterTest, PdfPagesBecomeNumberedPicturesAt72Dpi) {
  ScratchFolder folder;
  WriteBytes(folder / "deck.pdf",
             MakePdf({PdfPage{720, 540, testing::PageColour(0)}, PdfPage{960.6, 540, testing::PageColour(1)}}));
  std::filesystem::create_directory(folder / "work");
  EXPECT_EQ(ExportSlides(folder / "deck.pdf", folder / "work", {}), 2);
  EXPECT_EQ(AllNames(folder / "work"), (std::vector<std::string>{"Slide1.jpg", "Slide2.jpg"}));
  const Surface first = LoadPicture(folder / "work" / "Slide1.jpg");
  EXPECT_EQ(first.Width(), 720);
  EXPECT_EQ(first.Height(), 540);
  const Rgb mean = testing::MeanColour(first);
  EXPECT_NEAR(mean.red, testing::PageColour(0).red, 2);
  EXPECT_NEAR(mean.blue, testing::PageColour(0).blue, 2);
  EXPECT_EQ(LoadPicture(folder / "work" / "Slide2.jpg").Width(), 961);  // fractional page sizes round to whole pixels
}

// A deck printed with its notes pages: N slides, then N portrait notes
// pages, of which only the slides become pictures and the notes pages give
// the notes. A PDF that does not hold that shape fails, naming the deck.
TEST(SlideExporterTest, NotesPagesFollowTheSlidesOrTheDeckFails) {
  ScratchFolder folder;
  const PdfPage slide{720, 540, testing::PageColour(0)};
  const PdfPage notes{540, 720, testing::PageColour(1)};
  SlideExportSettings settings;
  settings.notesPages = true;
  std::vector<std::vector<std::string>> found;
  settings.slideNotes = &found;
  int pictures = 0;
  const auto count = [&pictures](int, int, const std::string&) { ++pictures; };
  WriteBytes(folder / "good.pdf",
             MakePdf({slide, slide, notes, notes}, {{}, {}, {}, {testing::PdfText{60, 500, 12, "Thank the team"}}}));
  EXPECT_EQ(RenderSlides(folder / "good.pdf", folder / "deck.odp", settings, count), 2);
  EXPECT_EQ(pictures, 2);
  EXPECT_EQ(found, (std::vector<std::vector<std::string>>{{}, {"Thank the team"}}));
  WriteBytes(folder / "odd.pdf", MakePdf({slide, slide, notes}));
  EXPECT_EQ(ErrorText([&] { RenderSlides(folder / "odd.pdf", folder / "deck.odp", settings, count); }),
            "cannot tell the speaker notes of " + (folder / "deck.odp").string() +
                " from its slides: LibreOffice printed 3 pages, not a notes page for each slide");
  WriteBytes(folder / "flat.pdf", MakePdf({slide, slide, notes, slide}));
  EXPECT_EQ(ErrorText([&] { RenderSlides(folder / "flat.pdf", folder / "deck.odp", settings, count); }),
            "cannot tell the speaker notes of " + (folder / "deck.odp").string() +
                " from its slides: page 4 of 4 should be a portrait notes page");
}

// A failing slide stops the export; the error is that of the first failing
// slide in slide order, whatever the number of workers.
TEST(SlideExporterTest, FirstFailingSlideInOrderIsTheError) {
  ScratchFolder folder;
  std::vector<PdfPage> pages(8, PdfPage{72, 54, testing::PageColour(0)});
  WriteBytes(folder / "deck.pdf", MakePdf(pages));
  for (int workers : {1, 3}) {
    SlideExportSettings settings;
    settings.workers = workers;
    std::mutex mutex;
    std::vector<int> consumed;
    const std::string error = ErrorText([&] {
      ExportSlides(folder / "deck.pdf", folder.Path(), settings, [&](int worker, int number, const std::string&) {
        EXPECT_LT(worker, workers);
        if (number == 3 || number == 5) throw Error(kGeneral, "slide " + std::to_string(number) + " failed");
        const std::lock_guard lock(mutex);
        consumed.push_back(number);
      });
    });
    EXPECT_EQ(error, "slide 3 failed") << workers << " workers";
    // The slides before it were started first and are finished; with one
    // worker nothing after it is started.
    std::sort(consumed.begin(), consumed.end());
    consumed.resize(workers == 1 ? consumed.size() : 2);
    EXPECT_EQ(consumed, (std::vector<int>{1, 2})) << workers << " workers";
  }
}

TEST(SlideExporterTest, PosterSizedPageIsRenderedAtALowerResolution) {
  ScratchFolder folder;
  WriteBytes(folder / "poster.pdf", MakePdf({PdfPage{20000, 100, testing::PageColour(0)}}));
  std::filesystem::create_directory(folder / "work");
  EXPECT_EQ(ExportSlides(folder / "poster.pdf", folder / "work", {}), 1);
  const Surface picture = LoadPicture(folder / "work" / "Slide1.jpg");
  EXPECT_EQ(picture.Width(), 4000);
  EXPECT_EQ(picture.Height(), 20);
}

struct BadDeck {
  const char* what;
  const char* name;
  std::string bytes;
  const char* message;  // after the deck's path
};

class SlideExporterErrorTest : public ::testing::TestWithParam<BadDeck> {};

TEST_P(SlideExporterErrorTest, NamesTheDeck) {
  ScratchFolder folder;
  const std::filesystem::path deck = folder / GetParam().name;
  WriteBytes(deck, GetParam().bytes);
  std::filesystem::create_directory(folder / "work");
  EXPECT_EQ(ErrorText([&] { ExportSlides(deck, folder / "work", {}); }), deck.string() + GetParam().message)
      << GetParam().what;
  EXPECT_TRUE(AllNames(folder / "work").empty());
}

INSTANTIATE_TEST_SUITE_P(Decks, SlideExporterErrorTest,
                         ::testing::Values(BadDeck{"empty", "empty.ppt", "", " is empty"},
                                           BadDeck{"not a PDF", "broken.pdf", "%PDF-1.4 this is not really a PDF",
                                                   " is not a PDF file poppler can read"},
                                           BadDeck{"no pages", "blank.pdf", MakePdf({}), " has no slides"}));

TEST(SlideExporterTest, PasswordProtectedPdfIsRefused) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder / "work");
  const std::filesystem::path deck = std::filesystem::path(QUILLET_TEST_DATA) / "locked.pdf";
  EXPECT_EQ(ErrorText([&] { ExportSlides(deck, folder / "work", {}); }), deck.string() + " is protected by a password");
}

TEST(SlideExporterTest, MissingLibreOfficeNamesThePackage) {
  ScratchFolder folder;
  WriteBytes(folder / "deck.ppt", "x");
  SlideExportSettings settings;
  settings.libreOfficeProgram = folder / "no-soffice";
  EXPECT_EQ(ErrorText([&] { ExportSlides(folder / "deck.ppt", folder.Path(), settings); }),
            "cannot convert " + (folder / "deck.ppt").string() +
                ": LibreOffice is not installed (install the package libreoffice-impress-nogui)");
}

TEST(SlideExporterTest, LibreOfficeWritingNoPdfIsAnErrorWithItsLastWords) {
  ScratchFolder folder;
  WriteBytes(folder / "deck.ppt", "x");
  SlideExportSettings settings;
  settings.libreOfficeProgram =
      FakeOffice(folder,
                 "echo 'Warning: failed to launch javaldx - java may not function correctly' >&2\n"
                 "echo 'Error: source file could not be loaded'\nexit 0");
  EXPECT_EQ(ErrorText([&] { ExportSlides(folder / "deck.ppt", folder.Path(), settings); }),
            (folder / "deck.ppt").string() +
                " is not a presentation LibreOffice can open (Error: source file could not be loaded)");
  // the scratch folder is gone
  EXPECT_EQ(AllNames(folder.Path()), (std::vector<std::string>{"deck.ppt", "fake-soffice", "helper.pid"}));
}

TEST(SlideExporterTest, HangingLibreOfficeIsEndedAtTheTimeLimit) {
  ScratchFolder folder;
  WriteBytes(folder / "deck.ppt", "x");
  SlideExportSettings settings;
  settings.libreOfficeProgram = FakeOffice(folder, "sleep 30");
  settings.timeLimit = std::chrono::milliseconds(2000);
  EXPECT_EQ(ErrorText([&] { ExportSlides(folder / "deck.ppt", folder.Path(), settings); }),
            "cannot convert " + (folder / "deck.ppt").string() + ": LibreOffice did not finish within 2 seconds");
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(SlideExporterTest, CancelEndsLibreOffice) {
  ScratchFolder folder;
  WriteBytes(folder / "deck.ppt", "x");
  SlideExportSettings settings;
  settings.libreOfficeProgram = FakeOffice(folder, "sleep 30");
  settings.isCancelled = CancelOnceStarted(folder);
  EXPECT_THROW(ExportSlides(folder / "deck.ppt", folder.Path(), settings), SlideExportCancelled);
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(SlideExporterTest, KnowsPresentationExtensionsInAnyCase) {
  for (const char* name : {"a.ppt", "a.PPTX", "a.pps", "a.ppsx", "a.odp", "a.pdf", "a.Pdf"}) {
    EXPECT_TRUE(IsDeckExtension(name)) << name;
  }
  for (const char* name : {"a.doc", "a.txt", "ppt", "a.ppt.bak"}) EXPECT_FALSE(IsDeckExtension(name)) << name;
}

}  // namespace
}  // namespace quillet
