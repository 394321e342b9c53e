// Shared helpers of the conversion tests: small PDF decks made on the spot
// and a reader for the SWF files the conversion writes (scratch folders and
// files come from tests/support).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "conversion/convert_presentation.h"
#include "platform/surface.h"
#include "test_files.h"

namespace quillet::testing {

// One page of a PDF deck: its size in points and the colour it is filled with.
struct PdfPage {
  double width = 720;
  double height = 540;
  Rgb colour;
};
// A line of text on a PDF page, in Helvetica (Latin-1 text): its baseline's
// left end in points from the page's top left corner, and its type size.
struct PdfText {
  double x = 0;
  double y = 0;
  double size = 12;
  std::string text;
};
// A valid PDF file (cross-reference table and all) of these pages; page i
// carries texts[i] where there is one.
std::string MakePdf(const std::vector<PdfPage>& pages, const std::vector<std::vector<PdfText>>& texts = {});
// The colour of page `index` in the decks the tests make: every page differs.
Rgb PageColour(int index);

struct SwfTag {
  int code = 0;
  std::string body;
};
struct SwfFile {
  bool compressed = false;  // CWS
  int version = 0;
  std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;  // frame, twips
  double frameRate = 0;
  int frameCount = 0;
  std::vector<SwfTag> tags;
};
enum SwfTagCode : int {
  kEnd = 0,
  kShowFrame = 1,
  kDoAction = 12,
  kSetBackgroundColor = 9,
  kDefineBitsJpeg2 = 21,
};
// Reads an SWF file (FWS or CWS); fails the test on a malformed one.
SwfFile ReadSwf(const std::string& written);
// The pictures (DefineBitsJPEG2) of each frame, decoded, in frame order.
std::vector<std::vector<Surface>> FramePictures(const SwfFile& movie);
// The mean colour of a picture.
Rgb MeanColour(const Surface& picture);

// Records what a conversion tells its observer, one line per call.
class RecordingObserver : public ConversionObserver {
 public:
  void ShowProgress(int percent, int slidesDone, int slideCount) override;
  void ShowStatus(const std::string& text) override;
  void ClearProgress() override;
  void ConversionComplete() override;
  void Warning(const std::string& text) override;
  void OpenPage(const std::filesystem::path& page) override;

  std::vector<std::string> events;
  std::vector<int> percents;
  // Called from ShowProgress after it is recorded (a test may cancel there).
  std::function<void(int slidesDone)> onProgress;
};

}  // namespace quillet::testing
