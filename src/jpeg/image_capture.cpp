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
#include <system_error>
#include <thread>

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

std::int32_t RoundUpToBlock(std::int32_t length) { return (length + 7) / 8 * 8; }

// A capture thread takes at least this many blocks.
constexpr std::int64_t kLeastBlocksPerThread = 1024;

struct RowRun {
  std::int32_t component = 0;
  std::int32_t blockRow = 0;
};

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

std::int32_t cJpeg::CaptureThreads() const {
  if (m_Threads > 0) return m_Threads;
  return static_cast<std::int32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
}

void cJpeg::Threads(std::int32_t count) { m_Threads = std::clamp(count, 0, 64); }

std::int32_t cJpeg::Threads() const { return m_Threads; }

// One block row of a plane: eight rows of samples, padded to whole blocks
// (the last real column repeats to the right, then the last real row
// downwards), transformed and quantised. False when a coefficient does not
// fit 16 bits.
bool cJpeg::CaptureRow(const PlaneJob& job, std::int32_t blockRow, float* strip, bool vector) {
  const PlaneSize& size = job.size;
  const std::size_t stripWidth = static_cast<std::size_t>(size.paddedWidth);
  for (int j = 0; j < 8; ++j) {
    float* samples = strip + static_cast<std::size_t>(j) * stripWidth;
    const std::int32_t y = blockRow * 8 + j;
    if (y >= size.height) {
      std::copy_n(samples - stripWidth, stripWidth, samples);
      continue;
    }
    const std::uint8_t* row = job.plane->Row(job.top + y) + static_cast<std::size_t>(job.left) * 3;
    ConvertColours(row, size.width, job.component, samples);
    std::fill(samples + size.width, samples + stripWidth, samples[size.width - 1]);
  }
  const std::int32_t blockColumns = size.paddedWidth / 8;
  std::int16_t* out = job.data + static_cast<std::size_t>(blockRow) * blockColumns * kBlockSize;
  if (vector) return vector_path::TransformStrip(strip, stripWidth, blockColumns, job.divisor->data(), m_ZigZag, out);

  // The portable code works in m_Block: one thread only.
  std::vector<std::int16_t> block(kBlockSize);
  for (std::int32_t blockColumn = 0; blockColumn < blockColumns; ++blockColumn, out += kBlockSize) {
    for (int j = 0; j < 8; ++j)
      std::copy_n(strip + static_cast<std::size_t>(j) * stripWidth + static_cast<std::size_t>(blockColumn) * 8, 8,
                  &m_Block[static_cast<std::size_t>(j) * 8]);
    ForwardDCT();
    std::int32_t p = 0;
    try {
      QuantizeBlock(block, p, *job.divisor);
    } catch (const Error&) {
      return false;
    }
    std::copy(block.begin(), block.end(), out);
  }
  return true;
}

std::vector<cJpeg::PlaneJob> cJpeg::PlanPlanes(const Surface& surface, std::int32_t lWidth, std::int32_t lHeight,
                                               std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                               std::vector<Coefficients>& planes) {
  // Planes of one size share one drawing.
  std::vector<PlaneJob> jobs(m_Comp.size());
  std::vector<PlaneSize> drawingSizes;
  for (std::size_t i = 0; i < m_Comp.size(); ++i) {
    const ComponentRecord& component = m_Comp[i];
    PlaneJob& job = jobs[i];
    PlaneSize& size = job.size;
    size.width = static_cast<std::int32_t>(std::ceil(static_cast<double>(component.H) * lWidth / m_Hmax));
    size.height = static_cast<std::int32_t>(std::ceil(static_cast<double>(component.V) * lHeight / m_Vmax));
    size.paddedWidth = RoundUpToBlock(size.width);
    size.paddedHeight = RoundUpToBlock(size.height);
    const bool inPlace = size.width == lWidth && size.height == lHeight && lSrcLeft >= 0 && lSrcTop >= 0 &&
                         static_cast<std::int64_t>(lSrcLeft) + lWidth <= surface.Width() &&
                         static_cast<std::int64_t>(lSrcTop) + lHeight <= surface.Height();
    if (!inPlace && (drawingSizes.empty() || !(drawingSizes.back() == size))) {
      if (m_Drawings.size() <= drawingSizes.size()) m_Drawings.resize(drawingSizes.size() + 1);
      BoxFilter(surface, lSrcLeft, lSrcTop, lWidth, lHeight, m_Drawings[drawingSizes.size()], size.width, size.height);
      drawingSizes.push_back(size);
    }
    job.component = static_cast<std::int32_t>(i);
    job.plane = inPlace ? &surface : nullptr;
    job.drawing = inPlace ? 0 : drawingSizes.size() - 1;
    job.left = inPlace ? lSrcLeft : 0;
    job.top = inPlace ? lSrcTop : 0;
    job.divisor = &m_QTable[static_cast<std::size_t>(component.Tq)].Divisor;
    planes[i].resize(static_cast<std::size_t>(size.paddedWidth) * size.paddedHeight);
    job.data = planes[i].data();
  }
  for (PlaneJob& job : jobs)
    if (job.plane == nullptr) job.plane = &m_Drawings[job.drawing];
  return jobs;
}

