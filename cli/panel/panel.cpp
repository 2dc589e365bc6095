#include "cli/panel/panel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

#include "cli/tool_error.h"
#include "cli/media/frame_io.h"
#include "cli/panel/json.h"
#include "params/catalogue.h"
#include "params/string_table.h"

namespace threeway::cli {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// The catalogue row named `name`: exact first, then ignoring case. Null when none.
const ParamSpec* FindByName(std::string_view name) {
  if (const ParamSpec* row = FindParamSpec(name)) return row;
  const std::string lower = Lower(name);
  for (const ParamSpec& row : ParamSpecs()) {
    if (Lower(row.identifier) == lower) return &row;
  }
  return nullptr;
}

std::string Names(bool (*accept)(const ParamSpec&)) {
  std::string names;
  for (const ParamSpec& row : ParamSpecs()) {
    if (accept(row)) names += (names.empty() ? "" : ", ") + std::string(row.identifier);
  }
  return names;
}

bool IsButton(const ParamSpec& row) { return row.type == zkfx::kParamTypeButton; }
bool IsColor(const ParamSpec& row) { return row.type == zkfx::kParamTypeColor; }

// Parses all of `text` as a finite number.
bool ParseNumber(std::string_view text, double& value) {
  const std::string trimmed = Trim(text);
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (first != last && *first == '+') ++first;
  const auto [end, status] = std::from_chars(first, last, value);
  return first != last && status == std::errc() && end == last && std::isfinite(value);
}

bool ParseInt(std::string_view text, long long& value) {
  const std::string trimmed = Trim(text);
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  const auto [end, status] = std::from_chars(first, last, value);
  return first != last && status == std::errc() && end == last;
}

std::string ChoiceList(const ParamSpec& row) {
  const std::vector<std::string> choices = PopupChoices(row);
  std::string list;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    list += (i ? ", " : "") + choices[i] + " (" + std::to_string(i + 1) + ")";
  }
  return list;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string RangeText(const ParamSpec& row) {
  return Number(static_cast<double>(row.slider.minimum)) + " .. " + Number(static_cast<double>(row.slider.maximum));
}

// The row a --set or preset key names, or the reason it cannot be set.
const ParamSpec& SettableSpec(std::string_view name, const std::string& where, int exitCode) {
  const ParamSpec* row = FindByName(name);
  if (row == nullptr) {
    throw ToolError(where + "unknown parameter " + Quoted(name) + "; settable parameters: " + SettableNames(),
                    exitCode);
  }
  if (IsValued(*row)) return *row;
  const std::string id(row->identifier);
  if (row->type == zkfx::kParamTypeButton) {
    throw ToolError(where + id + " is a button: press it with --press " + id, exitCode);
  }
  if (row->type == zkfx::kParamTypeLayer) {
    throw ToolError(where + id + " is the input picture, not a setting", exitCode);
  }
  throw ToolError(where + id + " is a group, not a value; settable parameters: " + SettableNames(), exitCode);
}

void SetFloat(PanelStep& step, const ParamSpec& row, double value, const std::string& where, int exitCode,
              bool checkRange) {
  // The declared range is single precision: compare as the slider does, so typing 0.1 reaches
  // the minimum 0.1f of the gray level.
  const float asFloat = static_cast<float>(value);
  if (checkRange && (asFloat < row.slider.minimum || asFloat > row.slider.maximum)) {
    throw ToolError(where + std::string(row.identifier) + ": " + Number(value) + " is outside the range " +
                        RangeText(row),
                    exitCode);
  }
  step.floatValue = value;
}

// The range a preset may give a float slider: the slider's own, widened for the values the effect's
// picks and buttons write past it (a preset saved after them must load): a balance magnitude up to
// 128 x sqrt(2), the largest a picked colour gives; the input levels 0 .. 255 of the auto buttons;
// any positive input gray level, which a gray level pick computes without bound.
std::pair<double, double> PresetRange(const ParamSpec& row) {
  switch (row.index) {
    case kParamMasterBalanceMagnitude:
    case kParamShadowBalanceMagnitude:
    case kParamMidtoneBalanceMagnitude:
    case kParamHighlightBalanceMagnitude: return {0.0, 128.0 * std::sqrt(2.0)};
    case kParamMasterInputBlackLevel:
    case kParamMasterInputWhiteLevel: return {0.0, 255.0};
    case kParamMasterInputGrayLevel: return {std::numeric_limits<double>::min(), std::numeric_limits<double>::max()};
    default: return {row.slider.minimum, row.slider.maximum};
  }
}

void SetPresetFloat(PanelStep& step, const ParamSpec& row, double value, const std::string& where) {
  const auto [low, high] = PresetRange(row);
  if (!(value >= low && value <= high)) {
    throw ToolError(where + std::string(row.identifier) + ": " + Number(value) + " is outside the range " +
                    (low == row.slider.minimum && high == row.slider.maximum ? RangeText(row)
                                                                             : Number(low) + " .. " + Number(high)));
  }
  step.floatValue = value;
}

void SetAngle(PanelStep& step, const ParamSpec& row, double degrees, const std::string& where, int exitCode) {
  const double fixed = std::nearbyint(degrees * kFixedPointDegree);
  if (!(std::fabs(fixed) <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    throw ToolError(where + std::string(row.identifier) + ": " + Number(degrees) +
                        " degrees is outside the range -32767 .. 32767",
                    exitCode);
  }
  step.intValue = static_cast<std::int32_t>(fixed);
}

void SetPopup(PanelStep& step, const ParamSpec& row, std::string_view text, const std::string& where, int exitCode) {
  const std::vector<std::string> choices = PopupChoices(row);
  const std::string lower = Lower(Trim(text));
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (Lower(choices[i]) == lower) {
      step.intValue = static_cast<std::int32_t>(i + 1);
      return;
    }
  }
  long long number;
  if (ParseInt(text, number) && number >= 1 && number <= static_cast<long long>(choices.size())) {
    step.intValue = static_cast<std::int32_t>(number);
    return;
  }
  throw ToolError(where + std::string(row.identifier) + ": " + Quoted(text) + " is not a choice; choices: " +
                      ChoiceList(row),
                  exitCode);
}

void SetColorChannels(PanelStep& step, const ParamSpec& row, const long long channels[3], const std::string& where,
                      int exitCode) {
  for (int c = 0; c < 3; ++c) {
    if (channels[c] < 0 || channels[c] > 255) {
      throw ToolError(where + std::string(row.identifier) + ": colour channels are 0 .. 255", exitCode);
    }
  }
  step.color = {255, static_cast<std::uint8_t>(channels[0]), static_cast<std::uint8_t>(channels[1]),
                static_cast<std::uint8_t>(channels[2])};
}

// Splits "A=B" at the first '='.
bool SplitAssignment(std::string_view text, std::string_view& name, std::string_view& value) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return false;
  name = text.substr(0, equals);
  value = text.substr(equals + 1);
  return true;
}

