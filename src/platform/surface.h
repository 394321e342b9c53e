// The in-memory 24-bit picture that stands in for a device context and its
// pixels, and the box filter that every stretch goes through.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/large_buffer.h"

namespace quillet {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Rows top to bottom, each row left to right, three bytes red, green, blue.
class Surface {
 public:
  Surface() = default;
  Surface(int width, int height, Rgb fill = {});

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  // Pixels outside the surface read as black, as an unreadable part of a
  // device context does.
  Rgb Pixel(int x, int y) const;
  void SetPixel(int x, int y, Rgb colour);

  std::uint8_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * Stride(); }
  const std::uint8_t* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * Stride(); }
  std::size_t Stride() const { return static_cast<std::size_t>(width_) * 3; }
  const LargeVector<std::uint8_t>& Bytes() const { return pixels_; }
  LargeVector<std::uint8_t>& Bytes() { return pixels_; }

  // Makes the surface width x height, all black, keeping its buffer.
  void Reset(int width, int height);

  friend bool operator==(const Surface&, const Surface&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  LargeVector<std::uint8_t> pixels_;
};

// The halftone stretch: the source rectangle (left, top, width, height) of
// `source` scaled to destWidth x destHeight. Each destination pixel is the
// area-weighted mean of the source pixels it covers, per channel, rounded
// half up, in exact integer arithmetic; equal sizes are a plain copy. Pixels
// of the rectangle outside the source read as black.
Surface BoxFilter(const Surface& source, int left, int top, int width, int height, int destWidth, int destHeight);

// The same into `dest`, reusing its buffer.
void BoxFilter(const Surface& source, int left, int top, int width, int height, Surface& dest, int destWidth,
               int destHeight);

inline Surface BoxFilter(const Surface& source, int destWidth, int destHeight) {
  return BoxFilter(source, 0, 0, source.Width(), source.Height(), destWidth, destHeight);
}

}  // namespace quillet
