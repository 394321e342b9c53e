// What every test folder needs: a scratch folder of its own, whole files
// read and written, and a command run through the shell with what it prints.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillet::testing {

// A fresh folder under the system's temporary folder ("quillet-PREFIX-..."),
// removed with everything in it, read-only parts included, afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix = "test");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// Every name in the folder, hidden ones included, sorted.
std::vector<std::string> AllNames(const std::filesystem::path& folder);

// `text` as one word for /bin/sh, in single quotes.
std::string Quote(const std::string& text);

struct CommandRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs `command` through /bin/sh with its standard output and error each
// caught in a file of `folder`.
CommandRun RunShell(const std::string& command, const std::filesystem::path& folder);

}  // namespace quillet::testing
