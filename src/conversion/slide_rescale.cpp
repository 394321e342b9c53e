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
constexpr Rgb kWhite{255, 255, 255};

int DivideAndRound(int size, int divisor) {
  const float scaled = static_cast<float>(size) / static_cast<float>(divisor);
  return std::max(1, static_cast<int>(std::nearbyint(scaled)));
}

// A slide of another shape than the first: scaled whole into the frame,
// keeping its shape, centred on white.
Surface FitIntoFrame(const Surface& picture, PictureSize frame) {
  const double scale = std::min(static_cast<double>(frame.width) / picture.Width(),
                                static_cast<double>(frame.height) / picture.Height());
  const int width = std::clamp(static_cast<int>(std::lround(picture.Width() * scale)), 1, frame.width);
  const int height = std::clamp(static_cast<int>(std::lround(picture.Height() * scale)), 1, frame.height);
  const Surface scaled = BoxFilter(picture, width, height);
  Surface framed(frame.width, frame.height, kWhite);
  const int left = (frame.width - width) / 2;
  const int top = (frame.height - height) / 2;
  for (int y = 0; y < height; ++y) {
    std::copy(scaled.Row(y), scaled.Row(y) + scaled.Stride(), framed.Row(top + y) + static_cast<std::size_t>(left) * 3);
  }
  return framed;
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

PictureSize RescaleSlide(std::string_view exported, const std::filesystem::path& file, int divisor, cJpeg& encoder,
                         std::optional<PictureSize> frame, SlideEncoding encoding) {
  const Surface picLoad = DecodeJpeg(exported, file);
  PictureSize size = RescaledSize(picLoad.Width(), picLoad.Height(), divisor);
  const bool fits = !frame || *frame == size;
  const Surface picSize = fits ? BoxFilter(picLoad, size.width, size.height) : FitIntoFrame(picLoad, *frame);
  if (!fits) size = *frame;

  const std::int32_t luma = encoding.fullColour ? kChromaSampling : kLumaSampling;
  encoder.SetSamplingFrequencies(luma, luma, kChromaSampling, kChromaSampling, kChromaSampling, kChromaSampling);
  encoder.Quality(encoding.quality);
  encoder.Comment("");
  if (encoder.SampleHDC(picSize, size.width, size.height, 0, 0) != 0) {
    throw Error(kGeneral, "cannot encode the slide picture " + file.string());
  }
  encoder.SaveFile(file.string());
  return size;
}

void FirstSlideFrame::Set(PictureSize frame) {
  std::lock_guard lock(mutex_);
  frame_ = frame;
}

std::optional<PictureSize> FirstSlideFrame::Get() {
  std::lock_guard lock(mutex_);
  return frame_;
}

void FirstSlideFrame::Keep(int number, std::string exported, PictureSize size) {
  std::lock_guard lock(mutex_);
  kept_.push_back({{number, std::move(exported)}, size});
}

std::vector<FirstSlideFrame::Kept> FirstSlideFrame::TakeMisfits() {
  std::lock_guard lock(mutex_);
  std::vector<Kept> misfits;
  if (!frame_) return misfits;
  for (Waiting& waiting : kept_) {
    if (!(waiting.size == *frame_)) misfits.push_back(std::move(waiting.slide));
  }
  kept_.clear();
  return misfits;
}

}  // namespace quillet
