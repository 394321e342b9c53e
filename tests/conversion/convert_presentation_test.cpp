// The driver, end to end on PDF decks (poppler only, no LibreOffice): the
// outputs and their names, what the observer hears and in which order, and
// every way a conversion can fail without leaving a partial file behind.
#include "conversion/convert_presentation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "conversion/web_page.h"
#include "platform/error.h"
#include "platform/program_folder.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::MakePdf;
using testing::PdfPage;
using testing::ReadBytes;
using testing::ReadSwf;
using testing::RecordingObserver;
using testing::ScratchFolder;
using testing::WriteBytes;

std::vector<PdfPage> Pages(int count, double width = 720, double height = 540) {
  std::vector<PdfPage> pages;
  for (int i = 0; i < count; ++i) pages.push_back(PdfPage{width, height, testing::PageColour(i)});
  return pages;
}

// A program folder with the shipped template, a deck folder and an output folder.
class ConvertPresentationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_ / "program");
    std::filesystem::create_directories(root_ / "decks");
    std::filesystem::create_directories(root_ / "out");
    std::filesystem::copy_file(QUILLET_PAGE_TEMPLATE, root_ / "program" / "qzp.html");
    setup_.programFolder = root_ / "program";
  }

  std::string Deck(const std::string& name, int pages, double width = 720, double height = 540) {
    const std::filesystem::path deck = root_ / "decks" / name;
    WriteBytes(deck, MakePdf(Pages(pages, width, height)));
    return deck.string();
  }

  ConversionOutcome Convert(const std::string& deck, int divisor = 2) {
    job_.m_SizeDivisor = divisor;
    return ConvertPresentation(job_, deck, Out(), setup_, observer_, cancel_);
  }

  std::string ConvertError(const std::string& deck, const std::string& outputFolder) {
    try {
      ConvertPresentation(job_, deck, outputFolder, setup_, observer_, cancel_);
    } catch (const Error& error) {
      return error.what();
    }
    return "(no error)";
  }

  std::string Out() const { return (root_ / "out").string(); }

  ScratchFolder root_;
  ConversionSetup setup_;
  JobState job_;
  RecordingObserver observer_;
  CancelFlag cancel_;
};

TEST_F(ConvertPresentationTest, WritesMovieScriptAndPageNamedAfterTheDeck) {
  const std::string deck = Deck("intro.pdf", 3);
  const ConversionOutcome outcome = Convert(deck);
  EXPECT_EQ(job_.m_PptPath, deck);
  EXPECT_EQ(job_.m_SwfPath, Out() + "/intro.swf");
  EXPECT_EQ(outcome.movie, Out() + "/intro.swf");
  EXPECT_EQ(outcome.script, Out() + "/intro.swf.js");
  EXPECT_EQ(outcome.page, Out() + "/intro.html");
  EXPECT_EQ(outcome.width, 360);
  EXPECT_EQ(outcome.height, 270);
  EXPECT_EQ(outcome.slideCount, 3);
  EXPECT_EQ(AllNames(root_ / "out"), (std::vector<std::string>{"intro.html", "intro.swf", "intro.swf.js"}));

  const std::string movie = ReadBytes(outcome.movie);
  EXPECT_EQ(ReadSwf(movie).frameCount, 3);
  EXPECT_EQ(ReadBytes(outcome.script), MovieScript("intro.swf", movie));
  const std::string page = ReadBytes(outcome.page);
  const std::string transcript = TranscriptHtml("intro", std::vector<SlideText>(3));
  EXPECT_EQ(page, FillPageTemplate(ReadBytes(QUILLET_PAGE_TEMPLATE), "intro.swf", 360, 270, transcript) + "\r\n");
  EXPECT_NE(page.find("<embed src=\"intro.swf\""), std::string::npos);
}

