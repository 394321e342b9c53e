// The encoder: a small picture drawn from the input, with settings from the
// input (any quality, any sampling factors, any comment, any capture
// rectangle). A refused setting is quillet::Error; whatever is captured and
// saved decodes with libjpeg-turbo at the captured size, with no error and
// no warning.

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "fuzz_support.h"
#include "jpeg/cjpeg.h"
#include "platform/error.h"

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf escape;
  std::string message;
};

// Decodes the whole stream with libjpeg; "" when it decodes at the given size
// with no error and no warning, else what went wrong.
std::string DecodeProblem(const std::string& jpeg, int width, int height) {
  jpeg_decompress_struct decoder{};
  ErrorManager errors{};
  decoder.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = [](j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    manager->message = text;
    longjmp(manager->escape, 1);
  };
  if (setjmp(errors.escape) != 0) {
    jpeg_destroy_decompress(&decoder);
    return "error: " + errors.message;
  }
  jpeg_create_decompress(&decoder);
  jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
  jpeg_read_header(&decoder, TRUE);
  jpeg_start_decompress(&decoder);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(decoder.output_width) * decoder.output_components);
  JSAMPROW rows[1] = {row.data()};
  while (decoder.output_scanline < decoder.output_height) jpeg_read_scanlines(&decoder, rows, 1);
  jpeg_finish_decompress(&decoder);
  std::string problem;
  if (decoder.err->num_warnings != 0) problem = "warnings: " + std::to_string(decoder.err->num_warnings);
  if (static_cast<int>(decoder.image_width) != width || static_cast<int>(decoder.image_height) != height)
    problem = "decoded at another size";
  jpeg_destroy_decompress(&decoder);
  return problem;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillet::fuzz::Input input(data, size);
  const int width = input.Range(1, 48);
  const int height = input.Range(1, 48);
  quillet::cJpeg encoder;
  const int factors[6] = {input.Range(0, 5), input.Range(0, 5), input.Range(0, 5),
                          input.Range(0, 5), input.Range(0, 5), input.Range(0, 5)};
  try {
    encoder.Quality(input.Range(-5, 110));
    encoder.SetSamplingFrequencies(factors[0], factors[1], factors[2], factors[3], factors[4], factors[5]);
    encoder.Comment(input.Text(200));
  } catch (const quillet::Error&) {
    return 0;
  }
  // libjpeg decodes only factors that divide the largest ones (T.81 allows
  // any); such settings are left out.
  const bool grey = factors[2] == 0 && factors[3] == 0 && factors[4] == 0 && factors[5] == 0;
  const int components = grey ? 1 : 3;
  int largestH = 1, largestV = 1;
  for (int c = 0; c < components; ++c) {
    largestH = std::max(largestH, factors[2 * c]);
    largestV = std::max(largestV, factors[2 * c + 1]);
  }
  for (int c = 0; c < components; ++c) {
    if (largestH % factors[2 * c] != 0 || largestV % factors[2 * c + 1] != 0) return 0;
  }
  const int left = input.Range(-8, 8);
  const int top = input.Range(-8, 8);
  const int captureWidth = input.Range(-1, 64);
  const int captureHeight = input.Range(-1, 64);
  quillet::Surface picture(width, height);
  const std::string_view pixels = input.Rest();
  for (std::size_t at = 0; at < picture.Bytes().size(); ++at) {
    picture.Bytes()[at] = pixels.empty() ? 0 : static_cast<std::uint8_t>(pixels[at % pixels.size()]);
  }
  if (encoder.SampleHDC(picture, captureWidth, captureHeight, left, top) != 0) return 0;

  const std::filesystem::path path = quillet::fuzz::Scratch() / "encoded.jpg";
  if (encoder.SaveFile(path.string()) != 0) std::abort();
  const std::string jpeg = quillet::fuzz::ReadBytes(path);
  const std::string problem = DecodeProblem(jpeg, captureWidth, captureHeight);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s (picture %dx%d, capture %dx%d at %d,%d, quality %d, factors %d %d %d %d %d %d)\n",
                 problem.c_str(), width, height, captureWidth, captureHeight, left, top, encoder.Quality(), factors[0],
                 factors[1], factors[2], factors[3], factors[4], factors[5]);
    __builtin_trap();
  }
  return 0;
}
