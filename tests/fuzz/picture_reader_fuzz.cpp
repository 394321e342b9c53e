// The picture reader: any bytes give a picture of the size it says, or
// quillet::Error; nothing else (no crash, no other exception, no hang).
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/picture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = quillet::fuzz::Scratch() / "picture";
  quillet::fuzz::WriteBytes(path, std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    const quillet::Surface picture = quillet::LoadPicture(path);
    if (picture.Empty()) std::abort();
    if (picture.Bytes().size() != picture.Stride() * static_cast<std::size_t>(picture.Height())) std::abort();
  } catch (const quillet::Error&) {
  }
  return 0;
}
