// The Convert command's driver. In order: read the job and check the deck and
// the output folder, name the movie, take and empty a work folder, export the
// slides and rescale and re-encode them (on every core), take the frame from
// the first picture, assemble the movie in slide order, put the movie, its
// script and the page in place, clear the progress, say "Conversion
// complete." and open the page. The three outputs are prepared as temporary
// files beside their final names, flushed to the disk, and renamed into
// place together under a lock on the output folder only once all three are
// complete; should one rename fail, the others are undone. So "Conversion
// complete." is said only when it is true, and a failed or cancelled
// conversion leaves no partial file and earlier outputs of the same name as
// they were. A slide of another shape than the first is fitted into the first
// one's frame whole. Nothing of the user's is deleted or replaced: the work
// folder loses only its own slide pictures, and no output may replace a file
// of the program.
#include "conversion/convert_presentation.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "conversion/file_helpers.h"
#include "conversion/scorm_package.h"
#include "conversion/slide_order.h"
#include "conversion/slide_rescale.h"
#include "conversion/slide_show_movie.h"
#include "conversion/web_page.h"
#include "jpeg/cjpeg.h"
#include "platform/deck_protection.h"
#include "platform/error.h"
#include "platform/file_replace.h"
#include "platform/program_folder.h"
#include "platform/slide_exporter.h"

namespace quillet {
namespace {

constexpr const char* kTemplateName = "qzp.html";
constexpr const char* kConverting = "Converting...";
constexpr const char* kExporting = "Exporting slides with LibreOffice...";
constexpr const char* kScratchPrefix = ".export-";  // the slide exporter's scratch folders
constexpr long kUsualNameMax = 255;                 // bytes in a file name, where the folder does not say

void ThrowIfCancelled(const CancelFlag& cancel) {
  if (cancel.IsCancelled()) throw ConversionCancelled();
}

int CheckedDivisor(std::int32_t divisor) {
  if (divisor < 1 || divisor > 3) {
    throw Error(kGeneral, "the output size must be small, medium or big (divisor 3, 2 or 1), not divisor " +
                              std::to_string(divisor));
  }
  return divisor;
}

void CheckSetup(const ConversionSetup& setup) {
  if (setup.quality < 0 || setup.quality > 100) {
    throw Error(kGeneral, "the picture quality must be 1 to 100, not " + std::to_string(setup.quality));
  }
  constexpr int kDay = 24 * 60 * 60;
  if (setup.advanceSeconds < 0 || setup.advanceSeconds > kDay) {
    throw Error(kGeneral, "the seconds between slides must be 0 to " + std::to_string(kDay) + ", not " +
                              std::to_string(setup.advanceSeconds));
  }
}

void CheckDeck(const std::string& deck) {
  if (deck.empty()) throw Error(kGeneral, "Please select the PowerPoint file.");
  const FileCheck check = CheckFile(deck);
  if (check.errorNumber != 0) throw Error(kGeneral, "cannot read " + deck + ": " + check.description);
  if (!check.exists) throw Error(kGeneral, "cannot find the presentation " + deck);
  std::error_code error;
  if (!std::filesystem::is_regular_file(deck, error)) throw Error(kGeneral, deck + " is not a file");
  if (std::filesystem::file_size(deck, error) == 0) throw Error(kGeneral, deck + " is empty");
  if (::access(deck.c_str(), R_OK) != 0) throw Error(kGeneral, "cannot read " + deck + ": permission denied");
  if (!IsDeckExtension(deck)) {
    throw Error(kGeneral, deck + " is not a presentation Quillet reads (.ppt, .pptx, .pps, .ppsx, .odp or .pdf)");
  }
  // LibreOffice headless cannot ask for a password; it would only say that it
  // could not load the deck.
  if (IsPasswordProtected(deck)) {
    throw Error(kGeneral,
                deck +
                    " is protected by a password; open it in Impress or PowerPoint, remove the password (save a "
                    "copy without one) and convert that copy",
                FailureCause::kPasswordProtected);
  }
}

void CheckOutputFolder(const std::string& folder) {
  if (folder.empty()) throw Error(kGeneral, "no output folder was given", FailureCause::kOutputFolder);
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) {
    throw Error(kGeneral, "the output folder " + folder + " does not exist", FailureCause::kOutputFolder);
  }
  if (!std::filesystem::is_directory(folder, error)) {
    throw Error(kGeneral, folder + " is not a folder", FailureCause::kOutputFolder);
  }
  // Trying is the only sure test (permissions, read-only file systems).
  try {
    PendingFile probe(std::filesystem::path(folder) / ".quillet-write-test");
  } catch (const FileWriteError& error) {
    throw Error(kGeneral, "cannot write into the output folder " + folder + ": " + error.Reason(),
                FailureCause::kOutputFolder);
  }
}

// Whether `path` is `root` or lies anywhere under it, links resolved.
bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& root) {
  std::error_code error;
  const std::filesystem::path resolvedRoot = std::filesystem::weakly_canonical(root, error);
  if (error) return false;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
  if (error) return false;
  if (resolved.filename().empty()) resolved = resolved.parent_path();  // a trailing "/"
  for (;;) {
    if (resolved == resolvedRoot) return true;
    if (!resolved.has_relative_path()) return false;
    resolved = resolved.parent_path();
  }
}

