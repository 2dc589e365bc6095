// threeway params: the effect's control panel as the host received it at parameter set-up.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/panel/declared_panel.h"
#include "params/catalogue.h"

namespace threeway::cli {
namespace {

using zkfx::ParamRecord;

std::string Text(const char* text) { return text ? text : ""; }

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string FlagWords(const ParamRecord& record) {
  std::string words;
  const auto add = [&words](const char* word) { words += words.empty() ? word : std::string(", ") + word; };
  if (record.flags & zkfx::kParamFlagConstant) add("constant");
  if (record.flags & zkfx::kParamFlagStartCollapsed) add("collapsed");
  if (record.flags & zkfx::kParamFlagSupervised) add("supervised");
  if (record.uiFlags & zkfx::kParamUIHidden) add("hidden");
  return words.empty() ? words : "  [" + words + "]";
}

// The type's essentials in one phrase.
std::string Essentials(const threeway::host::StoredParam& param) {
  const ParamRecord& r = param.declared;
  const zkfx::ParamValue& v = r.value;
  switch (r.type) {
    case zkfx::kParamTypePopup:
      return std::to_string(v.popup.choiceCount) + " choices \"" + Text(v.popup.choices) +
             "\", default " + std::to_string(v.popup.defaultChoice);
    case zkfx::kParamTypeCheckBox:
      return "\"" + Text(v.checkBox.boxText) + "\", default " + (v.checkBox.defaultOn ? "on" : "off");
    case zkfx::kParamTypeButton:
      return "\"" + Text(v.button.buttonText) + "\"";
    case zkfx::kParamTypeColor:
      return "default A " + std::to_string(v.color.defaultColor.alpha) + " R " +
             std::to_string(v.color.defaultColor.red) + " G " + std::to_string(v.color.defaultColor.green) +
             " B " + std::to_string(v.color.defaultColor.blue);
    case zkfx::kParamTypeAngle:
      return Format("default %g deg", DegreesFromFixed(v.angle.defaultAngle));
    case zkfx::kParamTypeFloatSlider: {
      const zkfx::FloatSliderValue& s = v.floatSlider;
      std::string text = Format("%g .. %g, default %g", s.validMin, s.validMax, s.defaultValue) +
                         ", " + std::to_string(s.precision) + " decimals";
      if (s.sliderMin != s.validMin || s.sliderMax != s.validMax) {
        text += Format(", slider %g .. %g", s.sliderMin, s.sliderMax);
      }
      if (s.displayFlags & zkfx::kDisplayPercent) text += ", percent";
      if (s.sliderFlags != 0) text += ", slider flags " + std::to_string(s.sliderFlags);
      if (s.useExponent) text += Format(", exponent %g", s.exponent);
      return text;
    }
    case zkfx::kParamTypeGroupStart:
      return param.groupKind ? "kind " + std::to_string(*param.groupKind) : "no kind";
    default:
      return "";
  }
}

void PrintTable(const threeway::host::Host& host) {
  std::printf("index   id  type / name\n");
  int depth = 0;
  for (int index = 1; index <= host.DeclaredCount(); ++index) {
    const threeway::host::StoredParam& param = *host.Param(index);
    const ParamRecord& r = param.declared;
    if (r.type == zkfx::kParamTypeGroupEnd && depth > 0) --depth;
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    std::string line = indent + ParamTypeName(r.type);
    if (r.type != zkfx::kParamTypeGroupEnd) line += " \"" + ParamDisplayName(r) + "\"";
    const std::string essentials = Essentials(param);
    if (!essentials.empty()) line += "  " + essentials;
    const std::string_view identifier = CatalogueIdentifier(index, r);
    if (!identifier.empty()) line += "  {" + std::string(identifier) + "}";
    std::printf("%5d %4d  %s%s\n", index, r.id, line.c_str(), FlagWords(r).c_str());
    if (r.type == zkfx::kParamTypeGroupStart) ++depth;
  }
}

// One JSON object per parameter, from the stored record bytes.
void PrintJson(const threeway::host::Host& host) {
  for (int index = 1; index <= host.DeclaredCount(); ++index) std::printf("%s\n", DeclaredParamJson(host, index).c_str());
}

std::vector<Option> ParamsOptions(bool& json) {
  return {{"", "--json", "", "one JSON object per parameter per line instead (format: cli/README.md).",
           [&json](const std::string&, std::span<const std::string>) { json = true; }}};
}

// The declared options, written by `write` (the usage text or the Markdown table); none is applied.
std::string DescribeParamsOptions(std::string (*write)(const std::vector<Option>&)) {
  bool unused = false;
  return write(ParamsOptions(unused));
}

// Whether --json was given.
bool ParseArguments(std::span<const std::string> arguments) {
  bool json = false;
  const std::vector<std::string> positional = ParseOptions(arguments, ParamsOptions(json), "params");
  if (!positional.empty()) throw UsageError("unexpected argument " + positional[0] + " (see threeway help params)");
  return json;
}

int RunParams(const Options& options, std::span<const std::string> arguments) {
  const bool json = ParseArguments(arguments);
  threeway::host::Host host;
  OpenEffect(options, host, /*withSequence=*/false);
  if (json) {
    PrintJson(host);
  } else {
    PrintTable(host);
  }
  host.GlobalSetdown();
  return kExitOk;
}

std::string ParamsHelp() {
  return "usage: threeway [--module PATH] params [--json]\n"
         "\n"
         "Loads the module, runs global set-up and parameter set-up, and prints every declared\n"
         "parameter (index 1 upwards; index 0 is the host's input layer): index, persistent id, type,\n"
         "name and the type's essentials, indented by group nesting, the catalogue identifier in\n"
         "braces, flags in brackets.\n"
         "\n" +
         DescribeParamsOptions(OptionsUsage);
}

}  // namespace

const Command& ParamsCommand() {
  static const Command command{"params", "print the effect's parameters as the host received them", ParamsHelp,
                               [] { return DescribeParamsOptions(OptionsMarkdown); }, RunParams,
                               [](std::span<const std::string> arguments) { ParseArguments(arguments); }};
  return command;
}

}  // namespace threeway::cli
