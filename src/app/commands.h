// The three ways into quillet. Each takes the arguments from its command word
// on (argv[0] is "convert", "encode" or the program) and returns the exit code.
// RunWindow and RunConvert open the part that holds the command (parts.h).
#pragma once

namespace quillet::app {

inline constexpr const char* kVersion = QUILLET_VERSION;  // the project version in CMakeLists.txt

int RunWindow(int argc, char** argv);
int RunConvert(int argc, char** argv);
int RunEncode(int argc, char** argv);

}  // namespace quillet::app
