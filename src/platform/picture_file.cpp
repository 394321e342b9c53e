// Picture files. Reading recognises the format by the file's first bytes:
// "P6" and "P5" are the binary Netpbm colour and grey formats, decoded here
// from the pixels their header promises; PNG goes through libpng's simplified
// reader as a stream and JPEG, read whole within a limit, through
// libjpeg-turbo's TurboJPEG interface. Any decoder warning (a truncated JPEG, for instance)
// is a failure: a half-decoded picture must not pass for a whole one.
// Writing compresses with TurboJPEG at 4:4:4 and replaces the target through
// a temporary file in the same folder.
#include "platform/picture_file.h"

#include <png.h>
#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_replace.h"

namespace quillet {

namespace {

// Larger pictures are refused before any memory is taken for them.
constexpr long long kMaxSide = 65535;
constexpr long long kMaxPixels = 1LL << 26;  // 64 Mpixels, about 200 MB of RGB
// A JPEG file is read whole: at most eight bytes for each pixel of the
// largest picture read.
constexpr std::uint64_t kMaxJpegBytes = 8 * kMaxPixels;
// The first bytes, read to recognise the format and hold a Netpbm header.
constexpr std::uint64_t kHeadBytes = 64 * 1024;
// Netpbm samples are read a band of rows of about this size at a time.
constexpr std::size_t kNetpbmBandBytes = 1 << 20;

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

// The picture file, opened without waiting (opening a FIFO would wait for a
// writer) and checked through its descriptor to be a regular file before
// anything is read. Every read is bounded by the size the file had then.
class PictureInput {
 public:
  explicit PictureInput(const std::filesystem::path& path) : path_(path) {
    descriptor_.number = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor_.number < 0) Fail(path, errno == ENOENT ? std::string("no such file") : std::strerror(errno));
    struct stat info {};
    if (::fstat(descriptor_.number, &info) != 0) Fail(path, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) Fail(path, "it is a folder, not a file");
    if (S_ISFIFO(info.st_mode)) Fail(path, "it is a FIFO, not a regular file");
    if (S_ISSOCK(info.st_mode)) Fail(path, "it is a socket, not a regular file");
    if (!S_ISREG(info.st_mode)) Fail(path, "it is a device, not a regular file");
    size_ = static_cast<std::uint64_t>(info.st_size);
  }
  std::uint64_t Size() const { return size_; }

  // Reads exactly `count` bytes from `offset`.
  void Read(std::uint64_t offset, std::uint8_t* into, std::size_t count) const {
    while (count > 0) {
      const ssize_t got = ::pread(descriptor_.number, into, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) Fail(path_, std::strerror(errno));
      if (got == 0) Fail(path_, "the file is truncated");  // it shrank while being read
      into += got;
      offset += static_cast<std::uint64_t>(got);
      count -= static_cast<std::size_t>(got);
    }
  }

  LargeVector<std::uint8_t> ReadFirst(std::uint64_t count) const {
    LargeVector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(count, size_)));
    Read(0, bytes.data(), bytes.size());
    return bytes;
  }

  // A stdio stream at the start of the file, for libpng; closed by the caller.
  std::FILE* Stream() const {
    const int copy = ::fcntl(descriptor_.number, F_DUPFD_CLOEXEC, 0);
    std::FILE* stream = copy >= 0 ? ::fdopen(copy, "rb") : nullptr;
    if (stream == nullptr) {
      const int failure = errno;
      if (copy >= 0) ::close(copy);
      Fail(path_, std::strerror(failure));
    }
    return stream;
  }

 private:
  struct Descriptor {  // closed also when the constructor refuses the file
    Descriptor() = default;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
      if (number >= 0) ::close(number);
    }
    int number = -1;
  };

  const std::filesystem::path& path_;
  Descriptor descriptor_;
  std::uint64_t size_ = 0;
};

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
// the end of the line. It reads the first bytes of the file only; a header
// that runs past them is refused as too long, not as truncated.
class NetpbmHeader {
 public:
  NetpbmHeader(const LargeVector<std::uint8_t>& bytes, bool wholeFile, const std::filesystem::path& path)
      : bytes_(bytes), wholeFile_(wholeFile), path_(path) {}

  long long Number() {
    SkipSpaceAndComments();
    if (pos_ >= bytes_.size()) FailAtEnd("the header is truncated");
    if (bytes_[pos_] < '0' || bytes_[pos_] > '9') Fail(path_, "the header is malformed");
    long long value = 0;
    while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
      value = value * 10 + (bytes_[pos_] - '0');
      if (value > 1'000'000'000) Fail(path_, "the header holds an absurd number");
      ++pos_;
    }
    if (pos_ >= bytes_.size() && !wholeFile_) FailAtEnd("the header is truncated");  // the number may go on
    return value;
  }

  // The single whitespace byte between the maximum value and the pixels.
  std::size_t DataStart() {
    if (pos_ >= bytes_.size()) FailAtEnd("the file is truncated");
    if (!IsSpace(bytes_[pos_])) Fail(path_, "the header is malformed");
    return pos_ + 1;
  }

