// The slide exporter. LibreOffice's --convert-to exits 0 even when it cannot
// load a file, so success is judged by the PDF it leaves, never by its exit
// code or by what it prints (every run warns about javaldx). Each run has its
// own -env:UserInstallation profile: a second LibreOffice started with a
// profile already in use hands its work to the first and returns at once.
#include "platform/slide_exporter.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#include <stdlib.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child_process.h"
#include "platform/error.h"
#include "platform/file_replace.h"
#include "platform/percent_encoding.h"
#include "platform/picture_file.h"
#include "platform/program_folder.h"
#include "platform/surface.h"

namespace quillet {
namespace {

constexpr int kReportedOutputLines = 3;
constexpr std::size_t kReportedLineBytes = 160;
// Less room than this where LibreOffice writes, and a missing PDF is put
// down to the full disk: its profile alone takes several megabytes.
constexpr double kLeastRoomBytes = 64.0 * (1 << 20);
constexpr unsigned long kLeastRoomFiles = 100;
constexpr double kPointsPerInch = 72;
constexpr double kLongestSide = 4000;  // pixels
// LibreOffice's PDF export with a notes page per slide after the slides.
constexpr const char* kPdfWithNotesFilter =
    "pdf:impress_pdf_Export:{\"ExportNotesPages\":{\"type\":\"boolean\",\"value\":\"true\"}}";

std::string LowerExtension(const std::filesystem::path& deck) {
  std::string extension = deck.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool IsPdf(const std::filesystem::path& deck) { return LowerExtension(deck) == ".pdf"; }

// file:// URL of an absolute path.
std::string FileUrl(const std::filesystem::path& path) { return "file://" + PercentEncode(path.string(), "/"); }

std::filesystem::path FindLibreOffice() {
  for (const char* name : {"soffice", "libreoffice"}) {
    std::filesystem::path found = FindProgram(name);
    if (!found.empty()) return found;
  }
  return FindProgram("/usr/lib/libreoffice/program/soffice");
}

// What LibreOffice prints on every run, whatever the deck.
bool IsChatter(const std::string& line) {
  static const char* const kChatter[] = {"javaldx", "libpng warning:", "Fontconfig warning", "Gtk-WARNING"};
  return line.rfind("convert ", 0) == 0 ||
         std::any_of(std::begin(kChatter), std::end(kChatter),
                     [&](const char* known) { return line.find(known) != std::string::npos; });
}

// A line fit for a one-line message: no control characters, at most
// kReportedLineBytes bytes (cut where a character starts).
std::string Printable(const std::string& line) {
  std::string text;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      if (c == '\t' && !text.empty() && text.back() != ' ') text += ' ';
      continue;
    }
    text += c;
  }
  if (text.size() <= kReportedLineBytes) return text;
  std::size_t cut = kReportedLineBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

// The last lines LibreOffice printed about `input` (its copy of the deck),
// without its chatter. In a batch, where one output tells of every deck,
// only the lines that name this deck or report an error are its own; the
// copy's name in them becomes the deck's.
std::string LastLines(const std::string& output, const std::filesystem::path& input, const std::filesystem::path& deck,
                      bool batch) {
  std::vector<std::string> kept;
  std::istringstream lines(output);
  std::string line;
  const std::string inputName = input.filename().string();
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || IsChatter(line)) continue;
    const bool namesDeck = line.find(inputName) != std::string::npos;
    if (batch && !namesDeck && line.find("rror") == std::string::npos) continue;
    // The copy's whole path where LibreOffice printed it, else its name.
    const std::string copy = line.find(input.string()) != std::string::npos ? input.string() : inputName;
    for (std::size_t at = line.find(copy); at != std::string::npos; at = line.find(copy, at + deck.string().size()))
      line.replace(at, copy.size(), deck.string());
    line = Printable(line);
    // A batch repeats the same complaint for every deck it cannot load.
    if (line.empty() || std::find(kept.begin(), kept.end(), line) != kept.end()) continue;
    kept.push_back(line);
  }
  if (kept.empty()) return "LibreOffice printed nothing";
  std::string text;
  const std::size_t first = kept.size() > kReportedOutputLines ? kept.size() - kReportedOutputLines : 0;
  for (std::size_t i = first; i < kept.size(); ++i) {
    if (!text.empty()) text += " / ";
    text += kept[i];
  }
  return text;
}

