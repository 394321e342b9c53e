// The report of a run over many decks, for a program to read: one JSON line
// for each deck, written as soon as the deck is done. The lines go to a
// hidden temporary file beside the report, which is renamed to the report's
// name at the end, also when the run is interrupted, with a last line that
// says so; an earlier report of the same name stays until then.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "conversion/convert_presentation.h"

namespace quillet::app {

class DeckReport {
 public:
  // Opens the temporary file beside `path`; throws quillet::Error when it
  // cannot be written there, so that no deck is converted for a report that
  // could not be kept. `shard` ("I/N") goes into every line.
  DeckReport(std::filesystem::path path, std::string shard);
  DeckReport(const DeckReport&) = delete;
  DeckReport& operator=(const DeckReport&) = delete;
  // A report never finished keeps its temporary file, the lines so far.
  ~DeckReport();

  // The line of a deck converted, or failed for `cause` ("deck_unreadable",
  // "password_protected", "output_folder", "libreoffice_missing",
  // "name_taken" or "other") with the deck's error as its message.
  void Add(const DeckOutcome& deck, const std::string& cause, double seconds);
  std::size_t Lines() const { return lines_; }

  // Renames the file to the report's name. With `interruption`, a last line
  // says the run was interrupted, with that message and the decks of the
  // share. Throws quillet::Error when the file cannot be written.
  void Finish(const std::string& interruption = "", std::size_t shareSize = 0);

 private:
  void WriteLine(const std::string& line);

  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::string shard_;
  int descriptor_ = -1;
  std::size_t lines_ = 0;
  std::string problem_;  // the first failed write, told by Finish
};

// The report's name for a failure's cause.
std::string CauseName(FailureCause cause);

}  // namespace quillet::app
