// The frei0r face of the effect's parameters: which catalogue rows a frei0r host sees, under which
// name and frei0r type, and how each value maps onto frei0r's 0..1 conventions.
//
// The list is generated from the parameter catalogue (params/catalogue.h), never written out by
// hand: every valued row (popup, check box, button, colour, angle, float slider) becomes one frei0r
// parameter, in catalogue order, named by its identifier. Catalogue order puts the colour pickers
// and the auto buttons ahead of the parameters they write, so a host that sets every parameter on
// every frame (MLT) applies an explicit value of a written parameter after the picker.
//
// Mapping (one table in frei0r/README.md; MarkdownTable() prints it):
//   check box  -> F0R_PARAM_BOOL    [0, 0.5) off, [0.5, 1] on; read back 0 or 1
//   button     -> F0R_PARAM_BOOL    a press on the rising edge (false -> true)
//   popup      -> F0R_PARAM_DOUBLE  n choices at k/(n-1); read back by rounding to the nearest
//   float      -> F0R_PARAM_DOUBLE  0..1 linear over the slider range, value rounded to single
//                                   precision (the renderer's own precision)
//   angle      -> F0R_PARAM_DOUBLE  0..1 = -180..180 degrees, 16.16 fixed point rounded to nearest
//   colour     -> F0R_PARAM_COLOR   each channel 0..1 -> 0..255 rounded to nearest
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/catalogue.h"

namespace threeway::frei0r {

enum class Kind { CheckBox, Button, Popup, Slider, Angle, Color };

// The filter as frei0r hosts list it.
inline constexpr const char* kFilterName = "threeway";
inline constexpr const char* kFilterTitle = "Three-Way Color Corrector";  // the module's own name
inline constexpr const char* kFilterAuthor = "ThreeWayColorCorrector developers";
inline constexpr const char* kFilterExplanation =
    "Three-way colour corrector: balance, hue and saturation for shadows, midtones, highlights "
    "and master, master levels, a secondary colour qualifier, colour pickers and auto levels";

struct PluginParam {
  std::int32_t catalogueIndex;  // the row of params/catalogue.h
  Kind kind;
  int frei0rType;               // F0R_PARAM_BOOL, F0R_PARAM_DOUBLE or F0R_PARAM_COLOR
  std::string_view name;        // the catalogue identifier, e.g. "MasterSaturation"
  std::string explanation;      // display text, range, mapping and default
  std::vector<int> writes;      // pickers and buttons: the frei0r indices of the values they write
  std::vector<int> writtenBy;   // those values: the frei0r indices of the pickers and buttons
};

// The frei0r parameters, index 0 .. count-1 as frei0r numbers them. Built once on first use and
// never changed; the strings live as long as the program.
std::span<const PluginParam> PluginParams();
// The frei0r index of a catalogue identifier, or -1.
int FindPluginParam(std::string_view name);

// --- Value mappings --------------------------------------------------------------------------
// Unit values outside 0..1 are clamped; NaN is refused by the callers before it gets here.

// Float sliders: unit = (v - min) / (max - min) in double; back: min + unit * (max - min),
// rounded to the nearest float. A value beyond the range (a colour pick can write one) maps
// beyond 0..1.
double SliderToUnit(const threeway::SliderSpec& slider, double value);
double UnitToSlider(const threeway::SliderSpec& slider, double unit);

// Popups: choice k (1-based) of n sits at (k - 1) / (n - 1); a unit value reads as the nearest.
double PopupToUnit(std::int32_t choice, std::int32_t count);
std::int32_t UnitToPopup(double unit, std::int32_t count);

// Angles: 16.16 fixed-point degrees. Reading wraps the angle into -180..180 first (a colour pick
// writes 0..360), so 270 degrees reads as -90, i.e. 0.25.
double AngleToUnit(std::int32_t degrees16_16);
std::int32_t UnitToAngle(double unit);

// Colour channels.
float ChannelToUnit(std::uint8_t channel);
std::uint8_t UnitToChannel(float unit);

// Bools: [0, 0.5) false, [0.5, 1] true.
bool UnitToBool(double unit);

// The 0..1 value of a parameter's default (not for colours, whose default is ColorSpec; buttons
// are up, 0).
double DefaultUnit(const PluginParam& param);
// Whether `unit` gives the parameter its default value once mapped (so 0.191919192 is the gain's
// default 20 although it is not SliderToUnit's double). Not for colours.
bool IsDefaultUnit(const PluginParam& param, double unit);

// The text a user reads for a parameter: the box or button text of check boxes and buttons, else
// the display name (the identifier where that is blank).
std::string ParamTitle(const PluginParam& param);
// What a picker or button makes the effect do, and whether the panel hides the parameter; empty
// for most.
std::string ParamNotes(const PluginParam& param);
// Numbers as the tables and descriptions print them: 0..1 values to nine significant digits (which
// map back to exactly the same parameter value), catalogue singles in their shortest round-trip
// form (0.1f prints as 0.1).
std::string UnitText(double unit);
std::string FloatText(float value);

// The parameter table of frei0r/README.md, in Markdown, from the list above.
std::string MarkdownTable();

}  // namespace threeway::frei0r
