// Test helpers for the movie library; see test_support.h.
#include "test_support.h"

#include "swf/tag_writer.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

namespace swf_test {

std::string Hex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t index = 0; index < bytes.size(); ++index) {
    if (index > 0) text += ' ';
    text += kDigits[bytes[index] >> 4];
    text += kDigits[bytes[index] & 0x0F];
  }
  return text;
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  std::istringstream stream(hex);
  std::string pair;
  while (stream >> pair) bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}

std::vector<RawTag> ReadTags(const Bytes& tags, std::size_t start) {
  std::vector<RawTag> result;
  std::size_t at = start;
  while (at + 2 <= tags.size()) {
    RawTag tag;
    const auto header = static_cast<std::uint16_t>(tags[at] | (tags[at + 1] << 8));
    tag.code = header >> 6;
    std::size_t length = header & 0x3F;
    at += 2;
    if (length == 0x3F) {
      if (at + 4 > tags.size()) throw std::runtime_error("a long tag header is cut off");
      length = tags[at] | (tags[at + 1] << 8) | (tags[at + 2] << 16) | (static_cast<std::size_t>(tags[at + 3]) << 24);
      tag.longHeader = true;
      at += 4;
    }
    if (at + length > tags.size()) throw std::runtime_error("a tag runs past the end");
    tag.body.assign(tags.begin() + static_cast<long>(at), tags.begin() + static_cast<long>(at + length));
    at += length;
    result.push_back(tag);
    if (tag.code == 0) break;
  }
  return result;
}

std::vector<RawTag> ReadMovieTags(const Bytes& written) {
  const Bytes file = swf::ExpandMovie(written);
  if (file.size() < 9) throw std::runtime_error("too short for an SWF header");
  const int rectBits = file[8] >> 3;
  const std::size_t start = 8 + static_cast<std::size_t>((5 + 4 * rectBits + 7) / 8) + 4;
  return ReadTags(file, start);
}

std::string TagName(std::uint16_t code) {
  static const std::map<std::uint16_t, std::string> kNames = {{0, "End"},
                                                              {1, "ShowFrame"},
                                                              {2, "DefineShape"},
                                                              {9, "SetBackgroundColor"},
                                                              {11, "DefineText"},
                                                              {12, "DoAction"},
                                                              {21, "DefineBitsJPEG2"},
                                                              {22, "DefineShape2"},
                                                              {26, "PlaceObject2"},
                                                              {28, "RemoveObject2"},
                                                              {32, "DefineShape3"},
                                                              {33, "DefineText2"},
                                                              {34, "DefineButton2"},
                                                              {48, "DefineFont2"},
                                                              {69, "FileAttributes"},
                                                              {75, "DefineFont3"}};
  const auto found = kNames.find(code);
  return found != kNames.end() ? found->second : "Tag" + std::to_string(code);
}

std::string DumpTags(const std::vector<RawTag>& tags) {
  std::string text;
  for (const RawTag& tag : tags) {
    Bytes head(tag.body.begin(), tag.body.begin() + static_cast<long>(std::min<std::size_t>(tag.body.size(), 48)));
    text += "  " + TagName(tag.code) + " (" + std::to_string(tag.code) + "), " + std::to_string(tag.body.size()) +
            " bytes" + (tag.longHeader ? ", long header" : "") + ": " + Hex(head) +
            (tag.body.size() > head.size() ? " ..." : "") + "\n";
  }
  return text;
}

std::string DumpMovie(const Bytes& file) {
  Bytes header(file.begin(), file.begin() + static_cast<long>(std::min<std::size_t>(file.size(), 21)));
  std::string text = "header: " + Hex(header) + "\n";
  try {
    text += DumpTags(ReadMovieTags(file));
  } catch (const std::exception& error) {
    text += std::string("  (unreadable: ") + error.what() + ")\n";
  }
  return text;
}

std::vector<std::vector<std::string>> FrameTagNames(const Bytes& file) {
  std::vector<std::vector<std::string>> frames(1);
  for (const RawTag& tag : ReadMovieTags(file)) {
    if (tag.code == 1) {
      frames.emplace_back();
    } else {
      frames.back().push_back(TagName(tag.code));
    }
  }
  return frames;  // the last entry holds what follows the last ShowFrame
}

Bytes MakeJpeg(int width, int height, JpegKind kind) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      pixel[0] = static_cast<unsigned char>(255 * x / std::max(1, width - 1));
      pixel[1] = static_cast<unsigned char>(255 * y / std::max(1, height - 1));
      pixel[2] = static_cast<unsigned char>(((x / 8 + y / 8) % 2) * 200);
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* output = nullptr;
  unsigned long size = 0;
  const int flags = kind == JpegKind::kProgressive ? TJFLAG_PROGRESSIVE : 0;
  if (tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &output, &size, TJSAMP_444, 90, flags) != 0) {
    tjDestroy(handle);
    throw std::runtime_error("libjpeg-turbo could not compress the test picture");
  }
  Bytes bytes(output, output + size);
  tjFree(output);
  tjDestroy(handle);
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

ParserResult ParseWithIndependentParser(const std::filesystem::path& movie) {
  const std::string command =
      std::string("'") + QUILLET_NODE + "' '" + QUILLET_PARSE_SWF + "' '" + movie.string() + "' 2>&1";
  ParserResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) result.output += buffer.data();
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void ExpectIndependentParserAccepts(const std::filesystem::path& movie, std::size_t frames) {
  const ParserResult result = ParseWithIndependentParser(movie);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  std::size_t lines = 0;
  for (std::size_t at = result.output.find("frame "); at != std::string::npos;
       at = result.output.find("frame ", at + 1))
    ++lines;
  EXPECT_EQ(lines, frames) << result.output;
}

}  // namespace swf_test
