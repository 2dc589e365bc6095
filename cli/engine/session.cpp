#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/engine/session.h"
#include "host/registration.h"

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

namespace {

// "<what> failed (code N): <message>", with the module's message when it set one to be shown.
void ReportCommandFailure(const twhost::Host& host, const char* what, std::int32_t code) {
  std::string text = std::string(what) + " failed (code " + std::to_string(code) + ")";
  if (code == twhost::kHostErrNotReady) text += ": the module declared fewer parameters than it reported";
  const std::string message = host.displayedMessage();
  if (!message.empty()) text += ": " + message;
  PrintError(text);
}

}  // namespace

bool OpenEffect(const Options& options, twhost::Host& host) {
  std::string error;
  twhost::Registration registration;
  if (!twhost::ReadRegistrationFromFile(options.modulePath, registration, error) ||
      !host.Load(options.modulePath, error)) {
    PrintError(error);
    return false;
  }
  std::int32_t code = host.GlobalSetup();
  if (code != zkfx::kErrNone) {
    ReportCommandFailure(host, "global set-up", code);
    return false;
  }
  code = host.ParamsSetup();
  if (code != zkfx::kErrNone) {
    ReportCommandFailure(host, "parameter set-up", code);
    return false;
  }
  return true;
}

}  // namespace threeway::cli
