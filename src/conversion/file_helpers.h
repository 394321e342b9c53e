// The path and file helpers of the conversion: a path's base name, reading and
// writing whole text files, the existence test that guards the Convert
// command, the work folder's listing, and whole-or-nothing file writes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The file name between the last "/" and the last "." of `path`, without
// either: "talks/intro.ppt" gives "intro", "a.b.ppt" gives "a.b", ".ppt"
// gives "". A file name with no "." (or whose last "." lies in a folder name)
// gives the whole file name.
std::string GetBaseName(const std::string& path);

// The file's bytes as they are (UTF-8 text stays UTF-8), or "" when it cannot
// be read; `failed`, when given, tells the two empty cases apart. Never
// creates a file.
std::string ReadTextFile(const std::string& path, bool* failed = nullptr);

// Writes `text` followed by a carriage return and a line feed. The file is
// replaced whole (see WriteFileWhole); throws quillet::Error naming the file
// when it cannot be written.
void WriteTextFile(const std::string& path, const std::string& text);

// The result of asking the file system about a path.
struct FileCheck {
  bool exists = false;
  int errorNumber = 0;      // errno of an unexpected failure, 0 otherwise
  std::string description;  // its text
};

// Whether `path` names an existing entry. A missing entry or folder is a
// quiet "no"; any other failure (permission, a loop of links, ...) is also
// "no" but carries its error number and text.
FileCheck CheckFile(const std::string& path);
bool FileExists(const std::string& path);

// The message the window shows for an unexpected failure of CheckFile:
// "Error Number: 13", a line feed, a carriage return, a space and the text.
std::string FileErrorMessage(const FileCheck& check);

// The names of the regular files in `folder`, without hidden ones (names
// that start with "."), in byte order of the name. Throws quillet::Error
// when the folder cannot be listed.
std::vector<std::string> ListFiles(const std::filesystem::path& folder);

// Writes `bytes` to a new temporary file in the folder of `path` and renames
// it over `path` once it is complete and flushed. On failure the temporary
// file is removed, `path` is left as it was and quillet::Error is thrown.
void WriteFileWhole(const std::filesystem::path& path, std::string_view bytes);

// A temporary file beside `path` that is removed unless Commit() renamed it
// over `path`: several outputs can be prepared first and put in place last.
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
  // Renames the temporary file over the target; throws quillet::Error.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool committed_ = false;
};

}  // namespace quillet
