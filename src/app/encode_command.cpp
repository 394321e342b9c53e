// quillet encode: Quillet's own JPEG encoder on one picture file, like
// libjpeg's cjpeg, for interoperability tests and benchmarks. Reads PPM, PGM,
// PNG or JPEG and writes a baseline JFIF file with optimised Huffman tables.
#include <cstdint>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/commands.h"
#include "jpeg/cjpeg.h"
#include "platform/error.h"
#include "platform/picture_file.h"

namespace quillet::app {

namespace {

constexpr const char* kEncodeUsage =
    "Usage: quillet encode IN OUT [--quality N] [--sampling H1xV1,H2xV2,H3xV3 | --grey] [--comment TEXT]\n"
    "Encodes the picture IN (PPM, PGM, PNG or JPEG) as a baseline JPEG file OUT with\n"
    "Huffman tables optimised for the picture. OUT is replaced only once the new file\n"
    "is complete.\n"
    "\n"
    "Options:\n"
    "  --quality N              quality 1 to 100 (default 75)\n"
    "  --sampling HxV,HxV,HxV   sampling factors 1 to 4 of Y, Cb and Cr (default 2x2,1x1,1x1)\n"
    "  --grey                   one grey component: the luminance of the picture\n"
    "  --comment TEXT           a comment segment holding TEXT (at most 65533 bytes)\n"
    "  -h, --help               show this help\n";

struct Sampling {
  std::int32_t factors[6] = {2, 2, 1, 1, 1, 1};
};

struct EncodeOptions {
  std::string input;
  std::string output;
  std::int32_t quality = 75;
  Sampling sampling;
  bool grey = false;
  bool samplingGiven = false;
  std::string comment;
};

std::optional<std::int32_t> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::int32_t value = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return std::nullopt;
    value = value * 10 + (digit - '0');
  }
  return value;
}

std::int32_t ParseQuality(const std::string& text) {
  const std::optional<std::int32_t> value = ParseNumber(text);
  if (!value || *value < 1 || *value > 100)
    throw UsageError("quality must be a whole number from 1 to 100, not '" + text + "'");
  return *value;
}

// "2x2,1x1,1x1": three factor pairs; the encoder checks their range.
Sampling ParseSampling(const std::string& text) {
  const UsageError malformed("sampling must look like 2x2,1x1,1x1 (H x V for Y, Cb and Cr), not '" + text + "'");
  std::vector<std::string_view> items;
  std::string_view rest = text;
  for (std::size_t comma = rest.find(','); comma != std::string_view::npos; comma = rest.find(',')) {
    items.push_back(rest.substr(0, comma));
    rest = rest.substr(comma + 1);
  }
  items.push_back(rest);
  if (items.size() != 3) throw malformed;

  Sampling sampling;
  for (std::size_t pair = 0; pair < 3; ++pair) {
    const std::size_t cross = items[pair].find('x');
    if (cross == std::string_view::npos) throw malformed;
    const std::optional<std::int32_t> h = ParseNumber(items[pair].substr(0, cross));
    const std::optional<std::int32_t> v = ParseNumber(items[pair].substr(cross + 1));
    if (!h || !v) throw malformed;
    sampling.factors[2 * pair] = *h;
    sampling.factors[2 * pair + 1] = *v;
  }
  return sampling;
}

// Returns nothing when the user asked for help.
std::optional<EncodeOptions> ParseArguments(int argc, char** argv) {
  EncodeOptions options;
  bool help = false;
  std::optional<std::string> quality, sampling;
  std::vector<std::string> positional;
  CLI::App parser;
  SetUpParser(parser);
  parser.add_flag("-h,--help", help);
  parser.add_option("--quality", quality);
  parser.add_option("--sampling", sampling);
  parser.add_flag("--grey,--gray", options.grey);
  parser.add_option("--comment", options.comment);
  parser.add_option("files", positional);
  Parse(parser, argc, argv);
  for (std::string& operand : RemainingOrUnknown(parser)) positional.push_back(std::move(operand));
  if (help) return std::nullopt;
  if (quality) options.quality = ParseQuality(*quality);
  if (sampling) {
    options.sampling = ParseSampling(*sampling);
    options.samplingGiven = true;
  }
  if (options.grey && options.samplingGiven) throw UsageError("--grey and --sampling exclude each other");
  if (positional.size() != 2)
    throw UsageError(positional.size() < 2 ? "IN and OUT are required" : "too many arguments");
  options.input = positional[0];
  options.output = positional[1];
  return options;
}

}  // namespace

int RunEncode(int argc, char** argv) {
  std::optional<EncodeOptions> options;
  try {
    options = ParseArguments(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "quillet encode: " << error.what() << " (try quillet encode --help)\n";
    return kUsage;
  }
  if (!options) {
    std::cout << kEncodeUsage;
    return kSuccess;
  }

  try {
    const Surface picture = LoadPicture(options->input);
    cJpeg encoder;
    encoder.Threads(0);  // one picture is the whole job: capture on every core (same bytes)
    encoder.Quality(options->quality);
    const std::int32_t* f = options->sampling.factors;
    if (options->grey)
      encoder.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
    else
      encoder.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    encoder.Comment(options->comment);
    if (encoder.SampleHDC(picture, picture.Width(), picture.Height(), 0, 0) != 0)
      throw Error(kGeneral, "the picture '" + options->input + "' has no pixels");
    encoder.SaveFile(options->output);
  } catch (const std::bad_alloc&) {
    std::cerr << "quillet encode: there is not enough memory to encode '" << options->input << "'\n";
    return kFailure;
  } catch (const std::exception& error) {
    std::cerr << "quillet encode: " << error.what() << "\n";
    return kFailure;
  }
  return kSuccess;
}

}  // namespace quillet::app
