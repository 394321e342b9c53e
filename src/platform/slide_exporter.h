// The slide exporter: one JPEG picture per slide of a deck, Slide1.jpg,
// Slide2.jpg, ... in a folder. LibreOffice (headless, with a private profile)
// prints the deck to PDF in a private scratch folder; poppler renders every
// page at 72 dpi (a 10 x 7.5 inch slide becomes 720 x 540 pixels) and
// libjpeg-turbo stores it at quality 100 without chroma subsampling. Hidden
// slides stay out, as in a slide show. A .pdf deck goes straight to poppler.
// A page whose picture would be longer than 4000 pixels on a side is rendered
// at the resolution that makes it 4000. The pages are rendered on several
// threads at once, each with its own copy of the document. Beside each
// picture the exporter can read the slide's text from the same PDF page
// (platform/slide_text.h).
#pragma once

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/slide_links.h"
#include "platform/slide_text.h"

namespace quillet {

// The Debian package that brings LibreOffice Impress without its desktop.
inline constexpr const char* kLibreOfficePackage = "libreoffice-impress-nogui";

struct SlideExportSettings {
  std::chrono::milliseconds timeLimit{std::chrono::minutes(10)};  // for LibreOffice
  std::function<bool()> isCancelled;                              // may be empty
  // While LibreOffice runs: once for every whole second it has run, 0
  // first. Called on the thread that called the exporter; may be empty.
  std::function<void(int seconds)> whileExporting;
  int dotsPerInch = 72;
  // When both are set, each page is rendered instead at the resolution that
  // fits its picture into fitWidth x fitHeight pixels, keeping its shape (a
  // 4:3 page into 1920 x 1080 becomes 1440 x 1080).
  int fitWidth = 0;
  int fitHeight = 0;
  int jpegQuality = 100;
  // LibreOffice's program; empty means soffice (or libreoffice) along $PATH,
  // then /usr/lib/libreoffice/program/soffice.
  std::filesystem::path libreOfficeProgram;
  // Threads that render pages at once (at least one is used).
  int workers = 1;
  // While pages are rendered, after each one: pages done, page count. Called
  // on the thread that called the exporter.
  std::function<void(int done, int count)> progress;
  // When set, receives the text of every slide, slide 1 first (each
  // worker fills the entries of its own pages).
  std::vector<SlideText>* slideTexts = nullptr;
  // When set, receives the links of every slide (platform/slide_links.h),
  // read before the pages are rendered.
  DeckLinks* slideLinks = nullptr;
  // LibreOffice prints each slide's notes page after all the slides (a PDF
  // deck has none): the PDF must then hold 2N pages, the last N portrait,
  // and only the first N become pictures. Each notes page's notes go to
  // slideNotes, when set, slide 1 first.
  bool notesPages = false;
  std::vector<std::vector<std::string>>* slideNotes = nullptr;
};

// Called with each slide's picture as exported: the worker (0 to workers - 1)
// that rendered it, the slide number (from 1) and the JPEG bytes. Calls come
// from the worker threads, several at once, in no particular order; each
// worker makes its calls one after the other.
using ExportedSlideConsumer = std::function<void(int worker, int number, const std::string& jpeg)>;

// Thrown when isCancelled answered true: LibreOffice has been ended and the
// scratch folder removed.
class SlideExportCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "the slide export was cancelled"; }
};

// True for the extensions the exporter reads (.ppt, .pptx, .pps, .ppsx, .odp,
// .pdf and their close relatives), in any letter case.
bool IsDeckExtension(const std::filesystem::path& deck);

// True for a .pdf deck (any letter case), which goes straight to poppler.
bool IsPdfDeck(const std::filesystem::path& deck);

// Writes Slide1.jpg ... SlideN.jpg into `folder` (which must exist) and returns
// N. The scratch folder is made inside `folder` as a hidden folder and removed
// before returning. Throws quillet::Error, naming the deck, when LibreOffice is
// not installed, cannot open the deck (with the last lines it printed), runs
// past the time limit, or when the deck is empty, has no slides or is a
// password-protected PDF.
int ExportSlides(const std::filesystem::path& deck, const std::filesystem::path& folder,
                 const SlideExportSettings& settings);

// A deck printed to PDF by LibreOffice: the PDF, or why there is none.
struct PrintedDeck {
  std::filesystem::path pdf;
  std::string error;  // a message naming the deck; empty when `pdf` is there
  FailureCause cause = FailureCause::kOther;
  bool timedOut = false;  // LibreOffice ran out of time on it
};

// Prints every deck to PDF in one LibreOffice run, inside `scratch` (which
// must exist and is the caller's to remove); one entry per deck, in order. A
// deck LibreOffice cannot open fails alone; should LibreOffice crash or run
// out of time (N decks have N times the limit), the decks it left without a
// PDF are tried again one by one, together within one more limit, so that a
// batch ends within (N + 1) times the limit. Throws
// quillet::Error when LibreOffice is not installed and SlideExportCancelled
// when isCancelled answered true.
std::vector<PrintedDeck> PrintDecksToPdf(const std::vector<std::filesystem::path>& decks,
                                         const std::filesystem::path& scratch, const SlideExportSettings& settings);

// Renders the pages of `pdf`, the PDF of `deck`, and hands each slide's
// picture to `consume`, as the ExportSlides below does.
int RenderSlides(const std::filesystem::path& pdf, const std::filesystem::path& deck,
                 const SlideExportSettings& settings, const ExportedSlideConsumer& consume);

// As ExportSlides, but hands each slide's picture to `consume` instead of
// writing it. When a slide or `consume` fails, no further slide is started,
// and the failure of the lowest slide number is thrown once the workers
// have stopped, so the error is the same whatever the number of workers.
int ExportSlides(const std::filesystem::path& deck, const std::filesystem::path& scratchParent,
                 const SlideExportSettings& settings, const ExportedSlideConsumer& consume);

}  // namespace quillet
