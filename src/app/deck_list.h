// The decks of a long run: read from a list (a file or standard input, one
// path a line or NUL-separated), and the share of them one task of many
// converts (--shard I/N). Every task reads the same list and takes its share
// by itself, so that a scheduler only has to hand out the numbers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

// The paths in a list's text: one a line (a line's last "\r" is dropped, and
// a line of nothing but spaces and tabs is blank), or, with `nulSeparated`,
// between NUL bytes, where only empty entries are skipped. Paths are kept as
// written: a relative one is relative to the current folder. Throws
// UsageError for a NUL byte in a list of lines, which only a list meant for
// --null holds.
std::vector<std::string> ParseDeckList(std::string_view text, bool nulSeparated, const std::string& listName);

// Reads the list at `source` ("-" is standard input) and parses it; throws
// UsageError when it cannot be read.
std::vector<std::string> ReadDeckList(const std::string& source, bool nulSeparated);

// Share `index` of `count` (1 <= index <= count).
struct Shard {
  std::size_t index = 1;
  std::size_t count = 1;
  std::string Text() const { return std::to_string(index) + "/" + std::to_string(count); }
};

// "I/N" in decimal digits; throws UsageError for anything else, and for an I
// that is not from 1 to N.
Shard ParseShard(const std::string& text);

// A deck of a share, and why it is refused before any work (empty when it
// is to be converted).
struct ShareDeck {
  std::string deck;
  std::string refusal;
};

// The decks of `shard`: all of them sorted bytewise, then dealt out in turn,
// the first to share 1, the second to share 2, and so on, so that the shares
// differ by one deck at most and do not depend on the list's order. Two
// decks of one output name would overwrite each other from different
// machines, so the first of them in the sorted order keeps the name and
// every later one is refused, by the share it falls to. `outputFolder`
// names the outputs in the refusals' messages.
std::vector<ShareDeck> TakeShare(std::vector<std::string> decks, const Shard& shard, const std::string& outputFolder);

}  // namespace quillet::app
