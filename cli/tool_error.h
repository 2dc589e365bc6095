// The tool's exit codes and the one error type its commands throw. Every layer (engine, panel,
// media, scopes) throws ToolError; main catches it once and prints it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

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

// User text quoted in an error message: "text", or for a long text its start and its length
// ("1234567890..." (50000000 bytes)), so that a bad value never floods the terminal.
inline std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  if (text.size() <= kShown) return "\"" + std::string(text) + "\"";
  return "\"" + std::string(text.substr(0, kShown)) + "...\" (" + std::to_string(text.size()) + " bytes)";
}

// A mistake on the command line (exit code 2).
inline ToolError UsageError(const std::string& text) { return ToolError(text, kExitUsage); }

}  // namespace threeway::cli
