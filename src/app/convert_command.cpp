// quillet convert: the conversion without a window. A progress bar with the
// percentage and the slide count (and the deck count in a batch) goes to
// stderr when stderr is a terminal; "Conversion complete." and the paths of
// the page and the movie go to stdout. Exit code 0 only when every output is
// written; any error is one line on stderr and a non-zero exit. Ctrl-C
// cancels: LibreOffice is ended and no partial output is left. Many decks
// are converted as a batch: one LibreOffice run, a failing deck fails alone,
// and a last line counts the decks converted and failed. This file is the
// convert part, quillet-convert.so, which the executable opens only for this
// command (part_loader.cpp). Thousands of decks come from a list
// (--files-from), a task of many machines takes its share (--shard) and says
// what became of each deck in a JSON-lines report (--report): deck_list.cpp
// and deck_report.cpp.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/command_line.h"
#include "app/commands.h"
#include "app/deck_list.h"
#include "app/deck_report.h"
#include "app/parts.h"
#include "conversion/convert_presentation.h"
#include "platform/error.h"
#include "platform/page_opener.h"
#include "platform/program_folder.h"

namespace quillet::app {
namespace {

constexpr const char* kConvertUsage =
    "Usage: quillet convert DECK... [-o DIR] [--size small|medium|big|hd] [--quality N] [--player online|local]\n"
    "                       [--advance SECONDS] [--time-limit SECONDS] [--scorm] [--notes] [--open] [--quiet]\n"
    "                       [--files-from LIST [--null]] [--shard I/N] [--report FILE]\n"
    "Turns the presentation DECK (.ppt, .pptx, .pps, .ppsx, .odp or .pdf) into an SWF slide show\n"
    "NAME.swf, the page NAME.html that plays it, and NAME.swf.js, which lets the page play it when\n"
    "opened straight from disk. NAME is the deck's file name without its extension. Several decks\n"
    "are converted in one go; one that fails does not stop the others.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR   write into DIR (default: the current folder); DIR is created when its\n"
    "                     parent folder exists\n"
    "  --size SIZE        small (a third of the slide size), medium (half, the default), big (full)\n"
    "                     or hd (each slide fitted into 1920 x 1080, for full screen)\n"
    "  --quality N        the slide pictures' JPEG quality, 1 to 100 (default 100; at hd, 95)\n"
    "  --player WHERE     where the page loads the Ruffle player from: online (unpkg.com, the\n"
    "                     default) or local (copied into DIR/ruffle, so the folder plays with no\n"
    "                     internet once served from a web server)\n"
    "  --advance SECONDS  go on to the next slide by itself every SECONDS (the last back to the\n"
    "                     first), for a screen nobody attends; a key or a click restarts the wait;\n"
    "                     0 (the default) never\n"
    "  --time-limit SECONDS\n"
    "                     end LibreOffice when it has not printed a deck after SECONDS (default 600;\n"
    "                     N decks of a batch have N times as long, and at most one more for the\n"
    "                     decks tried again alone)\n"
    "  --scorm            also write NAME.zip, a SCORM 1.2 package for a learning platform (Moodle,\n"
    "                     Canvas, ...): the page reports the slide shown, resumes there and reports\n"
    "                     the deck completed once every slide was shown; it carries the player\n"
    "  --notes            add each slide's speaker notes to the page's text of the slides (off by\n"
    "                     default, as notes are often private; a PDF deck has none)\n"
    "  --open             open the page in the default browser afterwards\n"
    "  --quiet            print nothing but errors and warnings\n"
    "  --files-from LIST  also convert the decks named in the file LIST (- for standard input), one\n"
    "                     path a line; blank lines are skipped, a relative path is relative to the\n"
    "                     current folder\n"
    "  --null             the paths in LIST end with a NUL byte, not a new line (find -print0)\n"
    "  --shard I/N        convert only share I of N (1 <= I <= N): the decks sorted bytewise and dealt\n"
    "                     out in turn, so N tasks, each given the same decks, convert each deck once;\n"
    "                     of decks with one output name, the first in that order keeps it and the\n"
    "                     others fail\n"
    "  --report FILE      write FILE: one JSON line for each deck, written as the deck is done (deck,\n"
    "                     outcome, shard, page, movie, script, package, slides, movie_bytes, seconds,\n"
    "                     cause, message); FILE appears at the end, also after an interruption, which\n"
    "                     its last line then tells\n"
    "  -h, --help         show this help\n"
    "\n"
    "Converting needs LibreOffice Impress (package libreoffice-impress-nogui) for every deck but PDF files.\n"
    "The page loads its player, Ruffle, from the internet (unpkg.com).\n"
    "Existing NAME.swf, NAME.swf.js, NAME.html (and NAME.zip) in DIR are replaced, once the new ones\n"
    "are complete.\n"
    "\n"
    "Exit status: 0 when every output is written, 1 when the conversion (or any deck of several)\n"
    "failed, 2 for a usage error, 130 when interrupted.\n";

constexpr int kBarWidth = 30;
constexpr int kKeptBlockBytes = 32 << 20;  // blocks below this come from the heap, not from mmap
constexpr int kKeptFreeBytes = 256 << 20;  // free heap kept before any is given back

struct ConvertOptions {
  std::vector<std::string> decks;
  std::string outputFolder;
  int sizeDivisor = 2;
  bool fullHd = false;
  int quality = 0;
  int advanceSeconds = 0;
  PlayerSource player = PlayerSource::kOnline;
  int timeLimitSeconds = 600;
  bool learningPackage = false;
  bool notes = false;
  bool open = false;
  bool quiet = false;
  bool help = false;
  // A run over a list, a share or with a report always goes through the
  // batch driver, even for one deck.
  std::optional<Shard> shard;
  std::string report;
  bool archive = false;
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

std::optional<int> DivisorForSize(const std::string& size) {
  if (size == "small") return 3;
  if (size == "medium") return 2;
  if (size == "big" || size == "hd") return 1;
  return std::nullopt;
}

// A whole number from `least` to `most` given to `option`, else a usage
// error that says what `option` takes.
int WholeNumber(const std::string& option, const std::string& text, int least, int most, const std::string& unit) {
  const bool digits = !text.empty() && text.size() <= 6 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  const int number = digits ? std::stoi(text) : -1;
  if (number < least || number > most) {
    throw UsageError(option + " must be a whole number" + unit + " from " + std::to_string(least) + " to " +
                     std::to_string(most) + ", not '" + text + "'");
  }
  return number;
}

// A whole number of seconds from 1 to a day.
int TimeLimit(const std::string& text) { return WholeNumber("--time-limit", text, 1, 24 * 60 * 60, " of seconds"); }

// "1.3 MB" from a megabyte on, else "870.2 KB": MB and KB of 1,000,000 and
// 1,000 bytes, one decimal.
std::string Weight(std::uintmax_t bytes) {
  char text[32];
  const bool megabytes = bytes >= 1000 * 1000;
  std::snprintf(text, sizeof text, megabytes ? "%.1f MB" : "%.1f KB",
                static_cast<double>(bytes) / (megabytes ? 1e6 : 1e3));
  return text;
}

// "Movie: PATH (12 slides, 1.3 MB)".
std::string MovieLine(const ConversionOutcome& outcome) {
  return "Movie: " + outcome.movie.string() + " (" + std::to_string(outcome.slideCount) +
         (outcome.slideCount == 1 ? " slide, " : " slides, ") + Weight(outcome.movieBytes) + ")";
}

ConvertOptions ParseOptions(int argc, char** argv) {
  ConvertOptions options;
  std::optional<std::string> output, size, player, timeLimit, quality, advance, filesFrom, shard, report;
  bool nulSeparated = false;
  CLI::App parser;
  SetUpParser(parser);
  parser.add_flag("-h,--help", options.help);
  parser.add_option("-o,--output", output);
  parser.add_option("--size", size);
  parser.add_option("--player", player);
  parser.add_option("--time-limit", timeLimit);
  parser.add_option("--quality", quality);
  parser.add_option("--advance", advance);
  parser.add_flag("--scorm", options.learningPackage);
  parser.add_flag("--notes", options.notes);
  parser.add_flag("--open", options.open);
  parser.add_flag("-q,--quiet", options.quiet);
  parser.add_option("--files-from", filesFrom);
  parser.add_flag("--null", nulSeparated);
  parser.add_option("--shard", shard);
  parser.add_option("--report", report);
  parser.add_option("decks", options.decks);
  Parse(parser, argc, argv);
  for (std::string& operand : RemainingOrUnknown(parser)) options.decks.push_back(std::move(operand));
  if (options.help) return options;
  if (output) {
    if (output->empty()) {
      const bool longForm =
          std::any_of(argv + 1, argv + argc, [](std::string_view a) { return a.rfind("--output", 0) == 0; });
      throw UsageError(std::string(longForm ? "--output" : "-o") + " needs a folder, not an empty name");
    }
    options.outputFolder = *output;
  }
  if (size) {
    const std::optional<int> divisor = DivisorForSize(*size);
    if (!divisor) throw UsageError("--size must be small, medium, big or hd, not '" + *size + "'");
    options.sizeDivisor = *divisor;
    options.fullHd = *size == "hd";
  }
  if (player) {
    if (*player == "online") {
      options.player = PlayerSource::kOnline;
    } else if (*player == "local") {
      options.player = PlayerSource::kBesidePage;
    } else {
      throw UsageError("--player must be online or local, not '" + *player + "'");
    }
  }
  if (timeLimit) options.timeLimitSeconds = TimeLimit(*timeLimit);
  if (quality) options.quality = WholeNumber("--quality", *quality, 1, 100, "");
  if (advance) options.advanceSeconds = WholeNumber("--advance", *advance, 0, 24 * 60 * 60, " of seconds");
  if (nulSeparated && !filesFrom) throw UsageError("--null reads the list of --files-from, which is not given");
  if (shard) options.shard = ParseShard(*shard);
  if (report) {
    if (report->empty()) throw UsageError("--report needs a file name, not an empty name");
    options.report = *report;
  }
  options.archive = filesFrom || shard || report;
  if (filesFrom) {
    std::vector<std::string> listed = ReadDeckList(*filesFrom, nulSeparated);
    if (listed.empty() && options.decks.empty()) {
      throw UsageError("the list " + (*filesFrom == "-" ? std::string("on standard input") : *filesFrom) +
                       " names no presentation");
    }
    options.decks.insert(options.decks.end(), listed.begin(), listed.end());
  }
  if (options.decks.empty()) throw UsageError("no presentation given");
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
  void ShowDeck(int number, int count, const std::string& deck) override {
    deckNumber_ = number;
    deckCount_ = count;
    startedDeck_ = deck;
    deckStart_ = std::chrono::steady_clock::now();
  }
  // Each deck done goes into the report, when there is one; the seconds run
  // from its own start, so a deck refused before any work took none.
  void DeckFinished(const DeckOutcome& deck) override {
    if (report_ == nullptr) return;
    double seconds = 0;
    if (deck.deck == startedDeck_) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - deckStart_).count();
    }
    report_->Add(deck, CauseName(deck.cause), seconds);
    startedDeck_.clear();
  }
  void SetReport(DeckReport* report) { report_ = report; }
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
  DeckReport* report_ = nullptr;
  std::string startedDeck_;
  std::chrono::steady_clock::time_point deckStart_;
};

void PrintWritten(const ConversionOutcome& outcome) {
  std::cout << "Page:  " << outcome.page.string() << "\n" << MovieLine(outcome) << "\n";
  if (!outcome.package.empty()) std::cout << "Package: " << outcome.package.string() << "\n";
}

void PrintWritten(const std::vector<DeckOutcome>& decks, bool quiet) {
  if (quiet) return;
  for (const DeckOutcome& deck : decks) PrintWritten(deck.outcome);
}

// "Written before the cancel: 2 of 5 decks (a.ppt, b.ppt)." after a
// cancelled batch.
std::string WrittenCount(const BatchCancelled& cancelled) {
  const std::vector<DeckOutcome>& written = cancelled.Converted();
  std::string text = "Written before the cancel: " + std::to_string(written.size()) + " of " +
                     std::to_string(cancelled.DeckCount()) + " decks";
  for (std::size_t i = 0; i < written.size(); ++i) text += (i == 0 ? " (" : ", ") + written[i].deck;
  return OneLine(text + (written.empty() ? "." : ")."));
}

// -o DIR makes DIR when its parent folder exists, as mkdir does.
void CreateOutputFolder(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::exists(folder, error)) return;
  std::filesystem::path parent = std::filesystem::path(folder).parent_path();
  if (parent.empty()) parent = ".";
  if (!std::filesystem::is_directory(parent, error)) {
    throw Error(
        kGeneral,
        "cannot create the output folder " + folder + ": its parent folder " + parent.string() + " does not exist",
        FailureCause::kOutputFolder);
  }
  if (!std::filesystem::create_directory(folder, error) && error) {
    throw Error(kGeneral, "cannot create the output folder " + folder + ": " + error.message(),
                FailureCause::kOutputFolder);
  }
}

