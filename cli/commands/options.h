// A command's options, declared once: the declaration parses the command line (options applied in
// the order given, so panel options interleave), writes the options part of the command's usage
// text, and writes the option table cli/README.md holds (a test keeps the two equal).
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/panel/panel.h"

namespace threeway::cli {

struct Option {
  std::string_view group;   // the heading it is listed under in the usage text ("" for none)
  std::string_view name;    // "--raw-in"
  std::string_view values;  // "CODE WxH": one word per value it takes; empty for a flag
  std::string_view help;    // one paragraph
  // Applies the option with its values (as many as `values` has words) to the command's request.
  std::function<void(const std::string& option, std::span<const std::string> values)> apply;
};

// Applies the options in the order given and returns the other arguments (file names, and "-"):
// refuses an unknown option and one given too few values (exit 2, naming `command`'s help).
std::vector<std::string> ParseOptions(std::span<const std::string> arguments, const std::vector<Option>& options,
                                      std::string_view command);

// The panel options grade and scopes share (--set, --press, --pick, --preset, --render-scale,
// --pixel-aspect), adding their steps to `steps` in the order given.
std::vector<Option> PanelOptions(std::vector<PanelStep>& steps, std::string_view group);

// The options as the usage text lists them, under their group headings, wrapped to 100 columns.
std::string OptionsUsage(const std::vector<Option>& options);

// The options as a Markdown table (option, meaning), as cli/README.md holds it.
std::string OptionsMarkdown(const std::vector<Option>& options);

}  // namespace threeway::cli
