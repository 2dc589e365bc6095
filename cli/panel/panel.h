// The effect's control panel as the tool's options drive it: parameter values by catalogue
// identifier (--set, presets), button presses, colour picks from the input picture, and the
// render scale and pixel aspect a host passes. Options are checked against the catalogue when
// they are read, and applied to a Host in the order given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/panel/json.h"
#include "entry/host_interface.h"
#include "host/host.h"

namespace threeway::cli {

// One option, checked and converted to host units.
struct PanelStep {
  enum class Kind { kSet, kPress, kPick, kRenderScale, kPixelAspect };
  Kind kind = Kind::kSet;
  int index = 0;                 // kSet, kPress, kPick: the parameter
  std::int32_t type = 0;         // kSet: the parameter's type
  double floatValue = 0.0;       // kSet of a float slider
  std::int32_t intValue = 0;     // kSet of a popup (1-based), check box (0/1), angle (16.16 degrees)
  zkfx::ColorARGB color{};       // kSet of a colour
  int x = 0, y = 0;              // kPick: the input pixel
  std::int32_t numerator = 1;    // kRenderScale, kPixelAspect
  std::uint32_t denominator = 1;
  std::string origin;            // where it came from, for messages ("--set ..." or "FILE: line L, column C")
};

// --set NAME=VALUE. NAME is a catalogue identifier (exact, or differing only in case). VALUE by
// type: float slider a number inside the slider's range; popup a choice text (any case) or its
// number; check box on/off/true/false/yes/no/1/0; angle degrees (rounded to the nearest 1/65536);
// colour R,G,B with each 0..255. Throws UsageError naming what is allowed.
PanelStep ParseSetOption(std::string_view text);
// --press NAME: one of the buttons (AutoBlackLevel, AutoContrast, AutoWhiteLevel).
PanelStep ParsePressOption(std::string_view text);
// --pick NAME=X,Y: a colour parameter and a pixel of the input (checked against the frame when
// applied).
PanelStep ParsePickOption(std::string_view text);
// --render-scale / --pixel-aspect: "N/D" or a decimal number, greater than 0.
PanelStep ParseRatioOption(PanelStep::Kind kind, std::string_view option, std::string_view text);

// The steps a preset file sets: a JSON object of identifier -> value, applied in catalogue order
// (so a colour pick comes before the values it drives, and the saved values win). Values: float
// sliders numbers, check boxes true/false, popups the choice text (or number), angles degrees,
// colours [R, G, B]. A float outside its slider's range is restored as saved: the effect itself
// writes such values (a picked balance magnitude above 100, an auto black level of 254). Throws
// ToolError "FILE: line L, column C: ..." on malformed or unknown content.
std::vector<PanelStep> LoadPreset(const std::string& path);
// A preset holds about a hundred values, a few kilobytes: a file larger than this is not one.
inline constexpr std::size_t kMaxPresetBytes = 1 << 20;

// The same for preset text already in memory; `path` names it in messages.
std::vector<PanelStep> ParsePreset(const std::string& text, const std::string& path);
// The same for a preset object already parsed (from a larger document: the members of `object`).
std::vector<PanelStep> PresetSteps(const JsonValue& object, const std::string& path);
// The preset of the host's current values: every valued parameter by identifier, one per line,
// in catalogue order.
std::string PresetJson(const threeway::host::Host& host);

// What applying the panel needs from the pictures being graded.
class PanelInput {
 public:
  virtual ~PanelInput() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Renders the current frame with the current values, as a host does before a button press (the
  // auto-level buttons read the histogram that render leaves).
  virtual void RenderForPress() = 0;
  // The input pixel at x, y as 8-bit red, green and blue, as an eyedropper picks it.
  virtual zkfx::ColorARGB PickColor(int x, int y) = 0;
};

// Applies the steps in order. A value is handed over as the user's edit (supervised parameters
// are reported to the effect, which may write other values back); a press renders once, then
// presses; a pick sets the colour the eyedropper read. Throws ToolError when a pick lies outside
// the frame (exit 2) or the host refuses a value.
void ApplyPanel(threeway::host::Host& host, std::span<const PanelStep> steps, PanelInput& input);

// The settable identifiers, comma-separated, in catalogue order.
std::string SettableNames();

}  // namespace threeway::cli