// Splits "a,b,c" into exactly `count` integers.
bool ParseIntList(std::string_view text, long long* values, int count) {
  for (int i = 0; i < count; ++i) {
    const std::size_t comma = text.find(',');
    const bool last = i == count - 1;
    if (last != (comma == std::string_view::npos)) return false;
    if (!ParseInt(text.substr(0, comma), values[i])) return false;
    if (!last) text.remove_prefix(comma + 1);
  }
  return true;
}

void ApplySet(threeway::host::Host& host, const PanelStep& step) {
  std::int32_t result = 0;
  switch (step.type) {
    case zkfx::kParamTypePopup: result = host.SetPopup(step.index, step.intValue); break;
    case zkfx::kParamTypeCheckBox: result = host.SetCheckBox(step.index, step.intValue != 0); break;
    case zkfx::kParamTypeColor: result = host.SetColor(step.index, step.color); break;
    case zkfx::kParamTypeAngle: result = host.SetAngle(step.index, step.intValue); break;
    case zkfx::kParamTypeFloatSlider: result = host.SetFloat(step.index, step.floatValue); break;
    default: result = threeway::host::kHostErrBadIndex;
  }
  if (result != zkfx::kErrNone) {
    const std::string message = host.displayedMessage();
    throw ToolError(step.origin + ": the effect refused the value (code " + std::to_string(result) + ")" +
                    (message.empty() ? "" : ": " + message));
  }
}

}  // namespace

std::string SettableNames() { return Names(IsValued); }

