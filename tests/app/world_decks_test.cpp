// The decks from the world (real presentations nobody here wrote, with the
// README that says how many pages LibreOffice 7.4 exports of each, 0 for
// none) converted in one batch, as a user would. Each deck either converts
// to one frame per exported page or is refused with one line naming it and
// no output of its name. Skipped when the folder is not there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>

#include "platform/child_process.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::ReadBytes;
using testing::ScratchFolder;

std::filesystem::path WorldFolder() {
  const char* chosen = std::getenv("QUILLET_WORLD_DECKS");
  return chosen != nullptr && *chosen != '\0' ? std::filesystem::path(chosen) : QUILLET_WORLD_DECKS;
}

// The README's table: `file` | what it is | pages.
std::map<std::string, int> ExpectedPages(const std::string& readme) {
  std::map<std::string, int> pages;
  const std::regex row(R"(^\| `([^`]+)` \|.*\| (\d+) \|$)");
  std::istringstream lines(readme);
  std::string line;
  std::smatch match;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, match, row)) pages[match[1]] = std::stoi(match[2]);
  }
  return pages;
}

TEST(WorldDecksTest, EachConvertsWholeOrIsRefusedCleanly) {
  const std::filesystem::path world = WorldFolder();
  const std::map<std::string, int> expected = ExpectedPages(ReadBytes(world / "README.md"));
  if (expected.empty()) GTEST_SKIP() << "no decks from the world at " << world;
  ScratchFolder out;
  std::vector<std::string> arguments = {QUILLET_BINARY, "convert", "--size", "small", "-o", out.Path().string()};
  for (const auto& [name, pages] : expected) arguments.push_back((world / name).string());
  ChildSettings settings;
  settings.timeLimit = std::chrono::minutes(8);
  const ChildOutcome outcome = RunChildProcess(arguments, settings);
  ASSERT_EQ(outcome.end, ChildEnd::kExited) << outcome.output;
  const bool anyRefused =
      std::any_of(expected.begin(), expected.end(), [](const auto& deck) { return deck.second == 0; });
  EXPECT_EQ(outcome.exitCode, anyRefused ? 1 : 0) << outcome.output;

  const std::vector<std::string> written = AllNames(out.Path());
  for (const auto& [name, pages] : expected) {
    const std::string base = name.substr(0, name.rfind('.'));
    const std::string failureLine = "quillet convert: " + (world / name).string();
    const bool named = outcome.output.find(failureLine) != std::string::npos;
    if (pages == 0) {
      EXPECT_TRUE(named) << name << " is not named in: " << outcome.output;
      EXPECT_EQ(std::count(written.begin(), written.end(), base + ".swf"), 0) << name;
      EXPECT_EQ(std::count(written.begin(), written.end(), base + ".html"), 0) << name;
      continue;
    }
    EXPECT_FALSE(named) << name << " failed: " << outcome.output;
    const std::string movie = ReadBytes(out / (base + ".swf"));
    if (movie.empty()) {
      ADD_FAILURE() << name << " wrote no movie";
      continue;
    }
    EXPECT_EQ(testing::ReadSwf(movie).frameCount, pages) << name;
    EXPECT_FALSE(ReadBytes(out / (base + ".html")).empty()) << name;
    EXPECT_FALSE(ReadBytes(out / (base + ".swf.js")).empty()) << name;
  }
  // Quillet's own lines only: nothing a library printed on its way.
  std::istringstream lines(outcome.output);
  for (std::string line; std::getline(lines, line);) {
    const bool own = line.rfind("quillet convert: ", 0) == 0 || line.rfind("Page:  ", 0) == 0 ||
                     line.rfind("Movie: ", 0) == 0 || line == "Conversion complete." || line.empty();
    EXPECT_TRUE(own) << line;
  }
  // Nothing but the outputs: no temporary or half-written file.
  for (const std::string& name : written) EXPECT_NE(name[0], '.') << name;
}

}  // namespace
}  // namespace quillet
