// The byte-exact guard at slide size: pictures drawn by integer formulas
// (the same as full_size_golden.py) must encode to the SHA-256 the Python
// reference encoder gives them, listed in golden/full_size.sha256; and the
// colour conversion must give, for every 24-bit colour, the float nearest
// to the exact value of its formula.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;

Rgb SlidePixel(int x, int y, int w, int h) {
  int r = 235 - 40 * y / h, g = 240 - 30 * y / h, b = 250;
  if (y < h / 6) {
    r = 28, g = 52, b = 110;
    if (h / 20 < y && y < h / 9 && w / 10 < x && x < w / 2 && (x * 60 / w) % 3 != 2) r = g = b = 255;
  }
  const int pitch = h / 10;
  if (y >= h / 4) {
    const int ly = y - h / 4, line = ly / pitch;
    if (line < 5 && ly % pitch < h / 40 && w / 12 < x && x < w / 2 - line * w / 20 && (x * 40 / w) % 5 != 4)
      r = g = b = 40;
  }
  const int cx = 3 * w / 4, cy = 3 * h / 5, rad = w / 6;
  const int dx = std::abs(x - cx), dy = std::abs(y - cy), d2 = dx * dx + dy * dy, r2 = rad * rad;
  if (d2 < r2 + 2 * rad) {
    int inner[3] = {66, 133, 244};
    if (y >= cy) inner[0] = 219, inner[1] = 68, inner[2] = 55;
    if (x > cx && y < cy) inner[0] = 15, inner[1] = 157, inner[2] = 88;
    const int t = d2 <= r2 - 2 * rad ? 256 : (r2 + 2 * rad - d2) * 256 / (4 * rad);
    r = (inner[0] * t + r * (256 - t)) / 256;
    g = (inner[1] * t + g * (256 - t)) / 256;
    b = (inner[2] * t + b * (256 - t)) / 256;
  }
  if (w / 12 <= x && x < w / 3 && 3 * h / 5 <= y && y < 9 * h / 10) {
    const std::uint32_t hashed = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    const int grain = static_cast<int>((hashed >> 7) & 31);
    r = (x * 255 / w + grain) % 256;
    g = (y * 255 / h + 2 * grain) % 256;
    b = ((x + y) % 256 + grain) % 256;
  }
  return {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}

Surface Slide(int w, int h) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, SlidePixel(x, y, w, h));
  return s;
}

Surface Noise(int w, int h, std::uint32_t state) {
  Surface s(w, h);
  for (std::uint8_t& byte : s.Bytes()) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return s;
}

std::string Sha256(const std::vector<std::uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  std::ostringstream hex;
  for (unsigned int i = 0; i < length; ++i)
    hex << "0123456789abcdef"[digest[i] >> 4] << "0123456789abcdef"[digest[i] & 15];
  return hex.str();
}

std::map<std::string, std::string> GoldenHashes() {
  std::ifstream file(std::filesystem::path(QUILLET_GOLDEN_DIR) / "full_size.sha256");
  std::map<std::string, std::string> hashes;
  std::string hash, name;
  while (file >> hash >> name) hashes[name] = hash;
  return hashes;
}

// Forces the portable code for its lifetime (or not).
class PortableCode {
 public:
  explicit PortableCode(bool forced) { vector_path::ForcePortable(forced); }
  ~PortableCode() { vector_path::ForcePortable(false); }
};

struct FullSizeCase {
  const char* name;
  bool noise;
  int width, height;
  std::int32_t factors[6];
};

class FullSize : public ::testing::TestWithParam<FullSizeCase> {};

