// Slide rescaling and re-encoding: every exported slide picture is shrunk by
// the size divisor k with the box filter and written by the cJpeg encoder
// (by default quality 100, luminance sampled 2 x 2, no comment).
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jpeg/cjpeg.h"

namespace quillet {

struct PictureSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// How the slide pictures are encoded. small, medium and big keep quality 100
// with the colour sampled once per 2 x 2 pixels; hd's own settings were
// measured (docs/ARCHITECTURE.md): every colour sample kept, which keeps
// coloured text sharp, at a lower quality.
struct SlideEncoding {
  int quality = 100;        // 1..100
  bool fullColour = false;  // 4:4:4 rather than 4:2:0
  friend bool operator==(const SlideEncoding&, const SlideEncoding&) = default;
};
inline constexpr SlideEncoding kHdEncoding{95, true};

// W0 / k and H0 / k, each divided in single precision and rounded to the
// nearest whole pixel, ties to even; never less than one pixel.
PictureSize RescaledSize(int width, int height, int divisor);

// The percentage shown once slide `finished` (0-based) of `count` is done:
// finished * 100 / count rounded to the nearest integer, ties to even, in
// wide arithmetic so that any slide count works.
int ProgressPercent(std::int64_t finished, std::int64_t count);

// Decodes one slide picture as exported (JPEG bytes), shrinks it by
// 1/`divisor` and writes it to `file` with `encoder`, whose settings
// (`encoding`) are given again first; returns the size written. With a `frame` (the first slide's
// rescaled size), a picture that would come out of another size is fitted
// into the frame whole instead, keeping its shape, centred on white, so every
// picture of the movie is exactly the frame's size. Throws quillet::Error
// naming `file` on failure.
PictureSize RescaleSlide(std::string_view exported, const std::filesystem::path& file, int divisor, cJpeg& encoder,
                         std::optional<PictureSize> frame = std::nullopt, SlideEncoding encoding = {});

// The frame, as slide 1 measures it while the other slides are rescaled on
// other threads. A slide rescaled before the frame was known is kept (its
// picture as exported), to be fitted afterwards should its size differ.
class FirstSlideFrame {
 public:
  void Set(PictureSize frame);
  std::optional<PictureSize> Get();
  void Keep(int number, std::string exported, PictureSize size);

  struct Kept {
    int number = 0;
    std::string exported;
  };
  // The kept slides whose size differs from the frame; none while the frame
  // is unknown.
  std::vector<Kept> TakeMisfits();

 private:
  struct Waiting {
    Kept slide;
    PictureSize size;
  };
  std::mutex mutex_;
  std::optional<PictureSize> frame_;
  std::vector<Waiting> kept_;
};

}  // namespace quillet