TEST_F(ConvertPresentationTest, ObserverHearsEachStepInOrder) {
  Convert(Deck("intro.pdf", 3));
  EXPECT_EQ(observer_.events,
            (std::vector<std::string>{"status Converting...", "progress 0 1/3", "progress 33 2/3", "progress 67 3/3",
                                      "clear", "complete", "open " + Out() + "/intro.html"}));
  EXPECT_EQ(job_.m_Percent, 67);
}

TEST_F(ConvertPresentationTest, AllOutputsAreInPlaceBeforeConversionComplete) {
  std::vector<std::string> namesAtCompletion;
  struct Watcher : RecordingObserver {
    std::function<void()> onComplete;
    void ConversionComplete() override { onComplete(); }
  } watcher;
  watcher.onComplete = [&] { namesAtCompletion = AllNames(root_ / "out"); };
  job_.m_SizeDivisor = 2;
  ConvertPresentation(job_, Deck("intro.pdf", 1), Out(), setup_, watcher, cancel_);
  EXPECT_EQ(namesAtCompletion, (std::vector<std::string>{"intro.html", "intro.swf", "intro.swf.js"}));
}

// The page cannot be renamed into place (a folder holds its name): the movie
// and script already renamed are undone, and nobody hears "complete".
TEST_F(ConvertPresentationTest, FailedPageRenameRestoresEarlierOutputs) {
  WriteBytes(root_ / "out" / "intro.swf", "earlier movie");
  WriteBytes(root_ / "out" / "intro.swf.js", "earlier script");
  std::filesystem::create_directory(root_ / "out" / "intro.html");
  const std::string error = ConvertError(Deck("intro.pdf", 2), Out());
  EXPECT_EQ(error.rfind("cannot write " + Out() + "/intro.html: ", 0), 0u) << error;
  EXPECT_EQ(AllNames(root_ / "out"), (std::vector<std::string>{"intro.html", "intro.swf", "intro.swf.js"}));
  EXPECT_EQ(ReadBytes(root_ / "out" / "intro.swf"), "earlier movie");
  EXPECT_EQ(ReadBytes(root_ / "out" / "intro.swf.js"), "earlier script");
  EXPECT_TRUE(std::filesystem::is_empty(root_ / "out" / "intro.html"));
  EXPECT_EQ(std::count(observer_.events.begin(), observer_.events.end(), "complete"), 0);
}

struct SizeCase {
  int divisor;
  int width, height;
};