TEST_P(FullSize, BytesAreTheReferenceEncoders) {
  const FullSizeCase& c = GetParam();
  const std::string expected = GoldenHashes()[c.name];
  ASSERT_FALSE(expected.empty()) << "no hash for " << c.name;
  const Surface picture = c.noise ? Noise(c.width, c.height, 2463534242u) : Slide(c.width, c.height);
  // The vector path where the processor has one, on three threads, and the
  // portable code, which captures on one.
  for (const bool portable : {false, true}) {
    PortableCode forced(portable);
    cJpeg j;
    j.Threads(portable ? 1 : 3);
    j.Quality(100);
    const auto f = c.factors;
    j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    ASSERT_EQ(j.SampleHDC(picture, c.width, c.height, 0, 0), 0);
    // Twice through the same object: nothing of one capture may leak into the next.
    for (int round = 0; round < 2; ++round)
      EXPECT_EQ(Sha256(Access::BuildStream(j)), expected) << "round " << round << ", portable " << portable;
    ASSERT_EQ(j.SampleHDC(picture, c.width, c.height, 0, 0), 0);
    EXPECT_EQ(Sha256(Access::BuildStream(j)), expected) << "second capture, portable " << portable;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Slides, FullSize,
    ::testing::Values(FullSizeCase{"slide-1440x1080-q100-2x2", false, 1440, 1080, {2, 2, 1, 1, 1, 1}},
                      FullSizeCase{"slide-720x540-q100-2x2", false, 720, 540, {2, 2, 1, 1, 1, 1}},
                      FullSizeCase{"noise-720x540-q100-2x2", true, 720, 540, {2, 2, 1, 1, 1, 1}},
                      FullSizeCase{"slide-1441x1081-q100-2x2", false, 1441, 1081, {2, 2, 1, 1, 1, 1}},
                      FullSizeCase{"slide-1440x1080-q100-grey", false, 1440, 1080, {1, 1, 0, 0, 0, 0}},
                      FullSizeCase{"slide-720x540-q100-444", false, 720, 540, {1, 1, 1, 1, 1, 1}}),
    [](const ::testing::TestParamInfo<FullSizeCase>& info) {
      std::string name = info.param.name;
      for (char& letter : name)
        if (letter == '-') letter = '_';
      return name;
    });

// The sample of a colour is the float nearest (ties to even) to the exact
// value of red * R + green * G + blue * B + offset with the float factors.
// Every factor is a whole multiple of 2^-27, so the exact value is an integer
// count of 2^-27 and the rounding is a single int64 to float conversion.
TEST(ColourSamples, EveryColourIsTheNearestFloatToTheExactValue) {
  const float factors[3][4] = {
      {0.299f, 0.587f, 0.114f, -128.0f}, {-0.16874f, -0.33126f, 0.5f, 0.0f}, {0.5f, -0.41869f, -0.08131f, 0.0f}};
  constexpr double kUnit = 134217728.0;  // 2^27
  std::vector<std::uint8_t> rgb(256 * 256 * 3);
  std::vector<float> samples(256 * 256);
  for (int run = 0; run < 6; ++run) {
    const int component = run % 3;
    PortableCode forced(run >= 3);
    std::int64_t units[4];
    for (int k = 0; k < 4; ++k) {
      units[k] = static_cast<std::int64_t>(factors[component][k] * kUnit);
      ASSERT_EQ(static_cast<double>(units[k]), factors[component][k] * kUnit);
    }
    int wrong = 0;
    for (int red = 0; red < 256; ++red) {
      for (std::size_t i = 0; i < samples.size(); ++i) {
        rgb[i * 3] = static_cast<std::uint8_t>(red);
        rgb[i * 3 + 1] = static_cast<std::uint8_t>(i >> 8);
        rgb[i * 3 + 2] = static_cast<std::uint8_t>(i & 255);
      }
      Access::ConvertColours(rgb.data(), static_cast<std::int32_t>(samples.size()), component, samples.data());
      for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::int64_t exact = red * units[0] + rgb[i * 3 + 1] * units[1] + rgb[i * 3 + 2] * units[2] + units[3];
        const float expected = static_cast<float>(static_cast<float>(exact) / kUnit);
        if (samples[i] != expected && ++wrong <= 3)
          ADD_FAILURE() << "run " << run << ", component " << component << " colour " << red << ","
                        << int(rgb[i * 3 + 1]) << "," << int(rgb[i * 3 + 2]) << ": " << samples[i] << " instead of "
                        << expected;
      }
    }
    EXPECT_EQ(wrong, 0) << "run " << run << ", component " << component;
  }
}

}  // namespace
}  // namespace quillet
