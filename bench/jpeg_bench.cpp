// The encoder on slide-sized pictures, as a conversion uses it: quality 100,
// 2 x 2 luminance sampling, capture and file writing, at the medium output
// size (720 x 540) and at twice that (1440 x 1080). The peer, measured in the same
// run on the same pictures, is libjpeg-turbo with the same settings and
// optimised Huffman tables (what `cjpeg -quality 100 -sample 2x2 -optimize`
// does), also writing its file.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <jpeglib.h>

#include "jpeg/cjpeg.h"

namespace {

// A slide: a title bar, text-like dashes, a gradient background and a round
// chart with soft (box-filtered) edges, at any size.
quillet::Surface Slide(int width, int height) {
  const int big = 4;  // drawn four times larger, then box-filtered down
  quillet::Surface large(width * big, height * big);
  const int w = large.Width(), h = large.Height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      quillet::Rgb p{static_cast<std::uint8_t>(235 - 40 * y / h), static_cast<std::uint8_t>(240 - 30 * y / h), 250};
      if (y < h / 6) p = {28, 52, 110};
      const int line = (y - h / 4) / (h / 8);
      if (line >= 0 && line < 4 && (y - h / 4) % (h / 8) < h / 30 && x > w / 7 && x < w / 2 - line * w / 20 &&
          (x / (w / 80)) % 4 != 3)
        p = {40, 40, 40};
      const double dx = x - 0.75 * w, dy = y - 0.6 * h, r = 0.17 * w;
      if (dx * dx + dy * dy < r * r)
        p = std::atan2(dy, dx) > 0 ? quillet::Rgb{66, 133, 244} : quillet::Rgb{219, 68, 55};
      large.SetPixel(x, y, p);
    }
  return quillet::BoxFilter(large, width, height);
}

// Each size is drawn once per run, however many repetitions measure it.
const quillet::Surface& CachedSlide(int width, int height) {
  static std::map<std::pair<int, int>, quillet::Surface> cache;
  auto found = cache.find({width, height});
  if (found == cache.end()) found = cache.emplace(std::pair{width, height}, Slide(width, height)).first;
  return found->second;
}

std::string OutputPath() { return (std::filesystem::temp_directory_path() / "quillet-jpeg-bench.jpg").string(); }

// range(2) is the capture's thread count, 0 for one per processor.
void SampleAndSave(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const quillet::Surface& picture = CachedSlide(width, height);
  const std::string path = OutputPath();
  quillet::cJpeg encoder;
  encoder.Threads(static_cast<std::int32_t>(state.range(2)));
  encoder.SetSamplingFrequencies(2, 2, 1, 1, 1, 1);
  encoder.Quality(100);
  for (auto _ : state) {
    encoder.SampleHDC(picture, width, height, 0, 0);
    encoder.SaveFile(path);
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  state.SetItemsProcessed(state.iterations() * width * height);
  std::filesystem::remove(path);
}
// The CPU column is the whole process's (every thread of a capture).
BENCHMARK(SampleAndSave)
    ->Args({720, 540, 0})
    ->Args({720, 540, 1})
    ->Args({1440, 1080, 0})
    ->Args({1440, 1080, 1})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void SampleOnly(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const quillet::Surface& picture = CachedSlide(width, height);
  quillet::cJpeg encoder;
  encoder.Quality(100);
  for (auto _ : state) encoder.SampleHDC(picture, width, height, 0, 0);
  state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(SampleOnly)->Args({720, 540})->Args({1440, 1080})->Unit(benchmark::kMillisecond);

void SaveOnly(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const std::string path = OutputPath();
  quillet::cJpeg encoder;
  encoder.Quality(100);
  encoder.SampleHDC(CachedSlide(width, height), width, height, 0, 0);
  for (auto _ : state) encoder.SaveFile(path);
  std::filesystem::remove(path);
}
BENCHMARK(SaveOnly)->Args({720, 540})->Args({1440, 1080})->Unit(benchmark::kMillisecond);

// The peer: libjpeg-turbo, quality 100, 2 x 2 luminance sampling, optimised
// Huffman tables, into memory and then to the file.
void LibjpegTurboPeer(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const quillet::Surface& picture = CachedSlide(width, height);
  const std::string path = OutputPath();
  unsigned long size = 0;
  for (auto _ : state) {
    jpeg_compress_struct compressor{};
    jpeg_error_mgr errors{};
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    unsigned char* buffer = nullptr;
    size = 0;
    jpeg_mem_dest(&compressor, &buffer, &size);
    compressor.image_width = static_cast<JDIMENSION>(width);
    compressor.image_height = static_cast<JDIMENSION>(height);
    compressor.input_components = 3;
    compressor.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compressor);  // 2 x 2 luminance, 1 x 1 chrominance
    jpeg_set_quality(&compressor, 100, TRUE);
    compressor.optimize_coding = TRUE;
    jpeg_start_compress(&compressor, TRUE);
    while (compressor.next_scanline < compressor.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(picture.Row(static_cast<int>(compressor.next_scanline)));
      jpeg_write_scanlines(&compressor, &row, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
      std::fwrite(buffer, 1, size, file);
      std::fclose(file);
    }
    std::free(buffer);
  }
  state.counters["bytes"] = static_cast<double>(size);
  state.SetItemsProcessed(state.iterations() * width * height);
  std::filesystem::remove(path);
}
BENCHMARK(LibjpegTurboPeer)
    ->Args({720, 540})
    ->Args({1440, 1080})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
