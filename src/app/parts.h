// The handshake between the quillet executable and its parts, shared
// libraries opened at run time: each part's file name and its one entry
// point, which takes the command's arguments and returns the exit code. The
// window (Qt) and convert (poppler, LibreOffice, fonts) are parts, so that
// `quillet encode` loads neither and the window's Qt stays out of convert.
#pragma once

namespace quillet::app {

inline constexpr const char* kWindowPartFile = "quillet-window.so";
inline constexpr const char* kWindowEntryName = "quillet_run_window";
inline constexpr const char* kConvertPartFile = "quillet-convert.so";
inline constexpr const char* kConvertEntryName = "quillet_run_convert";
using PartEntry = int (*)(int argc, char** argv);

}  // namespace quillet::app
