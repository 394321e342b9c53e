// Whole-or-nothing file writes through a temporary file and one rename, with
// the standard library and POSIX alone (the encoder uses them too).
#include "platform/file_replace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace quillet {
namespace {

std::string ErrorText(int number) { return std::strerror(number); }

constexpr const char* kWrittenSuffix = ".tmp";
constexpr const char* kKeptSuffix = ".old";
// Leftovers of earlier versions carry no process number; none of their
// writes took this long.
constexpr auto kEarlierLeftoverAge = std::chrono::hours(1);

// At most kTemporaryStemBytes bytes of `name`, cut where a character starts.
std::string TemporaryStem(const std::string& name) {
  if (name.size() <= kTemporaryStemBytes) return name;
  std::size_t cut = kTemporaryStemBytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

// ".STEM.PID-N" + suffix for the next N of this process.
std::filesystem::path NextNameBeside(const std::filesystem::path& target, const char* suffix) {
  static std::atomic<unsigned long> counter{0};
  std::string name = ".";
  name += TemporaryStem(target.filename().string());
  name += '.';
  name += std::to_string(::getpid());
  name += '-';
  name += std::to_string(++counter);
  name += suffix;
  return target.parent_path() / name;
}

// A hidden name beside `target` that no file has yet.
std::filesystem::path FreeNameBeside(const std::filesystem::path& target, const char* suffix) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = NextNameBeside(target, suffix);
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
  const std::filesystem::path kept = FreeNameBeside(target, kKeptSuffix);
  if (::link(target.c_str(), kept.c_str()) == 0) return kept;
  std::filesystem::copy_file(target, kept, error);
  if (error) throw FileWriteError(target, "cannot keep the earlier file while replacing it: " + error.message());
  return kept;
}

// Flushes a file, or a folder's entries, to the disk. A file system that
// cannot sync folders (EINVAL) has nothing more to give.
void SyncToDisk(const std::filesystem::path& path, const std::filesystem::path& reported, bool folder) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
  if (descriptor < 0) throw FileWriteError(reported, ErrorText(errno));
  int result;
  while ((result = ::fsync(descriptor)) != 0 && errno == EINTR) {
  }
  const int failure = errno;
  ::close(descriptor);
  if (result != 0 && !(folder && failure == EINVAL)) {
    throw FileWriteError(reported, "cannot flush it to the disk: " + ErrorText(failure));
  }
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// `rest` is what follows ".STEM." in a hidden name: "PID-N.tmp" of a process
// that no longer runs, or "N.tmp" of an earlier version written long ago.
bool IsLeftover(std::string_view rest, const std::filesystem::path& path) {
  std::string_view numbers;
  if (EndsWith(rest, kWrittenSuffix)) {
    numbers = rest.substr(0, rest.size() - std::strlen(kWrittenSuffix));
  } else if (EndsWith(rest, kKeptSuffix)) {
    numbers = rest.substr(0, rest.size() - std::strlen(kKeptSuffix));
  } else {
    return false;
  }
  const std::size_t dash = numbers.find('-');
  if (dash == std::string_view::npos) {
    if (!AllDigits(numbers)) return false;
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    return !error && std::filesystem::file_time_type::clock::now() - written > kEarlierLeftoverAge;
  }
  if (!AllDigits(numbers.substr(0, dash)) || !AllDigits(numbers.substr(dash + 1)) || dash > 9) return false;
  const pid_t process = static_cast<pid_t>(std::stol(std::string(numbers.substr(0, dash))));
  return process > 0 && process != ::getpid() && ::kill(process, 0) != 0 && errno == ESRCH;
}

}  // namespace

PendingFile::PendingFile(std::filesystem::path path) : target_(std::move(path)) {
  if (target_.empty()) throw FileWriteError(target_, "no file name was given");
  if (!target_.has_filename()) throw FileWriteError(target_, "the path names a folder");
  // A hidden name beside the target that no file has yet, created exclusively,
  // so the rename stays within one file system.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = NextNameBeside(target_, kWrittenSuffix);
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

void CommitTogether(const std::vector<PendingFile*>& files) {
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
    for (const PendingFile* file : files) SyncToDisk(file->Temporary(), file->Target(), false);
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
    std::vector<std::filesystem::path> folders;
    for (const PendingFile* file : files) {
      const std::filesystem::path folder = file->Target().parent_path().empty() ? "." : file->Target().parent_path();
      if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
      SyncToDisk(folder, file->Target(), true);
      folders.push_back(folder);
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

void RemoveLeftovers(const std::filesystem::path& folder, const std::vector<std::string>& targetNames) {
  std::error_code error;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 2 || name.front() != '.') continue;
    for (const std::string& target : targetNames) {
      // Today's names carry the stem, earlier versions' the whole name.
      bool leftover = false;
      for (const std::string& stem : {TemporaryStem(target), target}) {
        const std::string start = "." + stem + ".";
        if (name.size() > start.size() && name.compare(0, start.size(), start) == 0 &&
            IsLeftover(std::string_view(name).substr(start.size()), entry.path())) {
          leftover = true;
        }
      }
      if (!leftover) continue;
      std::error_code ignored;
      std::filesystem::remove(entry.path(), ignored);
      break;
    }
  }
}

FolderLock::FolderLock(const std::filesystem::path& folder) {
  descriptor_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) return;
  int result;
  while ((result = ::flock(descriptor_, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

FolderLock::~FolderLock() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  PendingFile pending(path);
  pending.Write(bytes);
  pending.Commit();
}

}  // namespace quillet
