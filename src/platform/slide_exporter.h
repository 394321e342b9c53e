// The slide exporter: one JPEG picture per slide of a deck, Slide1.jpg,
// Slide2.jpg, ... in a folder. LibreOffice (headless, with a private profile)
// prints the deck to PDF in a private scratch folder; poppler renders every
// page at 72 dpi (a 10 x 7.5 inch slide becomes 720 x 540 pixels) and
// libjpeg-turbo writes it at quality 100 without chroma subsampling. Hidden
// slides stay out, as in a slide show. A .pdf deck goes straight to poppler.
// A page whose picture would be longer than 4000 pixels on a side is rendered
// at the resolution that makes it 4000.
#pragma once

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>

namespace quillet {

struct SlideExportSettings {
  std::chrono::milliseconds timeLimit{std::chrono::minutes(10)};  // for LibreOffice
  std::function<bool()> isCancelled;                              // may be empty
  int dotsPerInch = 72;
  int jpegQuality = 100;
  // LibreOffice's program; empty means soffice (or libreoffice) along $PATH,
  // then /usr/lib/libreoffice/program/soffice.
  std::filesystem::path libreOfficeProgram;
};

// Thrown when isCancelled answered true: LibreOffice has been ended and the
// scratch folder removed.
class SlideExportCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "the slide export was cancelled"; }
};

// True for the extensions the exporter reads (.ppt, .pptx, .pps, .ppsx, .odp,
// .pdf and their close relatives), in any letter case.
bool IsDeckExtension(const std::filesystem::path& deck);

// Writes Slide1.jpg ... SlideN.jpg into `folder` (which must exist) and returns
// N. The scratch folder is made inside `folder` as a hidden folder and removed
// before returning. Throws quillet::Error, naming the deck, when LibreOffice is
// not installed, cannot open the deck (with the last lines it printed), runs
// past the time limit, or when the deck is empty, has no slides or is a
// password-protected PDF.
int ExportSlides(const std::filesystem::path& deck, const std::filesystem::path& folder,
                 const SlideExportSettings& settings);

}  // namespace quillet