// Why LibreOffice left no PDF of `deck`: a work folder without room, or a
// deck it cannot open.
PrintedDeck Unprinted(const std::filesystem::path& deck, const std::filesystem::path& input,
                      const std::filesystem::path& scratch, const std::string& output, bool batch) {
  PrintedDeck printed;
  struct statvfs room {};
  if (::statvfs(scratch.c_str(), &room) == 0) {
    const double freeBytes = static_cast<double>(room.f_bavail) * static_cast<double>(room.f_frsize);
    if (freeBytes < kLeastRoomBytes || room.f_favail < kLeastRoomFiles) {
      char megabytes[32];
      std::snprintf(megabytes, sizeof megabytes, "%.1f", freeBytes / (1 << 20));
      const std::string roomLeft = room.f_favail < kLeastRoomFiles
                                       ? "room for only " + std::to_string(room.f_favail) + " more files"
                                       : std::string("only ") + megabytes + " MB free";
      // The scratch folders lie in the work folder: .export-*/alone-N.
      std::filesystem::path work = scratch;
      while (work.has_parent_path() &&
             (work.filename().string().rfind(".export-", 0) == 0 || work.filename().string().rfind("alone-", 0) == 0))
        work = work.parent_path();
      printed.error = "cannot convert " + deck.string() + ": the work folder " + work.string() +
                      " is full (its file system has " + roomLeft +
                      "), too full for LibreOffice to print the deck; free some space there";
      return printed;
    }
  }
  printed.error =
      deck.string() + " is not a presentation LibreOffice can open (" + LastLines(output, input, deck, batch) + ")";
  printed.cause = FailureCause::kDeckUnreadable;
  return printed;
}

// The deck under a plain name in the scratch folder, without copying its
// bytes: a hard link, else a symbolic one.
bool LinkDeck(const std::filesystem::path& deck, const std::filesystem::path& input, std::string& failure) {
  std::error_code error;
  std::filesystem::create_hard_link(deck, input, error);
  if (!error) return true;
  const std::filesystem::path target = std::filesystem::absolute(deck, error);
  if (!error) std::filesystem::create_symlink(target, input, error);
  if (!error) return true;
  failure = error.message();
  return false;
}

