// Entropy coding of the scans (ITU-T T.81 Annex F.1.2 and B.2.3). The
// components are grouped into scans of at most three components and ten
// blocks per MCU; a component alone is coded block by block in stored order,
// a group in MCU order, where positions beyond a component's block grid get
// a flat filler block (DC difference 0, end of block). Bits are packed most
// significant first; every 0xFF byte is followed by a stuffed 0x00 and each
// scan ends on a whole byte filled up with 1-bits.
#include <bit>
#include <cassert>
#include <cmath>

#include "jpeg/cjpeg.h"
#include "platform/error.h"

namespace quillet {

namespace {

constexpr std::int32_t kMostBlocksPerMcu = 10;
constexpr std::int32_t kMostComponentsPerScan = 3;
constexpr std::int32_t kEOB = 0x00;
constexpr std::int32_t kZRL = 0xF0;
constexpr std::int32_t kStartOfScan = 0xDA;
constexpr std::int32_t kNoBitPending = 128;

}  // namespace

// B.2.3: components are taken in list order; a group closes when the next
// component would take it past ten blocks per MCU, when it holds three
// components, or at the end. A component of more than ten blocks is a group
// of its own.
std::vector<cJpeg::ScanGroup> cJpeg::GroupScans(const std::vector<ComponentRecord>& components,
                                                const std::vector<ScanEntry>& entries, std::int32_t first,
                                                std::int32_t last) {
  std::vector<ScanGroup> groups;
  std::int32_t groupStart = first;
  std::int32_t sum = 0;
  std::int32_t i = first;
  while (groupStart <= last) {
    const ComponentRecord& component =
        components.at(static_cast<std::size_t>(entries.at(static_cast<std::size_t>(i)).compIdx));
    sum += component.H * component.V;
    std::int32_t next = i + 1;
    bool closed = false;
    if (sum > kMostBlocksPerMcu) {
      if (i != groupStart) {
        groups.push_back({groupStart, i - 1});
        next = i;
      } else {
        groups.push_back({i, i});
      }
      closed = true;
    } else if (next - groupStart == kMostComponentsPerScan || next > last) {
      groups.push_back({groupStart, next - 1});
      closed = true;
    }
    if (closed) {
      groupStart = next;
      sum = 0;
    }
    i = next;
  }
  return groups;
}

// Blocks in one block row of the component's plane.
std::int32_t cJpeg::BlocksPerLine(const ComponentRecord& component) const {
  return (static_cast<std::int32_t>(std::ceil(static_cast<double>(m_X) * component.H / m_Hmax)) + 7) / 8;
}

void cJpeg::BitWriterReset() {
  m_BitBuf = 0;
  m_BitMask = kNoBitPending;
}

// Writes the bits of `value` selected by `mask` (a power of two) down to bit
// 0, most significant first, a byte at a time.
void cJpeg::PutBits(std::int32_t mask, std::int32_t value) {
  assert(mask >= 0 && (mask & (mask - 1)) == 0);
  auto pending = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(mask)));
  const auto bits = static_cast<std::uint32_t>(value);
  while (pending > 0) {
    const auto room = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(m_BitMask)));
    const std::int32_t take = std::min(pending, room);
    const std::uint32_t chunk = (bits >> (pending - take)) & ((1u << take) - 1);
    m_BitBuf |= static_cast<std::int32_t>(chunk << (room - take));
    pending -= take;
    if (take < room) {
      m_BitMask >>= take;
      continue;
    }
    WriteByte(m_BitBuf);
    if (m_BitBuf == 0xFF) WriteByte(0x00);
    m_BitBuf = 0;
    m_BitMask = kNoBitPending;
  }
}

void cJpeg::BitWriterFlush() {
  if (m_BitMask != kNoBitPending) PutBits(m_BitMask, -1);
}

void cJpeg::PutSymbol(const HuffmanTable& table, std::int32_t symbol) {
  if (symbol < 0 || symbol >= kSymbolCount) throw Error(kSubscriptOutOfRange, "Subscript out of range");
  const std::int32_t mask = table.CodeMask[static_cast<std::size_t>(symbol)];
  // A symbol the statistics did not count has no code: never drop it.
  if (mask == 0) throw Error(kGeneral, "Bad Huffman Table");
  PutBits(mask, table.Code[static_cast<std::size_t>(symbol)]);
}

// F.1.2.1 and F.1.2.2: the DC difference as category and extra bits, then
// the AC coefficients as run/size symbols with extra bits, ZRL for sixteen
// zeros before a coefficient and EOB for zeros up to the end.
void cJpeg::EncodeBlock(const std::vector<std::int16_t>& D, std::int32_t& s, std::int32_t& P, std::int32_t Td,
                        std::int32_t Ta) {
  if (Td < 0 || Td >= kTableCount || Ta < 0 || Ta >= kTableCount || s < 0 ||
      static_cast<std::size_t>(s) + kBlockSize > D.size())
    throw Error(kSubscriptOutOfRange, "Subscript out of range");
  const HuffmanTable& dcTable = m_HuffDC[static_cast<std::size_t>(Td)];
  const HuffmanTable& acTable = m_HuffAC[static_cast<std::size_t>(Ta)];
  const std::int32_t end = s + kBlockSize;

  const std::int32_t difference = D[static_cast<std::size_t>(s)] - P;
  P = D[static_cast<std::size_t>(s)];
  ++s;
  std::int32_t category = Category(difference);
  PutSymbol(dcTable, category);
  if (category > 0) PutBits(1 << (category - 1), difference >= 0 ? difference : difference - 1);

  std::int32_t run = 0;
  for (; s < end; ++s) {
    const std::int32_t value = D[static_cast<std::size_t>(s)];
    if (value == 0) {
      ++run;
      continue;
    }
    while (run > 15) {
      PutSymbol(acTable, kZRL);
      run -= 16;
    }
    category = Category(value);
    if (category > 15) throw Error(kGeneral, "Bad Huffman Table");
    PutSymbol(acTable, run * 16 + category);
    PutBits(1 << (category - 1), value >= 0 ? value : value - 1);
    run = 0;
  }
  if (run > 0) PutSymbol(acTable, kEOB);
}

