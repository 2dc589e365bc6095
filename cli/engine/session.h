// Bringing the effect up as a host does, shared by every command and by each grading worker.
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace threeway::cli {

struct Options {
  std::string modulePath;  // --module, or the default next to the executable
};

// <directory of the executable>/../plugins/ThreeWayColorCorrector.so
std::string DefaultModulePath();

// Prints "threeway <command>: <text>" on stderr ("threeway: <text>" before a command is chosen).
void PrintError(const std::string& text);
// Names the command in every later error line; main calls it once, before running the command.
void SetErrorCommand(std::string_view command);

// Brings the effect up the way every tool that hosts it does (threeway::host::BringUpEffect: the
// registration resource, the module, global and parameter set-up, the panel checked against the
// catalogue, and sequence set-up when asked). Throws a ToolError with the reason on failure.
void OpenEffect(const Options& options, threeway::host::Host& host, bool withSequence);

}  // namespace threeway::cli