class ConvertSizeTest : public ConvertPresentationTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ConvertSizeTest, FrameFollowsTheRescaledPictures) {
  // A page 960.6 points wide renders 961 pixels: 961/2 = 480.5 rounds to 480, 961/3 to 320.
  const ConversionOutcome outcome = Convert(Deck("wide.pdf", 2, 960.6, 540), GetParam().divisor);
  EXPECT_EQ(outcome.width, GetParam().width);
  EXPECT_EQ(outcome.height, GetParam().height);
  const testing::SwfFile movie = ReadSwf(ReadBytes(outcome.movie));
  EXPECT_EQ(movie.xMax, 20 * GetParam().width);
  EXPECT_EQ(movie.yMax, 20 * GetParam().height);
  for (const auto& frame : testing::FramePictures(movie)) {
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_EQ(frame[0].Width(), GetParam().width);
    EXPECT_EQ(frame[0].Height(), GetParam().height);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ConvertSizeTest,
                         ::testing::Values(SizeCase{1, 961, 540}, SizeCase{2, 480, 270}, SizeCase{3, 320, 180}));

TEST_F(ConvertPresentationTest, TwelveSlidesPlayInSlideOrder) {
  const ConversionOutcome outcome = Convert(Deck("twelve.pdf", 12), 3);
  const auto frames = testing::FramePictures(ReadSwf(ReadBytes(outcome.movie)));
  ASSERT_EQ(frames.size(), 12u);
  for (int a = 0; a < 12; ++a) {
    ASSERT_EQ(frames[static_cast<std::size_t>(a)].size(), 1u);
    const Rgb mean = testing::MeanColour(frames[static_cast<std::size_t>(a)][0]);
    EXPECT_NEAR(mean.red, testing::PageColour(a).red, 3) << "frame " << a;
    EXPECT_NEAR(mean.blue, testing::PageColour(a).blue, 3) << "frame " << a;
  }
}

TEST_F(ConvertPresentationTest, SameBytesWithOneWorkerAndWithMany) {
  // Pages of two sizes, so a slide written into another's place would show.
  std::vector<PdfPage> pages = Pages(9);
  for (std::size_t i = 1; i < pages.size(); i += 3) pages[i].width = 500.4;
  const std::filesystem::path deck = root_ / "decks" / "mixed.pdf";
  WriteBytes(deck, MakePdf(pages));
  std::vector<std::string> movies;
  for (int workers : {1, 4, 0}) {
    setup_.workers = workers;
    movies.push_back(ReadBytes(Convert(deck.string()).movie));
  }
  const auto frames = testing::FramePictures(ReadSwf(movies[0]));
  ASSERT_EQ(frames.size(), 9u);
  EXPECT_EQ(frames[1][0].Width(), 360);  // the narrower page, fitted into the frame
  EXPECT_EQ(frames[2][0].Width(), 360);
  EXPECT_EQ(movies[1], movies[0]);
  EXPECT_EQ(movies[2], movies[0]);
}

// A portrait page in a landscape deck: whole, at its own shape, centred on
// white in a frame of the first page's size.
TEST_F(ConvertPresentationTest, SlideOfAnotherShapeIsFittedIntoTheFrameWhole) {
  const std::filesystem::path deck = root_ / "decks" / "mixed.pdf";
  WriteBytes(deck, MakePdf({PdfPage{720, 540, testing::PageColour(0)}, PdfPage{540, 720, testing::PageColour(1)}}));
  const ConversionOutcome outcome = Convert(deck.string(), 2);
  const auto frames = testing::FramePictures(ReadSwf(ReadBytes(outcome.movie)));
  ASSERT_EQ(frames.size(), 2u);
  const Surface& portrait = frames[1][0];
  ASSERT_EQ(portrait.Width(), 360);
  ASSERT_EQ(portrait.Height(), 270);
  // The page's columns along the middle row, and the rows along the middle column.
  auto isPage = [&](Rgb pixel) { return std::abs(pixel.red - testing::PageColour(1).red) < 12; };
  int first = -1, last = -1;
  for (int x = 0; x < portrait.Width(); ++x) {
    if (!isPage(portrait.Pixel(x, 135))) continue;
    if (first < 0) first = x;
    last = x;
  }
  EXPECT_NEAR(last - first + 1, 270.0 * 540 / 720, 2);
  EXPECT_NEAR(first, portrait.Width() - 1 - last, 2);                       // centred
  for (int y : {0, 269}) EXPECT_TRUE(isPage(portrait.Pixel(180, y))) << y;  // full height, nothing cut
  for (int x : {2, 357}) EXPECT_GE(testing::MeanColour(BoxFilter(portrait, x, 100, 1, 70, 1, 1)).green, 250) << x;
}

TEST_F(ConvertPresentationTest, MoreThan328SlidesConvert) {
  const ConversionOutcome outcome = Convert(Deck("long.pdf", 330, 30, 24), 1);
  EXPECT_EQ(outcome.slideCount, 330);
  EXPECT_EQ(ReadSwf(ReadBytes(outcome.movie)).frameCount, 330);
  ASSERT_EQ(observer_.percents.size(), 330u);
  EXPECT_EQ(observer_.percents[328], 99);   // 32800 / 330 = 99.39
  EXPECT_EQ(observer_.percents[329], 100);  // 32900 / 330 = 99.70
}

// In its own work folder Quillet deletes only the pictures and scratch
// folders it writes; a temp/ it did not make is not touched at all.
TEST_F(ConvertPresentationTest, WorkFolderDeletesOnlyQuilletsOwnFiles) {
  const std::filesystem::path work = root_ / "program" / "temp";
  std::filesystem::create_directories(work);
  WriteBytes(work / kWorkFolderMark, "");
  WriteBytes(work / "Slide9.jpg", "left over");
  WriteBytes(work / "notes.txt", "kept");
  WriteBytes(work / ".hidden", "kept");
  std::filesystem::create_directories(work / ".export-Ab12Cd" / "profile");  // a killed export's scratch
  Convert(Deck("intro.pdf", 2));
  EXPECT_EQ(AllNames(work),
            (std::vector<std::string>{".hidden", ".lock", kWorkFolderMark, "Slide1.jpg", "Slide2.jpg", "notes.txt"}));

  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work);
  WriteBytes(work / "Slide1.jpg", "a user's picture");
  WriteBytes(work / "photo.png", "a user's photo");
  ScratchFolder cache;
  ::setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  Convert(Deck("intro.pdf", 2));
  Convert(Deck("intro.pdf", 3));
  ::unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(AllNames(work), (std::vector<std::string>{"Slide1.jpg", "photo.png"}));
  EXPECT_EQ(ReadBytes(work / "Slide1.jpg"), "a user's picture");
  EXPECT_TRUE(std::filesystem::is_regular_file(cache / "quillet" / "temp" / "Slide3.jpg"));
  const auto warnings = std::count_if(observer_.events.begin(), observer_.events.end(), [&](const std::string& event) {
    return event.find("warning the folder " + work.string() + " is not Quillet's work folder") == 0;
  });
  EXPECT_EQ(warnings, 1);  // once a process
}

