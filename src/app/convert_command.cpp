// quillet convert: the conversion without a window. A progress bar with the
// percentage and the slide count (and the deck count in a batch) goes to
// stderr when stderr is a terminal; "Conversion complete." and the paths of
// the page and the movie go to stdout. Exit code 0 only when every output is
// written; any error is one line on stderr and a non-zero exit. Ctrl-C
// cancels: LibreOffice is ended and no partial output is left. Many decks
// are converted as a batch: one LibreOffice run, a failing deck fails alone,
// and a last line counts the decks converted and failed. This file is the
// convert part, quillet-convert.so, which the executable opens only for this
// command (part_loader.cpp).
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/commands.h"
#include "app/parts.h"
#include "conversion/convert_presentation.h"
#include "platform/child_process.h"
#include "platform/error.h"
#include "platform/page_opener.h"
#include "platform/program_folder.h"

// POSIX has the program declare it; glibc's <unistd.h> may too.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace quillet::app {
namespace {

constexpr const char* kConvertUsage =
    "Usage: quillet convert DECK... [-o DIR] [--size small|medium|big] [--player online|local] [--open] [--quiet]\n"
    "Turns the presentation DECK (.ppt, .pptx, .pps, .ppsx, .odp or .pdf) into an SWF slide show\n"
    "NAME.swf, the page NAME.html that plays it, and NAME.swf.js, which lets the page play it when\n"
    "opened straight from disk. NAME is the deck's file name without its extension. Several decks\n"
    "are converted in one go; one that fails does not stop the others.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR   write into DIR (default: the current folder)\n"
    "  --size SIZE        small (a third of the slide size), medium (half, the default) or big (full)\n"
    "  --player WHERE     where the page loads the Ruffle player from: online (unpkg.com, the\n"
    "                     default) or local (copied into DIR/ruffle, so the folder plays with no\n"
    "                     internet once served from a web server)\n"
    "  --open             open the page in the default browser afterwards\n"
    "  --quiet            print nothing but errors and warnings\n"
    "  -h, --help         show this help\n"
    "\n"
    "Converting needs LibreOffice Impress (package libreoffice-impress-nogui) for every deck but PDF files.\n"
    "The page loads its player, Ruffle, from the internet (unpkg.com).\n"
    "Existing NAME.swf, NAME.swf.js and NAME.html in DIR are replaced, once the new ones are complete.\n"
    "\n"
    "Exit status: 0 when every output is written, 1 when the conversion (or any deck of several)\n"
    "failed, 2 for a usage error, 130 when interrupted.\n";

enum ExitCode : int {
  kSuccess = 0,
  kFailure = 1,
  kUsage = 2,
  kInterrupted = 130,
};

constexpr int kBarWidth = 30;
constexpr int kKeptBlockBytes = 32 << 20;  // blocks below this come from the heap, not from mmap
constexpr int kKeptFreeBytes = 256 << 20;  // free heap kept before any is given back

struct ConvertOptions {
  std::vector<std::string> decks;
  std::string outputFolder;
  int sizeDivisor = 2;
  PlayerSource player = PlayerSource::kOnline;
  bool open = false;
  bool quiet = false;
  bool help = false;
};

CancelFlag* activeCancel = nullptr;

void CancelOnSignal(int) {
  if (activeCancel != nullptr) activeCancel->Cancel();
}

// One line, whatever the message holds.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::optional<int> DivisorForSize(const std::string& size) {
  if (size == "small") return 3;
  if (size == "medium") return 2;
  if (size == "big") return 1;
  return std::nullopt;
}

ConvertOptions ParseOptions(int argc, char** argv) {
  ConvertOptions options;
  bool onlyOperands = false;
  auto valueOf = [&](int& i, const std::string& option) -> std::string {
    if (i + 1 >= argc) throw UsageError(option + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!onlyOperands && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--") {
        onlyOperands = true;
      } else if (argument == "-h" || argument == "--help") {
        options.help = true;
      } else if (argument == "-o" || argument == "--output") {
        options.outputFolder = valueOf(i, argument);
      } else if (argument.rfind("--output=", 0) == 0) {
        options.outputFolder = argument.substr(9);
      } else if (argument == "--size" || argument.rfind("--size=", 0) == 0) {
        const std::string size = argument == "--size" ? valueOf(i, argument) : argument.substr(7);
        const std::optional<int> divisor = DivisorForSize(size);
        if (!divisor) throw UsageError("--size must be small, medium or big, not '" + size + "'");
        options.sizeDivisor = *divisor;
      } else if (argument == "--player" || argument.rfind("--player=", 0) == 0) {
        const std::string where = argument == "--player" ? valueOf(i, argument) : argument.substr(9);
        if (where == "online") {
          options.player = PlayerSource::kOnline;
        } else if (where == "local") {
          options.player = PlayerSource::kBesidePage;
        } else {
          throw UsageError("--player must be online or local, not '" + where + "'");
        }
      } else if (argument == "--open") {
        options.open = true;
      } else if (argument == "--quiet" || argument == "-q") {
        options.quiet = true;
      } else {
        throw UsageError("unknown option '" + argument + "'");
      }
      continue;
    }
    options.decks.push_back(argument);
  }
  if (!options.help && options.decks.empty()) throw UsageError("no presentation given");
  return options;
}

class TerminalObserver : public ConversionObserver {
 public:
  TerminalObserver(bool quiet, bool open) : quiet_(quiet), open_(open), bar_(!quiet && ::isatty(STDERR_FILENO)) {}

