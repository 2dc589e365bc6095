#include "frei0r/param_map.h"

#include "frei0r/frei0r_api.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "params/string_table.h"

namespace threeway::frei0r {

namespace {

using threeway::ParamSpec;

std::string Number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", v);
  return buffer;
}

// A single-precision catalogue value in its shortest round-trip form (0.1f prints as 0.1).
std::string Float(float v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(v));
  return buffer;
}

std::string English(std::int32_t entry) { return std::string(threeway::DisplayStringEnglish(entry)); }

// The text a user reads for the row: the box or button text of check boxes and buttons (their
// name is one blank), else the display name.
std::string Title(const ParamSpec& row) {
  if (row.type == zkfx::kParamTypeCheckBox || row.type == zkfx::kParamTypeButton) {
    return English(row.textEntry);
  }
  const std::string name = English(row.nameEntry);
  // A row shown with the blank label (the hidden hue offset) goes by its identifier.
  return name.find_first_not_of(' ') == std::string::npos ? std::string(row.identifier) : name;
}

std::string ColorText(const threeway::ColorSpec& c) {
  return std::to_string(c.red) + "/" + std::to_string(c.green) + "/" + std::to_string(c.blue);
}

// How the 0..1 value maps onto the parameter: the "Maps to" column and the explanation's core.
std::string Mapping(const ParamSpec& row) {
  switch (row.type) {
    case zkfx::kParamTypeCheckBox: return "n = off, y = on";
    case zkfx::kParamTypeButton: return "n to y presses it";
    case zkfx::kParamTypePopup: {
      const std::vector<std::string> choices = threeway::PopupChoices(row);
      std::string text;
      for (std::size_t k = 0; k < choices.size(); ++k) {
        if (k) text += ", ";
        text += Number(PopupToUnit(static_cast<std::int32_t>(k + 1), row.popup.choiceCount)) + " = " +
                choices[k];
      }
      return text;
    }
    case zkfx::kParamTypeFloatSlider:
      return "0..1 = " + Float(row.slider.minimum) + " .. " + Float(row.slider.maximum) +
             (row.slider.displayFlags == zkfx::kDisplayPercent ? " percent" : "");
    case zkfx::kParamTypeAngle: return "0..1 = -180 .. 180 degrees";
    case zkfx::kParamTypeColor: return "r/g/b 0..1 = 0 .. 255 per channel";
    default: return {};
  }
}

// The default as the user would type it (the 0..1 value), and in the parameter's own units.
std::string DefaultText(const ParamSpec& row) {
  switch (row.type) {
    case zkfx::kParamTypeCheckBox: return "n (off)";
    case zkfx::kParamTypeButton: return "n";
    case zkfx::kParamTypePopup: {
      const std::vector<std::string> choices = threeway::PopupChoices(row);
      const auto k = static_cast<std::size_t>(row.popup.defaultChoice - 1);
      return Number(PopupToUnit(row.popup.defaultChoice, row.popup.choiceCount)) + " (" +
             (k < choices.size() ? choices[k] : std::string("?")) + ")";
    }
    case zkfx::kParamTypeFloatSlider:
      return Number(SliderToUnit(row.slider, row.slider.defaultValue)) + " (" +
             Float(row.slider.defaultValue) + ")";
    case zkfx::kParamTypeAngle: return "0.5 (0 degrees)";
    case zkfx::kParamTypeColor: {
      const threeway::ColorSpec& c = row.color;
      return Number(ChannelToUnit(c.red)) + "/" + Number(ChannelToUnit(c.green)) + "/" +
             Number(ChannelToUnit(c.blue)) + " (" + ColorText(c) + ")";
    }
    default: return {};
  }
}

