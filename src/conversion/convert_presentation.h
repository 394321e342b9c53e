// The Convert command's driver: deck in, slide-show movie, its script and the
// page out. It reports to an observer, so the window and the command line share
// it, and knows nothing of Qt Widgets.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include <vector>

#include "conversion/player_files.h"
#include "platform/error.h"

namespace quillet {

// The job state the window keeps and the driver reads and writes.
struct JobState {
  std::string m_PptPath;           // the deck; the driver takes it from txtPPT's text
  std::string m_SwfPath;           // the movie, set by the driver
  std::int32_t m_Percent = 0;      // progress shown by the display
  std::int32_t m_SizeDivisor = 2;  // k: 3 small, 2 medium, 1 big
};

struct DeckOutcome;

// What a conversion tells whoever shows it. Calls come from the thread that
// runs the conversion; a window forwards them to its own thread.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // After each slide: the job's m_Percent, slides done so far, slide count.
  virtual void ShowProgress(int percent, int slidesDone, int slideCount) = 0;
  // A stage worth telling while no percentage moves ("Exporting slides...").
  virtual void ShowStatus(const std::string& text) = 0;
  // The bar and caption go back to empty.
  virtual void ClearProgress() = 0;
  // "Conversion complete.": the movie, its script and the page are all in
  // place; returns once the user has seen it.
  virtual void ConversionComplete() = 0;
  // A batch is about to convert deck `number` (from 1) of `count`.
  virtual void ShowDeck(int /*number*/, int /*count*/, const std::string& /*deck*/) {}
  // A deck of a batch is done, converted or failed: once for each deck, as
  // soon as its outcome is known (a deck refused before any work at once).
  virtual void DeckFinished(const DeckOutcome& /*deck*/) {}
  // Something the user should know that does not stop the conversion.
  virtual void Warning(const std::string& text) = 0;
  // The page is written: open it (the window always does, the command line
  // with --open).
  virtual void OpenPage(const std::filesystem::path& page) = 0;
};

// Set from any thread to stop a conversion at its next check; the slide
// exporter ends LibreOffice at once.
class CancelFlag {
 public:
  void Cancel() { cancelled_.store(true); }
  bool IsCancelled() const { return cancelled_.load(); }

 private:
  std::atomic<bool> cancelled_{false};
};

struct ConversionSetup {
  std::filesystem::path programFolder;  // holds qzp.html and, when writable, temp/
  int exportTimeLimitSeconds = 600;     // LibreOffice is ended after this
  // Threads that render, rescale and encode the slides, each with its own
  // encoder; 0 means one per processor core. The output is the same for any
  // number.
  int workers = 0;
  // Where the page loads the Ruffle player from. Beside the page, the
  // player's files that come with Quillet are put in OUTPUT/ruffle first (a
  // missing set fails the conversion before anything is exported).
  PlayerSource player = PlayerSource::kOnline;
  // hd: every page rendered to fit 1920 x 1080, keeping its shape (the size
  // divisor is then not used), and encoded with kHdEncoding.
  bool fullHd = false;
  // The slide pictures' JPEG quality, 1..100; 0 keeps the size's own (100,
  // or hd's). The colour sampling stays the size's.
  int quality = 0;
  // Seconds after which the movie goes on to the next slide by itself, the
  // last back to the first; 0: never.
  int advanceSeconds = 0;
  // Also NAME.zip, a package for a learning platform (SCORM 1.2): the page
  // written for it, the movie, its script and the player's files that come
  // with Quillet. The page beside it is the ordinary one.
  bool learningPackage = false;
  // Publish each slide's speaker notes in the transcript (never by default:
  // notes are often private). A PDF deck has none, which a warning says.
  bool notes = false;
};

// The full-screen size hd fits every slide into.
inline constexpr int kHdWidth = 1920;
inline constexpr int kHdHeight = 1080;

struct ConversionOutcome {
  std::filesystem::path movie;    // NAME.swf
  std::filesystem::path script;   // NAME.swf.js
  std::filesystem::path page;     // NAME.html
  std::filesystem::path package;  // NAME.zip, when asked for
  int width = 0;                  // W, H: the frame in pixels
  int height = 0;
  int slideCount = 0;
  std::uintmax_t movieBytes = 0;  // NAME.swf's size
};

// Converts job.m_PptPath... see convert_presentation.cpp. `deckText` is the
// text of txtPPT and `outputFolder` the text of txtSwf. Throws quillet::Error
// with a one-line message a user can act on; throws ConversionCancelled when
// `cancel` was set. Either way no partial output is left and earlier outputs
// of the same name are untouched.
ConversionOutcome ConvertPresentation(JobState& job, const std::string& deckText, const std::string& outputFolder,
                                      const ConversionSetup& setup, ConversionObserver& observer,
                                      const CancelFlag& cancel);

// One deck of a batch: its outcome, or the one-line message of its failure.
struct DeckOutcome {
  std::string deck;
  ConversionOutcome outcome;
  std::string error;                          // empty when the deck was converted
  FailureCause cause = FailureCause::kOther;  // what the error is about
};

// Converts many decks at `sizeDivisor` into `outputFolder`: LibreOffice
// prints every deck in one run, then each deck is rendered, encoded and
// written on its own, as ConvertPresentation does. A deck that fails fails
// alone (its entry holds the message, which names it) and the others are
// written; two decks of one name fail from the second on. The observer hears
// ShowDeck before each deck's progress and DeckFinished as each is done. Throws quillet::Error when no deck
// can be converted at all (the output folder, the work folder) and
// BatchCancelled when `cancel` was set (decks already written stay).
std::vector<DeckOutcome> ConvertPresentations(const std::vector<std::string>& decks, const std::string& outputFolder,
                                              int sizeDivisor, const ConversionSetup& setup,
                                              ConversionObserver& observer, const CancelFlag& cancel);

class ConversionCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "The conversion was cancelled."; }
};

// A batch cancelled part way: the decks written before the cancel stay.
class BatchCancelled : public ConversionCancelled {
 public:
  BatchCancelled(std::vector<DeckOutcome> converted, std::size_t deckCount)
      : converted_(std::move(converted)), deckCount_(deckCount) {}
  // The decks written, in the batch's order.
  const std::vector<DeckOutcome>& Converted() const { return converted_; }
  std::size_t DeckCount() const { return deckCount_; }

 private:
  std::vector<DeckOutcome> converted_;
  std::size_t deckCount_;
};

}  // namespace quillet
