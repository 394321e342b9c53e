#include "app/deck_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace quillet::app {
namespace {

using json = nlohmann::ordered_json;  // keys in the order written

// Paths are bytes; JSON is UTF-8. A path that is not UTF-8 is written with
// U+FFFD for its stray bytes rather than not at all.
std::string Dumped(const json& line) { return line.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string SystemError() { return std::strerror(errno); }

// A name beside the report, hidden, that no other process picks.
std::filesystem::path TemporaryName(const std::filesystem::path& path) {
  std::string name = ".";
  name += path.filename().string();
  name += '.';
  name += std::to_string(::getpid());
  name += ".partial";
  return path.parent_path() / name;
}

json OrNull(const std::filesystem::path& path) { return path.empty() ? json(nullptr) : json(path.string()); }

}  // namespace

std::string CauseName(FailureCause cause) {
  switch (cause) {
    case FailureCause::kDeckUnreadable: return "deck_unreadable";
    case FailureCause::kPasswordProtected: return "password_protected";
    case FailureCause::kOutputFolder: return "output_folder";
    case FailureCause::kLibreOfficeMissing: return "libreoffice_missing";
    case FailureCause::kOther: break;
  }
  return "other";
}

DeckReport::DeckReport(std::filesystem::path path, std::string shard)
    : path_(std::move(path)), shard_(std::move(shard)) {
  std::error_code error;
  if (path_.filename().empty() || std::filesystem::is_directory(path_, error)) {
    throw Error(kGeneral, "cannot write the report " + path_.string() + ": it is a folder");
  }
  temporary_ = TemporaryName(path_);
  descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor_ < 0) throw Error(kGeneral, "cannot write the report " + path_.string() + ": " + SystemError());
}

DeckReport::~DeckReport() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void DeckReport::WriteLine(const std::string& line) {
  const std::string bytes = line + "\n";
  std::size_t done = 0;
  while (done < bytes.size() && problem_.empty()) {
    const ssize_t written = ::write(descriptor_, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) problem_ = SystemError();
    if (written > 0) done += static_cast<std::size_t>(written);
  }
  ++lines_;
}

void DeckReport::Add(const DeckOutcome& deck, const std::string& cause, double seconds) {
  const bool converted = deck.error.empty();
  json line;
  line["deck"] = deck.deck;
  line["outcome"] = converted ? "converted" : "failed";
  line["shard"] = shard_;
  line["page"] = converted ? OrNull(deck.outcome.page) : json(nullptr);
  line["movie"] = converted ? OrNull(deck.outcome.movie) : json(nullptr);
  line["script"] = converted ? OrNull(deck.outcome.script) : json(nullptr);
  line["package"] = converted ? OrNull(deck.outcome.package) : json(nullptr);  // with --scorm
  line["slides"] = converted ? json(deck.outcome.slideCount) : json(nullptr);
  std::error_code error;
  const std::uintmax_t bytes = converted ? std::filesystem::file_size(deck.outcome.movie, error) : 0;
  line["movie_bytes"] = converted && !error ? json(bytes) : json(nullptr);
  line["seconds"] = static_cast<double>(std::llround(seconds * 1000)) / 1000;  // to the millisecond
  line["cause"] = converted ? json(nullptr) : json(cause);
  line["message"] = converted ? json(nullptr) : json(deck.error);
  WriteLine(Dumped(line));
}

void DeckReport::Finish(const std::string& interruption, std::size_t shareSize) {
  if (!interruption.empty()) {
    json line;
    line["outcome"] = "interrupted";
    line["shard"] = shard_;
    line["message"] = interruption;
    line["decks_reported"] = lines_;
    line["decks_in_share"] = shareSize;
    WriteLine(Dumped(line));
  }
  if (problem_.empty() && ::fsync(descriptor_) != 0) problem_ = SystemError();
  if (::close(descriptor_) != 0 && problem_.empty()) problem_ = SystemError();
  descriptor_ = -1;
  if (problem_.empty() && ::rename(temporary_.c_str(), path_.c_str()) != 0) problem_ = SystemError();
  if (!problem_.empty()) {
    throw Error(kGeneral, "cannot write the report " + path_.string() + ": " + problem_ + " (the lines so far are in " +
                              temporary_.string() + ")");
  }
}

}  // namespace quillet::app
