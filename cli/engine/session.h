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

// Brings the effect up the way a host does before showing its control panel: reads and checks the
// registration resource from the file, loads the module, runs global set-up and parameter set-up.
// On failure prints the reason on stderr (the module's own message when it asked for one to be
// shown) and returns false.
bool OpenEffect(const Options& options, twhost::Host& host);

}  // namespace threeway::cli
