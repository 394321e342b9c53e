// The handshake between the quillet executable and the window's part, a
// shared library opened at run time: the file's name and its one entry point,
// which takes the program's arguments and returns the exit code.
#pragma once

namespace quillet::app {

inline constexpr const char* kWindowPartFile = "quillet-window.so";
inline constexpr const char* kWindowEntryName = "quillet_run_window";
using WindowEntry = int (*)(int argc, char** argv);

}  // namespace quillet::app
