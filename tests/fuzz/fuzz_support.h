// What the fuzz targets share: a private scratch folder for the files the
// code under test reads and writes, and a reader that takes bytes apart.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace quillet::fuzz {

// A folder of this process, made on first use and left for the system's
// temporary folder to clean (a fuzz run ends by signal as often as not).
inline const std::filesystem::path& Scratch() {
  static const std::filesystem::path folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::filesystem::path path = std::filesystem::path(base != nullptr && *base != '\0' ? base : "/tmp") /
                                 ("quillet-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return folder;
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Takes numbers and strings from the front of the input; zeros once it runs out.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  // An integer in [low, high].
  int Range(int low, int high) {
    const std::uint32_t span = static_cast<std::uint32_t>(high - low) + 1;
    const std::uint32_t value = static_cast<std::uint32_t>(Word()) << 16 | Word();
    return low + static_cast<int>(value % span);
  }
  // Up to `most` bytes, the length first.
  std::string Text(std::size_t most) {
    std::size_t length = Byte() % (most + 1);
    std::string text;
    while (length-- > 0 && !Empty()) text += static_cast<char>(Byte());
    return text;
  }
  std::string_view Rest() {
    const std::string_view rest(reinterpret_cast<const char*>(data_ + at_), at_ < size_ ? size_ - at_ : 0);
    at_ = size_;
    return rest;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace quillet::fuzz
