// quillet: the window, `quillet convert` and `quillet encode` in one program.
#include <cstring>
#include <iostream>
#include <string>

#include "app/commands.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillet [COMMAND] [OPTIONS]\n"
    "Turns a presentation (.ppt, .pptx, .pps, .ppsx, .odp, .pdf) into an SWF slide show\n"
    "and a web page that plays it.\n"
    "\n"
    "Commands:\n"
    "  (none)     open the window\n"
    "  convert    convert a presentation without a window (see quillet convert --help)\n"
    "  encode     encode a picture with Quillet's JPEG encoder (see quillet encode --help)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (command == "--version") {
      std::cout << "quillet " << quillet::app::kVersion << "\n";
      return 0;
    }
    if (command == "convert") return quillet::app::RunConvert(argc - 1, argv + 1);
    if (command == "encode") return quillet::app::RunEncode(argc - 1, argv + 1);
    if (command.rfind("-", 0) != 0) {
      std::cerr << "quillet: unknown command '" << command << "' (try quillet --help)\n";
      return 2;
    }
  }
  return quillet::app::RunWindow(argc, argv);
}