// One LibreOffice run prints every deck as a PDF inside `scratch`: deck
// number i is copied there as "deck-i.EXT" and printed to "pdf/deck-i.pdf".
// A run that crashed leaves the decks it did not reach without a PDF; each of
// those gets a run of its own, so that a deck fails only for itself.
std::vector<PrintedDeck> PrintAllToPdf(const std::vector<std::filesystem::path>& decks,
                                       const std::filesystem::path& scratch, const SlideExportSettings& settings,
                                       bool retryAlone) {
  const std::filesystem::path libreOffice =
      settings.libreOfficeProgram.empty() ? FindLibreOffice() : FindProgram(settings.libreOfficeProgram.string());
  if (libreOffice.empty()) {
    throw Error(kGeneral,
                "cannot convert " + decks.front().string() + ": LibreOffice is not installed (install the package " +
                    kLibreOfficePackage + ")",
                FailureCause::kLibreOfficeMissing);
  }
  std::vector<PrintedDeck> printed(decks.size());
  // A link under a plain name keeps odd file names away from LibreOffice's
  // command line and its lock file away from the user's folder, without
  // copying the deck's bytes (a sparse deck of gigabytes stays a link).
  const std::filesystem::path pdfFolder = scratch / "pdf";
  std::vector<std::string> arguments = {
      libreOffice.string(), "-env:UserInstallation=" + FileUrl(scratch / "profile"),
      "--headless",         "--invisible",
      "--nologo",           "--norestore",
      "--nodefault",        "--nolockcheck",
      "--convert-to",       settings.notesPages ? kPdfWithNotesFilter : "pdf:impress_pdf_Export",
      "--outdir",           pdfFolder.string(),
  };
  std::vector<std::size_t> copied;
  std::vector<std::filesystem::path> inputs(decks.size());
  for (std::size_t i = 0; i < decks.size(); ++i) {
    const std::string name = "deck-" + std::to_string(i + 1);
    const std::filesystem::path input = scratch / (name + LowerExtension(decks[i]));
    inputs[i] = input;
    std::string failure;
    if (!LinkDeck(decks[i], input, failure)) {
      printed[i].error = "cannot read " + decks[i].string() + ": " + failure;
      continue;
    }
    printed[i].pdf = pdfFolder / (name + ".pdf");
    arguments.push_back(input.string());
    copied.push_back(i);
  }
  if (copied.empty()) return printed;
  ChildSettings childSettings;
  childSettings.timeLimit = settings.timeLimit * static_cast<int>(copied.size());
  childSettings.isCancelled = settings.isCancelled;
  if (settings.whileExporting) {
    const auto start = std::chrono::steady_clock::now();
    settings.whileExporting(0);
    childSettings.whileRunning = [&settings, start, shown = 0]() mutable {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
      if (seconds.count() <= shown) return;
      shown = static_cast<int>(seconds.count());
      settings.whileExporting(shown);
    };
  }
  const auto start = std::chrono::steady_clock::now();
  const ChildOutcome outcome = RunChildProcess(arguments, childSettings);
  if (outcome.end == ChildEnd::kCancelled) throw SlideExportCancelled();
  const bool ranThrough = outcome.end == ChildEnd::kExited && outcome.exitCode == 0;
  const bool batch = copied.size() > 1;
  // The decks a batch run left are tried again alone, all of them within one
  // more deck's time: a batch ends within (decks + 1) x the limit.
  const auto batchEnd = start + settings.timeLimit * static_cast<int>(copied.size() + 1);
  const auto gaveUp = [&](std::size_t i) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    printed[i].pdf.clear();
    printed[i].timedOut = true;
    printed[i].error = "cannot convert " + decks[i].string() +
                       ": LibreOffice did not finish within the time limit; the batch gave up on it after " +
                       std::to_string(seconds.count()) + " seconds";
  };
  for (std::size_t i : copied) {
    std::error_code error;
    if (std::filesystem::is_regular_file(printed[i].pdf, error) &&
        std::filesystem::file_size(printed[i].pdf, error) > 0)
      continue;
    if (retryAlone && batch && !ranThrough) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(batchEnd - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        gaveUp(i);
        continue;
      }
      SlideExportSettings aloneSettings = settings;
      aloneSettings.timeLimit = std::min(settings.timeLimit, left);
      const std::filesystem::path alone = scratch / ("alone-" + std::to_string(i + 1));
      std::filesystem::create_directory(alone, error);
      printed[i] = PrintAllToPdf({decks[i]}, alone, aloneSettings, false).front();
      if (printed[i].timedOut) gaveUp(i);
      continue;
    }
    printed[i].pdf.clear();
    if (outcome.end == ChildEnd::kTimedOut && batch) {
      gaveUp(i);
    } else if (outcome.end == ChildEnd::kTimedOut) {
      printed[i].timedOut = true;
      printed[i].error = "cannot convert " + decks[i].string() + ": LibreOffice did not finish within " +
                         std::to_string(childSettings.timeLimit.count() / 1000) + " seconds";
    } else {
      printed[i] = Unprinted(decks[i], inputs[i], scratch, outcome.output, batch);
    }
  }
  return printed;
}

