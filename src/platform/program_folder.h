// Where Quillet finds its own files and keeps its slide pictures: the folder
// of the running executable, and a work folder under it (or under the user's
// cache folder where the program folder is read-only) that one process holds
// at a time.
#pragma once

#include <filesystem>

namespace quillet {

// The folder that holds the running executable (from /proc/self/exe).
// Throws quillet::Error when it cannot be found.
std::filesystem::path ProgramFolder();

// The folder that holds the per-conversion work folders: programFolder/temp
// when that can be written (created when missing), else
// $XDG_CACHE_HOME/quillet/temp (default ~/.cache/quillet/temp).
std::filesystem::path WorkFolderRoot(const std::filesystem::path& programFolder);

// A work folder held by this process alone, through an advisory lock on the
// hidden file ".lock" inside it. The first choice is the root itself; while
// another process holds it, the hidden folders ".busy-2", ".busy-3", ... under
// the root are tried in turn. The lock goes with the object (and with the
// process, should it die).
class WorkFolder {
 public:
  // Throws quillet::Error when no folder can be created or locked.
  static WorkFolder Acquire(const std::filesystem::path& root);

  WorkFolder(WorkFolder&& other) noexcept;
  WorkFolder& operator=(WorkFolder&& other) noexcept;
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  ~WorkFolder();

  const std::filesystem::path& Path() const { return path_; }

 private:
  WorkFolder(std::filesystem::path path, int lockDescriptor) : path_(std::move(path)), lock_(lockDescriptor) {}
  std::filesystem::path path_;
  int lock_ = -1;
};

}  // namespace quillet
