// The platform stand-ins the conversion uses: child processes ended as a
// group, work folders held by one process at a time, and the slide exporter's
// handling of PDF decks and of a LibreOffice that fails, hangs or is missing,
// and where the program finds its files and puts its outputs by default.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/child_process.h"
#include "platform/error.h"
#include "platform/picture_file.h"
#include "platform/program_folder.h"
#include "platform/slide_exporter.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::MakePdf;
using testing::PdfPage;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no error)";
}

// True while the process runs; a zombie waiting for its reaper counts as
// ended. Gives a just-signalled process a moment to go.
bool ProcessAlive(pid_t pid) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (stat.empty() || close == std::string::npos || stat.compare(close + 2, 1, "Z") == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A script standing in for LibreOffice: it starts a helper that outlives it
// unless its group is ended, records the helper's id, then does `body`.
std::filesystem::path FakeOffice(const ScratchFolder& folder, const std::string& body) {
  std::filesystem::path script = folder / "fake-soffice";
  WriteBytes(script, "#!/bin/sh\nsleep 30 &\necho $! > '" + (folder / "helper.pid").string() + "'\n" + body + "\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

pid_t HelperPid(const ScratchFolder& folder) { return static_cast<pid_t>(std::stol(ReadBytes(folder / "helper.pid"))); }

// Cancels once the stand-in has started its helper.
std::function<bool()> CancelOnceStarted(const ScratchFolder& folder) {
  return [&folder] { return !ReadBytes(folder / "helper.pid").empty(); };
}

TEST(ChildProcessTest, CollectsOutputAndExitCode) {
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, {});
  EXPECT_EQ(outcome.end, ChildEnd::kExited);
  EXPECT_EQ(outcome.exitCode, 3);
  EXPECT_EQ(outcome.output, "out\nerr\n");
}

TEST(ChildProcessTest, InheritsNoDescriptorsButTheStandardThree) {
  const int leaked = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC
  ASSERT_GE(leaked, 3);
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", "exec ls /proc/self/fd"}, {});
  ::close(leaked);
  EXPECT_EQ(outcome.output, "0\n1\n2\n3\n");  // 3 is the folder ls reads
}

TEST(ChildProcessTest, TimeLimitEndsTheWholeGroup) {
  ScratchFolder folder;
  ChildSettings settings;
  settings.timeLimit = std::chrono::milliseconds(1000);
  const auto start = std::chrono::steady_clock::now();
  const ChildOutcome outcome = RunChildProcess({FakeOffice(folder, "sleep 30").string()}, settings);
  EXPECT_EQ(outcome.end, ChildEnd::kTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(ChildProcessTest, CancelEndsTheWholeGroup) {
  ScratchFolder folder;
  ChildSettings settings;
  settings.isCancelled = CancelOnceStarted(folder);
  const ChildOutcome outcome = RunChildProcess({FakeOffice(folder, "sleep 30").string()}, settings);
  EXPECT_EQ(outcome.end, ChildEnd::kCancelled);
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(ChildProcessTest, HelpersLeftBehindAreEnded) {
  ScratchFolder folder;
  const ChildOutcome outcome = RunChildProcess({FakeOffice(folder, "exit 0").string()}, {});
  EXPECT_EQ(outcome.end, ChildEnd::kExited);
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(ChildProcessTest, MissingProgramIsAnError) {
  EXPECT_EQ(ErrorText([] { RunChildProcess({"/nonexistent/soffice"}, {}); }),
            "cannot start /nonexistent/soffice: No such file or directory");
  EXPECT_TRUE(FindProgram("surely-no-such-program-here").empty());
  EXPECT_EQ(FindProgram("sh").filename(), "sh");
}

TEST(WorkFolderTest, RootIsCreatedBesideTheProgram) {
  ScratchFolder program;
  EXPECT_EQ(WorkFolderRoot(program.Path()), program / "temp");
  EXPECT_TRUE(std::filesystem::is_directory(program / "temp"));
}

TEST(WorkFolderTest, ReadOnlyProgramFolderFallsBackToTheCache) {
  ScratchFolder cache;
  ::setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  EXPECT_EQ(WorkFolderRoot("/proc"), cache / "quillet" / "temp");
  ::unsetenv("XDG_CACHE_HOME");
}

// The home folder stands in for a program folder that is not the user's to
// fill: read-only, or an installation (PREFIX/bin beside PREFIX/share/quillet).
TEST(ProgramFolderTest, DefaultOutputFolderAndProgramFiles) {
  ScratchFolder root;
  const std::filesystem::path bin = root / "bin";
  std::filesystem::create_directories(bin);
  EXPECT_EQ(DefaultOutputFolder(bin), bin);
  EXPECT_FALSE(IsInstalled(bin));
  EXPECT_EQ(DefaultOutputFolder("/proc"), HomeFolder());
  EXPECT_TRUE(FindProgramFile(bin, "qzp.html").empty());

  std::filesystem::create_directories(root / "share" / "quillet" / "ruffle");
  WriteBytes(root / "share" / "quillet" / "qzp.html", "installed");
  EXPECT_TRUE(IsInstalled(bin));
  EXPECT_EQ(DefaultOutputFolder(bin), HomeFolder());
  EXPECT_EQ(FindProgramFile(bin, "qzp.html"), root / "share" / "quillet" / "qzp.html");
  EXPECT_EQ(FindProgramFile(bin, "ruffle"), root / "share" / "quillet" / "ruffle");
  WriteBytes(bin / "qzp.html", "beside");  // a build tree with share/quillet in it
  EXPECT_EQ(FindProgramFile(bin, "qzp.html"), bin / "qzp.html");
  EXPECT_FALSE(IsInstalled(bin));
  EXPECT_EQ(DefaultOutputFolder(bin), bin);

  const std::string home = HomeFolder();
  ::setenv("HOME", (root / "home").c_str(), 1);
  EXPECT_EQ(HomeFolder(), root / "home");
  ::unsetenv("HOME");
  EXPECT_EQ(HomeFolder(), ::getpwuid(::getuid())->pw_dir);
  ::setenv("HOME", home.c_str(), 1);
}

TEST(WorkFolderTest, TwoHoldersNeverShareAFolder) {
  ScratchFolder root;
  std::filesystem::path firstPath;
  {
    const WorkFolder first = WorkFolder::Acquire(root.Path());
    const WorkFolder second = WorkFolder::Acquire(root.Path());
    firstPath = first.Path();
    EXPECT_EQ(first.Path(), root.Path());
    EXPECT_NE(second.Path(), first.Path());
    EXPECT_EQ(second.Path().parent_path(), root.Path());
    EXPECT_EQ(second.Path().filename().string().front(), '.');  // hidden from the first one's listing
  }
  const WorkFolder again = WorkFolder::Acquire(root.Path());
  EXPECT_EQ(again.Path(), firstPath);
}

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