// A deck named after the page template (qzp.pdf) converted into the program
// folder would make every later page play it.
TEST_F(ConvertPresentationTest, NeverReplacesTheProgramsOwnFiles) {
  const std::string program = (root_ / "program").string();
  EXPECT_EQ(ConvertError(Deck("qzp.pdf", 1), program),
            "cannot write " + program +
                "/qzp.html: it is Quillet's own page template, which a slide show must not "
                "replace; choose another output folder or rename the deck");
  EXPECT_EQ(ReadBytes(root_ / "program" / "qzp.html"), ReadBytes(QUILLET_PAGE_TEMPLATE));
}

// Names up to the file system's limit convert (temporary names stay short);
// a longer one fails before anything is exported.
TEST_F(ConvertPresentationTest, LongNamesFitOrFailFirst) {
  const std::string longest(248, 'n');  // NAME.swf.js is 255 bytes
  EXPECT_EQ(Convert(Deck(longest + ".pdf", 1)).slideCount, 1);
  const std::string deck = Deck(longest + "n.pdf", 1);
  EXPECT_EQ(ConvertError(deck, Out()), "cannot name the outputs after " + deck +
                                           ": 256 bytes, and the output folder takes names of at most 255; give the "
                                           "deck a shorter name");
  EXPECT_EQ(AllNames(root_ / "out"),
            (std::vector<std::string>{longest + ".html", longest + ".swf", longest + ".swf.js"}));
}

