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

void Surface::Reset(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<std::size_t>(width_) * height_ * 3, 0);
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

// The source pixels each destination pixel covers along one axis, with their
// weights: destination i takes weights[offset[i] .. offset[i + 1]) for the
// source indexes first[i], first[i] + 1, ...
struct Spans {
  std::vector<int> first;
  std::vector<std::size_t> offset;
  std::vector<std::int64_t> weights;
  std::size_t Count(std::size_t i) const { return offset[i + 1] - offset[i]; }
};

Spans MakeSpans(int sourceLength, int destLength) {
  Spans spans;
  const std::int64_t s = sourceLength;
  const std::int64_t d = destLength;
  spans.offset.push_back(0);
  for (std::int64_t x = 0; x < d; ++x) {
    const std::int64_t begin = x * s;
    const std::int64_t end = (x + 1) * s;
    const std::int64_t first = begin / d;
    const std::int64_t last = std::min<std::int64_t>((end - 1) / d, s - 1);
    spans.first.push_back(static_cast<int>(first));
    for (std::int64_t i = first; i <= last; ++i)
      spans.weights.push_back(std::max<std::int64_t>(0, std::min(end, (i + 1) * d) - std::max(begin, i * d)));
    spans.offset.push_back(spans.weights.size());
  }
  return spans;
}

bool Inside(const Surface& source, int left, int top, int width, int height) {
  return left >= 0 && top >= 0 && static_cast<std::int64_t>(left) + width <= source.Width() &&
         static_cast<std::int64_t>(top) + height <= source.Height();
}

// Equal sizes: the rectangle's rows, black where they leave the source.
void Copy(const Surface& source, int left, int top, Surface& dest) {
  const int first = std::max(left, 0);
  const int last = static_cast<int>(std::min<std::int64_t>(std::int64_t{left} + dest.Width(), source.Width()));
  for (int y = 0; y < dest.Height(); ++y) {
    const std::int64_t sy = static_cast<std::int64_t>(top) + y;
    if (sy < 0 || sy >= source.Height() || first >= last) continue;
    std::copy(source.Row(static_cast<int>(sy)) + static_cast<std::size_t>(first) * 3,
              source.Row(static_cast<int>(sy)) + static_cast<std::size_t>(last) * 3,
              dest.Row(y) + static_cast<std::size_t>(std::int64_t{first} - left) * 3);
  }
}

// Exactly half each way, inside the source: the mean of four, rounded half
// up, is (a + b + c + d + 2) / 4. Done in three simple passes a row, which
// the compiler vectorises: the two rows' sums, the sums of each value and
// the one three bytes on (the same channel of the next pixel), and the pick
// of every other pixel.
void Halve(const Surface& source, int left, int top, Surface& dest) {
  const std::size_t width = static_cast<std::size_t>(dest.Width());
  const std::size_t sourceBytes = width * 6;
  std::vector<std::uint16_t> columns(sourceBytes);
  std::vector<std::uint8_t> pairs(sourceBytes);
  for (int y = 0; y < dest.Height(); ++y) {
    const std::uint8_t* a = source.Row(top + 2 * y) + static_cast<std::size_t>(left) * 3;
    const std::uint8_t* b = source.Row(top + 2 * y + 1) + static_cast<std::size_t>(left) * 3;
    for (std::size_t n = 0; n < sourceBytes; ++n) columns[n] = static_cast<std::uint16_t>(a[n] + b[n]);
    for (std::size_t n = 0; n + 3 < sourceBytes; ++n)
      pairs[n] = static_cast<std::uint8_t>((columns[n] + columns[n + 3] + 2) >> 2);
    std::uint8_t* out = dest.Row(y);
    for (std::size_t x = 0; x < width; ++x) {
      out[x * 3] = pairs[x * 6];
      out[x * 3 + 1] = pairs[x * 6 + 1];
      out[x * 3 + 2] = pairs[x * 6 + 2];
    }
  }
}

}  // namespace

