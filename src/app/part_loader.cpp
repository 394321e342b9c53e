// quillet (no command) and quillet convert: find the part that holds the
// command, quillet-window.so or quillet-convert.so, and hand it the
// arguments. A part is opened only when its command runs, so `quillet
// encode` starts without Qt, poppler and their libraries, and `quillet
// convert` without Qt.
#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "app/commands.h"
#include "app/parts.h"
#include "platform/error.h"
#include "platform/program_folder.h"

namespace quillet::app {

namespace {

// Beside the executable in a build folder, in ../lib/quillet/ once installed.
std::filesystem::path FindPart(const std::filesystem::path& programFolder, const char* file) {
  for (const std::filesystem::path& candidate :
       {programFolder / file, programFolder.parent_path() / "lib" / "quillet" / file}) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return {};
}

// `what` says what cannot be done without the part ("open the window").
int RunPart(const char* file, const char* entry, const std::string& what, int argc, char** argv) {
  std::filesystem::path programFolder;
  try {
    programFolder = ProgramFolder();
  } catch (const Error& error) {
    std::cerr << "quillet: " << error.what() << "\n";
    return 1;
  }
  const std::filesystem::path part = FindPart(programFolder, file);
  if (part.empty()) {
    std::cerr << "quillet: cannot " << what << ": " << file << " is neither in " << programFolder.string() << " nor in "
              << (programFolder.parent_path() / "lib" / "quillet").string() << "\n";
    return 1;
  }
  // The part stays loaded until the process ends: the libraries it brought
  // keep exit handlers that refer to it.
  void* handle = dlopen(part.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::cerr << "quillet: cannot " << what << ": " << dlerror() << "\n";
    return 1;
  }
  auto* run = reinterpret_cast<PartEntry>(dlsym(handle, entry));
  if (run == nullptr) {
    std::cerr << "quillet: cannot " << what << ": " << part.string() << " has no " << entry << "\n";
    return 1;
  }
  return run(argc, argv);
}

}  // namespace

int RunWindow(int argc, char** argv) {
  return RunPart(kWindowPartFile, kWindowEntryName, "open the window", argc, argv);
}

int RunConvert(int argc, char** argv) { return RunPart(kConvertPartFile, kConvertEntryName, "convert", argc, argv); }

}  // namespace quillet::app
