// The commands' one way of reading their arguments. CLI11 reads them, each
// command checks the values itself, and CLI11's own errors become Quillet's
// one-line messages ("unknown option '--x'", "-o needs a value"). Each
// command keeps its own help text.
#pragma once

#include <CLI/CLI.hpp>

#include <stdexcept>
#include <string>
#include <vector>

namespace quillet::app {

enum ExitCode : int {
  kSuccess = 0,
  kFailure = 1,
  kUsage = 2,
  kInterrupted = 130,
};

// A usage error in Quillet's words; the command adds its name and "(try
// quillet COMMAND --help)".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A parser set up the house's way: no help flag or text of CLI11's own (add
// "-h,--help" as a flag), "--" ends the options, and arguments it does not
// know are left for RemainingOrUnknown.
void SetUpParser(CLI::App& parser);

// Parses argv[1..]; throws UsageError for CLI11's errors, naming an option as
// the user spelt it.
void Parse(CLI::App& parser, int argc, char** argv);

// What the parser left, in order: operands, and after "--" anything. Throws
// UsageError("unknown option 'X'") for an option it did not know.
std::vector<std::string> RemainingOrUnknown(const CLI::App& parser);

}  // namespace quillet::app