// What a picker or an auto button makes the effect do: the text, and the values it writes back.
// Parameters of other rows that are supervised (the hidden level pickers) make the effect change
// nothing.
struct Action {
  std::string_view identifier;
  std::string_view text;
  std::string_view writes[2];
};
constexpr Action kActions[] = {
    {"BlackBalance", "picker: sets Shadow Balance Angle and Magnitude against the picked colour's cast",
     {"ShadowBalanceAngle", "ShadowBalanceMagnitude"}},
    {"GrayBalance", "picker: sets Midtone Balance Angle and Magnitude against the picked colour's cast",
     {"MidtoneBalanceAngle", "MidtoneBalanceMagnitude"}},
    {"WhiteBalance", "picker: sets Highlight Balance Angle and Magnitude against the picked colour's cast",
     {"HighlightBalanceAngle", "HighlightBalanceMagnitude"}},
    {"AutoBlackLevel", "sets Master Input Black Level from the histogram of the last frame rendered",
     {"MasterInputBlackLevel"}},
    {"AutoContrast", "sets Master Input Black and White Level from the histogram of the last frame rendered",
     {"MasterInputBlackLevel", "MasterInputWhiteLevel"}},
    {"AutoWhiteLevel", "sets Master Input White Level from the histogram of the last frame rendered",
     {"MasterInputWhiteLevel"}},
    {"BlackLevel", "picker: sets Master Input Black Level to the picked colour's luma", {"MasterInputBlackLevel"}},
    {"GrayLevel", "picker: sets Master Input Gray Level so the picked luma falls midway", {"MasterInputGrayLevel"}},
    {"WhiteLevel", "picker: sets Master Input White Level to the picked colour's luma", {"MasterInputWhiteLevel"}},
};

std::string Notes(const ParamSpec& row) {
  std::string notes;
  for (const Action& action : kActions) {
    if (action.identifier == row.identifier) notes = action.text;
  }
  if ((row.uiFlags & zkfx::kParamUIHidden) != 0) notes += notes.empty() ? "hidden in the panel" : "; hidden in the panel";
  return notes;
}

int Frei0rType(std::int32_t type) {
  switch (type) {
    case zkfx::kParamTypeCheckBox:
    case zkfx::kParamTypeButton: return F0R_PARAM_BOOL;
    case zkfx::kParamTypeColor: return F0R_PARAM_COLOR;
    default: return F0R_PARAM_DOUBLE;
  }
}

std::vector<PluginParam> Build() {
  std::vector<PluginParam> params;
  for (const ParamSpec& row : threeway::ParamSpecs()) {
    Kind kind;
    switch (row.type) {
      case zkfx::kParamTypeCheckBox: kind = Kind::CheckBox; break;
      case zkfx::kParamTypeButton: kind = Kind::Button; break;
      case zkfx::kParamTypePopup: kind = Kind::Popup; break;
      case zkfx::kParamTypeFloatSlider: kind = Kind::Slider; break;
      case zkfx::kParamTypeAngle: kind = Kind::Angle; break;
      case zkfx::kParamTypeColor: kind = Kind::Color; break;
      default: continue;  // the input layer and the group brackets carry no value
    }
    std::string explanation = Title(row) + ": " + Mapping(row) + "; default " + DefaultText(row);
    const std::string notes = Notes(row);
    if (!notes.empty()) explanation += "; " + notes;
    params.push_back({row.index, kind, Frei0rType(row.type), row.identifier, std::move(explanation), {}, {}});
  }
  auto indexOf = [&params](std::string_view name) {
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i].name == name) return static_cast<int>(i);
    }
    return -1;
  };
  for (const Action& action : kActions) {
    const int picker = indexOf(action.identifier);
    for (std::string_view written : action.writes) {
      if (written.empty()) continue;
      const int w = indexOf(written);
      params[static_cast<std::size_t>(picker)].writes.push_back(w);
      params[static_cast<std::size_t>(w)].writtenBy.push_back(picker);
    }
  }
  return params;
}

