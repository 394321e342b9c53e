// Where Quillet finds its own files and keeps its slide pictures: the folder
// of the running executable, the files that come with it (beside it, or in
// ../share/quillet once installed), and a work folder under it (or under the
// user's cache folder where the program folder is read-only or installed)
// that one process holds at a time.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillet {

// The folder that holds the running executable (from /proc/self/exe).
// Throws quillet::Error when it cannot be found.
std::filesystem::path ProgramFolder();

// Whether the program runs from an installation (PREFIX/bin beside
// PREFIX/share/quillet, nothing of its own beside it) rather than from its
// build or a folder of its own, which keep the page template qzp.html beside
// the program. Nothing is ever written into an installed program folder,
// whoever runs it.
bool IsInstalled(const std::filesystem::path& programFolder);

// The folders searched, in order, for a file that comes with the program:
// the program folder, then programFolder/../share/quillet.
std::vector<std::filesystem::path> ProgramFileFolders(const std::filesystem::path& programFolder);

// The first of ProgramFileFolders() holding `name` (a file or a folder), or
// an empty path when none does.
std::filesystem::path FindProgramFile(const std::filesystem::path& programFolder, const std::filesystem::path& name);

// A file that comes with the program, and what it is ("the page template").
struct ProgramOwnFile {
  std::filesystem::path path;
  std::string what;
};

// The program's own files that exist: the executable, its parts (the shared
// objects beside it or in ../lib/quillet), the page template and the player's
// files in each of ProgramFileFolders(). No output may replace one of them.
std::vector<ProgramOwnFile> ProgramOwnFiles(const std::filesystem::path& programFolder);

// The user's home folder ($HOME, else the password database, else "/").
std::filesystem::path HomeFolder();

// Where outputs go unless the user says otherwise: the program folder when
// it is a writable folder of a program that is not installed, else the
// user's home folder.
std::filesystem::path DefaultOutputFolder(const std::filesystem::path& programFolder);

// The folder that holds the per-conversion work folders: programFolder/temp
// when that can be written and the program is not installed, else
// $XDG_CACHE_HOME/quillet/temp (default ~/.cache/quillet/temp). A temp/
// beside the program is used only when Quillet made it: a folder Quillet
// creates gets the mark kWorkFolderMark, and a temp/ without it belongs to
// someone else and is never touched. Then `note`, when given, receives a
// sentence that says so and where the pictures go instead.
std::filesystem::path WorkFolderRoot(const std::filesystem::path& programFolder, std::string* note = nullptr);

// The hidden file that marks a folder as a work-folder root of Quillet's.
inline constexpr const char* kWorkFolderMark = ".quillet-work-folder";

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

// A hidden scratch folder made inside `parent` (PREFIX and six random
// characters), removed with all it holds when the object goes.
class ScratchFolder {
 public:
  // Throws quillet::Error when the folder cannot be made.
  ScratchFolder(const std::filesystem::path& parent, const std::string& prefix);
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace quillet
