// Huffman table construction (ITU-T T.81 Annex K.2 and C). Before a file is
// written, the symbols every table will code are counted, grouping the
// components into scans as the scan coder does and visiting the blocks of
// interleaved scans in MCU order; from the counts an optimal code limited to
// 16 bits is built (Figures K.1 to K.3, with fixed tie rules, so the tables
// are the same on every run), and the per-symbol codes are derived
// (Annex C). The tables' code lengths also give an estimate of the size of
// the entropy-coded data.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "jpeg/cjpeg.h"
#include "jpeg/nonzero_mask.h"
#include "platform/error.h"

namespace quillet {

namespace {

constexpr std::int32_t kLargestDCSymbol = 11;
constexpr std::int32_t kLargestACSymbol = 255;
constexpr std::int32_t kEOB = 0x00;
constexpr std::int32_t kZRL = 0xF0;
constexpr int kLongestCode = 16;

[[noreturn]] void BadHuffmanTable() { throw Error(kGeneral, "Bad Huffman Table"); }

// Bits of the entropy-coded data: whole bytes and a remainder of 0..7 bits.
struct BitTally {
  std::int64_t bytes = 0;
  std::int64_t bits = 0;
  void Add(std::int64_t count) {
    bits += count;
    bytes += bits / 8;
    bits %= 8;
  }
  std::int64_t Bytes() const { return bytes + (bits > 0 ? 1 : 0); }
};

std::int32_t CodeLength(std::int32_t codeMask) { return std::bit_width(static_cast<std::uint32_t>(codeMask)); }

}  // namespace

// The number of significant bits of |value| (F.1.2.1.1 SSSS).
std::int32_t cJpeg::Category(std::int32_t value) {
  const auto magnitude = static_cast<std::uint32_t>(value < 0 ? -static_cast<std::int64_t>(value) : value);
  return std::bit_width(magnitude);
}

void cJpeg::CountDCSymbols(const Coefficients& data, SymbolCounts& counts) const {
  std::int32_t predictor = 0;
  for (std::size_t n = 0; n < data.size(); n += kBlockSize) {
    counts[static_cast<std::size_t>(Category(data[n] - predictor))] += 1;
    predictor = data[n];
  }
}

// The DC differences in the order an interleaved scan visits the blocks:
// MCU rows, MCU columns, then V block rows of H blocks each. Filler blocks,
// beyond the component's block grid, code a difference of 0.
void cJpeg::CountDCSymbolsInterleaved(const Coefficients& data, SymbolCounts& counts, std::int32_t H,
                                      std::int32_t V) const {
  const std::int32_t mcuColumns = (m_X + 8 * m_Hmax - 1) / (8 * m_Hmax);
  const std::int32_t mcuRows = (m_Y + 8 * m_Vmax - 1) / (8 * m_Vmax);
  const std::int32_t blocksPerLine =
      (static_cast<std::int32_t>(std::ceil(static_cast<double>(H) * m_X / m_Hmax)) + 7) / 8;
  const std::int64_t rowLength = std::int64_t{kBlockSize} * blocksPerLine;
  const std::int32_t lastColumns = blocksPerLine % H == 0 ? H : blocksPerLine % H;
  const auto total = static_cast<std::int64_t>(data.size());

  std::vector<std::int64_t> next(static_cast<std::size_t>(V));
  for (std::int32_t m = 0; m < V; ++m) next[static_cast<std::size_t>(m)] = rowLength * m;
  std::int32_t predictor = 0;
  for (std::int32_t mcuRow = 0; mcuRow < mcuRows; ++mcuRow) {
    const bool lastRow = mcuRow == mcuRows - 1;
    for (std::int32_t mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn) {
      const bool lastColumn = mcuColumn == mcuColumns - 1;
      for (std::int32_t m = 0; m < V; ++m) {
        std::int64_t& position = next[static_cast<std::size_t>(m)];
        for (std::int32_t n = 1; n <= H; ++n) {
          const bool filler = (lastColumn && n > lastColumns) || (lastRow && position >= total);
          if (filler) {
            counts[0] += 1;
            continue;
          }
          const std::int16_t value = data[static_cast<std::size_t>(position)];
          counts[static_cast<std::size_t>(Category(value - predictor))] += 1;
          predictor = value;
          position += kBlockSize;
        }
      }
    }
    if (!lastRow)
      for (std::int64_t& position : next) position += rowLength * (V - 1);
  }
}

void cJpeg::CountACSymbols(const Coefficients& data, SymbolCounts& counts) const {
  for (std::size_t block = 0; block + kBlockSize <= data.size(); block += kBlockSize) {
    const std::int16_t* coefficients = data.data() + block;
    std::uint64_t nonZero = NonZeroMask(coefficients) & ~std::uint64_t{1};
    std::int32_t last = 0;
    while (nonZero != 0) {
      const auto z = static_cast<std::int32_t>(std::countr_zero(nonZero));
      nonZero &= nonZero - 1;
      const std::int32_t run = z - last - 1;
      last = z;
      counts[kZRL] += run / 16;
      const std::int32_t category = Category(coefficients[z]);
      if (category > 15) BadHuffmanTable();
      counts[static_cast<std::size_t>(run % 16 * 16 + category)] += 1;
    }
    if (last < kBlockSize - 1) counts[kEOB] += 1;
  }
}

// Blocks an interleaved scan codes for the component beyond its block grid:
// the MCU grid's block positions minus the stored blocks.
std::int64_t cJpeg::FillerBlockCount(const ComponentRecord& component) const {
  const std::int64_t mcuColumns = (m_X + 8 * m_Hmax - 1) / (8 * m_Hmax);
  const std::int64_t mcuRows = (m_Y + 8 * m_Vmax - 1) / (8 * m_Vmax);
  const std::int64_t visited = mcuColumns * component.H * mcuRows * component.V;
  return visited - static_cast<std::int64_t>(component.Data.size()) / kBlockSize;
}

// Figure K.1 (code sizes), K.2 (counts per size) and K.3 (limiting to 16
// bits), then the symbols in order of their code size before limiting.
void cJpeg::GenerateOptimalTable(HuffmanTable& table, SymbolCounts& counts) {
  constexpr int kEntries = kSymbolCount + 1;
  std::array<std::int32_t, kEntries> codeSize{};
  std::array<std::int32_t, kEntries> others;
  others.fill(-1);
  std::array<std::int32_t, kEntries> lengthCounts{};

  counts[kReservedSymbol] = 1;
  std::int32_t root = -1;
  for (;;) {
    // The two least non-zero counts; equal counts favour the larger symbol.
    std::int32_t c1 = -1;
    std::int32_t c2 = -1;
    std::int64_t f1 = std::numeric_limits<std::int64_t>::max();
    std::int64_t f2 = std::numeric_limits<std::int64_t>::max();
    for (std::int32_t v = 0; v < kEntries; ++v) {
      const std::int64_t count = counts[static_cast<std::size_t>(v)];
      if (count == 0 || count > f2) continue;
      if (count <= f1) {
        c2 = c1;
        f2 = f1;
        c1 = v;
        f1 = count;
      } else {
        c2 = v;
        f2 = count;
      }
    }
    root = c1;
    if (c2 < 0) break;

    counts[static_cast<std::size_t>(c1)] += counts[static_cast<std::size_t>(c2)];
    counts[static_cast<std::size_t>(c2)] = 0;
    ++codeSize[static_cast<std::size_t>(c1)];
    while (others[static_cast<std::size_t>(c1)] >= 0) {
      c1 = others[static_cast<std::size_t>(c1)];
      ++codeSize[static_cast<std::size_t>(c1)];
    }
    others[static_cast<std::size_t>(c1)] = c2;
    ++codeSize[static_cast<std::size_t>(c2)];
    while (others[static_cast<std::size_t>(c2)] >= 0) {
      c2 = others[static_cast<std::size_t>(c2)];
      ++codeSize[static_cast<std::size_t>(c2)];
    }
  }
  // The search that found one symbol alone found the root, which holds the total.
  if (root >= 0) counts[static_cast<std::size_t>(root)] = 0;

  std::int32_t longest = 0;
  for (std::int32_t v = 0; v < kEntries; ++v) {
    const std::int32_t size = codeSize[static_cast<std::size_t>(v)];
    if (size == 0) continue;
    ++lengthCounts[static_cast<std::size_t>(size)];
    longest = std::max(longest, size);
  }

  // Figure K.3: move pairs of the longest codes up until none exceeds 16 bits.
  std::int32_t i = longest;
  while (i > kLongestCode) {
    if (lengthCounts[static_cast<std::size_t>(i)] > 0) {
      std::int32_t j = i - 2;
      while (j >= 1 && lengthCounts[static_cast<std::size_t>(j)] == 0) --j;
      lengthCounts[static_cast<std::size_t>(i)] -= 2;
      lengthCounts[static_cast<std::size_t>(i - 1)] += 1;
      lengthCounts[static_cast<std::size_t>(j + 1)] += 2;
      lengthCounts[static_cast<std::size_t>(j)] -= 1;
    } else {
      --i;
    }
  }
  // Remove the reserved code point from the longest length.
  lengthCounts[static_cast<std::size_t>(longest > kLongestCode ? kLongestCode : longest)] -= 1;

  for (int l = 1; l <= kLongestCode; ++l) {
    const std::int32_t count = lengthCounts[static_cast<std::size_t>(l)];
    if (count < 0 || count > 255) throw Error(kOverflow, "Overflow");
    table.BITS[static_cast<std::size_t>(l - 1)] = static_cast<std::uint8_t>(count);
  }
  std::size_t k = 0;
  for (std::int32_t l = 1; l <= longest; ++l)
    for (std::int32_t v = 0; v < kSymbolCount; ++v)
      if (codeSize[static_cast<std::size_t>(v)] == l) table.HUFFVAL[k++] = static_cast<std::uint8_t>(v);
}

// Annex C: codes of each length follow in HUFFVAL order; a code of all 1-bits
// or one that does not fit its length makes the table invalid.
void cJpeg::DeriveHuffmanCodes(HuffmanTable& table, std::int32_t largestSymbol) {
  table.CodeMask.fill(0);
  table.Code.fill(-1);
  table.Length.fill(0);
  std::int32_t placed = 0;
  std::int32_t code = 0;
  std::int32_t mask = 1;
  for (int l = 1; l <= kLongestCode; ++l) {
    const std::int32_t end = placed + table.BITS[static_cast<std::size_t>(l - 1)];
    if (end > kSymbolCount) BadHuffmanTable();
    for (; placed < end; ++placed) {
      const std::int32_t symbol = table.HUFFVAL[static_cast<std::size_t>(placed)];
      if (symbol > largestSymbol || table.Code[static_cast<std::size_t>(symbol)] >= 0) BadHuffmanTable();
      table.CodeMask[static_cast<std::size_t>(symbol)] = mask;
      table.Length[static_cast<std::size_t>(symbol)] = static_cast<std::uint8_t>(l);
      table.Code[static_cast<std::size_t>(symbol)] = code;
      ++code;
    }
    mask *= 2;
    if (code >= mask) BadHuffmanTable();
    code *= 2;
  }
  if (placed == 0) BadHuffmanTable();
}

std::int32_t cJpeg::BuildTables(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last) {
  std::vector<bool> interleaved(entries.size(), false);
  std::array<bool, kTableCount> dcUsed{};
  std::array<bool, kTableCount> acUsed{};
  for (const ScanGroup& group : GroupScans(m_Comp, entries, first, last))
    for (std::int32_t e = group.first; e <= group.last; ++e) {
      const ScanEntry& entry = entries[static_cast<std::size_t>(e)];
      if (entry.dcSel < 0 || entry.dcSel >= kTableCount || entry.acSel < 0 || entry.acSel >= kTableCount)
        throw Error(kSubscriptOutOfRange, "Subscript out of range");
      dcUsed[static_cast<std::size_t>(entry.dcSel)] = true;
      acUsed[static_cast<std::size_t>(entry.acSel)] = true;
      interleaved[static_cast<std::size_t>(e)] = group.Interleaved();
    }

  BitTally estimate;
  SymbolCounts counts{};
  for (std::int32_t k = 0; k < kTableCount; ++k) {
    if (dcUsed[static_cast<std::size_t>(k)]) {
      for (std::int32_t e = first; e <= last; ++e) {
        const ScanEntry& entry = entries[static_cast<std::size_t>(e)];
        if (entry.dcSel != k) continue;
        const ComponentRecord& component = m_Comp[static_cast<std::size_t>(entry.compIdx)];
        if (interleaved[static_cast<std::size_t>(e)])
          CountDCSymbolsInterleaved(component.Data, counts, component.H, component.V);
        else
          CountDCSymbols(component.Data, counts);
      }
      const SymbolCounts copy = counts;
      HuffmanTable& table = m_HuffDC[static_cast<std::size_t>(k)];
      GenerateOptimalTable(table, counts);
      DeriveHuffmanCodes(table, kLargestDCSymbol);
      for (std::int32_t c = 0; c <= 15; ++c)
        if (copy[static_cast<std::size_t>(c)] != 0)
          estimate.Add(copy[static_cast<std::size_t>(c)] *
                       (CodeLength(table.CodeMask[static_cast<std::size_t>(c)]) + c));
    }

    if (acUsed[static_cast<std::size_t>(k)]) {
      std::int64_t fillerBlocks = 0;
      for (std::int32_t e = first; e <= last; ++e) {
        const ScanEntry& entry = entries[static_cast<std::size_t>(e)];
        if (entry.acSel != k) continue;
        const ComponentRecord& component = m_Comp[static_cast<std::size_t>(entry.compIdx)];
        CountACSymbols(component.Data, counts);
        if (interleaved[static_cast<std::size_t>(e)]) fillerBlocks += FillerBlockCount(component);
      }
      // A filler block codes an end-of-block; when no real block of the
      // table ends in zeros, count one per filler block so the code exists.
      if (counts[kEOB] == 0) counts[kEOB] = fillerBlocks;
      const SymbolCounts copy = counts;
      HuffmanTable& table = m_HuffAC[static_cast<std::size_t>(k)];
      GenerateOptimalTable(table, counts);
      DeriveHuffmanCodes(table, kLargestACSymbol);
      for (std::int32_t s = 0; s < kSymbolCount; ++s)
        if (copy[static_cast<std::size_t>(s)] != 0)
          estimate.Add(copy[static_cast<std::size_t>(s)] *
                       (CodeLength(table.CodeMask[static_cast<std::size_t>(s)]) + s % 16));
    }
  }

  const std::int64_t bytes = estimate.Bytes();
  if (bytes > std::numeric_limits<std::int32_t>::max()) throw Error(kOverflow, "Overflow");
  return static_cast<std::int32_t>(bytes);
}

}  // namespace quillet
