// Preset files: the JSON reader and the preset reader on any text. Only ToolError may leave the
// preset reader; its messages name the file and a position, and stay short whatever the text holds;
// a preset read sets each valued parameter at most once, in catalogue order.
#include <string>

#include "cli/panel/json.h"
#include "cli/panel/panel.h"
#include "cli/tool_error.h"
#include "params/catalogue.h"
#include "tests/fuzz/fuzz.h"

namespace {

using threeway::fuzz::Require;

// Every value carries the position of its first character.
void CheckPositions(const threeway::cli::JsonValue& value) {
  Require(value.line >= 1 && value.column >= 1, "a JSON value has a position");
  for (const auto& item : value.items) CheckPositions(item);
  for (const auto& [name, member] : value.members) CheckPositions(member);
}

// The longest message a preset may get: its name, a position, the reason and the list of settable
// names, whatever the size of the text.
const std::size_t kLongestMessage = 1024 + threeway::cli::SettableNames().size();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  threeway::cli::JsonValue value;
  std::string error;
  if (threeway::cli::ParseJson(text, value, error)) {
    CheckPositions(value);
  } else {
    Require(error.rfind("line ", 0) == 0, "a JSON error names its line", error);
  }
  try {
    const std::vector<threeway::cli::PanelStep> steps = threeway::cli::ParsePreset(text, "fuzz.json");
    for (std::size_t i = 0; i < steps.size(); ++i) {
      Require(threeway::IsValued(threeway::ParamSpecAt(steps[i].index)), "a preset sets valued parameters");
      Require(i == 0 || steps[i - 1].index < steps[i].index, "a preset sets each parameter once, in order");
    }
  } catch (const threeway::cli::ToolError& failure) {
    const std::string message = failure.what();
    Require(message.rfind("fuzz.json: line ", 0) == 0, "a preset error names the file and line", message);
    threeway::fuzz::RequireShortMessage(message, kLongestMessage);
  }
  return 0;
}
