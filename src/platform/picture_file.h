// Picture files: reading PPM (P6), PGM (P5), PNG and JPEG files into a
// Surface, and writing a Surface as a JPEG file with libjpeg-turbo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/surface.h"

namespace quillet {

// Loads the picture at `path`; the format is recognised by the file's first
// bytes, not by its name. Grey pictures come back with equal red, green and
// blue; transparent PNG pixels are composed onto white. Throws quillet::Error
// (number kGeneral) naming the file and the reason when it is missing, not a
// regular file (a FIFO is refused, not waited on), unreadable, truncated, of
// an unsupported format or of an absurd size. A header is checked before the
// pixels are read, and no more of the file is held than its format needs.
Surface LoadPicture(const std::filesystem::path& path);

// Writes `picture` as a baseline JPEG (4:4:4, `quality` 1..100) with
// libjpeg-turbo. The bytes go to a temporary file in the same folder, which
// then replaces `path`; on any failure the old file is left as it was, no
// temporary file remains, and quillet::Error is thrown naming the file.
void WriteJpeg(const Surface& picture, const std::filesystem::path& path, int quality);

// How a pixel's bytes lie in memory: three bytes red, green, blue (a
// Surface's rows), or four bytes blue, green, red, unused or unused, red,
// green, blue (a 32-bit 0xAARRGGBB pixel, as poppler renders, on a little-
// or a big-endian machine).
enum class PixelLayout { kRgb, kBgrx, kXrgb };

// The JPEG that WriteJpeg writes, in memory: `height` rows of `width` pixels,
// `stride` bytes from one row to the next. Throws quillet::Error naming
// `name` on failure.
std::string EncodeJpeg(const std::uint8_t* pixels, int width, int height, std::size_t stride, PixelLayout layout,
                       int quality, const std::filesystem::path& name);

// Decodes JPEG bytes as LoadPicture decodes a JPEG file; `path` stands for
// them in messages.
Surface DecodeJpeg(std::string_view bytes, const std::filesystem::path& path);

}  // namespace quillet