PanelStep ParseSetOption(std::string_view text) {
  std::string_view name, value;
  if (!SplitAssignment(text, name, value)) {
    throw UsageError("--set needs NAME=VALUE, got " + Quoted(text));
  }
  const ParamSpec& row = SettableSpec(Trim(name), "--set: ", kExitUsage);
  PanelStep step;
  step.kind = PanelStep::Kind::kSet;
  step.index = row.index;
  step.type = row.type;
  step.origin = "--set " + std::string(text);
  const std::string where = "--set: ";
  const std::string id(row.identifier);
  switch (row.type) {
    case zkfx::kParamTypeFloatSlider: {
      double number;
      if (!ParseNumber(value, number)) {
        throw UsageError(where + id + ": " + Quoted(value) + " is not a number (range " + RangeText(row) + ")");
      }
      SetFloat(step, row, number, where, kExitUsage, true);
      break;
    }
    case zkfx::kParamTypeAngle: {
      double degrees;
      if (!ParseNumber(value, degrees)) {
        throw UsageError(where + id + ": " + Quoted(value) + " is not an angle in degrees");
      }
      SetAngle(step, row, degrees, where, kExitUsage);
      break;
    }
    case zkfx::kParamTypePopup: SetPopup(step, row, value, where, kExitUsage); break;
    case zkfx::kParamTypeCheckBox: {
      const std::string word = Lower(Trim(value));
      if (word == "on" || word == "true" || word == "yes" || word == "1") {
        step.intValue = 1;
      } else if (word == "off" || word == "false" || word == "no" || word == "0") {
        step.intValue = 0;
      } else {
        throw UsageError(where + id + ": " + Quoted(value) + " is not a check box value; use on/off, true/false, yes/no or 1/0");
      }
      break;
    }
    case zkfx::kParamTypeColor: {
      long long channels[3];
      if (!ParseIntList(value, channels, 3)) {
        throw UsageError(where + id + ": " + Quoted(value) + " is not a colour; write R,G,B with each 0 .. 255");
      }
      SetColorChannels(step, row, channels, where, kExitUsage);
      break;
    }
  }
  return step;
}

PanelStep ParsePressOption(std::string_view text) {
  const ParamSpec* row = FindByName(Trim(text));
  if (row == nullptr || row->type != zkfx::kParamTypeButton) {
    throw UsageError("--press: " + Quoted(text) + " is not a button; buttons: " + Names(IsButton));
  }
  PanelStep step;
  step.kind = PanelStep::Kind::kPress;
  step.index = row->index;
  step.origin = "--press " + std::string(row->identifier);
  return step;
}

