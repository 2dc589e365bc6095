// threeway: the command-line tool around the ThreeWayColorCorrector module.
//
//   threeway [--module PATH] <command> [arguments]
//
// The tool is a host: it reads the module's registration resource, loads the module and drives it
// through the host interface, exactly as a video editor would.
#include <malloc.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/commands/command.h"
#include "cli/engine/interrupt.h"

namespace threeway::cli {
namespace {

// Every subcommand, in the order `--help` lists them.
const Command* const kCommands[] = {&InfoCommand(), &ParamsCommand(), &GradeCommand(), &LutCommand(),
                                     &TestcardCommand(), &ScopesCommand(), &StudioCommand()};

const Command* FindCommand(std::string_view name) {
  for (const Command* command : kCommands) {
    if (command->name == name) return command;
  }
  return nullptr;
}

void PrintUsage(std::FILE* stream) {
  std::fprintf(stream,
               "usage: threeway [--module PATH] <command> [arguments]\n"
               "       threeway help <command>\n"
               "\n"
               "Drives the ThreeWayColorCorrector effect module as a host does.\n"
               "\n"
               "options:\n"
               "  --module PATH   the module to load (default: %s)\n"
               "  -h, --help      this text\n"
               "\n"
               "commands:\n",
               DefaultModulePath().c_str());
  for (const Command* command : kCommands) {
    std::fprintf(stream, "  %-8.*s  %.*s\n", static_cast<int>(command->name.size()),
                 command->name.data(), static_cast<int>(command->summary.size()),
                 command->summary.data());
  }
}

int Help(std::span<const std::string> arguments) {
  if (arguments.empty()) {
    PrintUsage(stdout);
    return kExitOk;
  }
  // `help --markdown NAME`: the command's option table as cli/README.md holds it.
  const bool markdown = arguments[0] == "--markdown" && arguments.size() == 2;
  const std::string& name = markdown ? arguments[1] : arguments[0];
  const Command* command = FindCommand(name);
  if (command == nullptr) {
    PrintError("no command named \"" + name + "\" (see threeway --help)");
    return kExitUsage;
  }
  const std::string text = markdown ? (command->optionTable ? command->optionTable() : "") : command->help();
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitOk;
}

// The tool's one error boundary: whatever a command throws becomes one line on stderr naming the
// command, and a non-zero exit. The exception has unwound the command's stack by then, so every
// output still pending (written under a temporary name) has been removed. A stop signal (Ctrl-C,
// SIGTERM, SIGHUP, SIGQUIT) makes the command throw at its next check, or makes a blocking read or
// write fail: either way the signal is what is reported, with exit code 128 + its number.
int RunCommand(const Command& command, const Options& options, std::span<const std::string> arguments) {
  SetErrorCommand(command.name);
  const InterruptGuard interrupts;
  const auto failed = [](const std::string& text, int exitCode) {
    if (InterruptSignal() != 0) {
      const ToolError stop = InterruptError(InterruptSignal());
      PrintError(stop.what());
      return stop.exitCode();
    }
    // An empty text: the reason is already on stderr (the module's set-up reports its own).
    if (!text.empty()) PrintError(text);
    return exitCode;
  };
  try {
    return command.run(options, arguments);
  } catch (const ToolError& error) {
    return failed(error.what(), error.exitCode());
  } catch (const std::bad_alloc&) {
    return failed("out of memory", kExitFailure);
  } catch (const std::exception& error) {
    return failed(error.what(), kExitFailure);
  } catch (...) {
    return failed("failed with an unknown exception", kExitFailure);
  }
}

int Run(int argc, char** argv) {
  Options options;
  options.modulePath = DefaultModulePath();
  std::string commandName;
  std::vector<std::string> arguments;
  bool wantHelp = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--module") {
      if (i + 1 >= argc) {
        PrintError("--module needs a path");
        return kExitUsage;
      }
      options.modulePath = argv[++i];
    } else if (argument.rfind("--module=", 0) == 0) {
      options.modulePath = argument.substr(9);
    } else if (commandName.empty() && (argument == "--help" || argument == "-h")) {
      wantHelp = true;
    } else if (commandName.empty() && !argument.empty() && argument[0] == '-') {
      PrintError("unknown option " + argument + " (see threeway --help)");
      return kExitUsage;
    } else if (commandName.empty()) {
      commandName = argument;
    } else {
      arguments.push_back(argument);
    }
  }
  if (wantHelp || commandName.empty()) {
    PrintUsage(wantHelp ? stdout : stderr);
    return wantHelp ? kExitOk : kExitUsage;
  }
  if (commandName == "help") return Help(arguments);
  const Command* command = FindCommand(commandName);
  if (command == nullptr) {
    PrintError("no command named \"" + commandName + "\" (see threeway --help)");
    return kExitUsage;
  }
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") return Help(std::span(&commandName, 1));
  }
  return RunCommand(*command, options, arguments);
}

}  // namespace
}  // namespace threeway::cli

int main(int argc, char** argv) {
  // Frame-sized blocks are taken and given back at every frame (the effect's mask and temporary
  // planes while it softens: 8 MB each at 1920x1080, 33 MB at 3840x2160). Left to its own rules,
  // glibc hands such a block back to the kernel when it is freed (unmapping it, or trimming the
  // heap once more than about twice the largest block is free), and the next frame faults the
  // same memory in again, zeroed page by page: at 1080p a busy grade on one thread spent 1 s of
  // system time in 60 frames on that. Blocks up to 32 MiB (glibc's upper limit; a 4K plane fits)
  // come from the heap, and up to 256 MiB of free heap is kept for the next frame.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  return threeway::cli::Run(argc, argv);
}