// Many decks: the page and movie of each deck converted, one line on stderr
// for each deck that failed, and a last line that counts them.
int TellOutcomes(const std::vector<DeckOutcome>& outcomes, bool quiet, TerminalObserver& observer) {
  observer.ClearLine();
  std::size_t failed = 0;
  for (const DeckOutcome& deck : outcomes) {
    if (!deck.error.empty()) {
      ++failed;
      std::cerr << "quillet convert: " << OneLine(deck.error) << "\n";
    } else {
      PrintWritten({deck}, quiet);
    }
  }
  const std::string count = std::to_string(outcomes.size() - failed) + " of " + std::to_string(outcomes.size()) +
                            " decks converted, " + std::to_string(failed) + " failed.";
  if (failed > 0) {
    std::cout << std::flush;
    std::cerr << "quillet convert: " << count << std::endl;
    return kFailure;
  }
  if (!quiet) std::cout << count << std::endl;
  return kSuccess;
}

int ConvertBatch(const ConvertOptions& options, const std::string& outputFolder, const ConversionSetup& setup,
                 TerminalObserver& observer, const CancelFlag& cancel) {
  return TellOutcomes(ConvertPresentations(options.decks, outputFolder, options.sizeDivisor, setup, observer, cancel),
                      options.quiet, observer);
}

