// quillet: the window, `quillet convert` and `quillet encode` in one program.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
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

namespace {

int Run(int argc, char** argv) {
  using quillet::app::UsageError;
  bool help = false;
  bool version = false;
  CLI::App parser;
  quillet::app::SetUpParser(parser);
  parser.add_flag("-h,--help", help);
  parser.add_flag("--version", version);
  // The first word that is no option of the program's (a command, a deck)
  // ends its options: the rest is the command's, or the window's.
  parser.prefix_command();
  std::vector<std::string> rest;
  try {
    quillet::app::Parse(parser, argc, argv);
    rest = parser.remaining();
    if (!rest.empty() && rest.front().size() > 1 && rest.front()[0] == '-' && rest.front() != "--")
      throw UsageError("unknown option '" + rest.front() + "'");
    if (!help && !version && !rest.empty() && rest.front() != "convert" && rest.front() != "encode" &&
        !LooksLikeFile(rest.front()))
      throw UsageError("unknown command '" + rest.front() + "'");
  } catch (const UsageError& error) {
    std::cerr << "quillet: " << error.what() << " (try quillet --help)\n";
    return quillet::app::kUsage;
  }
  if (help) {
    std::cout << kUsage;
    return quillet::app::kSuccess;
  }
  if (version) {
    std::cout << "quillet " << quillet::app::kVersion << "\n";
    return quillet::app::kSuccess;
  }
  // The command's own arguments start at its word: argv[command] is it.
  const int command = argc - static_cast<int>(rest.size());
  if (!rest.empty() && rest.front() == "convert") return quillet::app::RunConvert(argc - command, argv + command);
  if (!rest.empty() && rest.front() == "encode") return quillet::app::RunEncode(argc - command, argv + command);
  return quillet::app::RunWindow(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "quillet: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "quillet: an unexpected error ended the program\n";
  }
  return quillet::app::kFailure;
}
