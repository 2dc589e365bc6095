// The command-line tool's subcommands. Each lives in its own file and is listed once in main.cpp;
// a new subcommand is a new file and one line in that list.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cli/engine/session.h"
#include "cli/tool_error.h"

namespace threeway::cli {

struct Command {
  std::string_view name;
  std::string_view summary;  // one line, for the command list
  std::string (*help)();     // full text for `threeway help <name>`
  // The option table cli/README.md holds for the command (Markdown), from its declared options;
  // `threeway help --markdown <name>` prints it. Null for a command without options.
  std::string (*optionTable)();
  int (*run)(const Options& options, std::span<const std::string> arguments);
  // Reads the command line as run does before it starts any work, and throws UsageError where run
  // would refuse it; nothing is opened or written (a --preset file is read). The fuzzing targets
  // drive every command's options through it.
  void (*parse)(std::span<const std::string> arguments);
};

const Command& InfoCommand();
const Command& ParamsCommand();
const Command& GradeCommand();
const Command& LutCommand();
const Command& TestcardCommand();
const Command& ScopesCommand();
const Command& StudioCommand();

}  // namespace threeway::cli
