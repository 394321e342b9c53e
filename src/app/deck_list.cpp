#include "app/deck_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/command_line.h"
#include "conversion/file_helpers.h"

namespace quillet::app {
namespace {

constexpr std::size_t kMostShards = 1000000;

bool IsBlank(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// A whole number of at most seven digits, or 0.
std::size_t SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 7) return 0;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  return static_cast<std::size_t>(std::stoul(std::string(text)));
}

}  // namespace

std::vector<std::string> ParseDeckList(std::string_view text, bool nulSeparated, const std::string& listName) {
  const char separator = nulSeparated ? '\0' : '\n';
  if (!nulSeparated && text.find('\0') != std::string_view::npos) {
    throw UsageError("the list " + listName + " holds NUL bytes; give --null for a NUL-separated list");
  }
  std::vector<std::string> decks;
  while (!text.empty()) {
    const std::size_t end = text.find(separator);
    std::string_view entry = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!nulSeparated) {
      if (!entry.empty() && entry.back() == '\r') entry.remove_suffix(1);
      if (IsBlank(entry)) continue;
    }
    if (!entry.empty()) decks.emplace_back(entry);
  }
  return decks;
}

std::vector<std::string> ReadDeckList(const std::string& source, bool nulSeparated) {
  std::ostringstream text;
  if (source == "-") {
    text << std::cin.rdbuf();
    if (std::cin.bad()) throw UsageError("cannot read the list of decks from standard input");
    return ParseDeckList(text.str(), nulSeparated, "on standard input");
  }
  std::ifstream file(source, std::ios::binary);
  if (!file) throw UsageError("cannot read the list of decks " + source + ": " + std::strerror(errno));
  text << file.rdbuf();
  if (file.bad()) throw UsageError("cannot read the list of decks " + source + ": " + std::strerror(errno));
  return ParseDeckList(text.str(), nulSeparated, source);
}

Shard ParseShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  const std::size_t index = slash == std::string::npos ? 0 : SmallNumber(std::string_view(text).substr(0, slash));
  const std::size_t count = slash == std::string::npos ? 0 : SmallNumber(std::string_view(text).substr(slash + 1));
  if (index < 1 || count < 1 || index > count || count > kMostShards) {
    throw UsageError("--shard must be I/N with 1 <= I <= N <= " + std::to_string(kMostShards) + ", not '" + text + "'");
  }
  return Shard{index, count};
}

std::vector<ShareDeck> TakeShare(std::vector<std::string> decks, const Shard& shard, const std::string& outputFolder) {
  std::sort(decks.begin(), decks.end());           // std::string compares bytes as unsigned char: bytewise
  std::map<std::string, std::size_t> firstOfName;  // output name -> its first deck in the sorted list
  std::vector<ShareDeck> share;
  for (std::size_t i = 0; i < decks.size(); ++i) {
    const std::string name = NameAsUtf8(GetBaseName(decks[i]));
    std::string refusal;
    if (!name.empty()) {
      const auto [first, isFirst] = firstOfName.emplace(name, i);
      if (!isFirst) {
        const std::string owner =
            "share " + std::to_string(first->second % shard.count + 1) + "/" + std::to_string(shard.count);
        refusal = decks[first->second] == decks[i]
                      ? "cannot convert " + decks[i] + " twice: it is listed again, and " + owner + " converts it"
                      : "cannot convert " + decks[i] + ": " + decks[first->second] + " (" + owner +
                            ") is converted to " + outputFolder + "/" + name + ".swf already";
      }
    }
    if (i % shard.count + 1 == shard.index) share.push_back(ShareDeck{decks[i], refusal});
  }
  return share;
}

}  // namespace quillet::app
