#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/engine/session.h"
#include "cli/tool_error.h"
#include "host/bring_up.h"

namespace threeway::cli {

std::string DefaultModulePath() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path directory = error ? std::filesystem::path(".") : executable.parent_path();
  return (directory / ".." / "plugins" / "ThreeWayColorCorrector.so").lexically_normal().string();
}

namespace {

// What every error line starts with: "threeway", then the command's name once main has chosen it.
std::string& ErrorPrefix() {
  static std::string prefix = "threeway";
  return prefix;
}

}  // namespace

void SetErrorCommand(std::string_view command) { ErrorPrefix() = "threeway " + std::string(command); }

void PrintError(const std::string& text) { std::fprintf(stderr, "%s: %s\n", ErrorPrefix().c_str(), text.c_str()); }

void OpenEffect(const Options& options, threeway::host::Host& host, bool withSequence) {
  const threeway::host::BringUp bringUp = threeway::host::BringUpEffect(host, options.modulePath, withSequence);
  if (!bringUp.ok) throw ToolError(bringUp.error);
}

}  // namespace threeway::cli
