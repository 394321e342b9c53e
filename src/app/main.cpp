// quillet: the window, `quillet convert` and `quillet encode` in one program.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/commands.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillet [DECK | COMMAND [OPTIONS]]\n"
    "Turns a presentation (.ppt, .pptx, .pps, .ppsx, .odp, .pdf) into an SWF slide show\n"
    "and a web page that plays it.\n"
    "\n"
    "Commands:\n"
    "  (none)     open the window\n"
    "  DECK       open the window with this presentation chosen\n"
    "  convert    convert a presentation without a window (see quillet convert --help)\n"
    "  encode     encode a picture with Quillet's JPEG encoder (see quillet encode --help)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n";

// A word that names a file rather than a misspelt command: it exists, or
// has a folder or an extension in it.
bool LooksLikeFile(const std::string& word) {
  std::error_code error;
  return word.find_first_of("/.") != std::string::npos || std::filesystem::exists(word, error);
}

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
    if (command.rfind('-', 0) == 0) {
      std::cerr << "quillet: unknown option '" << command << "' (try quillet --help)\n";
      return 2;
    }
    if (!LooksLikeFile(command)) {
      std::cerr << "quillet: unknown command '" << command << "' (try quillet --help)\n";
      return 2;
    }
  }
  return quillet::app::RunWindow(argc, argv);
}
