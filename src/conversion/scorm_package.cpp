#include "conversion/scorm_package.h"

#include "conversion/player_files.h"
#include "conversion/web_page.h"
#include "platform/error.h"
#include "platform/percent_encoding.h"
#include "platform/zip_archive.h"

namespace quillet {

extern const std::string_view kScormPageScript;  // scorm_page.js, built in

namespace {

// Each path segment percent-encoded; the "/" between them kept.
std::string ManifestHref(std::string_view path) { return PercentEncode(path, "/"); }

// An XML name (xs:ID) made from the deck's name: letters, digits, "-", "_"
// and "." are kept, anything else becomes "_", behind "quillet-".
std::string Identifier(std::string_view name) {
  std::string id = "quillet-";
  for (const char c : name) {
    const bool kept =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    id += kept ? c : '_';
  }
  return id;
}

}  // namespace

std::string ScormPageScript(int slideCount) {
  std::string script(kScormPageScript);
  constexpr std::string_view kSlides = "[[slides]]";
  const std::size_t at = script.find(kSlides);
  if (at != std::string::npos) script.replace(at, kSlides.size(), std::to_string(slideCount));
  return "\n<script>\n" + script + "</script>";
}

std::string ScormManifest(std::string_view identifier, std::string_view title, const std::vector<std::string>& files) {
  const std::string escapedTitle = EscapeHtml(title);
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<manifest identifier=\"" +
      std::string(identifier) +
      "\" version=\"1.0\"\n"
      "          xmlns=\"http://www.imsproject.org/xsd/imscp_rootv1p1p2\"\n"
      "          xmlns:adlcp=\"http://www.adlnet.org/xsd/adlcp_rootv1p2\"\n"
      "          xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
      "          xsi:schemaLocation=\"http://www.imsproject.org/xsd/imscp_rootv1p1p2 imscp_rootv1p1p2.xsd "
      "http://www.imsglobal.org/xsd/imsmd_rootv1p2p1 imsmd_rootv1p2p1.xsd "
      "http://www.adlnet.org/xsd/adlcp_rootv1p2 adlcp_rootv1p2.xsd\">\n"
      "  <metadata>\n    <schema>ADL SCORM</schema>\n    <schemaversion>1.2</schemaversion>\n  </metadata>\n"
      "  <organizations default=\"slide-show\">\n"
      "    <organization identifier=\"slide-show\">\n"
      "      <title>" +
      escapedTitle +
      "</title>\n"
      "      <item identifier=\"slides\" identifierref=\"slide-show-page\" isvisible=\"true\">\n"
      "        <title>" +
      escapedTitle +
      "</title>\n"
      "      </item>\n"
      "    </organization>\n"
      "  </organizations>\n"
      "  <resources>\n"
      "    <resource identifier=\"slide-show-page\" type=\"webcontent\" adlcp:scormtype=\"sco\" href=\"" +
      (files.empty() ? std::string() : ManifestHref(files.front())) + "\">\n";
  for (const std::string& file : files) xml += "      <file href=\"" + ManifestHref(file) + "\"/>\n";
  return xml + "    </resource>\n  </resources>\n</manifest>\n";
}

std::string ScormPackage(const PackageContents& contents) {
  const std::string movieName = contents.baseName + ".swf";
  const std::vector<PlayerFile> player = ReadPlayerFiles(contents.playerFiles);
  std::vector<std::string> files = {contents.baseName + ".html", movieName, movieName + ".js"};
  for (const PlayerFile& file : player) files.push_back(std::string(kPlayerFolderName) + "/" + file.name);
  const std::string manifest = ScormManifest(Identifier(contents.baseName), contents.title, files);

  // A compressed movie (CWS) gains nothing from deflating it again.
  const bool movieCompressed = contents.movie.substr(0, 3) == "CWS";
  std::vector<ZipEntry> entries = {
      {"imsmanifest.xml", manifest, true},
      {files[0], contents.page, true},
      {files[1], contents.movie, !movieCompressed},
      {files[2], contents.movieScript, true},
  };
  for (std::size_t i = 0; i < player.size(); ++i) entries.push_back({files[3 + i], player[i].bytes, true});
  return ZipArchive(entries);
}

}  // namespace quillet
