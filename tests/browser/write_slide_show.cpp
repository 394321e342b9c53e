// Writes a slide-show movie with the movie library, driven by the slide-show
// assembly's call sequence: write_slide_show OUT.swf WIDTH HEIGHT PICTURE...
// (frame size in pixels, one baseline JPEG per slide). The browser test
// plays what it writes.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "slide_show.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: write_slide_show OUT.swf WIDTH HEIGHT PICTURE...\n");
    return 2;
  }
  try {
    const std::vector<std::string> pictures(argv + 4, argv + argc);
    swf::Movie movie;
    swf_test::BuildSlideShow(movie, std::stof(argv[2]), std::stof(argv[3]), pictures);
    movie.WriteMovie(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "write_slide_show: %s\n", error.what());
    return 1;
  }
  return 0;
}
