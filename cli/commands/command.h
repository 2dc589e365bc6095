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
  std::string_view help;     // full text for `threeway help <name>`
  int (*run)(const Options& options, std::span<const std::string> arguments);
};

const Command& InfoCommand();
const Command& ParamsCommand();
const Command& GradeCommand();
const Command& TestcardCommand();
const Command& ScopesCommand();

}  // namespace threeway::cli
