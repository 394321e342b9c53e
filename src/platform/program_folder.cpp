// The program folder and the work folder. Two Quillet processes converting at
// once must never share a work folder (each empties it first), so a work
// folder is held through flock() on a lock file inside it; a process that
// finds the first one held moves on to the next.
#include "platform/program_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/error.h"

namespace quillet {
namespace {

constexpr int kMostWorkFolders = 64;
constexpr const char* kLockFileName = ".lock";
// A build tree (or a folder of its own) keeps the page template beside the
// program, whatever else it may have in ../share/quillet.
constexpr const char* kTemplateBeside = "qzp.html";

bool CanWriteFolder(const std::filesystem::path& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

// access() tells root that every folder can be written, /proc and read-only
// mounts included; creating a file is the sure test.
bool CanCreateFileIn(const std::filesystem::path& folder) {
  std::string name = (folder / ".quillet-write-test-XXXXXX").string();
  const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
  if (descriptor < 0) return false;
  ::close(descriptor);
  ::unlink(name.c_str());
  return true;
}

// Creates `folder` (and its parents); true when it is then a writable folder.
bool MakeWritableFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error) && CanWriteFolder(folder);
}

enum class OwnFolder { kOurs, kSomeoneElses, kUnusable };

// Leaves the mark in a folder Quillet made (best effort: a folder that cannot
// take it is simply not recognised later).
void MarkAsOurs(const std::filesystem::path& folder) {
  const std::filesystem::path mark = folder / kWorkFolderMark;
  std::error_code error;
  if (std::filesystem::exists(mark, error)) return;
  const int descriptor = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) return;
  static constexpr char kText[] =
      "Quillet keeps the slide pictures of its last conversion here and deletes them at the next.\n";
  [[maybe_unused]] const ssize_t written = ::write(descriptor, kText, sizeof kText - 1);
  ::close(descriptor);
}

// `folder` as Quillet's own work-folder root: created and marked when
// missing, used when it carries the mark.
OwnFolder MakeOwnFolder(const std::filesystem::path& folder) {
  std::error_code error;
  if (std::filesystem::create_directory(folder, error)) {
    if (!CanWriteFolder(folder)) return OwnFolder::kUnusable;
    MarkAsOurs(folder);
    return OwnFolder::kOurs;
  }
  if (error || !std::filesystem::is_directory(folder, error)) return OwnFolder::kUnusable;
  if (!std::filesystem::is_regular_file(folder / kWorkFolderMark, error)) return OwnFolder::kSomeoneElses;
  return CanWriteFolder(folder) ? OwnFolder::kOurs : OwnFolder::kUnusable;
}

std::filesystem::path CacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return cache;
  return HomeFolder() / ".cache";
}

// -1 when the folder is held by another process; throws on other failures.
int TryLock(const std::filesystem::path& folder) {
  const std::filesystem::path lockFile = folder / kLockFileName;
  const int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    throw Error(kGeneral, "cannot use the work folder " + folder.string() + ": " + std::strerror(errno));
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return descriptor;
  const int failure = errno;
  ::close(descriptor);
  if (failure == EWOULDBLOCK) return -1;
  throw Error(kGeneral, "cannot lock the work folder " + folder.string() + ": " + std::strerror(failure));
}

}  // namespace

std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw Error(kGeneral, "cannot find the program's folder: " + error.message());
  return executable.parent_path();
}

bool IsInstalled(const std::filesystem::path& programFolder) {
  std::error_code error;
  return !std::filesystem::exists(programFolder / kTemplateBeside, error) &&
         std::filesystem::is_directory(ProgramFileFolders(programFolder).back(), error);
}

std::vector<std::filesystem::path> ProgramFileFolders(const std::filesystem::path& programFolder) {
  return {programFolder, (programFolder / ".." / "share" / "quillet").lexically_normal()};
}

std::filesystem::path FindProgramFile(const std::filesystem::path& programFolder, const std::filesystem::path& name) {
  for (const std::filesystem::path& folder : ProgramFileFolders(programFolder)) {
    std::error_code error;
    if (std::filesystem::exists(folder / name, error)) return folder / name;
  }
  return {};
}

