// libzip writes the archive into a buffer source kept open past zip_close,
// from which the finished bytes are read back.
#include "platform/zip_archive.h"

#include <zip.h>

#include <memory>

#include "platform/error.h"

namespace quillet {
namespace {

// MS-DOS date and time of 1980-01-01 00:00:00: day 1 of month 1 of year 0.
constexpr zip_uint16_t kDosDate = (1 << 5) | 1;
constexpr zip_uint16_t kDosTime = 0;
// Made on Unix, a regular file readable by all and writable by its owner.
constexpr zip_uint32_t kFileAttributes = (0100644U << 16);

struct SourceFree {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using Source = std::unique_ptr<zip_source_t, SourceFree>;

[[noreturn]] void Fail(const std::string& what, zip_error_t* error) {
  const std::string reason = error != nullptr ? zip_error_strerror(error) : "unknown error";
  throw Error(kGeneral, "cannot make the zip archive: " + what + ": " + reason);
}

std::string ReadBack(zip_source_t* source) {
  zip_stat_t stat;
  if (zip_source_open(source) < 0) Fail("reading it back", zip_source_error(source));
  zip_stat_init(&stat);
  std::string bytes;
  if (zip_source_stat(source, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0) bytes.resize(stat.size);
  const zip_int64_t read = bytes.empty() ? 0 : zip_source_read(source, bytes.data(), bytes.size());
  zip_source_close(source);
  if (read < 0 || static_cast<zip_uint64_t>(read) != bytes.size()) Fail("reading it back", zip_source_error(source));
  return bytes;
}

}  // namespace

std::string ZipArchive(const std::vector<ZipEntry>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  const Source buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
  if (!buffer) Fail("a buffer", &error);
  zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error);
  if (archive == nullptr) Fail("opening it", &error);
  zip_source_keep(buffer.get());  // the archive's close would free it
  for (const ZipEntry& entry : entries) {
    zip_source_t* data = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
    const zip_int64_t index =
        data == nullptr ? -1 : zip_file_add(archive, entry.name.c_str(), data, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      if (data != nullptr) zip_source_free(data);
      const std::string what = "adding " + entry.name;
      zip_error_t* cause = zip_get_error(archive);
      std::string reason = zip_error_strerror(cause);
      zip_discard(archive);
      throw Error(kGeneral, "cannot make the zip archive: " + what + ": " + reason);
    }
    const auto at = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(archive, at, entry.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 6) < 0 ||
        zip_file_set_dostime(archive, at, kDosTime, kDosDate, 0) < 0 ||
        zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_UNIX, kFileAttributes) < 0) {
      std::string reason = zip_error_strerror(zip_get_error(archive));
      zip_discard(archive);
      throw Error(kGeneral, "cannot make the zip archive: " + entry.name + ": " + reason);
    }
  }
  if (zip_close(archive) < 0) {
    std::string reason = zip_error_strerror(zip_get_error(archive));
    zip_discard(archive);
    throw Error(kGeneral, "cannot make the zip archive: " + reason);
  }
  return ReadBack(buffer.get());
}

}  // namespace quillet
