// Slide rescaling and re-encoding. picLoad holds the picture as exported,
// picSize its rescaled copy, which the encoder samples and writes out.
#include "conversion/slide_rescale.h"

#include <algorithm>
#include <cmath>

#include "platform/error.h"
#include "platform/picture_file.h"
#include "platform/surface.h"

namespace quillet {
namespace {

// The encoder settings given before every picture.
constexpr std::int32_t kLumaSampling = 2;
constexpr std::int32_t kChromaSampling = 1;
constexpr std::int32_t kSlideQuality = 100;

int DivideAndRound(int size, int divisor) {
  const float scaled = static_cast<float>(size) / static_cast<float>(divisor);
  return std::max(1, static_cast<int>(std::nearbyint(scaled)));
}

}  // namespace

PictureSize RescaledSize(int width, int height, int divisor) {
  if (divisor < 1) throw Error(kGeneral, "the size divisor must be 1, 2 or 3, not " + std::to_string(divisor));
  return {DivideAndRound(width, divisor), DivideAndRound(height, divisor)};
}

int ProgressPercent(std::int64_t finished, std::int64_t count) {
  if (count <= 0) return 0;
  const double percent = static_cast<double>(finished) * 100.0 / static_cast<double>(count);
  return static_cast<int>(std::nearbyint(percent));
}

void RescaleSlide(std::string_view exported, const std::filesystem::path& file, int divisor, cJpeg& encoder) {
  const Surface picLoad = DecodeJpeg(exported, file);
  const PictureSize size = RescaledSize(picLoad.Width(), picLoad.Height(), divisor);
  const Surface picSize = BoxFilter(picLoad, size.width, size.height);

  encoder.SetSamplingFrequencies(kLumaSampling, kLumaSampling, kChromaSampling, kChromaSampling, kChromaSampling,
                                 kChromaSampling);
  encoder.Quality(kSlideQuality);
  encoder.Comment("");
  if (encoder.SampleHDC(picSize, size.width, size.height, 0, 0) != 0) {
    throw Error(kGeneral, "cannot encode the slide picture " + file.string());
  }
  encoder.SaveFile(file.string());
}

}  // namespace quillet
