// Checks that a file is a complete baseline JPEG stream (ITU-T T.81) before
// it goes into a DefineBitsJPEG2 tag, and reads its size from the frame
// header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace swf {

struct JpegPicture {
  std::vector<std::uint8_t> bytes;  // SOI to EOI
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

// Reads and checks the file; throws quillet::Error naming the path when the
// file cannot be read or is no baseline JPEG (SOI, SOF0 or SOF1 with 8-bit
// samples, scans, EOI). Bytes after EOI are left out.
JpegPicture ReadBaselineJpeg(const std::string& path);

// The same check on bytes already in memory; `name` goes into messages.
JpegPicture CheckBaselineJpeg(std::vector<std::uint8_t> bytes, const std::string& name);

}  // namespace swf