std::vector<ProgramOwnFile> ProgramOwnFiles(const std::filesystem::path& programFolder) {
  std::vector<ProgramOwnFile> files;
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) files.push_back({executable, "program"});
  const auto addParts = [&files](const std::filesystem::path& folder) {
    std::error_code listError;
    for (const auto& entry : std::filesystem::directory_iterator(folder, listError)) {
      std::error_code statusError;
      if (entry.path().extension() == ".so" && entry.is_regular_file(statusError))
        files.push_back({entry.path(), "part " + entry.path().filename().string()});
    }
  };
  addParts(programFolder);
  addParts((programFolder / ".." / "lib" / "quillet").lexically_normal());
  for (const std::filesystem::path& folder : ProgramFileFolders(programFolder)) {
    if (std::filesystem::is_regular_file(folder / kTemplateBeside, error))
      files.push_back({folder / kTemplateBeside, "page template"});
    std::error_code listError;
    for (std::filesystem::recursive_directory_iterator entry(folder / "ruffle", listError), end;
         !listError && entry != end; entry.increment(listError)) {
      std::error_code statusError;
      if (entry->is_regular_file(statusError)) files.push_back({entry->path(), "player file"});
    }
  }
  return files;
}

std::filesystem::path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  const passwd* entry = ::getpwuid(::getuid());
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') return entry->pw_dir;
  return "/";
}

std::filesystem::path DefaultOutputFolder(const std::filesystem::path& programFolder) {
  std::error_code error;
  if (!IsInstalled(programFolder) && std::filesystem::is_directory(programFolder, error) &&
      CanCreateFileIn(programFolder)) {
    return programFolder;
  }
  return HomeFolder();
}

std::filesystem::path WorkFolderRoot(const std::filesystem::path& programFolder, std::string* note) {
  std::filesystem::path beside = programFolder / "temp";
  const bool installed = IsInstalled(programFolder);
  if (!installed) {
    const OwnFolder own = MakeOwnFolder(beside);
    if (own == OwnFolder::kOurs) return beside;
    if (own == OwnFolder::kSomeoneElses && note != nullptr) {
      *note = "the folder " + beside.string() + " is not Quillet's work folder, so Quillet leaves it alone; the " +
              "slide pictures go to " + (CacheFolder() / "quillet" / "temp").string() + " instead";
    }
  }
  std::filesystem::path cached = CacheFolder() / "quillet" / "temp";
  // The cache folder is Quillet's by its name, marked or not.
  if (MakeWritableFolder(cached)) {
    MarkAsOurs(cached);
    return cached;
  }
  if (installed) throw Error(kGeneral, "cannot create a work folder: " + cached.string() + " cannot be written");
  throw Error(kGeneral, "cannot create a work folder: neither " + beside.string() + " nor " + cached.string() +
                            " can be written");
}

WorkFolder WorkFolder::Acquire(const std::filesystem::path& root) {
  if (!MakeWritableFolder(root)) throw Error(kGeneral, "cannot create the work folder " + root.string());
  for (int slot = 1; slot <= kMostWorkFolders; ++slot) {
    const std::filesystem::path folder = slot == 1 ? root : root / (".busy-" + std::to_string(slot));
    if (!MakeWritableFolder(folder)) throw Error(kGeneral, "cannot create the work folder " + folder.string());
    const int lock = TryLock(folder);
    if (lock >= 0) return WorkFolder(folder, lock);
  }
  throw Error(kGeneral,
              "too many conversions are running at once (every work folder under " + root.string() + " is in use)");
}

ScratchFolder::ScratchFolder(const std::filesystem::path& parent, const std::string& prefix) {
  std::string pattern = (parent / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw Error(kGeneral, "cannot create a scratch folder in " + parent.string() + ": " + std::strerror(errno));
  }
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

WorkFolder::WorkFolder(WorkFolder&& other) noexcept : path_(std::move(other.path_)), lock_(other.lock_) {
  other.lock_ = -1;
}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept {
  if (this != &other) {
    if (lock_ >= 0) ::close(lock_);
    path_ = std::move(other.path_);
    lock_ = other.lock_;
    other.lock_ = -1;
  }
  return *this;
}

WorkFolder::~WorkFolder() {
  if (lock_ >= 0) ::close(lock_);
}

}  // namespace quillet