// Deletes the slide pictures of the last conversion. Nothing else in the
// folder is Quillet's to delete.
void RemoveSlidePictures(const std::filesystem::path& folder) {
  for (const std::string& name : ListSlidePictures(folder)) {
    std::error_code error;
    std::filesystem::remove(folder / name, error);
    if (error) throw Error(kGeneral, "cannot empty the work folder " + folder.string() + ": " + error.message());
  }
}

// The slide pictures, and the scratch folders of slide exports that a killed
// process left behind (this process holds the folder now).
void EmptyFolder(const std::filesystem::path& folder) {
  RemoveSlidePictures(folder);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().filename().string().rfind(kScratchPrefix, 0) != 0) continue;
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

// The work-folder root; a temp/ beside the program that is someone else's is
// told once a process.
std::filesystem::path WorkRoot(const std::filesystem::path& programFolder, ConversionObserver& observer) {
  static std::atomic<bool> told{false};
  std::string note;
  std::filesystem::path root = WorkFolderRoot(programFolder, &note);
  if (!note.empty() && !told.exchange(true)) observer.Warning(note);
  return root;
}

// The template beside the program, else the installed one; the built-in page
// when neither can be read.
std::string PageTemplate(const std::filesystem::path& programFolder, ConversionObserver& observer) {
  const std::filesystem::path templatePath = FindProgramFile(programFolder, kTemplateName);
  if (!templatePath.empty()) {
    bool failed = false;
    std::string text = ReadTextFile(templatePath.string(), &failed);
    if (!failed) return text;
    observer.Warning("the page template " + templatePath.string() + " cannot be read; the built-in page is used");
  } else {
    const std::vector<std::filesystem::path> folders = ProgramFileFolders(programFolder);
    observer.Warning(std::string("the page template ") + kTemplateName + " is in neither " + folders.front().string() +
                     " nor " + folders.back().string() + "; the built-in page is used");
  }
  return std::string(kDefaultPageTemplate);
}

}  // namespace