PanelStep ParsePickOption(std::string_view text) {
  std::string_view name, where;
  long long xy[2];
  if (!SplitAssignment(text, name, where) || !ParseIntList(where, xy, 2)) {
    throw UsageError("--pick needs NAME=X,Y, got " + Quoted(text));
  }
  const ParamSpec* row = FindByName(Trim(name));
  if (row == nullptr || row->type != zkfx::kParamTypeColor) {
    throw UsageError("--pick: " + Quoted(name) + " is not a colour parameter; colours: " + Names(IsColor));
  }
  PanelStep step;
  step.kind = PanelStep::Kind::kPick;
  step.index = row->index;
  const auto clampToInt = [](long long v) {
    return static_cast<int>(std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  };
  step.x = clampToInt(xy[0]);
  step.y = clampToInt(xy[1]);
  step.origin = "--pick " + std::string(text);
  return step;
}

PanelStep ParseRatioOption(PanelStep::Kind kind, std::string_view option, std::string_view text) {
  PanelStep step;
  step.kind = kind;
  step.origin = std::string(option) + " " + std::string(text);
  const std::string bad = std::string(option) + " needs N/D or a decimal number greater than 0, got " + Quoted(text);
  long long numerator = 0, denominator = 1;
  const std::size_t slash = text.find('/');
  if (slash != std::string_view::npos) {
    if (!ParseInt(text.substr(0, slash), numerator) || !ParseInt(text.substr(slash + 1), denominator)) {
      throw UsageError(bad);
    }
  } else {
    // A decimal: digits, at most one point, at most nine decimals; kept exact as a fraction.
    const std::string trimmed = Trim(text);
    const std::size_t point = trimmed.find('.');
    const std::string whole = trimmed.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : trimmed.substr(point + 1);
    const bool digitsOnly = std::all_of(whole.begin(), whole.end(), ::isdigit) &&
                            std::all_of(fraction.begin(), fraction.end(), ::isdigit);
    if (!digitsOnly || (whole.empty() && fraction.empty()) || fraction.size() > 9 || whole.size() > 9) {
      throw UsageError(bad);
    }
    numerator = std::stoll("0" + whole + fraction);
    for (std::size_t i = 0; i < fraction.size(); ++i) denominator *= 10;
  }
  if (numerator <= 0 || denominator <= 0) throw UsageError(bad);
  const long long divisor = std::gcd(numerator, denominator);
  numerator /= divisor;
  denominator /= divisor;
  if (numerator > std::numeric_limits<std::int32_t>::max() || denominator > std::numeric_limits<std::int32_t>::max()) {
    throw UsageError(bad);
  }
  step.numerator = static_cast<std::int32_t>(numerator);
  step.denominator = static_cast<std::uint32_t>(denominator);
  return step;
}

std::vector<PanelStep> LoadPreset(const std::string& path) {
  return ParsePreset(ReadWholeFile(path, kMaxPresetBytes, "preset"), path);
}

std::vector<PanelStep> ParsePreset(const std::string& text, const std::string& path) {
  JsonValue document;
  std::string error;
  if (!ParseJson(text, document, error)) throw ToolError(path + ": " + error);
  return PresetSteps(document, path);
}

std::vector<PanelStep> PresetSteps(const JsonValue& document, const std::string& path) {
  const auto at = [&path](const JsonValue& value) {
    return path + ": line " + std::to_string(value.line) + ", column " + std::to_string(value.column) + ": ";
  };
  if (document.kind != JsonValue::Kind::kObject) {
    throw ToolError(at(document) + "a preset is an object of parameter names and values, found " +
                    JsonKindName(document.kind));
  }
  std::vector<PanelStep> steps;
  for (const JsonMember& member : document.members) {
    const std::string& name = member.name;
    const JsonValue& value = member.value;  // a named reference: lambdas below capture it
    const std::string where = at(value);
    const ParamSpec& row = SettableSpec(name, where, kExitFailure);
    const std::string id(row.identifier);
    PanelStep step;
    step.kind = PanelStep::Kind::kSet;
    step.index = row.index;
    step.type = row.type;
    step.origin = where + id;
    const auto expect = [&](JsonValue::Kind kind, const char* what) {
      if (value.kind != kind) throw ToolError(where + id + ": expected " + what + ", found " + JsonKindName(value.kind));
    };
    switch (row.type) {
      case zkfx::kParamTypeFloatSlider:
        expect(JsonValue::Kind::kNumber, "a number");
        SetPresetFloat(step, row, value.number, where);
        break;
      case zkfx::kParamTypeAngle:
        expect(JsonValue::Kind::kNumber, "an angle in degrees");
        SetAngle(step, row, value.number, where, kExitFailure);
        break;
      case zkfx::kParamTypeCheckBox:
        expect(JsonValue::Kind::kBoolean, "true or false");
        step.intValue = value.boolean ? 1 : 0;
        break;
      case zkfx::kParamTypePopup:
        if (value.kind == JsonValue::Kind::kNumber) {
          SetPopup(step, row, Number(value.number), where, kExitFailure);
        } else {
          expect(JsonValue::Kind::kString, "a choice");
          SetPopup(step, row, value.text, where, kExitFailure);
        }
        break;
      case zkfx::kParamTypeColor: {
        long long channels[3] = {-1, -1, -1};
        const bool ok = value.kind == JsonValue::Kind::kArray && value.items.size() == 3 &&
                        std::all_of(value.items.begin(), value.items.end(), [](const JsonValue& item) {
                          return item.kind == JsonValue::Kind::kNumber && item.number == std::floor(item.number) &&
                                 std::fabs(item.number) < 1e6;
                        });
        if (!ok) throw ToolError(where + id + ": expected [R, G, B] with each an integer 0 .. 255");
        for (int c = 0; c < 3; ++c) channels[c] = static_cast<long long>(value.items[static_cast<std::size_t>(c)].number);
        SetColorChannels(step, row, channels, where, kExitFailure);
        break;
      }
    }
    for (const PanelStep& earlier : steps) {
      if (earlier.index == step.index) throw ToolError(where + id + " is set twice (names are matched ignoring case)");
    }
    steps.push_back(step);
  }
  std::stable_sort(steps.begin(), steps.end(), [](const PanelStep& a, const PanelStep& b) { return a.index < b.index; });
  return steps;
}

std::string PresetJson(const threeway::host::Host& host) {
  std::string json = "{";
  bool first = true;
  for (const ParamSpec& row : ParamSpecs()) {
    if (!IsValued(row)) continue;
    const threeway::host::StoredParam* param = host.Param(row.index);
    if (param == nullptr || param->current.type != row.type) continue;
    const zkfx::ParamValue& v = param->current.value;
    std::string value;
    switch (row.type) {
      case zkfx::kParamTypeFloatSlider: value = JsonDouble(v.floatSlider.current); break;
      case zkfx::kParamTypeAngle: value = JsonDouble(DegreesFromFixed(v.angle.current)); break;
      case zkfx::kParamTypeCheckBox: value = v.checkBox.current ? "true" : "false"; break;
      case zkfx::kParamTypePopup: {
        const std::vector<std::string> choices = PopupChoices(row);
        const int choice = v.popup.current;
        value = choice >= 1 && choice <= static_cast<int>(choices.size())
                    ? JsonString(choices[static_cast<std::size_t>(choice - 1)])
                    : std::to_string(choice);
        break;
      }
      case zkfx::kParamTypeColor:
        value = "[" + std::to_string(v.color.current.red) + ", " + std::to_string(v.color.current.green) + ", " +
                std::to_string(v.color.current.blue) + "]";
        break;
    }
    json += std::string(first ? "\n" : ",\n") + "  " + JsonString(row.identifier) + ": " + value;
    first = false;
  }
  return json + "\n}\n";
}

void ApplyPanel(threeway::host::Host& host, std::span<const PanelStep> steps, PanelInput& input) {
  for (const PanelStep& step : steps) {
    switch (step.kind) {
      case PanelStep::Kind::kSet: ApplySet(host, step); break;
      case PanelStep::Kind::kPress: {
        input.RenderForPress();
        const std::int32_t result = host.PressButton(step.index);
        if (result != zkfx::kErrNone) {
          throw ToolError(step.origin + ": the effect failed the press (code " + std::to_string(result) + ")");
        }
        break;
      }
      case PanelStep::Kind::kPick: {
        if (step.x < 0 || step.y < 0 || step.x >= input.width() || step.y >= input.height()) {
          throw UsageError(step.origin + ": " + std::to_string(step.x) + "," + std::to_string(step.y) +
                           " is outside the " + std::to_string(input.width()) + "x" + std::to_string(input.height()) +
                           " frame (X 0 .. " + std::to_string(input.width() - 1) + ", Y 0 .. " +
                           std::to_string(input.height() - 1) + ")");
        }
        PanelStep set = step;
        set.type = zkfx::kParamTypeColor;
        set.color = input.PickColor(step.x, step.y);
        ApplySet(host, set);
        break;
      }
      case PanelStep::Kind::kRenderScale: host.SetRenderScale(step.numerator, step.denominator); break;
      case PanelStep::Kind::kPixelAspect: host.SetPixelAspect(step.numerator, step.denominator); break;
    }
  }
  // Equal input levels leave the grade undefined (the levels divide by their difference): a press
  // on a flat frame, a pick, a preset or two settings can lead there. The module keeps its
  // arithmetic; the tool refuses to grade with it.
  const auto level = [&host](int index) {
    const threeway::host::StoredParam* param = host.Param(index);
    return param ? static_cast<float>(param->current.value.floatSlider.current) : 0.0f;
  };
  const float black = level(kParamMasterInputBlackLevel), white = level(kParamMasterInputWhiteLevel);
  if (black == white) {
    throw ToolError("the input black level and the input white level are both " + Number(black) +
                    " (MasterInputBlackLevel, MasterInputWhiteLevel): the levels would divide by zero; set them apart");
  }
}

}  // namespace threeway::cli
