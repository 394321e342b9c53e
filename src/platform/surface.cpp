// Surface and the box filter. The filter's weights are the overlaps of the
// source and destination pixel intervals on a common grid of Ws*Wd units per
// row (Hs*Hd per column); the sum is exact in 64-bit integers, so a given
// source and size always gives the same bytes.
#include "platform/surface.h"

#include <algorithm>
#include <cassert>

namespace quillet {

Surface::Surface(int width, int height, Rgb fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * height_ * 3) {
  if (fill == Rgb{}) return;
  for (std::size_t i = 0; i < pixels_.size(); i += 3) {
    pixels_[i] = fill.red;
    pixels_[i + 1] = fill.green;
    pixels_[i + 2] = fill.blue;
  }
}

Rgb Surface::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
  const std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * 3;
  return {p[0], p[1], p[2]};
}

void Surface::SetPixel(int x, int y, Rgb colour) {
  assert(x >= 0 && y >= 0 && x < width_ && y < height_);
  std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * 3;
  p[0] = colour.red;
  p[1] = colour.green;
  p[2] = colour.blue;
}

namespace {

// The source pixels one destination pixel covers along one axis, with their
// weights.
struct Span {
  int first = 0;                      // first source index
  std::vector<std::int64_t> weights;  // one per source index from `first`
};

std::vector<Span> Spans(int sourceLength, int destLength) {
  std::vector<Span> spans(static_cast<std::size_t>(destLength));
  const std::int64_t s = sourceLength;
  const std::int64_t d = destLength;
  for (std::int64_t x = 0; x < d; ++x) {
    const std::int64_t begin = x * s;
    const std::int64_t end = (x + 1) * s;
    Span& span = spans[static_cast<std::size_t>(x)];
    span.first = static_cast<int>(begin / d);
    const std::int64_t last = std::min<std::int64_t>((end - 1) / d, s - 1);
    for (std::int64_t i = span.first; i <= last; ++i) {
      const std::int64_t w = std::min(end, (i + 1) * d) - std::max(begin, i * d);
      span.weights.push_back(std::max<std::int64_t>(0, w));
    }
  }
  return spans;
}

}  // namespace

Surface BoxFilter(const Surface& source, int left, int top, int width, int height, int destWidth, int destHeight) {
  if (width <= 0 || height <= 0 || destWidth <= 0 || destHeight <= 0) return {};

  Surface dest(destWidth, destHeight);
  if (width == destWidth && height == destHeight) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) dest.SetPixel(x, y, source.Pixel(left + x, top + y));
    return dest;
  }

  const std::vector<Span> columns = Spans(width, destWidth);
  const std::vector<Span> rows = Spans(height, destHeight);
  const std::int64_t area = static_cast<std::int64_t>(width) * height;

  // Horizontal pass into exact integer sums, one row of the rectangle at a time.
  std::vector<std::int64_t> partial(static_cast<std::size_t>(height) * destWidth * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < destWidth; ++x) {
      const Span& span = columns[static_cast<std::size_t>(x)];
      std::int64_t sum[3] = {0, 0, 0};
      for (std::size_t k = 0; k < span.weights.size(); ++k) {
        const Rgb p = source.Pixel(left + span.first + static_cast<int>(k), top + y);
        sum[0] += span.weights[k] * p.red;
        sum[1] += span.weights[k] * p.green;
        sum[2] += span.weights[k] * p.blue;
      }
      std::int64_t* out = &partial[(static_cast<std::size_t>(y) * destWidth + x) * 3];
      out[0] = sum[0];
      out[1] = sum[1];
      out[2] = sum[2];
    }
  }

  for (int y = 0; y < destHeight; ++y) {
    const Span& span = rows[static_cast<std::size_t>(y)];
    std::uint8_t* out = dest.Row(y);
    for (int x = 0; x < destWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        std::int64_t sum = 0;
        for (std::size_t k = 0; k < span.weights.size(); ++k)
          sum += span.weights[k] * partial[((static_cast<std::size_t>(span.first) + k) * destWidth + x) * 3 + c];
        // Round half up: floor((2*sum + D) / (2*D)).
        out[static_cast<std::size_t>(x) * 3 + c] = static_cast<std::uint8_t>((2 * sum + area) / (2 * area));
      }
    }
  }
  return dest;
}

}  // namespace quillet
