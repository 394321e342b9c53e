// Zip archives written in memory with libzip, the same bytes every time:
// entries in the order given, each dated 1980-01-01 00:00 (the zip format's
// first day, whatever the time zone) with ordinary file permissions, and no
// extra fields or comments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

struct ZipEntry {
  std::string name;        // the path inside the archive, with "/" between folders
  std::string_view bytes;  // must stay alive until ZipArchive returns
  bool deflate = true;     // false stores bytes that are compressed already
};

// The archive's bytes. Throws quillet::Error naming the entry libzip refused.
std::string ZipArchive(const std::vector<ZipEntry>& entries);

}  // namespace quillet
