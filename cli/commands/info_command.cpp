// threeway info: the module's registration resource, read from the file without loading it.
#include <cstdio>

#include "cli/commands/command.h"
#include "host/registration.h"

namespace threeway::cli {
namespace {

void ParseArguments(std::span<const std::string> arguments) {
  if (!arguments.empty()) throw UsageError("takes no arguments");
}

int RunInfo(const Options& options, std::span<const std::string> arguments) {
  ParseArguments(arguments);
  threeway::host::Registration registration;
  std::string error;
  if (!threeway::host::ReadRegistrationFromFile(options.modulePath, registration, error)) throw ToolError(error);
  std::printf("module: %s\n", options.modulePath.c_str());
  std::printf("registration resource: version %u, sub-version %u, %u properties\n",
              registration.version, registration.resourceVersion, registration.propertyCount);
  int number = 0;
  for (const threeway::host::RegistrationProperty& property : registration.properties) {
    std::printf("%2d  %s/%s  id %u  length %2u  %s\n", ++number,
                threeway::host::OSTypeText(property.vendor).c_str(), threeway::host::OSTypeText(property.key).c_str(),
                property.id, property.length, threeway::host::DescribePropertyValue(property).c_str());
  }
  return kExitOk;
}

}  // namespace

const Command& InfoCommand() {
  static const Command command{
      "info", "print the module's registration resource",
      [] {
        return std::string(
            "usage: threeway [--module PATH] info\n"
            "\n"
            "Reads the registration resource from the module file without loading the module, checks\n"
            "that it describes this effect, and prints every property: vendor code/key, id, data length\n"
            "and the decoded value (texts quoted, version words in hexadecimal).\n");
      },
      nullptr, RunInfo, ParseArguments};
  return command;
}

}  // namespace threeway::cli
