// CLI11 behind Quillet's messages. Values are taken as text, so that each
// command says in its own words what is wrong with one.
#include "app/command_line.h"

#include <string_view>

namespace quillet::app {
namespace {

// The spelling of `option` on the command line, the last one given ("-o"
// rather than "--output"); its long name when none matches.
std::string AsSpelt(const CLI::App& parser, const std::string& name, int argc, char** argv) {
  const CLI::Option* option = parser.get_option_no_throw(name);
  if (option == nullptr) return name;
  for (int i = argc - 1; i > 0; --i) {
    std::string argument = argv[i];
    if (argument.rfind('-', 0) == 0 && option->check_name(argument)) return argument;
  }
  return name;
}

}  // namespace

void SetUpParser(CLI::App& parser) {
  parser.set_help_flag();
  parser.set_help_all_flag();
  parser.allow_extras();
  parser.allow_windows_style_options(false);
}

void Parse(CLI::App& parser, int argc, char** argv) {
  // CLI11 reads "--output=" as "--output" and takes the next argument for
  // its value; an empty value is no value.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    // A prefix command's parser (the program's) reads only up to the command.
    if (argument == "--" || (parser.get_prefix_command() && !argument.empty() && argument[0] != '-')) break;
    if (argument.size() > 3 && argument.rfind("--", 0) == 0 && argument.back() == '=' &&
        argument.find('=') == argument.size() - 1)
      throw UsageError(std::string(argument.substr(0, argument.size() - 1)) + " needs a value");
  }
  try {
    parser.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& error) {
    // "--output: 1 required TEXT missing": a value-taking option at the end
    // of the line or before another option.
    const std::string what = error.what();
    throw UsageError(AsSpelt(parser, what.substr(0, what.find(':')), argc, argv) + " needs a value");
  } catch (const CLI::ConversionError& error) {
    // A flag given a value it cannot read ("--grey=x").
    const std::string what = error.what();
    const std::size_t dash = what.find("--");
    const std::string name =
        dash == std::string::npos ? what : what.substr(dash, what.find_first_of(" :=", dash) - dash);
    throw UsageError(AsSpelt(parser, name, argc, argv) + " takes no value");
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what());
  }
}

std::vector<std::string> RemainingOrUnknown(const CLI::App& parser) {
  std::vector<std::string> operands;
  bool onlyOperands = false;
  for (const std::string& argument : parser.remaining()) {
    if (!onlyOperands && argument == "--") {
      onlyOperands = true;
      continue;
    }
    if (!onlyOperands && argument.size() > 1 && argument[0] == '-')
      throw UsageError("unknown option '" + argument + "'");
    operands.push_back(argument);
  }
  return operands;
}

}  // namespace quillet::app
