// Picture files: reading PPM (P6), PGM (P5), PNG and JPEG files into a
// Surface, and writing a Surface as a JPEG file with libjpeg-turbo.
#pragma once

#include <filesystem>

#include "platform/surface.h"

namespace quillet {

// Loads the picture at `path`; the format is recognised by the file's first
// bytes, not by its name. Grey pictures come back with equal red, green and
// blue; transparent PNG pixels are composed onto white. Throws quillet::Error
// (number kGeneral) naming the file when it is missing, unreadable,
// truncated, of an unsupported format or of an absurd size.
Surface LoadPicture(const std::filesystem::path& path);

// Writes `picture` as a baseline JPEG (4:4:4, `quality` 1..100) with
// libjpeg-turbo. The bytes go to a temporary file in the same folder, which
// then replaces `path`; on any failure the old file is left as it was, no
// temporary file remains, and quillet::Error is thrown naming the file.
void WriteJpeg(const Surface& picture, const std::filesystem::path& path, int quality);

}  // namespace quillet