  void Skip(std::size_t count) { pos_ += count; }

 private:
  static bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  [[noreturn]] void FailAtEnd(const char* reason) const {
    if (!wholeFile_) Fail(path_, "the header is too long (more than " + std::to_string(bytes_.size()) + " bytes)");
    Fail(path_, reason);
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
  bool wholeFile_;
  const std::filesystem::path& path_;
  std::size_t pos_ = 0;
};

// Checks the header against the size limits, then reads the samples the
// header promises, a band of rows at a time; whatever follows them in the
// file is not read.
Surface DecodeNetpbm(const PictureInput& file, const LargeVector<std::uint8_t>& head, const std::filesystem::path& path,
                     int channels) {
  NetpbmHeader header(head, head.size() == file.Size(), path);
  header.Skip(2);
  const long long width = header.Number();
  const long long height = header.Number();
  const long long maxValue = header.Number();
  const std::size_t start = header.DataStart();
  CheckSize(path, width, height);
  if (maxValue < 1 || maxValue > 65535) Fail(path, "the maximum sample value is out of range");

  const std::size_t bytesPerSample = maxValue > 255 ? 2 : 1;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * channels * bytesPerSample;
  if (file.Size() - start < rowBytes * static_cast<std::uint64_t>(height)) Fail(path, "the file is truncated");

  Surface picture(static_cast<int>(width), static_cast<int>(height));
  const int bandRows = static_cast<int>(std::max<std::size_t>(1, kNetpbmBandBytes / rowBytes));
  std::vector<std::uint8_t> band(rowBytes * static_cast<std::size_t>(std::min<long long>(bandRows, height)));
  for (int first = 0; first < height; first += bandRows) {
    const int rows = static_cast<int>(std::min<long long>(bandRows, height - first));
    file.Read(start + static_cast<std::uint64_t>(first) * rowBytes, band.data(), rowBytes * rows);
    const std::uint8_t* in = band.data();
    auto sample = [&](std::size_t index) -> std::uint8_t {
      long long value = bytesPerSample == 2 ? (in[2 * index] << 8) | in[2 * index + 1] : in[index];
      if (value > maxValue) value = maxValue;
      if (maxValue == 255) return static_cast<std::uint8_t>(value);
      return static_cast<std::uint8_t>((value * 255 * 2 + maxValue) / (2 * maxValue));
    };
    std::uint8_t* out = picture.Row(first);
    const std::size_t pixels = static_cast<std::size_t>(width) * rows;
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
  }
  return picture;
}

// libpng reads the file as a stream, chunk by chunk, so its size does not
// matter: only the picture the header describes is held.
Surface DecodePng(const PictureInput& file, const std::filesystem::path& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(file.Stream(), std::fclose);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, stream.get()))
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

// The size a JPEG header gives, or false when `bytes` hold no whole header.
bool JpegSize(tjhandle handle, const std::uint8_t* bytes, std::size_t size, int& width, int& height) {
  int subsampling = 0, colourspace = 0;
  return tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(size), &width, &height, &subsampling,
                             &colourspace) == 0 &&
         width > 0 && height > 0;
}

// TurboJPEG decodes from memory, so the file is read whole, but only after
// its size and, where the first bytes hold it, its header passed the limits.
Surface LoadJpeg(const PictureInput& file, const LargeVector<std::uint8_t>& head, const std::filesystem::path& path) {
  if (file.Size() > kMaxJpegBytes)
    Fail(path, "the file is too large for a JPEG picture (" + std::to_string(file.Size()) + " bytes, at most " +
                   std::to_string(kMaxJpegBytes) + " bytes)");
  if (head.size() < file.Size()) {
    const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    int width = 0, height = 0;
    if (handle && JpegSize(handle.get(), head.data(), head.size(), width, height)) CheckSize(path, width, height);
  }
  const LargeVector<std::uint8_t> bytes = file.ReadFirst(file.Size());
  return DecodeJpeg(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
}

Surface Load(const std::filesystem::path& path) {
  const PictureInput file(path);
  if (file.Size() == 0) Fail(path, "the file is empty");
  const LargeVector<std::uint8_t> head = file.ReadFirst(kHeadBytes);
  switch (Recognise(head)) {
    case Format::kPpm: return DecodeNetpbm(file, head, path, 3);
    case Format::kPgm: return DecodeNetpbm(file, head, path, 1);
    case Format::kPng: return DecodePng(file, path);
    case Format::kJpeg: return LoadJpeg(file, head, path);
    case Format::kUnknown: break;
  }
  Fail(path, "unsupported format (PPM, PGM, PNG or JPEG expected)");
}

}  // namespace

Surface LoadPicture(const std::filesystem::path& path) {
  try {
    return Load(path);
  } catch (const std::bad_alloc&) {
    Fail(path, "there is not enough memory to read it");
  }
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