  void ShowProgress(int percent, int slidesDone, int slideCount) override {
    if (!bar_) return;
    const int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
    std::cerr << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << percent << "%  slide "
              << slidesDone << "/" << slideCount;
    if (deckCount_ > 1) std::cerr << "  deck " << deckNumber_ << "/" << deckCount_;
    std::cerr << std::flush;
  }
  void ShowDeck(int number, int count, const std::string&) override {
    deckNumber_ = number;
    deckCount_ = count;
  }
  void ShowStatus(const std::string& text) override {
    if (bar_) std::cerr << "\r\033[K" << text << std::flush;
  }
  void ClearProgress() override {
    if (bar_) std::cerr << "\r\033[K" << std::flush;
  }
  void ConversionComplete() override {
    if (!quiet_ && deckCount_ <= 1) std::cout << "Conversion complete." << std::endl;
  }
  void Warning(const std::string& text) override {
    ClearLine();
    std::cerr << "quillet: warning: " << OneLine(text) << std::endl;
  }
  // The outputs are written whatever the browser does: a page that cannot
  // be opened is a warning that says where it is.
  void OpenPage(const std::filesystem::path& page) override {
    if (!open_) return;
    const OpenOutcome outcome = OpenWithDefaultApplication(page);
    if (!outcome.opened) Warning("cannot open " + page.string() + " in a browser: " + outcome.problem);
  }
  // Leaves the terminal line clean before an error is printed.
  void ClearLine() {
    if (bar_) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  bool quiet_;
  bool open_;
  bool bar_;
  int deckNumber_ = 0;
  int deckCount_ = 0;
};

// Many decks: the page and movie of each deck converted, one line on stderr
// for each deck that failed, and a last line that counts them.
int ConvertBatch(const ConvertOptions& options, const std::string& outputFolder, const ConversionSetup& setup,
                 TerminalObserver& observer, const CancelFlag& cancel) {
  const std::vector<DeckOutcome> outcomes =
      ConvertPresentations(options.decks, outputFolder, options.sizeDivisor, setup, observer, cancel);
  observer.ClearLine();
  std::size_t failed = 0;
  for (const DeckOutcome& deck : outcomes) {
    if (!deck.error.empty()) {
      ++failed;
      std::cerr << "quillet convert: " << OneLine(deck.error) << "\n";
    } else if (!options.quiet) {
      std::cout << "Page:  " << deck.outcome.page.string() << "\n"
                << "Movie: " << deck.outcome.movie.string() << "\n";
    }
  }
  const std::string count = std::to_string(outcomes.size() - failed) + " of " + std::to_string(outcomes.size()) +
                            " decks converted, " + std::to_string(failed) + " failed.";
  if (failed > 0) {
    std::cout << std::flush;
    std::cerr << "quillet convert: " << count << std::endl;
    return kFailure;
  }
  if (!options.quiet) std::cout << count << std::endl;
  return kSuccess;
}

}  // namespace

int RunConvertPart(int argc, char** argv) {
  ConvertOptions options;
  try {
    options = ParseOptions(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "quillet convert: " << error.what() << " (try quillet convert --help)\n";
    return kUsage;
  }
  if (options.help) {
    std::cout << kConvertUsage;
    return kSuccess;
  }

  // Every slide takes and gives back a few pictures of a megabyte or more.
  // By default the C library hands such blocks back to the system and takes
  // them again, page by page, for each slide; keeping them costs a few
  // megabytes and saves about a sixth of the conversion's processor time.
  mallopt(M_MMAP_THRESHOLD, kKeptBlockBytes);
  mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);

  TerminalObserver observer(options.quiet, options.open);
  CancelFlag cancel;
  activeCancel = &cancel;
  struct sigaction action {};
  action.sa_handler = CancelOnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);

  int exitCode = kSuccess;
  try {
    JobState job;
    job.m_SizeDivisor = options.sizeDivisor;
    ConversionSetup setup;
    setup.programFolder = ProgramFolder();
    setup.player = options.player;
    const std::string outputFolder =
        options.outputFolder.empty() ? std::filesystem::current_path().string() : options.outputFolder;
    if (options.decks.size() > 1) {
      exitCode = ConvertBatch(options, outputFolder, setup, observer, cancel);
      activeCancel = nullptr;
      return exitCode;
    }
    const ConversionOutcome outcome =
        ConvertPresentation(job, options.decks.front(), outputFolder, setup, observer, cancel);
    if (!options.quiet) {
      std::cout << "Page:  " << outcome.page.string() << "\n"
                << "Movie: " << outcome.movie.string() << std::endl;
    }
  } catch (const ConversionCancelled& cancelled) {
    observer.ClearLine();
    std::cerr << "quillet convert: " << cancelled.what() << "\n";
    exitCode = kInterrupted;
  } catch (const std::exception& error) {
    observer.ClearLine();
    std::cerr << "quillet convert: " << OneLine(error.what()) << "\n";
    exitCode = kFailure;
  }
  activeCancel = nullptr;
  return exitCode;
}

}  // namespace quillet::app

extern "C" __attribute__((visibility("default"))) int quillet_run_convert(int argc, char** argv) {
  return quillet::app::RunConvertPart(argc, argv);
}
static_assert(std::is_same_v<decltype(&quillet_run_convert), quillet::app::PartEntry>);
