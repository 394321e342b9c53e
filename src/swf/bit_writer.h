// The byte and bit sink of the SWF writer: little-endian integers, bit fields
// packed from the most significant bit of each byte, and the minimal bit
// counts the SWF file format asks for in its bit-packed records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace swf {

// Bits of an unsigned value (0 for 0).
int UnsignedBitCount(std::uint32_t value);
// Bits of a two's-complement field that holds value (0 for 0).
int SignedBitCount(std::int32_t value);

class BitWriter {
 public:
  // Byte-aligned fields first pad any partial byte with zero bits.
  void WriteUI8(std::uint8_t value);
  void WriteUI16(std::uint16_t value);
  void WriteSI16(std::int16_t value);
  void WriteUI32(std::uint32_t value);
  void WriteBytes(const std::vector<std::uint8_t>& bytes);
  // STRING: the bytes and a terminating 0.
  void WriteString(std::string_view text);

  void WriteUnsignedBits(std::uint32_t value, int count);
  void WriteSignedBits(std::int32_t value, int count);
  void AlignToByte();

  std::size_t Size() const { return bytes_.size(); }
  // The bytes written so far, the partial byte padded.
  const std::vector<std::uint8_t>& Bytes();

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint8_t partial_ = 0;
  int partialBits_ = 0;
};

}  // namespace swf
