// Picture files. Reading recognises the format by the file's first bytes:
// "P6" and "P5" are the binary Netpbm colour and grey formats, decoded here;
// PNG goes through libpng's simplified reader and JPEG through libjpeg-turbo's
// TurboJPEG interface. Any decoder warning (a truncated JPEG, for instance)
// is a failure: a half-decoded picture must not pass for a whole one.
// Writing compresses with TurboJPEG at 4:4:4 and replaces the target through
// a temporary file in the same folder.
#include "platform/picture_file.h"

#include <png.h>
#include <turbojpeg.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/error.h"
#include "platform/file_replace.h"

namespace quillet {

namespace {

// Larger pictures are refused before any memory is taken for them.
constexpr long long kMaxSide = 65535;
constexpr long long kMaxPixels = 1LL << 26;  // 64 Mpixels, about 200 MB of RGB

[[noreturn]] void Fail(const std::filesystem::path& path, const std::string& reason) {
  throw Error(kGeneral, "cannot read picture '" + path.string() + "': " + reason);
}

[[noreturn]] void FailWrite(const std::filesystem::path& path, const std::string& reason) {
  throw Error(kGeneral, "cannot write picture '" + path.string() + "': " + reason);
}

void CheckSize(const std::filesystem::path& path, long long width, long long height) {
  if (width <= 0 || height <= 0) Fail(path, "the picture has no pixels");
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
    Fail(path, "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)");
}

LargeVector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) Fail(path, "no such file");
  if (std::filesystem::is_directory(status)) Fail(path, "it is a folder, not a file");
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) Fail(path, std::strerror(errno));
  const std::streamoff size = in.tellg();
  if (size < 0) Fail(path, "the file could not be read");
  LargeVector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) Fail(path, "the file could not be read");
  return bytes;
}

enum class Format { kPpm, kPgm, kPng, kJpeg, kUnknown };

Format Recognise(const LargeVector<std::uint8_t>& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6') return Format::kPpm;
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '5') return Format::kPgm;
  static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) return Format::kPng;
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return Format::kJpeg;
  return Format::kUnknown;
}

// Netpbm header reader: whitespace-separated decimal fields, '#' comments to
// the end of the line.
class NetpbmHeader {
 public:
  NetpbmHeader(const LargeVector<std::uint8_t>& bytes, const std::filesystem::path& path)
      : bytes_(bytes), path_(path) {}

  long long Number() {
    SkipSpaceAndComments();
    if (pos_ >= bytes_.size()) Fail(path_, "the header is truncated");
    if (bytes_[pos_] < '0' || bytes_[pos_] > '9') Fail(path_, "the header is malformed");
    long long value = 0;
    while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
      value = value * 10 + (bytes_[pos_] - '0');
      if (value > 1'000'000'000) Fail(path_, "the header holds an absurd number");
      ++pos_;
    }
    return value;
  }

  // The single whitespace byte between the maximum value and the pixels.
  std::size_t DataStart() {
    if (pos_ >= bytes_.size()) Fail(path_, "the file is truncated");
    if (!IsSpace(bytes_[pos_])) Fail(path_, "the header is malformed");
    return pos_ + 1;
  }

  void Skip(std::size_t count) { pos_ += count; }

 private:
  static bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  void SkipSpaceAndComments() {
    while (pos_ < bytes_.size()) {
      if (IsSpace(bytes_[pos_])) {
        ++pos_;
      } else if (bytes_[pos_] == '#') {
        while (pos_ < bytes_.size() && bytes_[pos_] != '\n' && bytes_[pos_] != '\r') ++pos_;
      } else {
        return;
      }
    }
  }

  const LargeVector<std::uint8_t>& bytes_;
  const std::filesystem::path& path_;
  std::size_t pos_ = 0;
};

Surface DecodeNetpbm(const LargeVector<std::uint8_t>& bytes, const std::filesystem::path& path, int channels) {
  NetpbmHeader header(bytes, path);
  header.Skip(2);
  const long long width = header.Number();
  const long long height = header.Number();
  const long long maxValue = header.Number();
  const std::size_t start = header.DataStart();
  CheckSize(path, width, height);
  if (maxValue < 1 || maxValue > 65535) Fail(path, "the maximum sample value is out of range");

  const std::size_t bytesPerSample = maxValue > 255 ? 2 : 1;
  const std::size_t needed = static_cast<std::size_t>(width * height) * channels * bytesPerSample;
  if (bytes.size() - start < needed) Fail(path, "the file is truncated");

  Surface picture(static_cast<int>(width), static_cast<int>(height));
  const std::uint8_t* in = bytes.data() + start;
  auto sample = [&](std::size_t index) -> std::uint8_t {
    long long value = bytesPerSample == 2 ? (in[2 * index] << 8) | in[2 * index + 1] : in[index];
    if (value > maxValue) value = maxValue;
    if (maxValue == 255) return static_cast<std::uint8_t>(value);
    return static_cast<std::uint8_t>((value * 255 * 2 + maxValue) / (2 * maxValue));
  };
  std::uint8_t* out = picture.Bytes().data();
  const std::size_t pixels = static_cast<std::size_t>(width * height);
  for (std::size_t p = 0; p < pixels; ++p) {
    if (channels == 3) {
      out[3 * p] = sample(3 * p);
      out[3 * p + 1] = sample(3 * p + 1);
      out[3 * p + 2] = sample(3 * p + 2);
    } else {
      const std::uint8_t grey = sample(p);
      out[3 * p] = out[3 * p + 1] = out[3 * p + 2] = grey;
    }
  }
  return picture;
}

