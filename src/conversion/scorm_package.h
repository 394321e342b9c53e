// The package for a learning platform (SCORM 1.2): NAME.zip holding
// imsmanifest.xml, the page written for the package (the player beside it
// and the code that reports to the platform), the movie, its script and the
// player's files under ruffle/. The same deck and options give the same
// bytes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The reporting code the package's page carries, as a <script> element, for
// a deck of `slideCount` slides.
std::string ScormPageScript(int slideCount);

// The manifest: one organisation with one item titled `title`, launching
// `files[0]`, and one SCO resource listing `files` (paths inside the
// package, "/" between folders), percent-encoded.
std::string ScormManifest(std::string_view identifier, std::string_view title, const std::vector<std::string>& files);

struct PackageContents {
  std::string baseName;  // NAME: the manifest's identifier comes from it
  std::string title;     // the first slide's title, or the deck's name
  std::string page;      // the package's page, NAME.html
  std::string_view movie;
  std::string_view movieScript;
  std::filesystem::path playerFiles;  // the player's files that come with Quillet
};

// The zip's bytes. Throws quillet::Error when the player's files cannot be
// read or the archive cannot be made.
std::string ScormPackage(const PackageContents& contents);

}  // namespace quillet