// LibreOffice prints the deck as a PDF; returns the PDF's path.
std::filesystem::path PrintToPdf(const std::filesystem::path& deck, const std::filesystem::path& scratch,
                                 const SlideExportSettings& settings) {
  PrintedDeck printed = PrintAllToPdf({deck}, scratch, settings, false).front();
  if (!printed.error.empty()) throw Error(kGeneral, printed.error, printed.cause);
  return printed.pdf;
}

// The resolution a page renders at: `dotsPerInch`, lowered for a page so large
// that its picture would pass kLongestSide pixels (a poster-sized PDF page
// would otherwise need gigabytes).
double PageResolution(const poppler::page& page, int dotsPerInch) {
  const poppler::rectf box = page.page_rect();
  if (box.width() <= 0 || box.height() <= 0) return dotsPerInch;
  const double longest = std::max(box.width(), box.height()) * dotsPerInch / kPointsPerInch;
  if (longest <= kLongestSide) return dotsPerInch;
  return dotsPerInch * kLongestSide / longest;
}

// The resolution of a page and its picture's size: at settings.dotsPerInch
// (as PageResolution lowers it), or fitted into settings.fitWidth x fitHeight
// with the size worked out here, so that rounding inside poppler cannot make
// it a pixel more or less than the box (1440 x 1080, not 1441 x 1080).
struct PageRender {
  double resolution = 0;
  int width = -1;  // -1: the whole page, as poppler sizes it
  int height = -1;
};

PageRender RenderSize(const poppler::page& page, const SlideExportSettings& settings) {
  const poppler::rectf box = page.page_rect();
  if (settings.fitWidth <= 0 || settings.fitHeight <= 0 || box.width() <= 0 || box.height() <= 0) {
    return {PageResolution(page, settings.dotsPerInch)};
  }
  const double scale = std::min(settings.fitWidth / box.width(), settings.fitHeight / box.height());
  PageRender render;
  render.resolution = scale * kPointsPerInch;
  render.width = std::clamp(static_cast<int>(std::lround(box.width() * scale)), 1, settings.fitWidth);
  render.height = std::clamp(static_cast<int>(std::lround(box.height() * scale)), 1, settings.fitHeight);
  return render;
}

Surface ToSurface(const poppler::image& image) {
  const int width = image.width();
  const int height = image.height();
  Surface surface(width, height);
  const char* bytes = image.const_data();
  for (int y = 0; y < height; ++y) {
    const auto* row =
        reinterpret_cast<const unsigned char*>(bytes + static_cast<std::size_t>(y) * image.bytes_per_row());
    std::uint8_t* out = surface.Row(y);
    for (int x = 0; x < width; ++x) {
      switch (image.format()) {
        case poppler::image::format_argb32:  // native 0xAARRGGBB: B, G, R, A in memory
        case poppler::image::format_rgb24:   // native 0xFFRRGGBB, the same layout
          out[3 * x] = row[4 * x + 2];
          out[3 * x + 1] = row[4 * x + 1];
          out[3 * x + 2] = row[4 * x];
          break;
        case poppler::image::format_bgr24:
          out[3 * x] = row[3 * x + 2];
          out[3 * x + 1] = row[3 * x + 1];
          out[3 * x + 2] = row[3 * x];
          break;
        case poppler::image::format_gray8: out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = row[x]; break;
        case poppler::image::format_mono:
        case poppler::image::format_invalid:
          throw Error(kGeneral, "poppler rendered a slide in an unexpected pixel format");
      }
    }
  }
  return surface;
}

void IgnorePopplerMessage(const std::string&, void*) {}

// A PDF file of one empty page, a point square.
std::string EmptyPagePdf() {
  const char* const objects[] = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] >>"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t n = 0; n < std::size(objects); ++n) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(n + 1) + " 0 obj\n" + objects[n] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    char entry[21];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  return pdf + "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
}