// A killed conversion's temporary files go with the next conversion of the
// same name; those of running processes and of other names stay.
TEST_F(ConvertPresentationTest, RemovesLeftoversOfItsOwnNames) {
  const std::filesystem::path out = root_ / "out";
  const std::string alive = std::to_string(::getpid());
  for (const std::string& name :
       std::vector<std::string>{".talk.swf.99999999-1.tmp", ".talk.html.99999999-2.old", ".talk.swf.123456789.tmp",
                                ".talk.swf.js." + alive + "-3.tmp", ".other.swf.99999999-1.tmp", ".talk.swf.5.tmp"})
    WriteBytes(out / name, "left over");
  std::filesystem::last_write_time(out / ".talk.swf.123456789.tmp",
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  Convert(Deck("talk.pdf", 1));
  EXPECT_EQ(AllNames(out),
            (std::vector<std::string>{".other.swf.99999999-1.tmp", ".talk.swf.5.tmp",
                                      ".talk.swf.js." + alive + "-3.tmp", "talk.html", "talk.swf", "talk.swf.js"}));
}

TEST_F(ConvertPresentationTest, NameWithSpecialCharactersIsEscapedInThePage) {
  const std::string name = "Q&A <b>\"50%\" #1 caf\xc3\xa9 it's [[width]]";
  const ConversionOutcome outcome = Convert(Deck(name + ".pdf", 1));
  EXPECT_EQ(outcome.movie, Out() + "/" + name + ".swf");
  const std::string page = ReadBytes(outcome.page);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(
      page.find(
          "<title>Q&amp;A &lt;b&gt;&quot;50%&quot; #1 caf\xc3\xa9 it&#39;s &#91;&#91;width&#93;&#93;.swf</title>"),
      std::string::npos);
  EXPECT_NE(page.find("src=\"Q%26A%20%3Cb%3E%2250%25%22%20%231%20caf%C3%A9%20it%27s%20%5B%5Bwidth%5D%5D.swf\""),
            std::string::npos);
  EXPECT_NE(page.find("var movieName = \"Q\\u0026A \\u003Cb\\u003E\\u002250\\u0025\\u0022 \\u00231 caf\\u00E9 "
                      "it\\u0027s \\u005B\\u005Bwidth\\u005D\\u005D.swf\";"),
            std::string::npos);
  EXPECT_NE(ReadBytes(outcome.script).find("[\"Q\\u0026A \\u003Cb\\u003E"), std::string::npos);
}

TEST_F(ConvertPresentationTest, MissingTemplateGivesTheBuiltInPageAndAWarning) {
  std::filesystem::remove(root_ / "program" / "qzp.html");
  const ConversionOutcome outcome = Convert(Deck("intro.pdf", 1));
  EXPECT_EQ(ReadBytes(outcome.page), FillPageTemplate(kDefaultPageTemplate, "intro.swf", 360, 270,
                                                      TranscriptHtml("intro", std::vector<SlideText>(1))) +
                                         "\r\n");
  EXPECT_FALSE(std::filesystem::exists(root_ / "program" / "qzp.html"));
  EXPECT_NE(std::find(observer_.events.begin(), observer_.events.end(),
                      "warning the page template qzp.html is in neither " + (root_ / "program").string() + " nor " +
                          (root_ / "share" / "quillet").string() + "; the built-in page is used"),
            observer_.events.end());
}

// Installed as PREFIX/bin and PREFIX/share/quillet: the template comes from
// share/quillet, and nothing is written beside the program, even by root.
TEST_F(ConvertPresentationTest, InstalledProgramUsesTheSharedTemplateAndTheCache) {
  ScratchFolder cache;
  ::setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  std::filesystem::create_directories(root_ / "share" / "quillet");
  WriteBytes(root_ / "share" / "quillet" / "qzp.html", "<p>installed [[filename]]</p>");
  std::filesystem::remove(root_ / "program" / "qzp.html");
  const ConversionOutcome outcome = Convert(Deck("intro.pdf", 1));
  ::unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(ReadBytes(outcome.page), "<p>installed intro.swf</p>\r\n");
  for (const std::string& event : observer_.events) EXPECT_EQ(event.rfind("warning", 0), std::string::npos) << event;
  EXPECT_TRUE(AllNames(root_ / "program").empty());
  EXPECT_TRUE(std::filesystem::is_directory(cache / "quillet" / "temp"));
}

struct BadJob {
  const char* what;
  std::string deckName;      // "" for none; created as a one-page PDF unless `deckBytes` says otherwise
  std::string deckBytes;     // "pdf" for a valid deck
  std::string outputFolder;  // relative to the scratch root; absolute when it starts with "/"
  std::string message;       // "{deck}" and "{out}" stand for the paths
};

class ConvertFailureTest : public ConvertPresentationTest, public ::testing::WithParamInterface<BadJob> {};

std::string Substitute(std::string text, const std::string& key, const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
    text.replace(at, key.size(), value);
  }
  return text;
}

