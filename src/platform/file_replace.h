// Whole-or-nothing file writes: the bytes go to a temporary file beside the
// target, which is renamed over the target only once it is complete and
// flushed. A reader sees the old file or the new one, never a part, and a
// failed write leaves the old file as it was and no temporary file behind.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace quillet {

// A write that failed: the text reads "cannot write PATH: REASON"; Reason()
// alone lets a caller phrase its own message.
class FileWriteError : public Error {
 public:
  FileWriteError(const std::filesystem::path& path, std::string reason)
      : Error(kGeneral, "cannot write " + path.string() + ": " + reason), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// The hidden names this process gives the temporary files beside `target`
// are ".STEM.PID-N.tmp" while written and ".STEM.PID-N.old" for the file
// they replace during CommitTogether, where STEM is at most the first
// kTemporaryStemBytes bytes of the target's file name: short enough that any
// name that fits fits with them, and matchable, so that the leftovers of a
// killed process can be found again (RemoveLeftovers).
inline constexpr std::size_t kTemporaryStemBytes = 40;

// A temporary file beside `path` that is removed unless Commit() renamed it
// over `path`: several outputs can be prepared first and put in place last.
// The new file takes the permissions of the file it replaces, or the usual
// ones for a new file.
class PendingFile {
 public:
  explicit PendingFile(std::filesystem::path path);
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& Temporary() const { return temporary_; }

  // Replaces the temporary file's content.
  void Write(std::string_view bytes);
  // Renames the temporary file over the target.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool committed_ = false;
};

// Puts every file in place, or none: when one rename fails, the targets
// already replaced get their earlier files back (kept meanwhile through a
// hard link, or a copy), targets that did not exist are removed again, and
// the FileWriteError of the failed rename is thrown. Durable: every new file
// reaches the disk before the first rename, and the folders after the last,
// so that a power cut leaves the old set or the new one.
void CommitTogether(const std::vector<PendingFile*>& files);

// Removes the temporary files that a killed process left beside the targets
// (hidden names as PendingFile gives them, of a process that no longer runs;
// those of earlier versions, ".NAME.N.tmp" and ".NAME.N.old", once an hour
// old). Files of running processes and every other name stay. Best effort:
// a file that cannot be removed stays.
void RemoveLeftovers(const std::filesystem::path& folder, const std::vector<std::string>& targetNames);

// An advisory lock (flock) on a folder itself, held while the object lives,
// so that two processes putting a set of files into one folder take turns
// and no lock file is left among the files. Waits for the lock. A folder
// that cannot be opened or locked (some network file systems) is not
// locked; the writes go ahead as they would without it.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

 private:
  int descriptor_ = -1;
};

// Writes `bytes` to `path` whole or not at all; throws FileWriteError.
void ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace quillet