// Poppler's process-wide state, set up once, on one thread, before any
// worker draws: its messages go nowhere, and its shared sRGB colour profile
// exists. Poppler creates that profile when it draws its first page, with no
// lock, so two workers drawing their first pages at once both create one and
// one frees the profile the other has just stored (ThreadSanitizer sees the
// free racing with the other's allocation). Drawing one empty page here
// creates it before they start.
void PreparePoppler() {
  static std::once_flag once;
  std::call_once(once, [] {
    poppler::set_debug_error_function(IgnorePopplerMessage, nullptr);
    const std::string pdf = EmptyPagePdf();
    const std::unique_ptr<poppler::document> document(
        poppler::document::load_from_raw_data(pdf.data(), static_cast<int>(pdf.size())));
    const std::unique_ptr<poppler::page> page(document ? document->create_page(0) : nullptr);
    if (page) poppler::page_renderer().render_page(page.get());
  });
}

std::unique_ptr<poppler::document> LoadDocument(const std::filesystem::path& pdf, const std::filesystem::path& deck) {
  std::unique_ptr<poppler::document> document(poppler::document::load_from_file(pdf.string()));
  if (!document) throw Error(kGeneral, deck.string() + " is not a PDF file poppler can read");
  if (document->is_locked()) {
    throw Error(kGeneral, deck.string() + " is protected by a password", FailureCause::kPasswordProtected);
  }
  return document;
}

// The picture of page `index` as exported: rendered, then stored as JPEG.
// notesPage is the index of the slide's notes page, or -1.
std::string ExportPage(poppler::document& document, poppler::page_renderer& renderer, int index, int notesPage,
                       const std::filesystem::path& deck, const SlideExportSettings& settings) {
  const std::string slide = "slide " + std::to_string(index + 1) + " of " + deck.string();
  std::unique_ptr<poppler::page> page(document.create_page(index));
  if (!page) throw Error(kGeneral, "cannot read " + slide);
  const PageRender render = RenderSize(*page, settings);
  const poppler::image image =
      renderer.render_page(page.get(), render.resolution, render.resolution, 0, 0, render.width, render.height);
  if (!image.is_valid() || image.width() <= 0 || image.height() <= 0) throw Error(kGeneral, "cannot render " + slide);
  if (settings.slideTexts) (*settings.slideTexts)[static_cast<std::size_t>(index)] = ReadSlideText(*page);
  if (notesPage >= 0 && settings.slideNotes) {
    std::unique_ptr<poppler::page> notes(document.create_page(notesPage));
    if (!notes) throw Error(kGeneral, "cannot read the notes page of " + slide);
    (*settings.slideNotes)[static_cast<std::size_t>(index)] = ReadNotesText(*page, *notes, index + 1);
  }
  const auto* pixels = reinterpret_cast<const std::uint8_t*>(image.const_data());
  const auto stride = static_cast<std::size_t>(image.bytes_per_row());
  switch (image.format()) {
    case poppler::image::format_argb32:
    case poppler::image::format_rgb24: {
      // Native 32-bit 0xAARRGGBB (or 0xffRRGGBB) words.
      const PixelLayout layout = std::endian::native == std::endian::little ? PixelLayout::kBgrx : PixelLayout::kXrgb;
      return EncodeJpeg(pixels, image.width(), image.height(), stride, layout, settings.jpegQuality, slide);
    }
    case poppler::image::format_bgr24:
    case poppler::image::format_gray8: {
      const Surface surface = ToSurface(image);
      return EncodeJpeg(surface.Bytes().data(), surface.Width(), surface.Height(), surface.Stride(), PixelLayout::kRgb,
                        settings.jpegQuality, slide);
    }
    case poppler::image::format_mono:
    case poppler::image::format_invalid: break;
  }
  throw Error(kGeneral, "poppler rendered " + slide + " in an unexpected pixel format");
}

