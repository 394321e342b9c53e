// Password detection. libgsf opens the container; the few fields read inside
// PowerPoint 97 streams come from [MS-PPT]: CurrentUserAtom (2.3.2) and
// CryptSession10Container (2.3.7).
#include "platform/deck_protection.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile-zip.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace quillet {
namespace {

constexpr std::uint32_t kEncryptedDocumentToken = 0xF3D1C4DF;  // CurrentUserAtom.headerToken
constexpr std::uint16_t kCryptSession10Container = 0x2F14;     // its record type
constexpr gsf_off_t kHeaderTokenOffset = 12;                   // after the 8-byte header and `size`
constexpr std::size_t kRecordHeaderSize = 8;
constexpr gsf_off_t kLargestManifest = 16 * 1024 * 1024;

// Owns one GObject reference.
template <typename T>
class Owned {
 public:
  explicit Owned(T* object = nullptr) : object_(object) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    if (object_ != nullptr) g_object_unref(object_);
  }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};

void IgnoreGsfMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// libgsf warns on stderr about every broken OLE2 file it is shown; what it
// finds is judged here, and the user hears one line about the deck.
void InitialiseGsf() {
  static std::once_flag once;
  std::call_once(once, [] {
    gsf_init();
    for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:zip"}) {
      g_log_set_handler(domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                        IgnoreGsfMessage, nullptr);
    }
  });
}

std::uint32_t LittleEndian(const guint8* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

bool HasChild(GsfInfile* folder, const char* name) {
  const Owned<GsfInput> child(gsf_infile_child_by_name(folder, name));
  return static_cast<bool>(child);
}

bool CurrentUserSaysEncrypted(GsfInfile* ole) {
  const Owned<GsfInput> stream(gsf_infile_child_by_name(ole, "Current User"));
  if (!stream || gsf_input_size(stream.get()) < kHeaderTokenOffset + 4) return false;
  if (gsf_input_seek(stream.get(), kHeaderTokenOffset, G_SEEK_SET)) return false;
  const guint8* token = gsf_input_read(stream.get(), 4, nullptr);
  return token != nullptr && LittleEndian(token, 4) == kEncryptedDocumentToken;
}

// Walks the top-level records of the PowerPoint Document stream.
bool DocumentHoldsEncryptionRecord(GsfInfile* ole) {
  const Owned<GsfInput> stream(gsf_infile_child_by_name(ole, "PowerPoint Document"));
  if (!stream) return false;
  const gsf_off_t size = gsf_input_size(stream.get());
  gsf_off_t at = 0;
  while (at + static_cast<gsf_off_t>(kRecordHeaderSize) <= size) {
    if (gsf_input_seek(stream.get(), at, G_SEEK_SET)) return false;
    const guint8* header = gsf_input_read(stream.get(), kRecordHeaderSize, nullptr);
    if (header == nullptr) return false;
    if (LittleEndian(header + 2, 2) == kCryptSession10Container) return true;
    at += static_cast<gsf_off_t>(kRecordHeaderSize) + LittleEndian(header + 4, 4);
  }
  return false;
}

bool ManifestDescribesEncryption(GsfInfile* zip) {
  const Owned<GsfInfile> folder(reinterpret_cast<GsfInfile*>(gsf_infile_child_by_name(zip, "META-INF")));
  if (!folder || !GSF_IS_INFILE(folder.get())) return false;
  const Owned<GsfInput> manifest(gsf_infile_child_by_name(folder.get(), "manifest.xml"));
  if (!manifest) return false;
  const gsf_off_t size = gsf_input_size(manifest.get());
  if (size <= 0 || size > kLargestManifest) return false;
  std::string text(static_cast<std::size_t>(size), '\0');
  if (gsf_input_read(manifest.get(), text.size(), reinterpret_cast<guint8*>(text.data())) == nullptr) return false;
  return text.find(":encryption-data") != std::string::npos;
}

}  // namespace

bool IsPasswordProtected(const std::filesystem::path& deck) {
  InitialiseGsf();
  const Owned<GsfInput> input(gsf_input_stdio_new(deck.c_str(), nullptr));
  if (!input) return false;
  if (const Owned<GsfInfile> ole(gsf_infile_msole_new(input.get(), nullptr)); ole) {
    return HasChild(ole.get(), "EncryptedPackage") || CurrentUserSaysEncrypted(ole.get()) ||
           DocumentHoldsEncryptionRecord(ole.get());
  }
  if (gsf_input_seek(input.get(), 0, G_SEEK_SET)) return false;
  if (const Owned<GsfInfile> zip(gsf_infile_zip_new(input.get(), nullptr)); zip) {
    return ManifestDescribesEncryption(zip.get());
  }
  return false;
}

}  // namespace quillet