// A list, a share of it, or a report: the decks of the share that are
// refused already fail at once, the others are converted as one batch, and
// the report, when asked for, is put in place at the end whatever happened.
int ConvertShare(const ConvertOptions& options, const std::string& outputFolder, const ConversionSetup& setup,
                 TerminalObserver& observer, const CancelFlag& cancel) {
  std::vector<ShareDeck> share;
  if (options.shard) {
    share = TakeShare(options.decks, *options.shard, outputFolder);
  } else {
    for (const std::string& deck : options.decks) share.push_back(ShareDeck{deck, ""});
  }
  std::optional<DeckReport> report;
  if (!options.report.empty()) {
    report.emplace(options.report, options.shard.value_or(Shard{}).Text());
    observer.SetReport(&*report);
  }
  std::vector<DeckOutcome> outcomes;
  std::vector<std::string> decks;
  for (const ShareDeck& deck : share) {
    if (deck.refusal.empty()) {
      decks.push_back(deck.deck);
      continue;
    }
    outcomes.push_back(DeckOutcome{deck.deck, {}, deck.refusal, FailureCause::kOther});
    if (report) report->Add(outcomes.back(), "name_taken", 0);
  }
  try {
    if (!decks.empty()) {
      const std::vector<DeckOutcome> converted =
          ConvertPresentations(decks, outputFolder, options.sizeDivisor, setup, observer, cancel);
      outcomes.insert(outcomes.end(), converted.begin(), converted.end());
    }
  } catch (const BatchCancelled& cancelled) {
    observer.SetReport(nullptr);
    try {
      if (report) report->Finish(cancelled.what(), share.size());
    } catch (const Error& error) {
      observer.ClearLine();
      std::cerr << "quillet convert: " << OneLine(error.what()) << "\n";
    }
    throw;
  } catch (const Error& error) {
    // Nothing could be converted (the output folder, the work folder): each
    // deck not told yet fails with the reason.
    observer.SetReport(nullptr);
    if (report) {
      for (const std::string& deck : decks)
        report->Add(DeckOutcome{deck, {}, error.what(), error.Cause()}, CauseName(error.Cause()), 0);
      report->Finish();
    }
    throw;
  }
  observer.SetReport(nullptr);
  if (report) report->Finish();
  return TellOutcomes(outcomes, options.quiet, observer);
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
  // A reader that goes away (quillet convert ... | head) changes nothing of
  // the conversion: what cannot be printed is lost, the outputs are not.
  ::signal(SIGPIPE, SIG_IGN);

  int exitCode = kSuccess;
  try {
    JobState job;
    job.m_SizeDivisor = options.sizeDivisor;
    ConversionSetup setup;
    setup.programFolder = ProgramFolder();
    setup.player = options.player;
    setup.learningPackage = options.learningPackage;
    setup.notes = options.notes;
    setup.exportTimeLimitSeconds = options.timeLimitSeconds;
    setup.fullHd = options.fullHd;
    setup.quality = options.quality;
    setup.advanceSeconds = options.advanceSeconds;
    const std::string outputFolder =
        options.outputFolder.empty() ? std::filesystem::current_path().string() : options.outputFolder;
    CreateOutputFolder(outputFolder);
    if (options.archive || options.decks.size() > 1) {
      exitCode = options.archive ? ConvertShare(options, outputFolder, setup, observer, cancel)
                                 : ConvertBatch(options, outputFolder, setup, observer, cancel);
      activeCancel = nullptr;
      return exitCode;
    }
    const ConversionOutcome outcome =
        ConvertPresentation(job, options.decks.front(), outputFolder, setup, observer, cancel);
    if (!options.quiet) {
      PrintWritten(outcome);
      std::cout << std::flush;
    }
  } catch (const BatchCancelled& cancelled) {
    observer.ClearLine();
    PrintWritten(cancelled.Converted(), options.quiet);
    std::cout << std::flush;
    std::cerr << "quillet convert: " << cancelled.what() << " " << WrittenCount(cancelled) << "\n";
    exitCode = kInterrupted;
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
