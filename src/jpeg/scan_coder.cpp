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
#include <limits>

#include "jpeg/cjpeg.h"
#include "jpeg/nonzero_mask.h"
#include "platform/error.h"

namespace quillet {

namespace {

constexpr std::int32_t kMostBlocksPerMcu = 10;
constexpr std::int32_t kMostComponentsPerScan = 3;
constexpr std::int32_t kEOB = 0x00;
constexpr std::int32_t kZRL = 0xF0;
constexpr std::int32_t kStartOfScan = 0xDA;

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
  m_BitFree = 64;
}

// Writes the full 64-bit buffer, most significant byte first, with a 0x00
// after every 0xFF; the caller has made room (EnsureRoom).
void cJpeg::EmitWord() {
  const std::uint64_t word = m_BitBuf;
  std::uint8_t* out = m_Data.data() + m_Pos;
  // A byte is 0xFF exactly when the inverted byte is zero.
  const std::uint64_t inverted = ~word;
  const bool hasFF = ((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) != 0;
  if (!hasFF) {
    for (int k = 0; k < 8; ++k) out[k] = static_cast<std::uint8_t>(word >> (56 - 8 * k));
    m_Pos += 8;
    return;
  }
  std::int32_t written = 0;
  for (int k = 0; k < 8; ++k) {
    const auto byte = static_cast<std::uint8_t>(word >> (56 - 8 * k));
    out[written++] = byte;
    if (byte == 0xFF) out[written++] = 0x00;
  }
  m_Pos += written;
}

// Appends the low `count` bits of `bits` (count 0..32, no higher bits set).
inline void cJpeg::Put(std::uint64_t bits, std::int32_t count) {
  if (count < m_BitFree) {
    m_BitBuf = (m_BitBuf << count) | bits;
    m_BitFree -= count;
    return;
  }
  const std::int32_t rest = count - m_BitFree;
  m_BitBuf = m_BitFree == 64 ? bits >> rest : (m_BitBuf << m_BitFree) | (bits >> rest);
  EmitWord();
  m_BitBuf = bits & ((std::uint64_t{1} << rest) - 1);
  m_BitFree = 64 - rest;
}

// Room for one block's worst case (every code and extra bits at their
// longest, every byte stuffed) and a pending word.
void cJpeg::EnsureRoom() {
  constexpr std::size_t kBlockRoom = 1024;
  if (m_Data.size() - static_cast<std::size_t>(m_Pos) >= kBlockRoom) return;
  if (m_Pos > std::numeric_limits<std::int32_t>::max() - static_cast<std::int32_t>(kBlockRoom))
    throw Error(kOverflow, "Overflow");
  m_Data.resize(m_Data.size() * 2 + kBlockRoom);
}

// Writes the bits of `value` selected by `mask` (a power of two) down to bit
// 0, most significant first.
void cJpeg::PutBits(std::int32_t mask, std::int32_t value) {
  assert(mask >= 0 && (mask & (mask - 1)) == 0);
  const auto count = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(mask)));
  if (count == 0) return;
  EnsureRoom();
  Put(static_cast<std::uint32_t>(value) & ((std::uint64_t{1} << count) - 1), count);
}

// The pending bits, filled up with 1-bits to a whole byte, a byte at a time.
void cJpeg::BitWriterFlush() {
  std::int32_t pending = 64 - m_BitFree;
  if (pending == 0) return;
  EnsureRoom();
  const std::int32_t fill = (8 - pending % 8) % 8;
  std::uint64_t bits = fill == 0 ? m_BitBuf : (m_BitBuf << fill) | ((std::uint64_t{1} << fill) - 1);
  pending += fill;
  while (pending > 0) {
    pending -= 8;
    const auto byte = static_cast<std::uint8_t>(bits >> pending);
    m_Data[static_cast<std::size_t>(m_Pos++)] = byte;
    if (byte == 0xFF) m_Data[static_cast<std::size_t>(m_Pos++)] = 0x00;
  }
  BitWriterReset();
}

namespace {

// Category and extra bits of a non-zero value together: SSSS and the low
// SSSS bits of the value (less one when negative).
struct Magnitude {
  std::int32_t category;
  std::uint32_t extra;
};

inline Magnitude MagnitudeOf(std::int32_t value) {
  const std::int32_t sign = value >> 31;
  const auto category = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>((value ^ sign) - sign)));
  const std::uint32_t extra = static_cast<std::uint32_t>(value + sign) & ((std::uint32_t{1} << category) - 1);
  return {category, extra};
}

[[noreturn]] void MissingCode() { throw Error(kGeneral, "Bad Huffman Table"); }

}  // namespace

// F.1.2.1 and F.1.2.2: the DC difference as category and extra bits, then
// the AC coefficients as run/size symbols with extra bits, ZRL for sixteen
// zeros before a coefficient and EOB for zeros up to the end. A symbol the
// statistics did not count has no code: never drop it.
void cJpeg::EncodeBlock(const Coefficients& D, std::int32_t& s, std::int32_t& P, std::int32_t Td, std::int32_t Ta) {
  if (Td < 0 || Td >= kTableCount || Ta < 0 || Ta >= kTableCount || s < 0 ||
      static_cast<std::size_t>(s) + kBlockSize > D.size())
    throw Error(kSubscriptOutOfRange, "Subscript out of range");
  const HuffmanTable& dcTable = m_HuffDC[static_cast<std::size_t>(Td)];
  const HuffmanTable& acTable = m_HuffAC[static_cast<std::size_t>(Ta)];
  const std::int16_t* block = D.data() + s;
  s += kBlockSize;
  EnsureRoom();

  const std::int32_t difference = block[0] - P;
  P = block[0];
  if (difference == 0) {
    if (dcTable.Length[0] == 0) MissingCode();
    Put(static_cast<std::uint32_t>(dcTable.Code[0]), dcTable.Length[0]);
  } else {
    const Magnitude dc = MagnitudeOf(difference);
    if (dc.category >= kSymbolCount) MissingCode();
    const std::int32_t length = dcTable.Length[static_cast<std::size_t>(dc.category)];
    if (length == 0) MissingCode();
    Put((static_cast<std::uint64_t>(dcTable.Code[static_cast<std::size_t>(dc.category)]) << dc.category) | dc.extra,
        length + dc.category);
  }

  std::uint64_t nonZero = NonZeroMask(block) & ~std::uint64_t{1};
  std::int32_t last = 0;
  while (nonZero != 0) {
    const auto z = static_cast<std::int32_t>(std::countr_zero(nonZero));
    nonZero &= nonZero - 1;
    std::int32_t run = z - last - 1;
    last = z;
    while (run > 15) {
      if (acTable.Length[kZRL] == 0) MissingCode();
      Put(static_cast<std::uint32_t>(acTable.Code[kZRL]), acTable.Length[kZRL]);
      run -= 16;
    }
    const Magnitude ac = MagnitudeOf(block[z]);
    if (ac.category > 15) MissingCode();
    const auto symbol = static_cast<std::size_t>(run * 16 + ac.category);
    const std::int32_t length = acTable.Length[symbol];
    if (length == 0) MissingCode();
    Put((static_cast<std::uint64_t>(acTable.Code[symbol]) << ac.category) | ac.extra, length + ac.category);
  }
  if (last < kBlockSize - 1) {
    if (acTable.Length[kEOB] == 0) MissingCode();
    Put(static_cast<std::uint32_t>(acTable.Code[kEOB]), acTable.Length[kEOB]);
  }
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
  Coefficients filler(kBlockSize, 0);
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
