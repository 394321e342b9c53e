// Helpers for the movie library's tests: hex strings, a tag reader with a
// readable dump for failure messages, JPEG files made with libjpeg-turbo, a
// scratch folder, and the independent SWF parser run through Node.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace swf_test {

using Bytes = std::vector<std::uint8_t>;

// "0A FF 03" <-> bytes.
std::string Hex(const Bytes& bytes);
Bytes FromHex(const std::string& hex);

struct RawTag {
  std::uint16_t code = 0;
  bool longHeader = false;
  Bytes body;
};

// The tags of a whole FWS or CWS file (after its header), or of a run of tags.
std::vector<RawTag> ReadTags(const Bytes& tags, std::size_t start = 0);
std::vector<RawTag> ReadMovieTags(const Bytes& written);
std::string TagName(std::uint16_t code);
// One line per tag: name, code, length, the first bytes of the body.
std::string DumpTags(const std::vector<RawTag>& tags);
std::string DumpMovie(const Bytes& file);

// Tag names per frame: the tags before each ShowFrame.
std::vector<std::vector<std::string>> FrameTagNames(const Bytes& file);

enum class JpegKind { kBaseline, kProgressive };
// A width x height colour picture (smooth ramps), compressed by libjpeg-turbo.
Bytes MakeJpeg(int width, int height, JpegKind kind = JpegKind::kBaseline);

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// Scratch folders are the shared ones.
using quillet::testing::ScratchFolder;

struct ParserResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr
};
// Runs tests/swf/parse-swf.mjs on the file.
ParserResult ParseWithIndependentParser(const std::filesystem::path& movie);
// Fails the test unless the independent parser reads the file and finds
// `frames` frames in it.
void ExpectIndependentParserAccepts(const std::filesystem::path& movie, std::size_t frames);

}  // namespace swf_test