TEST_P(ConvertFailureTest, ReportedBeforeAnySlideIsExported) {
  const BadJob& bad = GetParam();
  std::string deck;
  if (!bad.deckName.empty()) {
    deck = (root_ / "decks" / bad.deckName).string();
    if (bad.deckBytes == "pdf") {
      WriteBytes(deck, MakePdf(Pages(1)));
    } else if (bad.deckBytes != "missing") {
      WriteBytes(deck, bad.deckBytes);
    }
  }
  const std::string out = bad.outputFolder.front() == '/' ? bad.outputFolder : (root_ / bad.outputFolder).string();
  WriteBytes(root_ / "out" / "x.swf", "earlier movie");
  const std::string expected = Substitute(Substitute(bad.message, "{deck}", deck), "{out}", out);
  EXPECT_EQ(ConvertError(deck, out), expected) << bad.what;
  EXPECT_TRUE(observer_.events.empty()) << bad.what;
  EXPECT_FALSE(std::filesystem::exists(root_ / "program" / "temp")) << "nothing was exported";
  EXPECT_EQ(AllNames(root_ / "out"), std::vector<std::string>{"x.swf"});
  EXPECT_EQ(ReadBytes(root_ / "out" / "x.swf"), "earlier movie");
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, ConvertFailureTest,
    ::testing::Values(BadJob{"no deck", "", "", "out", "Please select the PowerPoint file."},
                      BadJob{"missing deck", "x.ppt", "missing", "out", "cannot find the presentation {deck}"},
                      BadJob{"empty deck", "x.ppt", "", "out", "{deck} is empty"},
                      BadJob{"not a deck", "x.docx", "text", "out",
                             "{deck} is not a presentation Quillet reads (.ppt, .pptx, .pps, .ppsx, .odp or .pdf)"},
                      BadJob{"output folder missing", "x.pdf", "pdf", "missing",
                             "the output folder {out} does not exist"},
                      BadJob{"output folder is a file", "x.pdf", "pdf", "decks/x.pdf", "{out} is not a folder"},
                      BadJob{"output folder unwritable", "x.pdf", "pdf", "/proc",
                             "cannot write into the output folder {out}: No such file or directory"}));

// Every folder under the work-folder root may be some conversion's work folder.
TEST_F(ConvertPresentationTest, WorkFolderRootHoldsNeitherDeckNorOutput) {
  const std::filesystem::path work = root_ / "program" / "temp";
  std::filesystem::create_directories(work / ".busy-2" / "sub");
  WriteBytes(work / kWorkFolderMark, "");
  WriteBytes(work / ".busy-2" / "sub" / "keep.pdf", MakePdf(Pages(1)));
  for (const std::filesystem::path& output : {work, work / ".busy-2", work / ".busy-2" / "sub" / ".." / "sub"}) {
    EXPECT_EQ(
        ConvertError(Deck("intro.pdf", 1), output.string()),
        "the output folder " + output.string() + " is the work folder, which every conversion empties; choose another");
  }
  const std::filesystem::path deck = work / ".busy-2" / "sub" / "keep.pdf";
  EXPECT_EQ(ConvertError(deck.string(), Out()),
            deck.string() + " lies in the work folder, which every conversion empties; move it first");
  EXPECT_EQ(AllNames(work / ".busy-2" / "sub"), std::vector<std::string>{"keep.pdf"});
}

TEST_F(ConvertPresentationTest, EmptyOutputFolderTextIsAnError) {
  EXPECT_EQ(ConvertError(Deck("intro.pdf", 1), ""), "no output folder was given");
}