Surface DecodePng(const LargeVector<std::uint8_t>& bytes, const std::filesystem::path& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
    Fail(path, std::string("not a readable PNG file (") + image.message + ")");
  struct Release {
    png_image* image;
    ~Release() { png_image_free(image); }
  } release{&image};

  CheckSize(path, image.width, image.height);
  image.format = PNG_FORMAT_RGB;
  Surface picture(static_cast<int>(image.width), static_cast<int>(image.height));
  const png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, picture.Bytes().data(), static_cast<png_int_32>(picture.Stride()),
                             nullptr))
    Fail(path, std::string("the PNG data is damaged (") + image.message + ")");
  if (image.warning_or_error & PNG_IMAGE_ERROR) Fail(path, "the PNG data is damaged");
  return picture;
}

}  // namespace

Surface LoadPicture(const std::filesystem::path& path) {
  const LargeVector<std::uint8_t> bytes = ReadWholeFile(path);
  if (bytes.empty()) Fail(path, "the file is empty");
  switch (Recognise(bytes)) {
    case Format::kPpm: return DecodeNetpbm(bytes, path, 3);
    case Format::kPgm: return DecodeNetpbm(bytes, path, 1);
    case Format::kPng: return DecodePng(bytes, path);
    case Format::kJpeg:
      return DecodeJpeg(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
    case Format::kUnknown: break;
  }
  Fail(path, "unsupported format (PPM, PGM, PNG or JPEG expected)");
}

Surface DecodeJpeg(std::string_view bytes, const std::filesystem::path& path) {
  const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  if (!handle) Fail(path, "the JPEG decoder could not start");
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto size = static_cast<unsigned long>(bytes.size());
  if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colourspace) != 0)
    Fail(path, std::string("not a readable JPEG file (") + tjGetErrorStr2(handle.get()) + ")");
  // A header cut short reads as a picture of no size rather than as an error.
  if (width <= 0 || height <= 0) Fail(path, "not a readable JPEG file (the header is truncated)");
  CheckSize(path, width, height);
  Surface picture(width, height);
  if (tjDecompress2(handle.get(), data, size, picture.Bytes().data(), width, static_cast<int>(picture.Stride()), height,
                    TJPF_RGB, TJFLAG_ACCURATEDCT) != 0)
    Fail(path, std::string("the JPEG data cannot be decoded (") + tjGetErrorStr2(handle.get()) + ")");
  return picture;
}

std::string EncodeJpeg(const std::uint8_t* pixels, int width, int height, std::size_t stride, PixelLayout layout,
                       int quality, const std::filesystem::path& name) {
  if (width <= 0 || height <= 0) FailWrite(name, "the picture has no pixels");
  if (quality < 1 || quality > 100) FailWrite(name, "quality must be 1 to 100");
  const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
  if (!handle) FailWrite(name, "the JPEG compressor could not start");
  int format = TJPF_RGB;
  switch (layout) {
    case PixelLayout::kRgb: format = TJPF_RGB; break;
    case PixelLayout::kBgrx: format = TJPF_BGRX; break;
    case PixelLayout::kXrgb: format = TJPF_XRGB; break;
  }
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int status = tjCompress2(handle.get(), pixels, width, static_cast<int>(stride), height, format, &jpeg, &size,
                                 TJSAMP_444, quality, TJFLAG_ACCURATEDCT);
  const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
  if (status != 0) FailWrite(name, tjGetErrorStr2(handle.get()));
  return std::string(reinterpret_cast<const char*>(jpeg), size);
}

void WriteJpeg(const Surface& picture, const std::filesystem::path& path, int quality) {
  if (picture.Empty()) FailWrite(path, "the picture has no pixels");
  const std::string jpeg = EncodeJpeg(picture.Bytes().data(), picture.Width(), picture.Height(), picture.Stride(),
                                      PixelLayout::kRgb, quality, path);
  try {
    ReplaceFile(path, jpeg);
  } catch (const FileWriteError& error) {
    FailWrite(path, error.Reason());
  }
}

}  // namespace quillet
