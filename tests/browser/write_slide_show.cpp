// Writes a slide-show movie with the conversion's own slide-show code:
// write_slide_show OUT.swf WIDTH HEIGHT PICTURE... (frame size in pixels,
// one baseline JPEG per slide). The browser test plays what it writes.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "conversion/slide_show_movie.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: write_slide_show OUT.swf WIDTH HEIGHT PICTURE...\n");
    return 2;
  }
  try {
    const std::vector<std::string> pictures(argv + 4, argv + argc);
    const float width = std::stof(argv[2]);
    const float height = std::stof(argv[3]);
    quillet::SlideShowMovie movie;
    movie.SetUpFrame(width, height);
    movie.BuildFrames(width, height, pictures);
    movie.Write(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "write_slide_show: %s\n", error.what());
    return 1;
  }
  return 0;
}
