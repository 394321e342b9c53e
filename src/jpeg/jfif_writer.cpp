// The JFIF stream writer (ITU-T T.81 Annex B, JFIF 1.01): SOI, the APP0 JFIF
// header, the comment segments, one DQT and one DHT segment per table, the
// SOF0 frame header, the scans and EOI, in that order. The whole stream is
// built in memory first, in a buffer sized from the entropy-coded size
// estimate (and grown if that ever falls short); only then is it written, to
// a temporary file beside the target that replaces the target in one rename,
// so an error never costs the old file.
#include <cmath>
#include <limits>
#include <string_view>

#include "jpeg/cjpeg.h"
#include "platform/error.h"
#include "platform/file_replace.h"

namespace quillet {

namespace {

enum Marker : std::int32_t {
  kSOF0 = 0xC0,
  kDHT = 0xC4,
  kSOI = 0xD8,
  kEOI = 0xD9,
  kDQT = 0xDB,
  kAPP0 = 0xE0,
  kCOM = 0xFE,
};

// The comment every file carries.
constexpr char kFixedComment[] = "JPEG\r\naaaaa\r\naaaaa";

[[noreturn]] void FailWrite(const std::string& fileName, const std::string& reason) {
  throw Error(kGeneral, "cannot write '" + fileName + "': " + reason);
}

}  // namespace

std::int32_t cJpeg::SaveFile(const std::string& FileName) {
  if (FileName.empty()) return 1;
  WriteStream();
  try {
    ReplaceFile(FileName,
                std::string_view(reinterpret_cast<const char*>(m_Data.data()), static_cast<std::size_t>(m_Pos)));
  } catch (const FileWriteError& error) {
    FailWrite(FileName, error.Reason());
  }
  return 0;
}

std::vector<std::uint8_t> cJpeg::BuildStream() {
  WriteStream();
  return {m_Data.begin(), m_Data.begin() + m_Pos};
}

// Builds the whole stream in m_Data[0, m_Pos), keeping the buffer for the
// next file.
void cJpeg::WriteStream() {
  for (const ComponentRecord& component : m_Comp)
    if (component.Data.empty()) throw Error(kSubscriptOutOfRange, "Subscript out of range (no picture captured)");

  // The first component uses tables 0, every other component tables 1.
  std::vector<ScanEntry> entries;
  for (std::int32_t i = 0; i < m_Nf; ++i) entries.push_back({i, i == 0 ? 0 : 1, i == 0 ? 0 : 1});
  const std::int32_t first = 0;
  const std::int32_t last = m_Nf - 1;

  const std::int32_t estimate = BuildTables(entries, first, last);
  const double lastIndex = std::nearbyint(estimate * 1.3 + 1000 + static_cast<double>(m_Comment.size()));
  m_Data.assign(static_cast<std::size_t>(lastIndex) + 1, 0);
  m_Pos = 0;

  WriteMarker(kSOI);
  WriteAPP0();
  if (!m_Comment.empty()) WriteCOM(m_Comment);
  WriteCOM(kFixedComment);
  WriteDQT(m_Pos, 0);
  if (m_Nf > 1) WriteDQT(m_Pos, 1);
  WriteSOF(kSOF0);
  WriteDHT(m_Pos, 0, false);
  WriteDHT(m_Pos, 0, true);
  if (m_Nf > 1) {
    WriteDHT(m_Pos, 1, false);
    WriteDHT(m_Pos, 1, true);
  }
  EncodeScans(entries, first, last);
  WriteMarker(kEOI);
}

// Every byte goes through here: a value that does not fit a byte is an
// overflow, and the buffer grows rather than fail for lack of room.
void cJpeg::WriteByte(std::int64_t value) {
  if (value < 0 || value > 255) throw Error(kOverflow, "Overflow");
  if (m_Pos == std::numeric_limits<std::int32_t>::max()) throw Error(kOverflow, "Overflow");
  if (static_cast<std::size_t>(m_Pos) >= m_Data.size()) m_Data.resize(m_Data.size() * 2 + 1024);
  m_Data[static_cast<std::size_t>(m_Pos)] = static_cast<std::uint8_t>(value);
  ++m_Pos;
}

void cJpeg::WriteMarker(std::int32_t code) {
  WriteByte(0xFF);
  WriteByte(code);
}

// JFIF 1.01 APP0: version 1.01, no density units, aspect 1:1, no thumbnail.
void cJpeg::WriteAPP0() {
  WriteMarker(kAPP0);
  WriteByte(0);
  WriteByte(16);
  for (const char letter : {'J', 'F', 'I', 'F'}) WriteByte(letter);
  WriteByte(0);
  WriteByte(1);  // version major
  WriteByte(1);  // version minor
  WriteByte(0);  // density units
  WriteByte(0);  // X density
  WriteByte(1);
  WriteByte(0);  // Y density
  WriteByte(1);
  WriteByte(0);  // thumbnail width
  WriteByte(0);  // thumbnail height
}

// B.2.4.5 comment: the text's bytes as they are.
void cJpeg::WriteCOM(const std::string& text) {
  const std::int64_t length = static_cast<std::int64_t>(text.size()) + 2;
  if (length <= 2) return;
  WriteMarker(kCOM);
  WriteByte(length / 256);
  WriteByte(length % 256);
  for (const char letter : text) WriteByte(static_cast<std::uint8_t>(letter));
}

// A table is appended to the segment at `segmentStart`, which is opened when
// nothing has been written there yet; the length is written afterwards.
void cJpeg::WriteDQT(std::int32_t segmentStart, std::int32_t Tq) {
  if (Tq < 0 || Tq >= kTableCount) throw Error(kSubscriptOutOfRange, "Subscript out of range");
  if (m_Pos < segmentStart + 4) {
    m_Pos = segmentStart;
    WriteMarker(kDQT);
    WriteByte(0);
    WriteByte(0);
  }
  WriteByte(Tq);  // Pq = 0: 8-bit entries
  for (const std::int16_t entry : m_CapturedQk[static_cast<std::size_t>(Tq)]) WriteByte(entry);
  CloseSegment(segmentStart);
}

// B.2.2 frame header.
void cJpeg::WriteSOF(std::int32_t marker) {
  WriteByte(0xFF);
  WriteByte(marker & 0xFF);
  const std::int32_t length = 8 + 3 * m_Nf;
  WriteByte(length / 256);
  WriteByte(length % 256);
  WriteByte(m_P);
  WriteByte(m_Y / 256);
  WriteByte(m_Y % 256);
  WriteByte(m_X / 256);
  WriteByte(m_X % 256);
  WriteByte(m_Nf);
  for (const ComponentRecord& component : m_Comp) {
    WriteByte(component.C);
    WriteByte(component.H * 16 + component.V);
    WriteByte(component.Tq);
  }
}

// B.2.4.2 Huffman table: Tc/Th, BITS, then HUFFVAL.
void cJpeg::WriteDHT(std::int32_t segmentStart, std::int32_t Th, bool ac) {
  if (Th < 0 || Th >= kTableCount) throw Error(kSubscriptOutOfRange, "Subscript out of range");
  if (m_Pos < segmentStart + 4) {
    m_Pos = segmentStart;
    WriteMarker(kDHT);
    WriteByte(0);
    WriteByte(0);
  }
  const HuffmanTable& table = ac ? m_HuffAC[static_cast<std::size_t>(Th)] : m_HuffDC[static_cast<std::size_t>(Th)];
  WriteByte(ac ? Th + 0x10 : Th);
  std::int32_t count = 0;
  for (const std::uint8_t bits : table.BITS) {
    WriteByte(bits);
    count += bits;
  }
  if (count > kSymbolCount) throw Error(kSubscriptOutOfRange, "Subscript out of range");
  for (std::int32_t k = 0; k < count; ++k) WriteByte(table.HUFFVAL[static_cast<std::size_t>(k)]);
  CloseSegment(segmentStart);
}

void cJpeg::CloseSegment(std::int32_t segmentStart) {
  const std::int32_t length = m_Pos - segmentStart - 2;
  if (length > 65535) throw Error(kOverflow, "Overflow");
  m_Data[static_cast<std::size_t>(segmentStart) + 2] = static_cast<std::uint8_t>(length / 256);
  m_Data[static_cast<std::size_t>(segmentStart) + 3] = static_cast<std::uint8_t>(length % 256);
}

}  // namespace quillet
