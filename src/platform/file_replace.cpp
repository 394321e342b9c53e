// Whole-or-nothing file writes through a temporary file and one rename, with
// the standard library alone (the encoder uses them too).
#include "platform/file_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace quillet {
namespace {

std::string ErrorText(int number) { return std::strerror(number); }

}  // namespace

PendingFile::PendingFile(std::filesystem::path path) : target_(std::move(path)) {
  if (target_.empty()) throw FileWriteError(target_, "no file name was given");
  if (!target_.has_filename()) throw FileWriteError(target_, "the path names a folder");
  // A hidden name beside the target that no file has yet, created exclusively,
  // so the rename stays within one file system.
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path folder = target_.parent_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".";
    name += target_.filename().string();
    name += '.';
    name += std::to_string(random() % 1000000000);
    name += ".tmp";
    const std::filesystem::path candidate = folder / name;
    std::FILE* file = std::fopen(candidate.c_str(), "wbx");
    if (file != nullptr) {
      std::fclose(file);
      temporary_ = candidate;
      return;
    }
    if (errno != EEXIST) throw FileWriteError(target_, ErrorText(errno));
  }
  throw FileWriteError(target_, "no free temporary name in its folder");
}

PendingFile::~PendingFile() {
  if (committed_ || temporary_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void PendingFile::Write(std::string_view bytes) {
  std::FILE* file = std::fopen(temporary_.c_str(), "wb");
  if (file == nullptr) throw FileWriteError(target_, ErrorText(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeError = errno;
  const bool flushed = written && std::fflush(file) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written) throw FileWriteError(target_, ErrorText(writeError));
  if (!flushed) throw FileWriteError(target_, ErrorText(flushError));
  if (!closed) throw FileWriteError(target_, ErrorText(errno));
}

void PendingFile::Commit() {
  // The new file keeps the permissions of the file it replaces; a new file
  // has the usual ones already.
  std::error_code error;
  const std::filesystem::file_status old = std::filesystem::status(target_, error);
  if (!error && std::filesystem::is_regular_file(old))
    std::filesystem::permissions(temporary_, old.permissions(), error);
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) throw FileWriteError(target_, ErrorText(errno));
  committed_ = true;
}

void ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  PendingFile pending(path);
  pending.Write(bytes);
  pending.Commit();
}

}  // namespace quillet
