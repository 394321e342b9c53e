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

std::vector<std::string> ListFiles(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) throw Error(kGeneral, "cannot list the folder " + folder.string() + ": " + error.message());
  for (const std::filesystem::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code statusError;
    if (!entry.is_regular_file(statusError)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());  // std::string compares bytes as unsigned char
  return names;
}

}  // namespace quillet
