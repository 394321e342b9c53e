// Bit packing of the SWF file format: bit fields fill each byte from bit 7
// down, byte-aligned fields pad the partial byte with zeros, integers are
// little-endian.
#include "swf/bit_writer.h"

#include <cassert>

namespace swf {

int UnsignedBitCount(std::uint32_t value) {
  int count = 0;
  while (value != 0) {
    ++count;
    value >>= 1;
  }
  return count;
}

int SignedBitCount(std::int32_t value) {
  if (value == 0) return 0;
  const std::int64_t magnitude = value > 0 ? std::int64_t{value} : -std::int64_t{value} - 1;
  return UnsignedBitCount(static_cast<std::uint32_t>(magnitude)) + 1;
}

void BitWriter::WriteUI8(std::uint8_t value) {
  AlignToByte();
  bytes_.push_back(value);
}

void BitWriter::WriteUI16(std::uint16_t value) {
  WriteUI8(static_cast<std::uint8_t>(value & 0xFF));
  WriteUI8(static_cast<std::uint8_t>(value >> 8));
}

void BitWriter::WriteSI16(std::int16_t value) { WriteUI16(static_cast<std::uint16_t>(value)); }

void BitWriter::WriteUI32(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) WriteUI8(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

void BitWriter::WriteBytes(const std::vector<std::uint8_t>& bytes) {
  AlignToByte();
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void BitWriter::WriteString(std::string_view text) {
  AlignToByte();
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
}

void BitWriter::WriteUnsignedBits(std::uint32_t value, int count) {
  assert(count >= 0 && count <= 32);
  assert(count == 32 || (value >> count) == 0);
  for (int bit = count - 1; bit >= 0; --bit) {
    partial_ = static_cast<std::uint8_t>((partial_ << 1) | ((value >> bit) & 1));
    if (++partialBits_ == 8) {
      bytes_.push_back(partial_);
      partial_ = 0;
      partialBits_ = 0;
    }
  }
}

void BitWriter::WriteSignedBits(std::int32_t value, int count) {
  assert(count >= SignedBitCount(value));
  if (count == 0) return;
  const std::uint32_t mask = count == 32 ? 0xFFFFFFFFu : ((1u << count) - 1);
  WriteUnsignedBits(static_cast<std::uint32_t>(value) & mask, count);
}

void BitWriter::AlignToByte() {
  if (partialBits_ == 0) return;
  bytes_.push_back(static_cast<std::uint8_t>(partial_ << (8 - partialBits_)));
  partial_ = 0;
  partialBits_ = 0;
}

const std::vector<std::uint8_t>& BitWriter::Bytes() {
  AlignToByte();
  return bytes_;
}

}  // namespace swf
