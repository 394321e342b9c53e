// Slide rescaling and re-encoding: every exported slide picture is shrunk by
// the size divisor k with the box filter and written by the cJpeg encoder
// (quality 100, luminance sampled 2 x 2, no comment).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

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

// Decodes one slide picture as exported (JPEG bytes), shrinks it by
// 1/`divisor` and writes it to `file` with `encoder`, whose settings are given
// again first. Throws quillet::Error naming `file` on failure.
void RescaleSlide(std::string_view exported, const std::filesystem::path& file, int divisor, cJpeg& encoder);

}  // namespace quillet
