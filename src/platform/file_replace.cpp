// Whole-or-nothing file writes through a temporary file and one rename, with
// the standard library alone (the encoder uses them too).
#include "platform/file_replace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

namespace quillet {
namespace {

std::string ErrorText(int number) { return std::strerror(number); }

// A hidden name beside `target` that no file has yet.
std::filesystem::path FreeNameBeside(const std::filesystem::path& target, const char* suffix) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(random() % 1000000000);
    name += suffix;
    std::filesystem::path candidate = target.parent_path() / name;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error))) return candidate;
  }
  throw FileWriteError(target, "no free temporary name in its folder");
}

// A second name for the file at `target` while it is being replaced; none
// when there is no such file.
std::optional<std::filesystem::path> KeepEarlierFile(const std::filesystem::path& target) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(target, error))) return std::nullopt;
  const std::filesystem::path kept = FreeNameBeside(target, ".old");
  if (::link(target.c_str(), kept.c_str()) == 0) return kept;
  std::filesystem::copy_file(target, kept, error);
  if (error) throw FileWriteError(target, "cannot keep the earlier file while replacing it: " + error.message());
  return kept;
}

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
    std::filesystem::path candidate = folder / name;
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

void CommitTogether(std::initializer_list<PendingFile*> files) {
  struct Replaced {
    const std::filesystem::path* target;
    std::optional<std::filesystem::path> earlier;
  };
  std::vector<Replaced> done;
  auto forget = [&done] {
    for (const Replaced& replaced : done) {
      std::error_code ignored;
      if (replaced.earlier) std::filesystem::remove(*replaced.earlier, ignored);
    }
  };
  try {
    for (PendingFile* file : files) {
      std::optional<std::filesystem::path> earlier = KeepEarlierFile(file->Target());
      try {
        file->Commit();
      } catch (...) {
        std::error_code ignored;
        if (earlier) std::filesystem::remove(*earlier, ignored);
        throw;
      }
      done.push_back({&file->Target(), std::move(earlier)});
    }
  } catch (...) {
    for (auto replaced = done.rbegin(); replaced != done.rend(); ++replaced) {
      std::error_code ignored;
      if (replaced->earlier) {
        std::filesystem::rename(*replaced->earlier, *replaced->target, ignored);
      } else {
        std::filesystem::remove(*replaced->target, ignored);
      }
    }
    throw;
  }
  forget();
}

void ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  PendingFile pending(path);
  pending.Write(bytes);
  pending.Commit();
}

}  // namespace quillet
