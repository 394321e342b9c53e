// Path and file helpers. Reading never creates a file; writing goes to a
// temporary file in the same folder that is renamed into place, so a reader
// sees the old file or the new one, never a part.
#include "conversion/file_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/error.h"

namespace quillet {
namespace {

std::string ErrorText(int number) { return std::strerror(number); }

// Creates an empty, private temporary file beside `path` and returns its name.
std::filesystem::path MakeTemporaryBeside(const std::filesystem::path& path) {
  // A bare name lies in the current folder, which the pattern then names by
  // leaving the folder out.
  std::string pattern = path.parent_path().string();
  if (!pattern.empty()) pattern += '/';
  pattern += '.';
  pattern += path.filename().string();
  pattern += ".XXXXXX";
  const int descriptor = ::mkstemp(pattern.data());
  if (descriptor < 0) {
    throw Error(kGeneral, "cannot write " + path.string() + ": " + ErrorText(errno));
  }
  ::fchmod(descriptor, 0644);
  ::close(descriptor);
  return pattern;
}

void WriteAll(const std::filesystem::path& temporary, const std::filesystem::path& target, std::string_view bytes) {
  const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (descriptor < 0) throw Error(kGeneral, "cannot write " + target.string() + ": " + ErrorText(errno));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      const int failure = errno;
      ::close(descriptor);
      throw Error(kGeneral, "cannot write " + target.string() + ": " + ErrorText(failure));
    }
    done += static_cast<std::size_t>(count);
  }
  if (::fsync(descriptor) != 0 || ::close(descriptor) != 0) {
    throw Error(kGeneral, "cannot write " + target.string() + ": " + ErrorText(errno));
  }
}

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

void WriteTextFile(const std::string& path, const std::string& text) { WriteFileWhole(path, text + "\r\n"); }

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

bool FileExists(const std::string& path) { return CheckFile(path).exists; }

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

void WriteFileWhole(const std::filesystem::path& path, std::string_view bytes) {
  PendingFile pending(path);
  pending.Write(bytes);
  pending.Commit();
}

PendingFile::PendingFile(std::filesystem::path path) : target_(std::move(path)) {
  temporary_ = MakeTemporaryBeside(target_);
}

PendingFile::~PendingFile() {
  if (committed_) return;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void PendingFile::Write(std::string_view bytes) { WriteAll(temporary_, target_, bytes); }

void PendingFile::Commit() {
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw Error(kGeneral, "cannot write " + target_.string() + ": " + ErrorText(errno));
  }
  committed_ = true;
}

}  // namespace quillet