// A PDF printed with notes pages holds the N slides, then their N notes
// pages in the same order, each portrait. Anything else cannot be told
// apart safely, so it fails rather than guess.
void CheckNotesPages(const poppler::document& document, const std::filesystem::path& deck) {
  const int pages = document.pages();
  const std::string cannot = "cannot tell the speaker notes of " + deck.string() + " from its slides: ";
  if (pages % 2 != 0) {
    throw Error(kGeneral,
                cannot + "LibreOffice printed " + std::to_string(pages) + " pages, not a notes page for each slide");
  }
  for (int index = pages / 2; index < pages; ++index) {
    const std::unique_ptr<poppler::page> page(document.create_page(index));
    const poppler::rectf box = page ? page->page_rect() : poppler::rectf();
    if (!page || box.height() <= box.width()) {
      throw Error(kGeneral, cannot + "page " + std::to_string(index + 1) + " of " + std::to_string(pages) +
                                " should be a portrait notes page");
    }
  }
}

// What the workers share: the next page to start, the pages done, and the
// failure of the lowest page number. Pages are started in order, so every
// page before a failed one has been started and is finished; those after it
// are not started.
class PageQueue {
 public:
  explicit PageQueue(int pages) : pages_(pages) {}

  // The next page to render, or -1 when there is none or the work stops.
  int Take() {
    const std::lock_guard lock(mutex_);
    if (stopped_ || next_ >= pages_) return -1;
    return next_++;
  }
  void Done() {
    {
      const std::lock_guard lock(mutex_);
      ++done_;
    }
    changed_.notify_all();
  }
  void Fail(int page, std::exception_ptr failure) {
    {
      const std::lock_guard lock(mutex_);
      stopped_ = true;
      if (page < failedPage_) {
        failedPage_ = page;
        failure_ = std::move(failure);
      }
    }
    changed_.notify_all();
  }
  void Stop() {
    {
      const std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    changed_.notify_all();
  }
  void WorkerEnded() {
    {
      const std::lock_guard lock(mutex_);
      ++workersEnded_;
    }
    changed_.notify_all();
  }
  // Waits at most `period` for more than `known` pages done or for all
  // `workers` to end; returns the pages done and whether they have ended.
  std::pair<int, bool> Wait(std::chrono::milliseconds period, int known, int workers) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, period, [&] { return done_ > known || workersEnded_ == workers; });
    return {done_, workersEnded_ == workers};
  }
  std::exception_ptr Failure() {
    const std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const int pages_;
  int next_ = 0;
  int done_ = 0;
  int workersEnded_ = 0;
  bool stopped_ = false;
  int failedPage_ = std::numeric_limits<int>::max();
  std::exception_ptr failure_;
};

