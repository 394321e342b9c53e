// The player's script element and its files beside the page.
#include "conversion/player_files.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/error.h"
#include "platform/file_replace.h"
#include "platform/program_folder.h"

namespace quillet {
namespace {

constexpr const char* kPlayerScript = "ruffle.js";

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return bytes.str();
}

}  // namespace

std::string PlayerScriptElement(PlayerSource source) {
  if (source == PlayerSource::kBesidePage)
    return std::string("<script id=\"player-script\" src=\"") + kPlayerFolderName + "/" + kPlayerScript +
           "\"></script>";
  std::string element = "<script id=\"player-script\" src=\"https://unpkg.com/@ruffle-rs/ruffle@" +
                        std::string(kRuffleVersion) + "/" + kPlayerScript + "\"";
  if (!kRuffleIntegrity.empty()) element += " integrity=\"" + std::string(kRuffleIntegrity) + "\"";
  return element + " crossorigin=\"anonymous\"></script>";
}

std::filesystem::path FindPlayerFiles(const std::filesystem::path& programFolder) {
  for (const std::filesystem::path& folder : ProgramFileFolders(programFolder)) {
    std::filesystem::path files = folder / kPlayerFolderName;
    std::error_code error;
    if (std::filesystem::is_regular_file(files / kPlayerScript, error)) return files;
  }
  const std::vector<std::filesystem::path> folders = ProgramFileFolders(programFolder);
  throw Error(kGeneral, "the Ruffle player's files, which a page with the player beside it needs, are in neither " +
                            (folders.front() / kPlayerFolderName).string() + " nor " +
                            (folders.back() / kPlayerFolderName).string() +
                            "; run scripts/install-deps (it installs @ruffle-rs/ruffle@" + std::string(kRuffleVersion) +
                            ") and build Quillet again, or install a Quillet that has them");
}

std::vector<PlayerFile> ReadPlayerFiles(const std::filesystem::path& playerFiles) {
  std::vector<PlayerFile> files;
  std::error_code error;
  std::filesystem::directory_iterator entries(playerFiles, error);
  if (error)
    throw Error(kGeneral, "cannot read the player's files in " + playerFiles.string() + ": " + error.message());
  for (const std::filesystem::directory_entry& entry : entries) {
    if (!entry.is_regular_file(error)) continue;
    std::optional<std::string> bytes = ReadWhole(entry.path());
    if (!bytes) throw Error(kGeneral, "cannot read the player's file " + entry.path().string());
    files.push_back({entry.path().filename().string(), std::move(*bytes)});
  }
  std::sort(files.begin(), files.end(), [](const PlayerFile& a, const PlayerFile& b) { return a.name < b.name; });
  return files;
}

void PlacePlayerBesidePage(const std::filesystem::path& playerFiles, const std::filesystem::path& outputFolder) {
  const std::filesystem::path target = outputFolder / kPlayerFolderName;
  std::error_code error;
  std::filesystem::create_directory(target, error);
  if (error || !std::filesystem::is_directory(target, error))
    throw Error(kGeneral, "cannot make the player's folder " + target.string() +
                              (error ? ": " + error.message() : ": a file of that name is in the way"));
  for (const PlayerFile& file : ReadPlayerFiles(playerFiles)) {
    const std::filesystem::path copy = target / file.name;
    if (std::filesystem::is_regular_file(copy, error) && std::filesystem::file_size(copy, error) == file.bytes.size() &&
        ReadWhole(copy) == file.bytes)
      continue;
    ReplaceFile(copy, file.bytes);
  }
}

}  // namespace quillet