Surface BoxFilter(const Surface& source, int left, int top, int width, int height, int destWidth, int destHeight) {
  Surface dest;
  BoxFilter(source, left, top, width, height, dest, destWidth, destHeight);
  return dest;
}

void BoxFilter(const Surface& source, int left, int top, int width, int height, Surface& dest, int destWidth,
               int destHeight) {
  if (width <= 0 || height <= 0 || destWidth <= 0 || destHeight <= 0) {
    dest.Reset(0, 0);
    return;
  }

  dest.Reset(destWidth, destHeight);
  if (width == destWidth && height == destHeight) {
    Copy(source, left, top, dest);
    return;
  }
  if (width == 2 * destWidth && height == 2 * destHeight && Inside(source, left, top, width, height)) {
    Halve(source, left, top, dest);
    return;
  }

  const Spans columns = MakeSpans(width, destWidth);
  const Spans rows = MakeSpans(height, destHeight);
  const std::int64_t area = static_cast<std::int64_t>(width) * height;
  const std::size_t rowSamples = static_cast<std::size_t>(destWidth) * 3;

  // The horizontal sums of the rectangle's rows, computed as the destination
  // rows reach them, in a cache of as many rows as the longest vertical span
  // (plus one): a span's rows never evict one another.
  std::size_t longest = 0;
  for (std::size_t y = 0; y < static_cast<std::size_t>(destHeight); ++y) longest = std::max(longest, rows.Count(y));
  const std::size_t slots = longest + 1;
  std::vector<std::int64_t> cache(slots * rowSamples);
  std::vector<int> cached(slots, -1);
  auto horizontalSums = [&](int row) -> const std::int64_t* {
    std::int64_t* sums = &cache[static_cast<std::size_t>(row) % slots * rowSamples];
    if (cached[static_cast<std::size_t>(row) % slots] == row) return sums;
    cached[static_cast<std::size_t>(row) % slots] = row;
    std::fill_n(sums, rowSamples, 0);
    const std::int64_t sy = static_cast<std::int64_t>(top) + row;
    if (sy < 0 || sy >= source.Height()) return sums;
    const std::uint8_t* pixels = source.Row(static_cast<int>(sy));
    for (std::size_t x = 0; x < static_cast<std::size_t>(destWidth); ++x) {
      std::int64_t sum[3] = {0, 0, 0};
      for (std::size_t k = 0; k < columns.Count(x); ++k) {
        const std::int64_t sx = static_cast<std::int64_t>(left) + columns.first[x] + static_cast<std::int64_t>(k);
        if (sx < 0 || sx >= source.Width()) continue;
        const std::int64_t w = columns.weights[columns.offset[x] + k];
        const std::uint8_t* p = pixels + static_cast<std::size_t>(sx) * 3;
        sum[0] += w * p[0];
        sum[1] += w * p[1];
        sum[2] += w * p[2];
      }
      sums[x * 3] = sum[0];
      sums[x * 3 + 1] = sum[1];
      sums[x * 3 + 2] = sum[2];
    }
    return sums;
  };

  std::vector<std::int64_t> total(rowSamples);
  for (std::size_t y = 0; y < static_cast<std::size_t>(destHeight); ++y) {
    std::fill(total.begin(), total.end(), 0);
    for (std::size_t k = 0; k < rows.Count(y); ++k) {
      const std::int64_t w = rows.weights[rows.offset[y] + k];
      const std::int64_t* sums = horizontalSums(rows.first[y] + static_cast<int>(k));
      for (std::size_t n = 0; n < rowSamples; ++n) total[n] += w * sums[n];
    }
    // Round half up: floor((2*sum + D) / (2*D)).
    std::uint8_t* out = dest.Row(static_cast<int>(y));
    for (std::size_t n = 0; n < rowSamples; ++n) out[n] = static_cast<std::uint8_t>((2 * total[n] + area) / (2 * area));
  }
}

}  // namespace quillet