int RenderPages(const std::filesystem::path& pdf, const std::filesystem::path& deck,
                const SlideExportSettings& settings, const ExportedSlideConsumer& consume) {
  PreparePoppler();
  // Every worker's document is opened here, before any thread starts.
  std::vector<std::unique_ptr<poppler::document>> documents;
  documents.push_back(LoadDocument(pdf, deck));
  const int allPages = documents.front()->pages();
  if (allPages <= 0) throw Error(kGeneral, deck.string() + " has no slides");
  const bool withNotes = settings.notesPages && !IsPdf(deck);
  if (withNotes) CheckNotesPages(*documents.front(), deck);
  const int pages = withNotes ? allPages / 2 : allPages;
  const int workers = std::clamp(settings.workers, 1, pages);
  while (static_cast<int>(documents.size()) < workers) documents.push_back(LoadDocument(pdf, deck));
  if (settings.slideTexts) settings.slideTexts->assign(static_cast<std::size_t>(pages), SlideText{});
  if (settings.slideLinks) *settings.slideLinks = ReadSlideLinks(pdf, pages);
  if (settings.slideNotes) settings.slideNotes->assign(static_cast<std::size_t>(pages), {});

  PageQueue queue(pages);
  const auto work = [&](int worker) {
    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing | poppler::page_renderer::text_antialiasing);
    renderer.set_image_format(poppler::image::format_argb32);
    renderer.set_paper_color(0xffffffff);
    for (int index = queue.Take(); index >= 0; index = queue.Take()) {
      try {
        consume(worker, index + 1,
                ExportPage(*documents[static_cast<std::size_t>(worker)], renderer, index,
                           withNotes ? pages + index : -1, deck, settings));
        queue.Done();
      } catch (...) {
        queue.Fail(index, std::current_exception());
      }
    }
    queue.WorkerEnded();
  };
  std::vector<std::jthread> threads;
  bool cancelled = false;
  try {
    for (int worker = 0; worker < workers; ++worker) threads.emplace_back(work, worker);
    int reported = 0;
    const auto isCancelled = [&] { return settings.isCancelled && settings.isCancelled(); };
    for (;;) {
      const int known = cancelled ? pages : reported;
      const auto [done, ended] = queue.Wait(std::chrono::milliseconds(20), known, workers);
      // Every page done is told, one at a time, until a cancel.
      while (reported < done && !cancelled) {
        ++reported;
        if (settings.progress) settings.progress(reported, pages);
        cancelled = isCancelled();
      }
      if (!cancelled && isCancelled()) cancelled = true;
      if (cancelled) queue.Stop();
      if (ended) break;
    }
  } catch (...) {
    queue.Stop();  // the threads are joined on the way out
    throw;
  }
  threads.clear();
  if (const std::exception_ptr failure = queue.Failure()) std::rethrow_exception(failure);
  if (cancelled) throw SlideExportCancelled();
  return pages;
}

}  // namespace

bool IsDeckExtension(const std::filesystem::path& deck) {
  static const char* const kExtensions[] = {".ppt",  ".pptx", ".pptm", ".pps",  ".ppsx", ".ppsm", ".pot",
                                            ".potx", ".potm", ".odp",  ".fodp", ".otp",  ".pdf"};
  const std::string extension = LowerExtension(deck);
  return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                     [&](const char* known) { return extension == known; });
}

bool IsPdfDeck(const std::filesystem::path& deck) { return IsPdf(deck); }

int ExportSlides(const std::filesystem::path& deck, const std::filesystem::path& scratchParent,
                 const SlideExportSettings& settings, const ExportedSlideConsumer& consume) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(deck, error))
    throw Error(kGeneral, "cannot find the presentation " + deck.string());
  if (std::filesystem::file_size(deck, error) == 0) throw Error(kGeneral, deck.string() + " is empty");
  if (IsPdf(deck)) return RenderPages(deck, deck, settings, consume);
  const ScratchFolder scratch(scratchParent, ".export-");
  const std::filesystem::path pdf = PrintToPdf(deck, scratch.Path(), settings);
  return RenderPages(pdf, deck, settings, consume);
}

std::vector<PrintedDeck> PrintDecksToPdf(const std::vector<std::filesystem::path>& decks,
                                         const std::filesystem::path& scratch, const SlideExportSettings& settings) {
  if (decks.empty()) return {};
  return PrintAllToPdf(decks, scratch, settings, true);
}

int RenderSlides(const std::filesystem::path& pdf, const std::filesystem::path& deck,
                 const SlideExportSettings& settings, const ExportedSlideConsumer& consume) {
  return RenderPages(pdf, deck, settings, consume);
}

int ExportSlides(const std::filesystem::path& deck, const std::filesystem::path& folder,
                 const SlideExportSettings& settings) {
  return ExportSlides(deck, folder, settings, [&folder](int, int number, const std::string& jpeg) {
    ReplaceFile(folder / ("Slide" + std::to_string(number) + ".jpg"), jpeg);
  });
}

}  // namespace quillet
