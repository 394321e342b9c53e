// Path and file helpers. Reading never creates a file; writing replaces the
// file whole, so a reader sees the old file or the new one, never a part.
#include "conversion/file_helpers.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/error.h"
#include "platform/utf8.h"

namespace quillet {
namespace {

std::string ErrorText(int number) { return std::strerror(number); }

}  // namespace

std::string GetBaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path.substr(nameStart);
  return path.substr(nameStart, dot - nameStart);
}

std::string ReadTextFile(const std::string& path, bool* failed) {
  if (failed != nullptr) *failed = true;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  if (failed != nullptr) *failed = false;
  return text;
}

FileCheck CheckFile(const std::string& path) {
  FileCheck check;
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    check.exists = true;
    return check;
  }
  const int failure = errno;
  if (failure == ENOENT || failure == ENOTDIR || path.empty()) return check;
  check.errorNumber = failure;
  check.description = ErrorText(failure);
  return check;
}

std::string FileErrorMessage(const FileCheck& check) {
  return "Error Number: " + std::to_string(check.errorNumber) + "\n\r " + check.description;
}

bool IsSlidePictureName(std::string_view name) {
  constexpr std::string_view kStart = "Slide";
  constexpr std::string_view kEnd = ".jpg";
  if (name.size() <= kStart.size() + kEnd.size() || name.substr(0, kStart.size()) != kStart ||
      name.substr(name.size() - kEnd.size()) != kEnd)
    return false;
  const std::string_view number = name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size());
  return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> ListSlidePictures(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) throw Error(kGeneral, "cannot list the folder " + folder.string() + ": " + error.message());
  for (const std::filesystem::directory_entry& entry : entries) {
    std::string name = entry.path().filename().string();
    if (!IsSlidePictureName(name)) continue;
    std::error_code statusError;
    if (!entry.is_regular_file(statusError)) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned char
  return names;
}

namespace {

// Windows-1252's 0x80 to 0x9F; its five unassigned bytes keep their Latin-1
// meaning.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string NameAsUtf8(const std::string& name) {
  if (utf8::IsValid(name)) return name;
  std::string out;
  for (const unsigned char byte : name) {
    utf8::Append(out, byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
  }
  return out;
}

}  // namespace quillet