// B.2.3 scan header.
void cJpeg::WriteSOS(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last) {
  const std::int32_t Ns = last - first + 1;
  WriteMarker(kStartOfScan);
  const std::int32_t Ls = 6 + 2 * Ns;
  WriteByte(Ls / 256);
  WriteByte(Ls % 256);
  WriteByte(Ns);
  for (std::int32_t j = first; j <= last; ++j) {
    const ScanEntry& entry = entries[static_cast<std::size_t>(j)];
    WriteByte(m_Comp.at(static_cast<std::size_t>(entry.compIdx)).C);
    WriteByte(entry.dcSel * 16 + entry.acSel);
  }
  WriteByte(0);   // Ss
  WriteByte(63);  // Se
  WriteByte(0);   // Ah, Al
}

void cJpeg::EncodeScanSingle(const std::vector<ScanEntry>& entries, std::int32_t position) {
  const ScanEntry& entry = entries[static_cast<std::size_t>(position)];
  const ComponentRecord& component = m_Comp.at(static_cast<std::size_t>(entry.compIdx));
  WriteSOS(entries, position, position);
  BitWriterReset();
  std::int32_t predictor = 0;
  std::int32_t s = 0;
  while (static_cast<std::size_t>(s) != component.Data.size())
    EncodeBlock(component.Data, s, predictor, entry.dcSel, entry.acSel);
  BitWriterFlush();
}

// A.2.3: MCU rows top to bottom, MCU columns left to right, and in each MCU
// the components in list order, each with V rows of H blocks.
void cJpeg::EncodeScanInterleaved(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last) {
  struct Position {
    const ComponentRecord* component = nullptr;
    ScanEntry entry;
    std::int32_t lastDC = 0;
    std::vector<std::int32_t> rowOffset;
    std::int32_t rowSkip = 0;
    std::int32_t lastCol = 0;
  };

  const std::int32_t mcuColumns = (m_X + 8 * m_Hmax - 1) / (8 * m_Hmax);
  const std::int32_t mcuRows = (m_Y + 8 * m_Vmax - 1) / (8 * m_Vmax);
  std::vector<Position> positions;
  for (std::int32_t j = first; j <= last; ++j) {
    Position position;
    position.entry = entries[static_cast<std::size_t>(j)];
    position.component = &m_Comp.at(static_cast<std::size_t>(position.entry.compIdx));
    const ComponentRecord& c = *position.component;
    const std::int32_t bpl = BlocksPerLine(c);
    for (std::int32_t k = 0; k < c.V; ++k) position.rowOffset.push_back(k * bpl * kBlockSize);
    position.rowSkip = (c.V - 1) * bpl * kBlockSize;
    position.lastCol = bpl % c.H == 0 ? c.H : bpl % c.H;
    positions.push_back(std::move(position));
  }

  WriteSOS(entries, first, last);
  BitWriterReset();
  std::vector<std::int16_t> filler(kBlockSize, 0);
  for (std::int32_t mcuRow = 0; mcuRow < mcuRows; ++mcuRow) {
    const bool lastRow = mcuRow == mcuRows - 1;
    for (std::int32_t mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn) {
      const bool lastColumn = mcuColumn == mcuColumns - 1;
      for (Position& position : positions) {
        const ComponentRecord& c = *position.component;
        const auto dataLength = static_cast<std::int64_t>(c.Data.size());
        for (std::int32_t k = 1; k <= c.V; ++k) {
          std::int32_t& offset = position.rowOffset[static_cast<std::size_t>(k - 1)];
          for (std::int32_t l = 1; l <= c.H; ++l) {
            const bool isFiller = (lastColumn && l > position.lastCol) || (lastRow && offset >= dataLength);
            if (!isFiller) {
              EncodeBlock(c.Data, offset, position.lastDC, position.entry.dcSel, position.entry.acSel);
              continue;
            }
            filler[0] = static_cast<std::int16_t>(position.lastDC);
            std::int32_t start = 0;
            std::int32_t predictor = position.lastDC;
            EncodeBlock(filler, start, predictor, position.entry.dcSel, position.entry.acSel);
          }
        }
      }
    }
    if (!lastRow)
      for (Position& position : positions)
        for (std::int32_t& offset : position.rowOffset) offset += position.rowSkip;
  }
  BitWriterFlush();
}

void cJpeg::EncodeScans(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last) {
  for (const ScanGroup& group : GroupScans(m_Comp, entries, first, last)) {
    if (group.Interleaved())
      EncodeScanInterleaved(entries, group.first, group.last);
    else
      EncodeScanSingle(entries, group.first);
  }
}

}  // namespace quillet
