// Shared helpers of the encoder tests.
#include "test_support.h"

#include "platform/error.h"

#include <jpeglib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include <unistd.h>

namespace quillet::test {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return std::to_string(error.Number()) + ": " + error.what();
  }
  return "no error";
}

Surface SlidePicture(int width, int height) {
  Surface s(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Rgb p{static_cast<std::uint8_t>(255 * x / std::max(1, width - 1)),
            static_cast<std::uint8_t>(255 * y / std::max(1, height - 1)),
            static_cast<std::uint8_t>((x * 7 + y * 13) % 256)};
      if (x > width / 8 && x < width * 7 / 8 && y > height / 10 && y < height / 5) p = {20, 30, 140};
      if ((x / 5 + y / 7) % 11 == 0) p = {255, 255, 255};
      if (x == y) p = {0, 0, 0};
      s.SetPixel(x, y, p);
    }
  return s;
}

Surface NoisePicture(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  Surface s(width, height);
  for (std::uint8_t& byte : s.Bytes()) byte = static_cast<std::uint8_t>(random() & 0xFF);
  return s;
}

double Luminance(Rgb p) { return 0.299 * p.red + 0.587 * p.green + 0.114 * p.blue; }

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  info->err->format_message(info, manager->message);
  std::longjmp(manager->jump, 1);
}

void Silent(j_common_ptr) {}

}  // namespace

Decoded DecodeLuminance(const std::vector<std::uint8_t>& jpeg) {
  Decoded decoded;
  std::vector<std::uint8_t> row;  // before setjmp: a jump back must not skip its destructor
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.output_message = Silent;
  if (setjmp(errors.jump)) {
    decoded.message = errors.message;
    jpeg_destroy_decompress(&info);
    return decoded;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  decoded.components = info.num_components;
  info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_YCbCr;
  jpeg_start_decompress(&info);
  decoded.width = static_cast<int>(info.output_width);
  decoded.height = static_cast<int>(info.output_height);
  const int channels = info.output_components;
  row.resize(static_cast<std::size_t>(decoded.width) * channels);
  decoded.luminance.reserve(static_cast<std::size_t>(decoded.width) * decoded.height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (int x = 0; x < decoded.width; ++x) decoded.luminance.push_back(row[static_cast<std::size_t>(x) * channels]);
  }
  jpeg_finish_decompress(&info);
  decoded.warnings = static_cast<int>(errors.base.num_warnings);
  jpeg_destroy_decompress(&info);
  decoded.ok = true;
  return decoded;
}

std::string TurboDecodeProblem(const std::vector<std::uint8_t>& jpeg) {
  tjhandle handle = tjInitDecompress();
  int width = 0, height = 0;
  std::string problem;
  // The header call refuses sampling factors TurboJPEG has no name for
  // (3 x 3, 4 x 4); the full decode below handles them.
  jpeg_decompress_struct probe{};
  ErrorManager errors{};
  probe.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.output_message = Silent;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&probe);
    tjDestroy(handle);
    return errors.message;
  }
  jpeg_create_decompress(&probe);
  jpeg_mem_src(&probe, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&probe, TRUE);
  width = static_cast<int>(probe.image_width);
  height = static_cast<int>(probe.image_height);
  jpeg_destroy_decompress(&probe);

  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  if (tjDecompress2(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgb.data(), width, width * 3, height,
                    TJPF_RGB, 0) != 0) {
    problem = tjGetErrorStr2(handle);
    if (tjGetErrorCode(handle) == TJERR_WARNING) problem = "warning: " + problem;
  }
  tjDestroy(handle);
  return problem;
}

double LuminancePsnr(const Surface& picture, const Decoded& decoded) {
  double squared = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const double difference =
          Luminance(picture.Pixel(x, y)) - decoded.luminance[static_cast<std::size_t>(y) * decoded.width + x];
      squared += difference * difference;
    }
  const double mean = squared / (static_cast<double>(picture.Width()) * picture.Height());
  if (mean == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / mean);
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

BitString& BitString::Add(std::uint32_t value, int count) {
  for (int bit = count - 1; bit >= 0; --bit) bits_.push_back(((value >> bit) & 1) != 0);
  return *this;
}

std::vector<std::uint8_t> BitString::Bytes() const {
  std::vector<bool> bits = bits_;
  while (bits.size() % 8 != 0) bits.push_back(true);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < bits.size(); i += 8) {
    std::uint8_t byte = 0;
    for (std::size_t k = 0; k < 8; ++k) byte = static_cast<std::uint8_t>((byte << 1) | (bits[i + k] ? 1 : 0));
    bytes.push_back(byte);
    if (byte == 0xFF) bytes.push_back(0x00);
  }
  return bytes;
}

}  // namespace quillet::test