TEST_F(ConvertPresentationTest, DivisorOutOfRangeIsAnError) {
  job_.m_SizeDivisor = 4;
  EXPECT_EQ(ConvertError(Deck("intro.pdf", 1), Out()),
            "the output size must be small, medium or big (divisor 3, 2 or 1), not divisor 4");
}

TEST_F(ConvertPresentationTest, FailedConversionLeavesEarlierOutputsUntouched) {
  WriteBytes(root_ / "out" / "intro.swf", "earlier movie");
  WriteBytes(root_ / "out" / "intro.html", "earlier page");
  WriteBytes(root_ / "decks" / "intro.pdf", "%PDF-1.4 broken");
  const std::string deck = (root_ / "decks" / "intro.pdf").string();
  EXPECT_EQ(ConvertError(deck, Out()), deck + " is not a PDF file poppler can read");
  EXPECT_EQ(AllNames(root_ / "out"), (std::vector<std::string>{"intro.html", "intro.swf"}));
  EXPECT_EQ(ReadBytes(root_ / "out" / "intro.swf"), "earlier movie");
  EXPECT_EQ(ReadBytes(root_ / "out" / "intro.html"), "earlier page");
}

TEST_F(ConvertPresentationTest, CancelledConversionLeavesNoOutput) {
  WriteBytes(root_ / "out" / "intro.swf", "earlier movie");
  observer_.onProgress = [&](int done) {
    if (done == 2) cancel_.Cancel();
  };
  job_.m_SizeDivisor = 2;
  EXPECT_THROW(ConvertPresentation(job_, Deck("intro.pdf", 4), Out(), setup_, observer_, cancel_), ConversionCancelled);
  EXPECT_EQ(AllNames(root_ / "out"), std::vector<std::string>{"intro.swf"});
  EXPECT_EQ(ReadBytes(root_ / "out" / "intro.swf"), "earlier movie");
  EXPECT_EQ(observer_.percents, (std::vector<int>{0, 25}));
}

// A batch cancelled during its second deck tells which decks were written.
TEST_F(ConvertPresentationTest, CancelledBatchTellsTheDecksWritten) {
  const std::vector<std::string> decks = {Deck("a.pdf", 1), Deck("b.pdf", 3), Deck("c.pdf", 1)};
  observer_.onProgress = [&](int) {
    if (std::filesystem::exists(root_ / "out" / "a.html")) cancel_.Cancel();
  };
  try {
    ConvertPresentations(decks, Out(), 2, setup_, observer_, cancel_);
    ADD_FAILURE() << "not cancelled";
  } catch (const BatchCancelled& cancelled) {
    ASSERT_EQ(cancelled.Converted().size(), 1u);
    EXPECT_EQ(cancelled.Converted().front().deck, decks.front());
    EXPECT_EQ(cancelled.DeckCount(), 3u);
  }
  EXPECT_EQ(AllNames(root_ / "out"), (std::vector<std::string>{"a.html", "a.swf", "a.swf.js"}));
}

TEST_F(ConvertPresentationTest, TwoConversionsAtOnceUseTheirOwnWorkFolders) {
  const std::string first = Deck("first.pdf", 6);
  const std::string second = Deck("second.pdf", 5);
  std::string firstError, secondError;
  auto run = [&](const std::string& deck, std::string& error) {
    JobState job;
    RecordingObserver observer;
    CancelFlag cancel;
    try {
      ConvertPresentation(job, deck, Out(), setup_, observer, cancel);
    } catch (const std::exception& failure) {
      error = failure.what();
    }
  };
  std::thread a(run, first, std::ref(firstError));
  std::thread b(run, second, std::ref(secondError));
  a.join();
  b.join();
  EXPECT_EQ(firstError, "");
  EXPECT_EQ(secondError, "");
  EXPECT_EQ(ReadSwf(ReadBytes(root_ / "out" / "first.swf")).frameCount, 6);
  EXPECT_EQ(ReadSwf(ReadBytes(root_ / "out" / "second.swf")).frameCount, 5);
}

}  // namespace
}  // namespace quillet