namespace {

// The outputs of one deck, named after it.
struct DeckOutputs {
  std::string baseName;       // NAME
  std::string movieFileName;  // NAME.swf
  std::string scriptPath;
  std::string pagePath;
  std::string packagePath;  // NAME.zip, the learning-platform package
};

// Reads the job and names the outputs; sets m_PptPath, m_SwfPath and
// m_Percent. Everything a user can get wrong with the deck is checked here.
DeckOutputs NameOutputs(JobState& job, const std::string& deckText, const std::string& outputFolder) {
  job.m_PptPath = deckText;
  CheckDeck(job.m_PptPath);
  // Outputs are named in UTF-8 even for a deck named in another encoding, so
  // that the page finds its movie and script from disk and over http.
  const std::string baseName = NameAsUtf8(GetBaseName(job.m_PptPath));
  if (baseName.empty())
    throw Error(kGeneral, "cannot name the movie after " + job.m_PptPath + ": its name has no base");
  // The longest of the three names must fit the folder's file system, which
  // is known before anything is exported.
  long nameMax = ::pathconf(outputFolder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = kUsualNameMax;
  const std::string longest = baseName + ".swf.js";
  if (static_cast<long>(longest.size()) > nameMax) {
    throw Error(kGeneral,
                "cannot name the outputs after " + job.m_PptPath + ": " + std::to_string(longest.size()) +
                    " bytes, and the output folder takes names of at most " + std::to_string(nameMax) +
                    "; give the deck a shorter name",
                FailureCause::kOutputFolder);
  }
  job.m_SwfPath = outputFolder + "/" + baseName + ".swf";
  job.m_Percent = 0;
  return DeckOutputs{baseName, baseName + ".swf", job.m_SwfPath + ".js", outputFolder + "/" + baseName + ".html",
                     outputFolder + "/" + baseName + ".zip"};
}

void CheckNotProgramFiles(const DeckOutputs& outputs, const std::string& swfPath,
                          const std::vector<ProgramOwnFile>& own) {
  for (const std::string& output : {swfPath, outputs.scriptPath, outputs.pagePath, outputs.packagePath}) {
    for (const ProgramOwnFile& file : own) {
      // The program's files exist: an output that does not is none of them,
      // one that does is one when it is the same file (a link included).
      std::error_code error;
      if (!std::filesystem::equivalent(output, file.path, error) || error) continue;
      throw Error(kGeneral,
                  "cannot write " + output + ": it is Quillet's own " + file.what +
                      ", which a slide show must not replace; choose another output folder or rename the deck",
                  FailureCause::kOutputFolder);
    }
  }
}

// Any folder under the work-folder root may be some conversion's work
// folder, so the whole root is out of bounds.
void CheckDeckOutsideWorkFolder(const std::string& deck, const std::filesystem::path& workRoot) {
  if (IsWithin(deck, workRoot)) {
    throw Error(kGeneral, deck + " lies in the work folder, which every conversion empties; move it first");
  }
}

void CheckOutputOutsideWorkFolder(const std::string& outputFolder, const std::filesystem::path& workRoot) {
  if (IsWithin(outputFolder, workRoot)) {
    throw Error(
        kGeneral,
        "the output folder " + outputFolder + " is the work folder, which every conversion empties; choose another",
        FailureCause::kOutputFolder);
  }
}

// Shows the seconds LibreOffice has been printing the deck.
void ShowExportTime(ConversionObserver& observer, int seconds) {
  observer.ShowStatus(std::string(kExporting) + " " + std::to_string(seconds) + " s");
}

// What LibreOffice's part of the export needs from the setup: its time
// limit, the cancel and the seconds shown while it works.
SlideExportSettings ExportSettings(const ConversionSetup& setup, ConversionObserver& observer,
                                   const CancelFlag& cancel) {
  SlideExportSettings settings;
  settings.timeLimit = std::chrono::seconds(setup.exportTimeLimitSeconds);
  settings.isCancelled = [&cancel] { return cancel.IsCancelled(); };
  settings.whileExporting = [&observer](int seconds) { ShowExportTime(observer, seconds); };
  settings.notesPages = setup.notes;
  return settings;
}

// The slides as the export and the rescaling leave them: Slide<n>.jpg in the
// work folder, the frame (slide 1's size) and each slide's text.
struct RescaledSlides {
  PictureSize frame;
  std::vector<SlideText> texts;
  DeckLinks links;
  std::vector<std::vector<std::string>> notes;  // only with setup.notes
};

// Exports the slides and rescales and re-encodes each picture as soon as it
// is exported: on every core, each worker with its own encoder, one slide
// after another, each slide's picture in its own file. Slide 1 sets the
// frame; a slide of another size is fitted into it, at once when the frame
// is known, else once the export has ended. With `pdf`, the deck has been
// printed to that PDF already.
RescaledSlides ExportAndRescale(JobState& job, const std::filesystem::path& folder, const std::filesystem::path& pdf,
                                const ConversionSetup& setup, ConversionObserver& observer, const CancelFlag& cancel) {
  const int divisor = setup.fullHd ? 1 : job.m_SizeDivisor;
  SlideEncoding encoding = setup.fullHd ? kHdEncoding : SlideEncoding{};
  if (setup.quality != 0) encoding.quality = setup.quality;
  const int workers =
      setup.workers > 0 ? setup.workers : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::unique_ptr<cJpeg>> encoders;
  for (int worker = 0; worker < workers; ++worker) encoders.push_back(std::make_unique<cJpeg>());
  SlideExportSettings exportSettings = ExportSettings(setup, observer, cancel);
  exportSettings.workers = workers;
  if (setup.fullHd) {
    exportSettings.fitWidth = kHdWidth;
    exportSettings.fitHeight = kHdHeight;
  }
  exportSettings.progress = [&job, &observer](int done, int count) {
    job.m_Percent = ProgressPercent(done - 1, count);
    observer.ShowProgress(job.m_Percent, done, count);
  };
  RescaledSlides slides;
  exportSettings.slideTexts = &slides.texts;
  exportSettings.slideLinks = &slides.links;
  if (setup.notes) exportSettings.slideNotes = &slides.notes;
  if (setup.notes && IsPdfDeck(job.m_PptPath))
    observer.Warning(job.m_PptPath + " is a PDF file, which holds no speaker notes, so none are published");
  FirstSlideFrame frame;
  auto slideFile = [&folder](int number) { return folder / ("Slide" + std::to_string(number) + ".jpg"); };
  const ExportedSlideConsumer rescale = [&](int worker, int number, const std::string& jpeg) {
    cJpeg& encoder = *encoders[static_cast<std::size_t>(worker)];
    if (number == 1) {
      frame.Set(RescaleSlide(jpeg, slideFile(number), divisor, encoder, std::nullopt, encoding));
      return;
    }
    const std::optional<PictureSize> known = frame.Get();
    const PictureSize size = RescaleSlide(jpeg, slideFile(number), divisor, encoder, known, encoding);
    if (!known) frame.Keep(number, jpeg, size);
  };
  try {
    if (pdf.empty()) {
      ExportSlides(job.m_PptPath, folder, exportSettings, rescale);
    } else {
      RenderSlides(pdf, job.m_PptPath, exportSettings, rescale);
    }
  } catch (const SlideExportCancelled&) {
    throw ConversionCancelled();
  }
  for (const FirstSlideFrame::Kept& misfit : frame.TakeMisfits()) {
    RescaleSlide(misfit.exported, slideFile(misfit.number), divisor, *encoders.front(), frame.Get(), encoding);
  }
  // The frame is the first picture's size (Slide1.jpg), which its rescaling
  // measured: no need to decode the file again.
  const std::optional<PictureSize> first = frame.Get();
  if (!first) throw Error(kGeneral, job.m_PptPath + " has no slides");
  slides.frame = *first;
  return slides;
}

// The movie, its script and the page, each written whole under a temporary
// name, then all three put in place together, or none.
std::size_t WriteOutputs(const JobState& job, const DeckOutputs& outputs, const SlideShowMovie& movie,
                         PictureSize frame, const std::vector<SlideText>& texts, const ConversionSetup& setup,
                         ConversionObserver& observer, const CancelFlag& cancel) {
  try {
    const std::vector<std::uint8_t> movieBytes = movie.Bytes();
    const std::string_view movieView(reinterpret_cast<const char*>(movieBytes.data()), movieBytes.size());
    PendingFile movieFile(job.m_SwfPath);
    movieFile.Write(movieView);
    const std::string script = MovieScript(outputs.movieFileName, movieView);
    PendingFile scriptFile(outputs.scriptPath);
    scriptFile.Write(script);
    PendingFile pageFile(outputs.pagePath);
    const std::string transcript = TranscriptHtml(outputs.baseName, texts);
    // The page draws an hd movie at most at half its size, so that a screen
    // of two pixels to the point shows it sharp; full screen shows it whole.
    const int shown = setup.fullHd ? 2 : 1;
    const std::string pageTemplate = PageTemplate(setup.programFolder, observer);
    pageFile.Write(FillPageTemplate(pageTemplate, outputs.movieFileName, frame.width / shown, frame.height / shown,
                                    transcript, setup.player) +
                   "\r\n");
    std::vector<PendingFile*> files = {&movieFile, &scriptFile, &pageFile};
    std::optional<PendingFile> packageFile;
    if (setup.learningPackage) {
      ThrowIfCancelled(cancel);
      PackageContents package;
      package.baseName = outputs.baseName;
      package.title = !texts.empty() && !texts.front().title.empty() ? texts.front().title : outputs.baseName;
      package.page =
          FillPageTemplate(pageTemplate, outputs.movieFileName, frame.width / shown, frame.height / shown, transcript,
                           PlayerSource::kBesidePage, ScormPageScript(static_cast<int>(texts.size()))) +
          "\r\n";
      package.movie = movieView;
      package.movieScript = script;
      package.playerFiles = FindPlayerFiles(setup.programFolder);
      packageFile.emplace(outputs.packagePath);
      packageFile->Write(ScormPackage(package));
      files.push_back(&*packageFile);
    }
    // Another conversion to the same names commits its whole set before or
    // after this one, never in between.
    const std::filesystem::path outputFolder = std::filesystem::path(outputs.pagePath).parent_path();
    const FolderLock lock(outputFolder);
    RemoveLeftovers(outputFolder, {outputs.movieFileName, outputs.movieFileName + ".js", outputs.baseName + ".html",
                                   outputs.baseName + ".zip"});
    if (setup.player == PlayerSource::kBesidePage)
      PlacePlayerBesidePage(FindPlayerFiles(setup.programFolder), outputFolder);
    ThrowIfCancelled(cancel);
    CommitTogether(files);
    return movieBytes.size();
  } catch (const FileWriteError& error) {
    throw Error(kGeneral, error.what(), FailureCause::kOutputFolder);
  }
}

// Each slide's links as areas of the frame, placed through the same fit as
// its picture (a page of another shape is scaled whole into the frame,
// centred), and as links of its transcript. Links left out are named in
// one warning.
std::vector<std::vector<LinkArea>> PlaceLinks(const JobState& job, const DeckLinks& links, PictureSize frame,
                                              std::vector<SlideText>& texts, ConversionObserver& observer) {
  std::vector<std::vector<LinkArea>> areas(links.slides.size());
  for (std::size_t slide = 0; slide < links.slides.size(); ++slide) {
    const double pageWidth = links.pageWidths[slide];
    const double pageHeight = links.pageHeights[slide];
    if (pageWidth <= 0 || pageHeight <= 0) continue;
    const double scale = std::min(frame.width / pageWidth, frame.height / pageHeight);
    const double shownWidth = pageWidth * scale;
    const double shownHeight = pageHeight * scale;
    const double left = (frame.width - shownWidth) / 2;
    const double top = (frame.height - shownHeight) / 2;
    for (const SlideLink& link : links.slides[slide]) {
      LinkArea area;
      area.x = static_cast<float>(left + link.left * shownWidth);
      area.y = static_cast<float>(top + link.top * shownHeight);
      area.width = static_cast<float>((link.right - link.left) * shownWidth);
      area.height = static_cast<float>((link.bottom - link.top) * shownHeight);
      area.address = link.address;
      area.slide = link.slide;
      areas[slide].push_back(area);
      if (slide >= texts.size()) continue;
      const std::string href = link.address.empty() ? "#" + std::to_string(link.slide) : link.address;
      std::string text = link.text;
      std::vector<TextLink>& listed = texts[slide].links;
      // A link wrapped over two lines has an area per line: one link in the
      // transcript, its words joined (a space between words, none inside an
      // address).
      if (!listed.empty() && listed.back().href == href && !text.empty()) {
        const bool words = listed.back().text.find(' ') != std::string::npos && text.find(' ') != std::string::npos;
        listed.back().text += (words ? " " : "") + text;
        continue;
      }
      if (text.empty()) text = link.address.empty() ? "Slide " + std::to_string(link.slide) : link.address;
      listed.push_back(TextLink{text, href});
    }
  }
  if (!links.dropped.empty()) {
    std::string list;
    for (const std::string& dropped : links.dropped) list += (list.empty() ? "" : "; ") + dropped;
    observer.Warning(
        "left out " + std::to_string(links.dropped.size()) + (links.dropped.size() == 1 ? " link" : " links") + " of " +
        job.m_PptPath +
        " that a slide show does not open (only http, https, mailto and jumps to slides are kept): " + list);
  }
  return areas;
}

// One deck, from its export to "Conversion complete." and the page opened,
// in the emptied work folder `folder`: export and rescale the slides, set up
// the movie's frame from the first picture, order the slides by the numbers
// in their names, build one frame per slide, put the movie, its script and
// the page in place, then tell the user. With `pdf`, the deck has been
// printed to that PDF already.
ConversionOutcome ConvertInWorkFolder(JobState& job, const DeckOutputs& outputs, const std::filesystem::path& folder,
                                      const std::filesystem::path& pdf, const ConversionSetup& setup,
                                      ConversionObserver& observer, const CancelFlag& cancel) {
  RescaledSlides slides = ExportAndRescale(job, folder, pdf, setup, observer, cancel);
  const std::vector<std::string> fileJpg = ListSlidePictures(folder);
  if (fileJpg.empty()) throw Error(kGeneral, job.m_PptPath + " has no slides");
  const auto width = static_cast<float>(slides.frame.width);
  const auto height = static_cast<float>(slides.frame.height);
  SlideShowMovie movie;
  movie.SetUpFrame(width, height);
  movie.SetAdvance(setup.advanceSeconds);
  const std::vector<std::string> listSlide = OrderSlides(fileJpg);
  std::vector<std::string> pictures;
  pictures.reserve(listSlide.size());
  for (const std::string& name : listSlide) pictures.push_back((folder / name).string());
  slides.texts.resize(listSlide.size());
  for (std::size_t slide = 0; slide < slides.notes.size() && slide < slides.texts.size(); ++slide)
    slides.texts[slide].notes = std::move(slides.notes[slide]);
  movie.BuildFrames(width, height, pictures, PlaceLinks(job, slides.links, slides.frame, slides.texts, observer));
  ThrowIfCancelled(cancel);
  const std::size_t movieBytes = WriteOutputs(job, outputs, movie, slides.frame, slides.texts, setup, observer, cancel);

  observer.ClearProgress();
  observer.ConversionComplete();
  observer.OpenPage(outputs.pagePath);

  ConversionOutcome outcome;
  outcome.movie = job.m_SwfPath;
  outcome.script = outputs.scriptPath;
  outcome.page = outputs.pagePath;
  if (setup.learningPackage) outcome.package = outputs.packagePath;
  outcome.width = slides.frame.width;
  outcome.height = slides.frame.height;
  outcome.slideCount = static_cast<int>(listSlide.size());
  outcome.movieBytes = movieBytes;
  return outcome;
}

// The decks of a batch, checked and named before any is exported: the
// failures found already, and the decks LibreOffice has to print.
struct BatchPlan {
  std::vector<DeckOutcome> outcomes;  // an error for each deck that fails already
  std::vector<JobState> jobs;
  std::vector<DeckOutputs> outputs;
  std::vector<std::filesystem::path> toPrint;
  std::vector<std::size_t> printedIndex;  // deck i's entry in toPrint; decks.size() for none
};

// Two decks of one name would write the same outputs, so the later one fails.
BatchPlan PlanBatch(const std::vector<std::string>& decks, const std::string& outputFolder, int sizeDivisor,
                    const std::filesystem::path& programFolder, const std::filesystem::path& workRoot) {
  BatchPlan plan;
  const std::vector<ProgramOwnFile> own = ProgramOwnFiles(programFolder);
  plan.outcomes.resize(decks.size());
  plan.jobs.resize(decks.size());
  plan.outputs.resize(decks.size());
  plan.printedIndex.assign(decks.size(), decks.size());
  for (std::size_t i = 0; i < decks.size(); ++i) {
    plan.outcomes[i].deck = decks[i];
    plan.jobs[i].m_SizeDivisor = sizeDivisor;
    try {
      plan.outputs[i] = NameOutputs(plan.jobs[i], decks[i], outputFolder);
      CheckNotProgramFiles(plan.outputs[i], plan.jobs[i].m_SwfPath, own);
      CheckDeckOutsideWorkFolder(decks[i], workRoot);
      for (std::size_t j = 0; j < i; ++j) {
        if (plan.outcomes[j].error.empty() && plan.jobs[j].m_SwfPath == plan.jobs[i].m_SwfPath) {
          throw Error(kGeneral, "cannot convert " + decks[i] + ": " + decks[j] + " is converted to " +
                                    plan.jobs[i].m_SwfPath + " already");
        }
      }
      if (!IsPdfDeck(decks[i])) {
        plan.printedIndex[i] = plan.toPrint.size();
        plan.toPrint.push_back(decks[i]);
      }
    } catch (const Error& error) {
      plan.outcomes[i].error = error.what();
      plan.outcomes[i].cause = error.Cause();
    }
  }
  return plan;
}

}  // namespace

ConversionOutcome ConvertPresentation(JobState& job, const std::string& deckText, const std::string& outputFolder,
                                      const ConversionSetup& setup, ConversionObserver& observer,
                                      const CancelFlag& cancel) {
  // 1. Read the job and name the outputs. Everything a user can get wrong is
  // checked before any slide is exported.
  CheckedDivisor(job.m_SizeDivisor);
  CheckSetup(setup);
  CheckOutputFolder(outputFolder);
  const DeckOutputs outputs = NameOutputs(job, deckText, outputFolder);
  CheckNotProgramFiles(outputs, job.m_SwfPath, ProgramOwnFiles(setup.programFolder));
  if (setup.player == PlayerSource::kBesidePage || setup.learningPackage) FindPlayerFiles(setup.programFolder);
  observer.ShowStatus(kConverting);

  // 2. A work folder of this process alone, emptied.
  const std::filesystem::path workRoot = WorkRoot(setup.programFolder, observer);
  CheckDeckOutsideWorkFolder(job.m_PptPath, workRoot);
  CheckOutputOutsideWorkFolder(outputFolder, workRoot);
  const WorkFolder work = WorkFolder::Acquire(workRoot);
  const std::filesystem::path& folder = work.Path();
  EmptyFolder(folder);
  ThrowIfCancelled(cancel);

  return ConvertInWorkFolder(job, outputs, folder, {}, setup, observer, cancel);
}

std::vector<DeckOutcome> ConvertPresentations(const std::vector<std::string>& decks, const std::string& outputFolder,
                                              int sizeDivisor, const ConversionSetup& setup,
                                              ConversionObserver& observer, const CancelFlag& cancel) {
  CheckedDivisor(sizeDivisor);
  CheckSetup(setup);
  CheckOutputFolder(outputFolder);
  if (setup.player == PlayerSource::kBesidePage || setup.learningPackage) FindPlayerFiles(setup.programFolder);
  observer.ShowStatus(kConverting);
  const std::filesystem::path workRoot = WorkRoot(setup.programFolder, observer);
  CheckOutputOutsideWorkFolder(outputFolder, workRoot);
  const WorkFolder work = WorkFolder::Acquire(workRoot);
  const std::filesystem::path& folder = work.Path();
  EmptyFolder(folder);
  if (cancel.IsCancelled()) throw BatchCancelled({}, decks.size());

  BatchPlan plan = PlanBatch(decks, outputFolder, sizeDivisor, setup.programFolder, workRoot);
  std::vector<DeckOutcome>& outcomes = plan.outcomes;
  const std::vector<std::size_t>& printedIndex = plan.printedIndex;
  for (const DeckOutcome& refused : outcomes) {
    if (!refused.error.empty()) observer.DeckFinished(refused);
  }

  // One LibreOffice run prints every deck that is not a PDF already.
  // The batch's PDFs, in a scratch folder that a killed process leaves to
  // the next EmptyFolder.
  const ScratchFolder scratch(folder, std::string(kScratchPrefix) + "batch-");
  std::vector<PrintedDeck> printed;
  try {
    printed = PrintDecksToPdf(plan.toPrint, scratch.Path(), ExportSettings(setup, observer, cancel));
  } catch (const SlideExportCancelled&) {
    throw BatchCancelled({}, decks.size());
  } catch (const Error& error) {
    for (std::size_t i = 0; i < decks.size(); ++i) {
      if (outcomes[i].error.empty() && printedIndex[i] < decks.size()) {
        outcomes[i].error = error.what();
        outcomes[i].cause = error.Cause();
        observer.DeckFinished(outcomes[i]);
      }
    }
  }

  // Then each deck on its own.
  for (std::size_t i = 0; i < decks.size(); ++i) {
    if (!outcomes[i].error.empty()) continue;
    observer.ShowDeck(static_cast<int>(i) + 1, static_cast<int>(decks.size()), decks[i]);
    std::filesystem::path pdf = decks[i];
    if (printedIndex[i] < decks.size()) {
      const PrintedDeck& deck = printed[printedIndex[i]];
      if (!deck.error.empty()) {
        outcomes[i].error = deck.error;
        outcomes[i].cause = deck.cause;
        observer.DeckFinished(outcomes[i]);
        continue;
      }
      pdf = deck.pdf;
    }
    try {
      RemoveSlidePictures(folder);
      outcomes[i].outcome = ConvertInWorkFolder(plan.jobs[i], plan.outputs[i], folder, pdf, setup, observer, cancel);
      observer.DeckFinished(outcomes[i]);
    } catch (const ConversionCancelled&) {
      std::vector<DeckOutcome> written;
      for (std::size_t j = 0; j < i; ++j) {
        if (outcomes[j].error.empty()) written.push_back(outcomes[j]);
      }
      throw BatchCancelled(std::move(written), decks.size());
    } catch (const Error& error) {
      observer.ClearProgress();
      outcomes[i].error = error.what();
      outcomes[i].cause = error.Cause();
      observer.DeckFinished(outcomes[i]);
    }
  }
  return outcomes;
}

}  // namespace quillet
