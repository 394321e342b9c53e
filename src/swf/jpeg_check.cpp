// Walks the marker segments of a JPEG stream (ITU-T T.81, B.1 and B.2): SOI,
// table and application segments, one frame header, scans with their entropy
// coded data (stuffed 0xFF00 bytes and RSTn markers inside), EOI. Only the
// baseline (SOF0) and extended sequential (SOF1) processes with 8-bit samples
// are accepted; every player decodes those.
#include "swf/jpeg_check.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/error.h"

namespace swf {
namespace {

// Marker codes, the byte after 0xFF (T.81 Table B.1).
enum Marker : std::uint8_t {
  kSof0 = 0xC0,  // baseline DCT
  kSof1 = 0xC1,  // extended sequential DCT, Huffman
  kSof2 = 0xC2,  // progressive DCT, Huffman
  kDht = 0xC4,
  kJpg = 0xC8,  // reserved for JPEG extensions
  kSof15 = 0xCF,
  kDac = 0xCC,
  kRst0 = 0xD0,
  kRst7 = 0xD7,
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
  kTem = 0x01,
  kStuffedZero = 0x00,
  kFill = 0xFF,
};

constexpr std::uint8_t kBaselinePrecision = 8;

[[noreturn]] void Fail(const std::string& name, const std::string& reason) {
  throw quillet::Error(quillet::kGeneral, "the picture \"" + name + "\" is not a baseline JPEG file: " + reason);
}

std::string Hex(std::uint8_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}

bool IsFrameHeader(std::uint8_t marker) {
  return marker >= kSof0 && marker <= kSof15 && marker != kDht && marker != kDac && marker != kJpg;
}

std::uint16_t ReadBigEndian16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

}  // namespace

JpegPicture CheckBaselineJpeg(std::vector<std::uint8_t> bytes, const std::string& name) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != kSoi) Fail(name, "it does not start with SOI (FF D8)");
  JpegPicture picture;
  bool haveFrame = false;
  bool haveScan = false;
  std::size_t at = 2;
  while (true) {
    if (at >= bytes.size()) Fail(name, "it ends before EOI (FF D9)");
    if (bytes[at] != 0xFF) Fail(name, "a marker is missing at byte " + std::to_string(at));
    while (at < bytes.size() && bytes[at] == kFill) ++at;  // fill bytes before a marker
    if (at >= bytes.size()) Fail(name, "it ends before EOI (FF D9)");
    const std::uint8_t marker = bytes[at++];
    if (marker == kEoi) break;
    if (marker == kSoi || marker == kTem || (marker >= kRst0 && marker <= kRst7) || marker == kStuffedZero)
      Fail(name, "an unexpected marker FF " + Hex(marker) + " at byte " + std::to_string(at - 2));
    if (at + 2 > bytes.size()) Fail(name, "it ends inside a marker segment");
    const std::uint16_t length = ReadBigEndian16(bytes, at);
    if (length < 2 || at + length > bytes.size()) Fail(name, "a marker segment runs past the end of the file");
    if (IsFrameHeader(marker)) {
      if (marker == kSof2) Fail(name, "it is progressive (SOF2); only baseline pictures can be embedded");
      if (marker != kSof0 && marker != kSof1)
        Fail(name, "its coding process (SOF" + std::to_string(marker - kSof0) + ") is not baseline");
      if (haveFrame) Fail(name, "it has two frame headers");
      if (length < 8) Fail(name, "its frame header is too short");
      if (bytes[at + 2] != kBaselinePrecision) Fail(name, "its samples are not 8-bit");
      picture.height = ReadBigEndian16(bytes, at + 3);
      picture.width = ReadBigEndian16(bytes, at + 5);
      const std::uint8_t components = bytes[at + 7];
      if (picture.width == 0 || picture.height == 0) Fail(name, "its frame header gives no size");
      if (components != 1 && components != 3)
        Fail(name, "it has " + std::to_string(components) + " colour components (1 or 3 are supported)");
      haveFrame = true;
    }
    at += length;
    if (marker != kSos) continue;
    if (!haveFrame) Fail(name, "a scan comes before the frame header");
    haveScan = true;
    // Entropy-coded data: runs until a marker other than a stuffed zero or RSTn.
    while (true) {
      if (at + 1 >= bytes.size()) Fail(name, "it ends inside the scan data, before EOI (FF D9)");
      if (bytes[at] != 0xFF) {
        ++at;
        continue;
      }
      const std::uint8_t next = bytes[at + 1];
      if (next == kStuffedZero || (next >= kRst0 && next <= kRst7)) {
        at += 2;
        continue;
      }
      if (next == kFill) {
        ++at;
        continue;
      }
      break;
    }
  }
  if (!haveFrame) Fail(name, "it has no frame header (SOF0)");
  if (!haveScan) Fail(name, "it has no scan (SOS)");
  bytes.resize(at);  // anything after EOI stays out
  picture.bytes = std::move(bytes);
  return picture;
}

JpegPicture ReadBaselineJpeg(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error))
    throw quillet::Error(quillet::kGeneral, "the picture \"" + path + "\" does not exist");
  if (!std::filesystem::is_regular_file(path, error))
    throw quillet::Error(quillet::kGeneral, "the picture \"" + path + "\" is not a file");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw quillet::Error(quillet::kGeneral, "cannot open the picture \"" + path + "\"");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw quillet::Error(quillet::kGeneral, "cannot read the picture \"" + path + "\"");
  return CheckBaselineJpeg(std::move(bytes), path);
}

}  // namespace swf
