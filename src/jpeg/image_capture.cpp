// Image capture and colour sampling (ITU-T T.81 A.1.1 and A.2). Each
// component's plane is the captured rectangle at the component's own
// resolution: ceil(H * X / Hmax) x ceil(V * Y / Vmax) pixels, copied when that
// is the rectangle's size and box-filtered down otherwise, then padded to
// whole 8 x 8 blocks by repeating the last column and then the last row. Every
// block is converted from RGB to Y, Cb or Cr with the level shift (JFIF 1.02
// conversion), transformed and quantised at once; only the quantised
// coefficients are kept.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "jpeg/cjpeg.h"
#include "jpeg/vector_path.h"
#include "platform/error.h"

namespace quillet {

namespace {

// The colour conversion factors, held as floats, per component index.
struct ColourRow {
  float red;
  float green;
  float blue;
  float plus;
};

constexpr ColourRow kColourRows[3] = {
    {0.299f, 0.587f, 0.114f, -128.0f},   // Y, level-shifted
    {-0.16874f, -0.33126f, 0.5f, 0.0f},  // Cb, centred on zero
    {0.5f, -0.41869f, -0.08131f, 0.0f},  // Cr, centred on zero
};

struct PlaneSize {
  std::int32_t width = 0;         // Wc
  std::int32_t height = 0;        // Hc
  std::int32_t paddedWidth = 0;   // Pw
  std::int32_t paddedHeight = 0;  // Ph
  friend bool operator==(const PlaneSize&, const PlaneSize&) = default;
};

std::int32_t RoundUpToBlock(std::int32_t length) { return (length + 7) / 8 * 8; }

}  // namespace

// Each product of a byte and a float factor is exact in double, and so is
// their sum; the sample is that sum rounded once, to float.
void cJpeg::ConvertColours(const std::uint8_t* rgb, std::int32_t count, std::int32_t component, float* samples) {
  const ColourRow& colour = kColourRows[component];
  if (vector_path::Available()) {
    const float factors[4] = {colour.red, colour.green, colour.blue, colour.plus};
    vector_path::ConvertColours(rgb, count, factors, samples);
    return;
  }
  for (std::int32_t n = 0; n < count; ++n, rgb += 3) {
    const float red = rgb[0];
    const float green = rgb[1];
    const float blue = rgb[2];
    samples[n] = static_cast<float>(static_cast<double>(red) * colour.red + static_cast<double>(green) * colour.green +
                                    static_cast<double>(blue) * colour.blue + static_cast<double>(colour.plus));
  }
}

std::int32_t cJpeg::SampleHDC(const Surface& surface, std::int32_t lWidth, std::int32_t lHeight, std::int32_t lSrcLeft,
                              std::int32_t lSrcTop) {
  if (lWidth <= 0 || lHeight <= 0) return 1;
  // The plane must be addressable with 32-bit positions, and the rectangle
  // must lie in the coordinate range.
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  const std::int64_t paddedArea =
      (static_cast<std::int64_t>(lWidth) + 7) / 8 * 8 * ((static_cast<std::int64_t>(lHeight) + 7) / 8 * 8);
  if (paddedArea > kLimit || static_cast<std::int64_t>(lSrcLeft) + lWidth > kLimit ||
      static_cast<std::int64_t>(lSrcTop) + lHeight > kLimit)
    throw Error(kOverflow, "Overflow");

  // The planes are built in the buffers of the capture before last, so a
  // run of captures allocates nothing; every coefficient is written.
  std::vector<std::vector<std::int16_t>> planesData(m_Comp.size());
  for (std::size_t i = 0; i < m_Comp.size() && i < m_SparePlanes.size(); ++i)
    planesData[i] = std::move(m_SparePlanes[i]);
  PlaneSize drawnSize;
  Surface drawn;
  for (std::size_t i = 0; i < m_Comp.size(); ++i) {
    const ComponentRecord& component = m_Comp[i];

    PlaneSize size;
    size.width = static_cast<std::int32_t>(std::ceil(static_cast<double>(component.H) * lWidth / m_Hmax));
    size.height = static_cast<std::int32_t>(std::ceil(static_cast<double>(component.V) * lHeight / m_Vmax));
    size.paddedWidth = RoundUpToBlock(size.width);
    size.paddedHeight = RoundUpToBlock(size.height);

    // A plane of the size of the one before is the same drawing. A plane at
    // the rectangle's own size lying inside the surface is read in place.
    const bool inPlace = size.width == lWidth && size.height == lHeight && lSrcLeft >= 0 && lSrcTop >= 0 &&
                         static_cast<std::int64_t>(lSrcLeft) + lWidth <= surface.Width() &&
                         static_cast<std::int64_t>(lSrcTop) + lHeight <= surface.Height();
    if (!inPlace && !(size == drawnSize)) {
      drawn = BoxFilter(surface, lSrcLeft, lSrcTop, lWidth, lHeight, size.width, size.height);
      drawnSize = size;
    }
    const Surface& plane = inPlace ? surface : drawn;
    const std::int32_t left = inPlace ? lSrcLeft : 0;
    const std::int32_t top = inPlace ? lSrcTop : 0;

    std::vector<std::int16_t>& data = planesData[i];
    data.resize(static_cast<std::size_t>(size.paddedWidth) * size.paddedHeight);
    // Eight rows of samples at a time, padded to whole blocks: the last real
    // column repeats to the right, then the last real row downwards.
    const std::size_t stripWidth = static_cast<std::size_t>(size.paddedWidth);
    std::vector<float> strip(stripWidth * 8);
    std::int32_t p = 0;
    const std::int32_t blockRows = size.paddedHeight / 8;
    const std::int32_t blockColumns = size.paddedWidth / 8;
    for (std::int32_t blockRow = 0; blockRow < blockRows; ++blockRow) {
      for (int j = 0; j < 8; ++j) {
        float* samples = &strip[static_cast<std::size_t>(j) * stripWidth];
        const std::int32_t y = blockRow * 8 + j;
        if (y >= size.height) {
          std::copy_n(samples - stripWidth, stripWidth, samples);
          continue;
        }
        const std::uint8_t* row = plane.Row(top + y) + static_cast<std::size_t>(left) * 3;
        ConvertColours(row, size.width, static_cast<std::int32_t>(i), samples);
        std::fill(samples + size.width, samples + stripWidth, samples[size.width - 1]);
      }
      const std::array<float, kBlockSize>& divisor = m_QTable[static_cast<std::size_t>(component.Tq)].Divisor;
      if (vector_path::Available()) {
        if (!vector_path::TransformStrip(strip.data(), stripWidth, blockColumns, divisor.data(), m_ZigZag,
                                         data.data() + p))
          throw Error(kOverflow, "Overflow");
        p += blockColumns * kBlockSize;
        continue;
      }
      for (std::int32_t blockColumn = 0; blockColumn < blockColumns; ++blockColumn) {
        for (int j = 0; j < 8; ++j)
          std::copy_n(&strip[static_cast<std::size_t>(j) * stripWidth + static_cast<std::size_t>(blockColumn) * 8], 8,
                      &m_Block[static_cast<std::size_t>(j) * 8]);
        ForwardDCT();
        QuantizeBlock(data, p, divisor);
      }
    }
  }

  // Only a complete capture replaces the previous one.
  m_P = 8;
  m_Y = lHeight;
  m_X = lWidth;
  for (std::size_t i = 0; i < m_Comp.size(); ++i) {
    m_Comp[i].C = static_cast<std::int32_t>(i) + 1;
    std::swap(m_Comp[i].Data, planesData[i]);
  }
  m_SparePlanes = std::move(planesData);
  for (int k = 0; k < kTableCount; ++k)
    m_CapturedQk[static_cast<std::size_t>(k)] = m_QTable[static_cast<std::size_t>(k)].Qk;
  return 0;
}

}  // namespace quillet
