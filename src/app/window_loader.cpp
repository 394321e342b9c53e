// quillet (no command): finds the window's part, quillet-window.so, and hands
// it the arguments. The window is the only part of Quillet that needs Qt, so
// `quillet convert` and `quillet encode` start without loading any Qt library;
// the part is opened only here, when the window is asked for.
#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/commands.h"
#include "app/window_part.h"
#include "platform/error.h"
#include "platform/program_folder.h"

namespace quillet::app {

namespace {

// Beside the executable in a build folder, in ../lib/quillet/ once installed.
std::filesystem::path FindWindowPart(const std::filesystem::path& programFolder) {
  for (const std::filesystem::path& candidate :
       {programFolder / kWindowPartFile, programFolder.parent_path() / "lib" / "quillet" / kWindowPartFile}) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return {};
}

}  // namespace

int RunWindow(int argc, char** argv) {
  std::filesystem::path programFolder;
  try {
    programFolder = ProgramFolder();
  } catch (const Error& error) {
    std::cerr << "quillet: " << error.what() << "\n";
    return 1;
  }
  const std::filesystem::path part = FindWindowPart(programFolder);
  if (part.empty()) {
    std::cerr << "quillet: cannot open the window: " << kWindowPartFile << " is neither in " << programFolder.string()
              << " nor in " << (programFolder.parent_path() / "lib" / "quillet").string()
              << " (quillet convert and quillet encode work without it)\n";
    return 1;
  }
  // The part stays loaded until the process ends: Qt's own libraries keep
  // running exit handlers that refer to it.
  void* handle = dlopen(part.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::cerr << "quillet: cannot open the window: " << dlerror() << "\n";
    return 1;
  }
  auto* run = reinterpret_cast<WindowEntry>(dlsym(handle, kWindowEntryName));
  if (run == nullptr) {
    std::cerr << "quillet: cannot open the window: " << part.string() << " has no " << kWindowEntryName << "\n";
    return 1;
  }
  return run(argc, argv);
}

}  // namespace quillet::app
