// Whole-or-nothing file writes: the bytes go to a temporary file beside the
// target, which is renamed over the target only once it is complete and
// flushed. A reader sees the old file or the new one, never a part, and a
// failed write leaves the old file as it was and no temporary file behind.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

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
// the FileWriteError of the failed rename is thrown.
void CommitTogether(std::initializer_list<PendingFile*> files);

// Writes `bytes` to `path` whole or not at all; throws FileWriteError.
void ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace quillet
