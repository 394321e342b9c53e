// quillet convert as a user runs it: options, exit codes, what goes to stdout
// and stderr, and the progress bar on a terminal. PDF decks keep LibreOffice
// out of these tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "conversion/web_page.h"
#include "platform/child_process.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::CommandRun;
using testing::MakePdf;
using testing::PdfPage;
using testing::Quote;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

// Why no pseudo-terminal can be made here, or "" when one can: a root
// without /dev/pts mounted has the multiplexer but no terminal behind it.
std::string NoPseudoTerminal() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return std::string("posix_openpt: ") + std::strerror(errno);
  std::string reason;
  const char* name = ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : nullptr;
  if (name == nullptr) {
    reason = std::string("no terminal behind the multiplexer: ") + std::strerror(errno);
  } else {
    const int terminal = ::open(name, O_RDWR | O_NOCTTY);
    if (terminal < 0) reason = std::string("cannot open ") + name + ": " + std::strerror(errno);
    if (terminal >= 0) ::close(terminal);
  }
  ::close(master);
  return reason;
}

// Whether the process whose id the file holds is gone (or a zombie waiting
// for its reaper) within five seconds; one still running is killed with its
// process group (LibreOffice's, not the test's), so that a failing test
// leaves nothing behind.
bool EndsWithinAMoment(const std::filesystem::path& pidFile) {
  const pid_t pid = static_cast<pid_t>(std::stol(ReadBytes(pidFile)));
  const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
  for (int attempt = 0; attempt < 250; ++attempt) {
    const std::string state = ReadBytes(stat);
    if (state.empty() || state.find(") Z") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const pid_t group = ::getpgid(pid);
  ::kill(group > 0 && group != ::getpgrp() ? -group : pid, SIGKILL);
  return false;
}

// The "Movie:" line quillet convert prints for the movie at `path`, which
// weighs under a megabyte.
std::string MovieLine(const std::filesystem::path& path, int slides) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  char weight[16];
  std::snprintf(weight, sizeof weight, "%.1f KB", static_cast<double>(bytes) / 1000);
  return "Movie: " + path.string() + " (" + std::to_string(slides) + (slides == 1 ? " slide, " : " slides, ") + weight +
         ")";
}

class ConvertCommandTest : public ::testing::Test {
 protected:
  // Runs quillet convert with `arguments` in the folder `cwd`.
  CommandRun Convert(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
                     const std::string& environment = "") {
    std::string command = "cd " + Quote(cwd.string()) + " && " + environment + " " + Quote(QUILLET_BINARY) + " convert";
    for (const std::string& argument : arguments) {
      command += ' ';
      command += Quote(argument);
    }
    return testing::RunShell(command, scratch_.Path());
  }

  std::string Deck(const std::string& name, int pages) {
    std::vector<PdfPage> list;
    for (int i = 0; i < pages; ++i) list.push_back(PdfPage{720, 540, testing::PageColour(i)});
    WriteBytes(decks_ / name, MakePdf(list));
    return (decks_ / name).string();
  }

  ScratchFolder scratch_;
  ScratchFolder decks_;
  ScratchFolder out_;
};

TEST_F(ConvertCommandTest, PrintsCompletionAndThePathsOnStdout) {
  const CommandRun run = Convert({Deck("talk.pdf", 2), "-o", out_.Path().string(), "--size", "small"}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_LT(std::filesystem::file_size(out_ / "talk.swf"), 100000u);
  EXPECT_EQ(run.out, "Conversion complete.\nPage:  " + (out_ / "talk.html").string() + "\n" +
                         MovieLine(out_ / "talk.swf", 2) + "\n");
  EXPECT_EQ(run.err, "");  // no terminal, no progress bar
  EXPECT_EQ(AllNames(out_.Path()), (std::vector<std::string>{"talk.html", "talk.swf", "talk.swf.js"}));
  EXPECT_NE(ReadBytes(out_ / "talk.html").find("width=\"240\" height=\"180\""), std::string::npos);
}

TEST_F(ConvertCommandTest, WritesIntoTheCurrentFolderByDefault) {
  const CommandRun run = Convert({"--quiet", "--output=" + out_.Path().string(), Deck("a.pdf", 1)}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const CommandRun here = Convert({Deck("b.pdf", 1), "--size=big"}, out_.Path());
  EXPECT_EQ(here.exitCode, 0) << here.err;
  EXPECT_NE(here.out.find("Movie: " + (out_ / "b.swf").string()), std::string::npos) << here.out;
  EXPECT_NE(ReadBytes(out_ / "b.html").find("width=\"720\" height=\"540\""), std::string::npos);
}

// hd fits each slide into 1920 x 1080, keeping its shape, and the movie's
// stage is the picture's size; --quality keeps hd's sampling (4:4:4).
TEST_F(ConvertCommandTest, HdFitsFullHdKeepingTheShape) {
  WriteBytes(decks_ / "wide.pdf", MakePdf({PdfPage{960, 540, testing::PageColour(0)}}));
  struct Case {
    std::string deck;
    int width, height;
  };
  for (const Case& c : {Case{Deck("square.pdf", 1), 1440, 1080}, Case{(decks_ / "wide.pdf").string(), 1920, 1080}}) {
    const CommandRun run =
        Convert({c.deck, "-o", out_.Path().string(), "--size", "hd", "--quality", "60", "-q"}, scratch_.Path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string name = std::filesystem::path(c.deck).stem().string();
    const testing::SwfFile swf = testing::ReadSwf(ReadBytes(out_ / (name + ".swf")));
    EXPECT_EQ(swf.xMax, c.width * 20) << name;
    EXPECT_EQ(swf.yMax, c.height * 20) << name;
    const auto picture = std::find_if(swf.tags.begin(), swf.tags.end(),
                                      [](const testing::SwfTag& tag) { return tag.code == testing::kDefineBitsJpeg2; });
    ASSERT_NE(picture, swf.tags.end()) << name;
    const std::string& jpeg = picture->body;
    const std::size_t sof = jpeg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos) << name;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(jpeg[sof + at]); };
    EXPECT_EQ(byte(5) * 256 + byte(6), c.height) << name;
    EXPECT_EQ(byte(7) * 256 + byte(8), c.width) << name;
    EXPECT_EQ(byte(11), 0x11) << name << ": luminance sampled once per pixel";
  }
}

TEST_F(ConvertCommandTest, ShowsAProgressBarOnATerminal) {
  if (const std::string reason = NoPseudoTerminal(); !reason.empty()) {
    GTEST_SKIP() << "no pseudo-terminal can be made (is /dev/pts mounted?): " << reason;
  }
  const std::string deck = Deck("talk.pdf", 3);
  // script(1) runs the command on a terminal and echoes what it shows.
  const std::string barCommand =
      "cd " + Quote(out_.Path().string()) + " && " + Quote(QUILLET_BINARY) + " convert " + Quote(deck) + " >/dev/null";
  const ChildOutcome bar = RunChildProcess({"/usr/bin/script", "-qec", barCommand, "/dev/null"}, {});
  EXPECT_EQ(bar.exitCode, 0) << bar.output;
  EXPECT_NE(bar.output.find("Converting..."), std::string::npos) << bar.output;
  EXPECT_NE(bar.output.find("] 33%  slide 2/3"), std::string::npos) << bar.output;
  EXPECT_NE(bar.output.find("] 67%  slide 3/3"), std::string::npos) << bar.output;
}

// While LibreOffice works (a stand-in that takes over two seconds), the line
// tells the stage and the seconds, then the bar runs.
TEST_F(ConvertCommandTest, TerminalShowsTheExportMoving) {
  if (const std::string reason = NoPseudoTerminal(); !reason.empty()) {
    GTEST_SKIP() << "no pseudo-terminal can be made (is /dev/pts mounted?): " << reason;
  }
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  const std::string pdf = Deck("printed.pdf", 2);
  WriteBytes(bin / "soffice",
             "#!/bin/sh\nfor argument; do deck=$argument; done\nwhile [ \"$1\" != --outdir ]; do shift; done\n"
             "sleep 2.3\nmkdir -p \"$2\"\nname=$(basename \"$deck\")\ncp '" +
                 pdf + "' \"$2/${name%.*}.pdf\"\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  WriteBytes(decks_ / "talk.ppt", "a deck");
  const std::string command = "cd " + Quote(out_.Path().string()) + " && PATH=" + Quote(bin.string()) + ":$PATH " +
                              Quote(QUILLET_BINARY) + " convert " + Quote((decks_ / "talk.ppt").string()) +
                              " >/dev/null";
  const ChildOutcome shown = RunChildProcess({"/usr/bin/script", "-qec", command, "/dev/null"}, {});
  EXPECT_EQ(shown.exitCode, 0) << shown.output;
  for (const char* step : {"Exporting slides with LibreOffice... 0 s", "Exporting slides with LibreOffice... 1 s",
                           "Exporting slides with LibreOffice... 2 s", "] 50%  slide 2/2"}) {
    EXPECT_NE(shown.output.find(step), std::string::npos) << step << " in " << shown.output;
  }
}

struct Misuse {
  std::vector<std::string> arguments;
  int exitCode;
  std::string err;
};

class ConvertMisuseTest : public ConvertCommandTest, public ::testing::WithParamInterface<Misuse> {};

TEST_P(ConvertMisuseTest, OneLineOnStderrAndNonZeroExit) {
  const CommandRun run = Convert(GetParam().arguments, scratch_.Path());
  EXPECT_EQ(run.exitCode, GetParam().exitCode);
  EXPECT_EQ(run.err, GetParam().err);
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ConvertMisuseTest,
    ::testing::Values(
        Misuse{{}, 2, "quillet convert: no presentation given (try quillet convert --help)\n"},
        Misuse{{"a.ppt", "--size", "huge"},
               2,
               "quillet convert: --size must be small, medium, big or hd, not 'huge' (try quillet convert --help)\n"},
        Misuse{{"a.ppt", "--quality", "0"},
               2,
               "quillet convert: --quality must be a whole number from 1 to 100, not '0' (try quillet convert "
               "--help)\n"},
        Misuse{{"a.ppt", "--quality=101"},
               2,
               "quillet convert: --quality must be a whole number from 1 to 100, not '101' (try quillet convert "
               "--help)\n"},
        Misuse{{"a.ppt", "--advance", "-1"},
               2,
               "quillet convert: --advance must be a whole number of seconds from 0 to 86400, not '-1' (try "
               "quillet convert --help)\n"},
        Misuse{{"a.ppt", "--frames"}, 2, "quillet convert: unknown option '--frames' (try quillet convert --help)\n"},
        Misuse{{"a.ppt", "-o"}, 2, "quillet convert: -o needs a value (try quillet convert --help)\n"},
        Misuse{{"a.ppt", "-o", ""},
               2,
               "quillet convert: -o needs a folder, not an empty name (try quillet convert --help)\n"},
        Misuse{{"a.ppt", "--output=", "--quiet"},
               2,
               "quillet convert: --output needs a value (try quillet convert --help)\n"},
        Misuse{{"a.ppt", "--time-limit", "0"},
               2,
               "quillet convert: --time-limit must be a whole number of seconds from 1 to 86400, not '0' (try "
               "quillet convert --help)\n"},
        Misuse{{"/nonexistent/a.ppt"}, 1, "quillet convert: cannot find the presentation /nonexistent/a.ppt\n"},
        Misuse{{"/dev/null"}, 1, "quillet convert: /dev/null is not a file\n"},
        Misuse{{"--", "-dash.ppt"}, 1, "quillet convert: cannot find the presentation -dash.ppt\n"}));

// -o makes the folder when its parent exists, as mkdir does; a missing parent
// is named. A reader that goes away after the first line changes nothing.
TEST_F(ConvertCommandTest, OutputFolderIsMadeWhenItsParentExists) {
  const std::string deeper = (out_ / "missing" / "deeper").string();
  const CommandRun run = Convert({Deck("a.pdf", 1), "-o", deeper}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "quillet convert: cannot create the output folder " + deeper + ": its parent folder " +
                         (out_ / "missing").string() + " does not exist\n");
  EXPECT_TRUE(AllNames(out_.Path()).empty());
  const std::string made = (out_ / "made").string();
  const ChildOutcome piped = RunChildProcess({"/bin/bash", "-c",
                                              Quote(QUILLET_BINARY) + " convert " + Quote(Deck("b.pdf", 1)) + " -o " +
                                                  Quote(made) + " | true; echo ${PIPESTATUS[0]}"},
                                             {});
  EXPECT_EQ(piped.output, "0\n");
  EXPECT_EQ(AllNames(made), (std::vector<std::string>{"b.html", "b.swf", "b.swf.js"}));
}

// A stand-in for LibreOffice first on PATH that only leaves a mark.
class ProtectedDeckTest : public ConvertCommandTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ProtectedDeckTest, IsRefusedWithoutStartingLibreOffice) {
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice", "#!/bin/sh\ntouch '" + (scratch_ / "started").string() + "'\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  const std::filesystem::path deck = decks_ / GetParam();
  std::filesystem::copy_file(std::filesystem::path(QUILLET_TEST_DATA) / GetParam(), deck);
  const std::string command = "PATH=" + Quote(bin.string()) + ":$PATH " + Quote(QUILLET_BINARY) + " convert " +
                              Quote(deck.string()) + " -o " + Quote(out_.Path().string()) + " 2>&1";
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", command}, {});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.output, "quillet convert: " + deck.string() +
                                " is protected by a password; open it in Impress or PowerPoint, remove the password "
                                "(save a copy without one) and convert that copy\n");
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "started"));
  EXPECT_TRUE(AllNames(out_.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Decks, ProtectedDeckTest,
                         ::testing::Values("protected.ppt", "protected.pptx", "protected.odp"));

TEST_F(ConvertCommandTest, FailedPageRenameIsAFailureAndKeepsEarlierOutputs) {
  WriteBytes(out_ / "talk.swf", "earlier movie");
  std::filesystem::create_directory(out_ / "talk.html");  // the rename onto it fails
  const CommandRun run = Convert({Deck("talk.pdf", 1), "-o", out_.Path().string()}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("quillet convert: cannot write " + (out_ / "talk.html").string(), 0), 0u) << run.err;
  EXPECT_EQ(AllNames(out_.Path()), (std::vector<std::string>{"talk.html", "talk.swf"}));
  EXPECT_EQ(ReadBytes(out_ / "talk.swf"), "earlier movie");
}

// Two decks of one name converted into one folder at once: each puts its
// whole set in place in turn, never a mix of both. The renames are slowed so
// that, without a lock, the first conversion's slow first rename would end
// after the second's movie and script and before its page.
TEST_F(ConvertCommandTest, TwoConversionsOfOneNameNeverMixTheirSets) {
  std::filesystem::create_directories(decks_ / "a");
  std::filesystem::create_directories(decks_ / "b");
  WriteBytes(decks_ / "a" / "talk.pdf", MakePdf({PdfPage{720, 540, testing::PageColour(0)}}));
  WriteBytes(decks_ / "b" / "talk.pdf", MakePdf({PdfPage{540, 720, testing::PageColour(1)}}));
  const auto convert = [&](const std::string& deck, const std::string& seconds) {
    return "QUILLET_SLOW_RENAME_SECONDS='" + seconds + "' " + Quote(QUILLET_BINARY) + " convert -o " +
           Quote(out_.Path().string()) + " " + Quote((decks_ / deck).string()) + " & ";
  };
  const std::string script = "export LD_PRELOAD=" + Quote(QUILLET_SLOW_RENAME) +
                             " QUILLET_SLOW_RENAME_FOLDER=" + Quote(out_.Path().string()) +
                             " ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\"\n" +
                             convert("a/talk.pdf", "1.5 0 0") + convert("b/talk.pdf", "0.6 0.6 0.6") + "wait";
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", script}, {});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
  const std::string movie = ReadBytes(out_ / "talk.swf");
  const testing::SwfFile swf = testing::ReadSwf(movie);
  const std::string size = swf.xMax == 360 * 20 ? "width=\"360\" height=\"270\"" : "width=\"270\" height=\"360\"";
  EXPECT_NE(ReadBytes(out_ / "talk.html").find(size), std::string::npos);
  EXPECT_EQ(ReadBytes(out_ / "talk.swf.js"), MovieScript("talk.swf", movie));
  EXPECT_EQ(AllNames(out_.Path()), (std::vector<std::string>{"talk.html", "talk.swf", "talk.swf.js"}));
}

// --open with a stand-in xdg-open first on PATH. One that fails at once: the
// outputs stand, the exit code is 0 and a warning names the page. One still
// running after the grace (it started a browser): the page counts as opened,
// and the command ends without waiting for it.
TEST_F(ConvertCommandTest, OpenSaysWhereThePageIsWhenNoBrowserTakesIt) {
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  const auto standIn = [&](const std::string& body) {
    WriteBytes(bin / "xdg-open", "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  };
  const std::string path = "PATH=" + Quote(bin.string()) + ":$PATH";
  const std::filesystem::path page = out_ / "talk.html";

  standIn("echo \"$1\" > " + Quote((scratch_ / "asked").string()) + "\nexit 3");
  const CommandRun failed = Convert({Deck("talk.pdf", 1), "-o", out_.Path().string(), "--open"}, scratch_.Path(), path);
  EXPECT_EQ(failed.exitCode, 0);
  EXPECT_EQ(failed.err,
            "quillet: warning: cannot open " + page.string() + " in a browser: xdg-open ended with status 3\n");
  EXPECT_EQ(ReadBytes(scratch_ / "asked"), page.string() + "\n");
  EXPECT_EQ(AllNames(out_.Path()), (std::vector<std::string>{"talk.html", "talk.swf", "talk.swf.js"}));

  const std::filesystem::path release = scratch_ / "release";
  standIn("echo $$ > " + Quote((scratch_ / "pid").string()) + "\ni=0\nwhile [ ! -e " + Quote(release.string()) +
          " ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done");
  const CommandRun opened =
      Convert({Deck("talk.pdf", 1), "-o", out_.Path().string(), "--open", "--quiet"}, scratch_.Path(), path);
  EXPECT_EQ(opened.exitCode, 0);
  EXPECT_EQ(opened.err, "");
  std::string pid = ReadBytes(scratch_ / "pid");
  for (int attempt = 0; attempt < 100 && pid.empty(); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pid = ReadBytes(scratch_ / "pid");
  }
  ASSERT_FALSE(pid.empty()) << "xdg-open was not started";
  const std::string stat = ReadBytes("/proc/" + std::to_string(std::stol(pid)) + "/stat");
  WriteBytes(release, "");
  EXPECT_TRUE(!stat.empty() && stat.find(") Z") == std::string::npos) << "the command waited for the opener to end";
}

TEST_F(ConvertCommandTest, TerminatingEndsLibreOfficeAndLeavesNoOutput) {
  // A stand-in for LibreOffice first on PATH: it starts a helper, says so, and hangs.
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice",
             "#!/bin/sh\nsleep 30 &\necho $! > '" + (scratch_ / "helper.pid").string() + "'\nsleep 30\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  WriteBytes(decks_ / "talk.ppt", "a deck");
  const std::string script = "PATH=" + Quote(bin.string()) + ":$PATH " + Quote(QUILLET_BINARY) + " convert " +
                             Quote((decks_ / "talk.ppt").string()) + " -o " + Quote(out_.Path().string()) + " 2>" +
                             Quote((scratch_ / "stderr").string()) + " & quillet=$!\n" + "while [ ! -s " +
                             Quote((scratch_ / "helper.pid").string()) + " ]; do sleep 0.05; done\n" +
                             "kill -TERM $quillet; wait $quillet; echo $?";
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", script}, {});
  EXPECT_EQ(outcome.output, "130\n");
  EXPECT_EQ(ReadBytes(scratch_ / "stderr"), "quillet convert: The conversion was cancelled.\n");
  EXPECT_TRUE(AllNames(out_.Path()).empty());
  EXPECT_TRUE(EndsWithinAMoment(scratch_ / "helper.pid"));
}

TEST_F(ConvertCommandTest, KillingQuilletEndsLibreOfficeAndItsHelpers) {
  // A stand-in for LibreOffice first on PATH that starts a helper in its
  // group and hangs; nothing of quillet is left to end them but what it set
  // up before SIGKILL.
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice", "#!/bin/sh\necho $$ > '" + (scratch_ / "soffice.pid").string() +
                                  "'\nsleep 30 &\necho $! > '" + (scratch_ / "helper.pid").string() + "'\nsleep 30\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  WriteBytes(decks_ / "talk.ppt", "a deck");
  const std::string script = "PATH=" + Quote(bin.string()) + ":$PATH " + Quote(QUILLET_BINARY) + " convert " +
                             Quote((decks_ / "talk.ppt").string()) + " -o " + Quote(out_.Path().string()) +
                             " 2>/dev/null & quillet=$!\n" + "while [ ! -s " +
                             Quote((scratch_ / "helper.pid").string()) + " ]; do sleep 0.05; done\n" +
                             "kill -KILL $quillet; wait $quillet 2>/dev/null; echo $?";
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", script}, {});
  EXPECT_EQ(outcome.output, "137\n");
  EXPECT_TRUE(EndsWithinAMoment(scratch_ / "soffice.pid"));
  EXPECT_TRUE(EndsWithinAMoment(scratch_ / "helper.pid"));
}

// The dynamic loader's own account (LD_DEBUG=files) of every library a run of
// quillet maps: convert maps poppler but none of Qt's libraries, encode maps
// neither, and the window maps Qt when asked for.
TEST_F(ConvertCommandTest, EachCommandLoadsOnlyWhatItUses) {
  const auto loaded = [&](const std::string& environment, const std::string& arguments) {
    const std::string command = environment + " LD_DEBUG=files " + Quote(QUILLET_BINARY) + " " + arguments +
                                " >/dev/null 2>" + Quote((scratch_ / "loader").string());
    RunChildProcess({"/bin/sh", "-c", command}, {});
    return ReadBytes(scratch_ / "loader");
  };
  const std::string convert =
      loaded("", "convert " + Quote(Deck("talk.pdf", 2)) + " -o " + Quote(out_.Path().string()));
  EXPECT_NE(convert.find("file=libpoppler-cpp.so"), std::string::npos) << convert;
  EXPECT_EQ(convert.find("libQt"), std::string::npos) << convert;
  WriteBytes(decks_ / "slide.ppm", "P6\n2 2\n255\n" + std::string(12, '\x7f'));
  const std::string encode =
      loaded("", "encode " + Quote((decks_ / "slide.ppm").string()) + " " + Quote((out_ / "slide.jpg").string()));
  EXPECT_NE(encode.find("file=libturbojpeg.so"), std::string::npos) << encode;
  EXPECT_EQ(encode.find("libQt"), std::string::npos) << encode;
  EXPECT_EQ(encode.find("libpoppler"), std::string::npos) << encode;
  EXPECT_EQ(encode.find("quillet-convert.so"), std::string::npos) << encode;
  EXPECT_EQ(AllNames(out_.Path()), (std::vector<std::string>{"slide.jpg", "talk.html", "talk.swf", "talk.swf.js"}));
  // A platform Qt cannot find makes the window give up right after loading Qt.
  const std::string window = loaded("QT_QPA_PLATFORM=no-such-platform", "");
  EXPECT_NE(window.find("quillet-window.so"), std::string::npos) << window;
  EXPECT_NE(window.find("file=libQt6Widgets.so"), std::string::npos) << window;
}

// A stand-in for LibreOffice first on PATH: it logs each run and prints
// every deck holding "good" as a PDF of one page; with CRASH set it dies
// after the first deck of a run of several.
std::filesystem::path StandInLibreOffice(const ScratchFolder& scratch, bool crash) {
  std::filesystem::path bin = scratch / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(scratch / "page.pdf", MakePdf({PdfPage{720, 540, testing::PageColour(3)}}));
  WriteBytes(bin / "soffice",
             "#!/bin/sh\necho run >> '" + (scratch / "runs").string() +
                 "'\nwhile [ \"$1\" != --outdir ]; do shift; done\nout=$2; shift 2\n"
                 "mkdir -p \"$out\"\nfor deck; do\n"
                 "  if grep -q good \"$deck\"; then name=$(basename \"$deck\"); cp '" +
                 (scratch / "page.pdf").string() +
                 "' \"$out/${name%.*}.pdf\"; else echo 'Error: source file could not be loaded'; fi\n" +
                 (crash ? "  [ $# -gt 1 ] && kill -SEGV $$\n" : "") + "done\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  return bin;
}

TEST_F(ConvertCommandTest, BatchWritesEveryGoodDeckAndFailsTheOthersAlone) {
  const std::filesystem::path bin = StandInLibreOffice(scratch_, false);
  WriteBytes(decks_ / "first.ppt", "good");
  WriteBytes(decks_ / "broken.pptx", "bad");
  std::filesystem::create_directory(decks_ / "again");
  const std::string again = Deck("again/first.pdf", 1);
  const std::string command = "PATH=" + Quote(bin.string()) + ":$PATH";
  const CommandRun run = Convert({(decks_ / "first.ppt").string(), (decks_ / "broken.pptx").string(),
                                  Deck("third.pdf", 2), again, "-o", out_.Path().string()},
                                 scratch_.Path(), command);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadBytes(scratch_ / "runs"), "run\n");  // one LibreOffice run for both .ppt decks
  EXPECT_EQ(run.err, "quillet convert: " + (decks_ / "broken.pptx").string() +
                         " is not a presentation LibreOffice can open (Error: source file could not be loaded)\n"
                         "quillet convert: cannot convert " +
                         again + ": " + (decks_ / "first.ppt").string() + " is converted to " +
                         (out_ / "first.swf").string() +
                         " already\n"
                         "quillet convert: 2 of 4 decks converted, 2 failed.\n");
  EXPECT_EQ(run.out, "Page:  " + (out_ / "first.html").string() + "\n" + MovieLine(out_ / "first.swf", 1) +
                         "\nPage:  " + (out_ / "third.html").string() + "\n" + MovieLine(out_ / "third.swf", 2) + "\n");
  EXPECT_EQ(AllNames(out_.Path()), (std::vector<std::string>{"first.html", "first.swf", "first.swf.js", "third.html",
                                                             "third.swf", "third.swf.js"}));
  EXPECT_EQ(testing::ReadSwf(ReadBytes(out_ / "third.swf")).frameCount, 2);
}

TEST_F(ConvertCommandTest, DecksACrashedBatchLeftAreTriedAlone) {
  const std::filesystem::path bin = StandInLibreOffice(scratch_, true);
  for (const char* name : {"a.ppt", "b.ppt", "c.ppt"}) WriteBytes(decks_ / name, "good");
  const CommandRun run = Convert({(decks_ / "a.ppt").string(), (decks_ / "b.ppt").string(), (decks_ / "c.ppt").string(),
                                  "-o", out_.Path().string(), "--quiet"},
                                 scratch_.Path(), "PATH=" + Quote(bin.string()) + ":$PATH");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadBytes(scratch_ / "runs"), "run\nrun\nrun\n");  // the batch, then b and c alone
  EXPECT_EQ(AllNames(out_.Path()).size(), 9u);
}

// LibreOffice that never finishes: a batch of three decks ends within four
// times the limit, not three times it for the batch and once more per deck.
TEST_F(ConvertCommandTest, HungLibreOfficeEndsABatchInBoundedTime) {
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice", "#!/bin/sh\nexec sleep 60\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  std::vector<std::string> arguments = {"--time-limit", "2", "-o", out_.Path().string()};
  for (const char* name : {"a.ppt", "b.ppt", "c.ppt"}) {
    WriteBytes(decks_ / name, "a deck");
    arguments.push_back((decks_ / name).string());
  }
  const auto start = std::chrono::steady_clock::now();
  const CommandRun run = Convert(arguments, scratch_.Path(), "PATH=" + Quote(bin.string()) + ":$PATH");
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_LT(seconds, 10.5);  // (3 + 1) x 2 s, and a moment for each stand-in to end
  for (const char* name : {"a.ppt", "b.ppt", "c.ppt"}) {
    EXPECT_NE(run.err.find("cannot convert " + (decks_ / name).string() +
                           ": LibreOffice did not finish within the time limit; the batch gave up on it after "),
              std::string::npos)
        << run.err;
  }
}

// What LibreOffice prints reaches a message short and clean: no chatter, no
// control characters, long lines cut, and in a batch only what is about the
// deck or an error. The decks are linked for it, never copied.
TEST_F(ConvertCommandTest, LibreOfficeMessagesAreShortAndTheDecksLinked) {
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice",
             "#!/bin/sh\nwhile [ \"$1\" != --outdir ]; do shift; done\nshift 2\nfor deck; do\n"
             "  stat -c '%h %F' \"$deck\" >> '" +
                 (scratch_ / "links").string() +
                 "'\n"
                 "  echo \"note: cannot read $(basename \"$deck\")\"\ndone\n"
                 "echo 'Warning: failed to launch javaldx - java may not function correctly'\n"
                 "echo 'libpng warning: iCCP: known incorrect sRGB profile'\n"
                 "printf 'Error: \\033[31mbad\\033[0m %300s\\n' x\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  WriteBytes(decks_ / "a.ppt", "a deck");
  WriteBytes(decks_ / "b.ppt", "a deck");
  const CommandRun run = Convert({(decks_ / "a.ppt").string(), (decks_ / "b.ppt").string(), "-o", out_.Path().string()},
                                 scratch_.Path(), "PATH=" + Quote(bin.string()) + ":$PATH");
  EXPECT_EQ(run.exitCode, 1);
  const std::string error = ("Error: [31mbad[0m " + std::string(299, ' ') + "x").substr(0, 160) + "...";
  EXPECT_EQ(run.err,
            "quillet convert: " + (decks_ / "a.ppt").string() +
                " is not a presentation LibreOffice can open (note: cannot read " + (decks_ / "a.ppt").string() +
                " / " + error + ")\nquillet convert: " + (decks_ / "b.ppt").string() +
                " is not a presentation LibreOffice can open (note: cannot read " + (decks_ / "b.ppt").string() +
                " / " + error + ")\nquillet convert: 0 of 2 decks converted, 2 failed.\n");
  const std::string links = ReadBytes(scratch_ / "links");
  EXPECT_TRUE(links == "2 regular file\n2 regular file\n" || links == "1 symbolic link\n1 symbolic link\n") << links;
}

// A work folder on a full file system is reported as such, not as a deck
// LibreOffice cannot open (a private mount of a small file system; root only).
TEST_F(ConvertCommandTest, FullWorkFolderIsReportedAsSuch) {
  if (RunChildProcess({"/usr/bin/unshare", "--mount", "/bin/true"}, {}).exitCode != 0) {
    GTEST_SKIP() << "cannot make a private mount here";
  }
  const std::filesystem::path program = scratch_ / "program";
  std::filesystem::create_directories(program / "temp");
  std::filesystem::copy_file(QUILLET_BINARY, program / "quillet");
  const std::filesystem::path part = std::filesystem::path(QUILLET_BINARY).parent_path() / "quillet-convert.so";
  std::filesystem::copy_file(part, program / part.filename());
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice", "#!/bin/sh\necho 'Error: source file could not be loaded'\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  WriteBytes(decks_ / "talk.ppt", "a deck");
  const std::string temp = Quote((program / "temp").string());
  const ChildOutcome run = RunChildProcess(
      {"/usr/bin/unshare", "--mount", "/bin/sh", "-c",
       "mount -t tmpfs -o size=4m tmpfs " + temp + " && : >" + temp +
           "/.quillet-work-folder && PATH=" + Quote(bin.string()) + ":$PATH " + Quote((program / "quillet").string()) +
           " convert " + Quote((decks_ / "talk.ppt").string()) + " -o " + Quote(out_.Path().string()) + " 2>&1"},
      {});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output.rfind("quillet convert: cannot convert " + (decks_ / "talk.ppt").string() +
                                 ": the work folder " + (program / "temp").string() + " is full (",
                             0),
            0u)
      << run.output;
}

TEST_F(ConvertCommandTest, BatchProgressShowsTheDeckCount) {
  if (const std::string reason = NoPseudoTerminal(); !reason.empty()) {
    GTEST_SKIP() << "no pseudo-terminal can be made (is /dev/pts mounted?): " << reason;
  }
  const std::string command = "cd " + Quote(out_.Path().string()) + " && " + Quote(QUILLET_BINARY) + " convert " +
                              Quote(Deck("a.pdf", 1)) + " " + Quote(Deck("b.pdf", 2)) + " >/dev/null";
  const ChildOutcome bar = RunChildProcess({"/usr/bin/script", "-qec", command, "/dev/null"}, {});
  EXPECT_EQ(bar.exitCode, 0) << bar.output;
  EXPECT_NE(bar.output.find("] 0%  slide 1/1  deck 1/2"), std::string::npos) << bar.output;
  EXPECT_NE(bar.output.find("] 50%  slide 2/2  deck 2/2"), std::string::npos) << bar.output;
}

// --player local: one copy of the player beside the pages of two decks; a
// program without the player's files says how to get them and converts nothing.
TEST_F(ConvertCommandTest, PlayerBesideThePage) {
  const CommandRun run =
      Convert({Deck("a.pdf", 1), Deck("b.pdf", 1), "-o", out_.Path().string(), "--player", "local"}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(out_ / "ruffle" / "ruffle.js"));
  EXPECT_NE(ReadBytes(out_ / "b.html").find("<script id=\"player-script\" src=\"ruffle/ruffle.js\">"),
            std::string::npos);

  const std::filesystem::path bare = scratch_ / "bare" / "bin";
  std::filesystem::create_directories(bare);
  std::filesystem::copy_file(QUILLET_BINARY, bare / "quillet");
  const std::filesystem::path part = std::filesystem::path(QUILLET_BINARY).parent_path() / "quillet-convert.so";
  std::filesystem::copy_file(part, bare / part.filename());
  const std::filesystem::path elsewhere = scratch_ / "elsewhere";
  std::filesystem::create_directories(elsewhere);
  const ChildOutcome refused = RunChildProcess(
      {(bare / "quillet").string(), "convert", Deck("c.pdf", 1), "-o", elsewhere.string(), "--player=local"}, {});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.output.find("run scripts/install-deps"), std::string::npos) << refused.output;
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

// A PDF deck has no speaker notes: --notes converts it, with one line saying so.
TEST_F(ConvertCommandTest, NotesOfAPdfDeckAreOneWarning) {
  const std::string deck = Deck("a.pdf", 2);
  const CommandRun run = Convert({deck, "-o", out_.Path().string(), "--notes", "--quiet"}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err,
            "quillet: warning: " + deck + " is a PDF file, which holds no speaker notes, so none are published\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(out_ / "a.html"));
}

// --scorm: NAME.zip beside the three files, the same bytes from two runs,
// a manifest the SCORM 1.2 schemas accept that lists exactly the zip's other
// files, and the platform code only in the package's page.
TEST_F(ConvertCommandTest, LearningPlatformPackage) {
  const std::string deck = Deck("my talk.pdf", 2);
  const CommandRun run = Convert({deck, "-o", out_.Path().string(), "--scorm", "--size", "small"}, scratch_.Path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\nPackage: " + (out_ / "my talk.zip").string() + "\n"), std::string::npos) << run.out;
  const std::filesystem::path again = scratch_ / "again";
  std::filesystem::create_directories(again);
  ASSERT_EQ(Convert({deck, "-o", again.string(), "--scorm", "--size", "small"}, scratch_.Path()).exitCode, 0);
  EXPECT_EQ(ReadBytes(again / "my talk.zip"), ReadBytes(out_ / "my talk.zip"));

  // Unpacked: the manifest's hrefs, decoded, against the zip's names.
  const std::filesystem::path unpacked = scratch_ / "unpacked";
  const CommandRun listed = testing::RunShell(
      "python3 -c 'import sys, zipfile, re, urllib.parse as u\n"
      "z = zipfile.ZipFile(sys.argv[1]); z.extractall(sys.argv[2])\n"
      "hrefs = re.findall(r\"<file href=\\\"([^\\\"]*)\\\"\", z.read(\"imsmanifest.xml\").decode())\n"
      "print(sorted(map(u.unquote, hrefs)) == sorted(set(z.namelist()) - {\"imsmanifest.xml\"}), len(hrefs))' " +
          Quote((out_ / "my talk.zip").string()) + " " + Quote(unpacked.string()),
      scratch_.Path());
  EXPECT_EQ(listed.out, "True 11\n") << listed.err;
  const std::string schemas = std::string(QUILLET_TEST_DATA) + "/scorm-1.2/all-namespaces.xsd";
  const CommandRun valid = testing::RunShell(
      "xmllint --noout --schema " + Quote(schemas) + " " + Quote((unpacked / "imsmanifest.xml").string()),
      scratch_.Path());
  EXPECT_EQ(valid.exitCode, 0) << valid.err;
  const std::string manifest = ReadBytes(unpacked / "imsmanifest.xml");
  EXPECT_NE(manifest.find("adlcp:scormtype=\"sco\" href=\"my%20talk.html\""), std::string::npos) << manifest;

  const std::string packaged = ReadBytes(unpacked / "my talk.html");
  EXPECT_NE(packaged.find("LMSInitialize"), std::string::npos);
  EXPECT_NE(packaged.find("src=\"ruffle/ruffle.js\""), std::string::npos);
  EXPECT_EQ(ReadBytes(out_ / "my talk.html").find("LMSInitialize"), std::string::npos);
  EXPECT_EQ(ReadBytes(unpacked / "my talk.swf"), ReadBytes(out_ / "my talk.swf"));
}

TEST_F(ConvertCommandTest, HelpDescribesTheCommand) {
  const CommandRun run = Convert({"--help"}, scratch_.Path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("Usage: quillet convert DECK... [-o DIR] [--size small|medium|big|hd] [--quality N] ", 0),
            0u);
  for (const char* point : {"needs LibreOffice Impress", "from the internet", "are replaced"}) {
    EXPECT_NE(run.out.find(point), std::string::npos) << point;
  }
  EXPECT_EQ(run.err, "");
}

// An unknown option is a usage error, never the window (which, offscreen,
// would wait for ever).
TEST_F(ConvertCommandTest, UnknownProgramOptionIsAUsageError) {
  ChildSettings settings;
  settings.timeLimit = std::chrono::seconds(20);
  const ChildOutcome outcome =
      RunChildProcess({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen", QUILLET_BINARY, "--anything-unknown"}, settings);
  EXPECT_EQ(outcome.end, ChildEnd::kExited);
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_EQ(outcome.output, "quillet: unknown option '--anything-unknown' (try quillet --help)\n");
}

}  // namespace
}  // namespace quillet
