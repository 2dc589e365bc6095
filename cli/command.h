// The command-line tool's subcommands. Each lives in its own file and is listed once in main.cpp;
// a new subcommand is a new file and one line in that list.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/host.h"

namespace threeway::cli {

// Exit codes of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the module is missing, wrong, or failed a command
constexpr int kExitUsage = 2;    // the command line is wrong

// A failure the user must see: one line of text and the exit code. Commands throw it from deep
// inside (file reading, option checks) and catch it once, in their run function.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& text, int exitCode = kExitFailure)
      : std::runtime_error(text), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// A mistake on the command line (exit code 2).
inline ToolError UsageError(const std::string& text) { return ToolError(text, kExitUsage); }

struct Options {
  std::string modulePath;  // --module, or the default next to the executable
};

struct Command {
  std::string_view name;
  std::string_view summary;  // one line, for the command list
  std::string_view help;     // full text for `threeway help <name>`
  int (*run)(const Options& options, std::span<const std::string> arguments);
};

const Command& InfoCommand();
const Command& ParamsCommand();
const Command& GradeCommand();
const Command& TestcardCommand();
const Command& ScopesCommand();

// <directory of the executable>/../plugins/ThreeWayColorCorrector.so
std::string DefaultModulePath();

// Prints "threeway: <text>" on stderr.
void PrintError(const std::string& text);

// Brings the effect up the way a host does before showing its control panel: reads and checks the
// registration resource from the file, loads the module, runs global set-up and parameter set-up.
// On failure prints the reason on stderr (the module's own message when it asked for one to be
// shown) and returns false.
bool OpenEffect(const Options& options, twhost::Host& host);

}  // namespace threeway::cli
