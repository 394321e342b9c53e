// Slide rescaling and re-encoding: every exported slide picture is shrunk by
// the size divisor k with the box filter and written back over itself by the
// cJpeg encoder (quality 100, luminance sampled 2 x 2, no comment).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jpeg/cjpeg.h"

namespace quillet {

struct PictureSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// W0 / k and H0 / k, each divided in single precision and rounded to the
// nearest whole pixel, ties to even; never less than one pixel.
PictureSize RescaledSize(int width, int height, int divisor);

// The percentage shown once slide `finished` (0-based) of `count` is done:
// finished * 100 / count rounded to the nearest integer, ties to even, in
// wide arithmetic so that any slide count works.
int ProgressPercent(std::int64_t finished, std::int64_t count);

struct RescaleCallbacks {
  // After each picture: its percentage, pictures done, picture count.
  std::function<void(int percent, int done, int count)> progress;
  // Checked before each picture; true stops the loop (ConversionCancelled).
  std::function<bool()> isCancelled;
};

// Rescales every picture named in `fileJpg` inside `folder` by 1/`divisor`
// and re-encodes it with `encoder`, whose settings are given again before
// every picture. Throws quillet::Error naming the picture on failure.
void RescaleSlides(const std::filesystem::path& folder, const std::vector<std::string>& fileJpg, int divisor,
                   cJpeg& encoder, const RescaleCallbacks& callbacks);

}  // namespace quillet