// The block rows of all planes, split into contiguous runs of about equal
// size, one per thread; each block's coefficients depend on its own samples
// only, so the split never changes a byte.
bool cJpeg::CaptureAll(const std::vector<PlaneJob>& jobs) {
  std::vector<RowRun> units;
  std::int64_t totalBlocks = 0;
  for (const PlaneJob& job : jobs) {
    const std::int32_t blockRows = job.size.paddedHeight / 8;
    for (std::int32_t row = 0; row < blockRows; ++row) units.push_back({job.component, row});
    totalBlocks += static_cast<std::int64_t>(blockRows) * (job.size.paddedWidth / 8);
  }
  const bool vector = vector_path::Available();
  std::int64_t threads = vector ? CaptureThreads() : 1;
  threads = std::max<std::int64_t>(1, std::min(threads, totalBlocks / kLeastBlocksPerThread));
  std::vector<std::size_t> bounds{0};
  std::int64_t done = 0;
  for (std::size_t n = 0; n < units.size(); ++n) {
    const PlaneJob& job = jobs[static_cast<std::size_t>(units[n].component)];
    done += job.size.paddedWidth / 8;
    if (done * threads >= totalBlocks * static_cast<std::int64_t>(bounds.size())) bounds.push_back(n + 1);
  }
  while (bounds.size() < static_cast<std::size_t>(threads) + 1) bounds.push_back(units.size());

  std::vector<std::vector<float>> strips(static_cast<std::size_t>(threads));
  std::size_t widest = 0;
  for (const PlaneJob& job : jobs) widest = std::max(widest, static_cast<std::size_t>(job.size.paddedWidth));
  for (std::vector<float>& strip : strips) strip.resize(widest * 8);
  std::vector<char> fits(static_cast<std::size_t>(threads), 1);
  auto run = [&](std::size_t t) {
    for (std::size_t n = bounds[t]; n < bounds[t + 1]; ++n)
      if (!CaptureRow(jobs[static_cast<std::size_t>(units[n].component)], units[n].blockRow, strips[t].data(),
                      vector)) {
        fits[t] = 0;
        return;
      }
  };
  {
    std::vector<std::jthread> workers;
    for (std::size_t t = 1; t < static_cast<std::size_t>(threads); ++t) {
      try {
        workers.emplace_back(run, t);
      } catch (const std::system_error&) {
        run(t);  // no thread to be had: do its share here
      }
    }
    run(0);
  }
  return std::all_of(fits.begin(), fits.end(), [](char fit) { return fit != 0; });
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
  std::vector<Coefficients> planesData(m_Comp.size());
  for (std::size_t i = 0; i < m_Comp.size() && i < m_SparePlanes.size(); ++i)
    planesData[i] = std::move(m_SparePlanes[i]);
  const std::vector<PlaneJob> jobs = PlanPlanes(surface, lWidth, lHeight, lSrcLeft, lSrcTop, planesData);
  if (!CaptureAll(jobs)) throw Error(kOverflow, "Overflow");

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