std::string Cell(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

std::span<const PluginParam> PluginParams() {
  static const std::vector<PluginParam> params = Build();
  return params;
}

int FindPluginParam(std::string_view name) {
  const std::span<const PluginParam> params = PluginParams();
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

double SliderToUnit(const threeway::SliderSpec& slider, double value) {
  const double minimum = slider.minimum, maximum = slider.maximum;
  return (value - minimum) / (maximum - minimum);
}

double UnitToSlider(const threeway::SliderSpec& slider, double unit) {
  const double minimum = slider.minimum, maximum = slider.maximum;
  const double u = std::clamp(unit, 0.0, 1.0);
  // The renderer reads every slider as a float, so that is the grid the value lives on; rounding
  // to it also brings a default's own 0..1 value back to exactly the default.
  return static_cast<float>(minimum + u * (maximum - minimum));
}

double PopupToUnit(std::int32_t choice, std::int32_t count) {
  if (count <= 1) return 0.0;
  return static_cast<double>(std::clamp(choice, 1, count) - 1) / static_cast<double>(count - 1);
}

std::int32_t UnitToPopup(double unit, std::int32_t count) {
  if (count <= 1) return 1;
  const double u = std::clamp(unit, 0.0, 1.0);
  return 1 + static_cast<std::int32_t>(std::lround(u * (count - 1)));
}

double AngleToUnit(std::int32_t degrees16_16) {
  double degrees = threeway::DegreesFromFixed(degrees16_16);
  degrees = std::remainder(degrees, 360.0);  // -180..180, exact
  return (degrees + 180.0) / 360.0;
}

std::int32_t UnitToAngle(double unit) {
  const double u = std::clamp(unit, 0.0, 1.0);
  return threeway::FixedFromDegrees(u * 360.0 - 180.0);
}

float ChannelToUnit(std::uint8_t channel) { return static_cast<float>(channel) / 255.0f; }

std::uint8_t UnitToChannel(float unit) {
  if (!(unit > 0.0f)) return 0;
  if (unit >= 1.0f) return 255;
  return static_cast<std::uint8_t>(std::lround(static_cast<double>(unit) * 255.0));
}

bool UnitToBool(double unit) { return unit >= 0.5; }

std::string ParamTitle(const PluginParam& param) { return Title(threeway::ParamSpecAt(param.catalogueIndex)); }
std::string ParamNotes(const PluginParam& param) { return Notes(threeway::ParamSpecAt(param.catalogueIndex)); }
std::string UnitText(double unit) { return Number(unit); }
std::string FloatText(float value) { return Float(value); }

double DefaultUnit(const PluginParam& param) {
  const ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);
  switch (param.kind) {
    case Kind::Popup: return PopupToUnit(row.popup.defaultChoice, row.popup.choiceCount);
    case Kind::Slider: return SliderToUnit(row.slider, row.slider.defaultValue);
    case Kind::Angle: return 0.5;  // every angle starts at 0 degrees
    default: return 0.0;           // check boxes start off, buttons up
  }
}

bool IsDefaultUnit(const PluginParam& param, double unit) {
  const ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);
  switch (param.kind) {
    case Kind::Popup: return UnitToPopup(unit, row.popup.choiceCount) == row.popup.defaultChoice;
    case Kind::Slider: return UnitToSlider(row.slider, unit) == static_cast<double>(row.slider.defaultValue);
    case Kind::Angle: return UnitToAngle(unit) == 0;
    default: return !UnitToBool(unit);
  }
}

std::string MarkdownTable() {
  std::string table =
      "| # | Name | frei0r type | 0..1 maps to | Default: 0..1 (value) | Meaning |\n"
      "|---|---|---|---|---|---|\n";
  const std::span<const PluginParam> params = PluginParams();
  for (std::size_t i = 0; i < params.size(); ++i) {
    const ParamSpec& row = threeway::ParamSpecAt(params[i].catalogueIndex);
    const char* type = params[i].frei0rType == F0R_PARAM_BOOL    ? "bool"
                       : params[i].frei0rType == F0R_PARAM_COLOR ? "color"
                                                                 : "double";
    std::string meaning = Title(row);
    const std::string notes = Notes(row);
    if (!notes.empty()) meaning += " (" + notes + ")";
    table += "| " + std::to_string(i) + " | " + std::string(params[i].name) + " | " + type + " | " +
             Cell(Mapping(row)) + " | " + Cell(DefaultText(row)) + " | " + Cell(meaning) + " |\n";
  }
  return table;
}

}  // namespace threeway::frei0r
