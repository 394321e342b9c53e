// Shared helpers of the encoder tests: synthetic pictures, the independent
// decoder (libjpeg-turbo) and a bit-string builder for expected scan bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/surface.h"
#include "test_files.h"

namespace quillet::test {

// Runs `action`, which should throw quillet::Error; returns "number: text",
// or "no error".
std::string ErrorOf(const std::function<void()>& action);

// A picture with gradients, hard edges and texture, deterministic per size.
Surface SlidePicture(int width, int height);
// Every pixel random, from a fixed seed.
Surface NoisePicture(int width, int height, unsigned seed);

// The luminance of an RGB pixel as JFIF defines it.
double Luminance(Rgb pixel);

struct Decoded {
  bool ok = false;      // decoded at all
  int warnings = 0;     // libjpeg warnings (corrupt data, premature end, ...)
  std::string message;  // the error, when not ok
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<std::uint8_t> luminance;  // the decoded Y plane, width x height
};

// Decodes with libjpeg-turbo's libjpeg interface straight to Y (Cb Cr), so
// the luminance is the decoder's own, untouched by chroma.
Decoded DecodeLuminance(const std::vector<std::uint8_t>& jpeg);

// Decodes with TurboJPEG's tjDecompress2 to RGB; returns the error text, or
// "" when the decode succeeded without warning.
std::string TurboDecodeProblem(const std::vector<std::uint8_t>& jpeg);

// Peak signal-to-noise ratio of the decoded luminance against the picture's.
double LuminancePsnr(const Surface& picture, const Decoded& decoded);

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Builds an expected entropy-coded byte string: bits most significant first,
// then filled up with 1-bits, with a 0x00 stuffed after every 0xFF.
class BitString {
 public:
  // The low `count` bits of `value`.
  BitString& Add(std::uint32_t value, int count);
  std::vector<std::uint8_t> Bytes() const;

 private:
  std::vector<bool> bits_;
};

// Scratch folders and listings are the shared ones.
using testing::AllNames;
using testing::ScratchFolder;

}  // namespace quillet::test
