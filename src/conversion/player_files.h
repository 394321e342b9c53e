// Where the page gets the Ruffle player: online, from the CDN at the exact
// version the build pinned (with its Subresource Integrity hash), or beside
// the page, from a folder ruffle/ that a conversion fills with the player's
// files that come with Quillet (share/quillet/ruffle).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

enum class PlayerSource {
  kOnline,      // https://unpkg.com/@ruffle-rs/ruffle@VERSION/ruffle.js
  kBesidePage,  // ruffle/ruffle.js, beside the page
};

// The pinned version ("0.6.0") and "sha384-..." of its ruffle.js; the hash is
// empty when the build did not find the package.
extern const std::string_view kRuffleVersion;
extern const std::string_view kRuffleIntegrity;

// The folder a page loads its player from when it lies beside the page.
inline constexpr const char* kPlayerFolderName = "ruffle";

// The <script> element that loads the player, with the id "player-script".
std::string PlayerScriptElement(PlayerSource source);

// The player's files that come with Quillet: the folder "ruffle" beside the
// program or in ../share/quillet. Throws quillet::Error, naming where it
// looked and how to get them, when neither holds ruffle.js.
std::filesystem::path FindPlayerFiles(const std::filesystem::path& programFolder);

// The player's files in `playerFiles` (its regular files, by name), read
// whole. Throws quillet::Error naming a file that cannot be read.
struct PlayerFile {
  std::string name;
  std::string bytes;
};
std::vector<PlayerFile> ReadPlayerFiles(const std::filesystem::path& playerFiles);

// Puts the player's files from `playerFiles` into outputFolder/ruffle. A file
// already there with the same bytes is kept (so several decks in one folder
// share one copy); any other is replaced whole. Throws quillet::Error.
void PlacePlayerBesidePage(const std::filesystem::path& playerFiles, const std::filesystem::path& outputFolder);

}  // namespace quillet
