// The parameter catalogue: the effect's fixed list of 107 parameters.
//
// One row per parameter index, in declaration order. The row holds everything the declaration to
// the host needs (type, name, persistent id, flags, group kind, range, default, texts) and what
// tools need to address a parameter by name (the identifier without its "kParam" prefix). The
// index is the parameter's position in the records the host hands back; the persistent id is what
// stored projects refer to. Both are fixed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "entry/host_interface.h"

namespace threeway {

// Parameter indices: the position of each parameter in the host's records.
enum ParamIndex : std::int32_t {
  kParamInputLayer = 0,
  kParamViewMode,
  kParamSplitViewGroupStart,
  kParamShowSplitView,
  kParamSplitViewLayout,
  kParamSplitViewPercent,
  kParamSplitViewGroupEnd,
  kParamThreeWayGroupStart,
  kParamThreeWayMaster,
  kParamBlackBalance,
  kParamGrayBalance,  // 10
  kParamWhiteBalance,
  kParamThreeWayGroupEnd,
  kParamLevelsPickGroupStart,
  kParamPickBlackLevel,
  kParamPickGrayLevel,
  kParamPickWhiteLevel,
  kParamLevelsPickGroupEnd,
  kParamTonalRangeGroupStart,
  kParamShowTonalRange,
  kParamShadowThreshold,  // 20
  kParamShadowSoftness,
  kParamHighlightThreshold,
  kParamHighlightSoftness,
  kParamTonalRangeGroupEnd,
  kParamSaturationGroupStart,
  kParamMasterSaturation,
  kParamShadowSaturation,
  kParamMidtoneSaturation,
  kParamHighlightSaturation,
  kParamSaturationGroupEnd,  // 30
  kParamSecondaryGroupStart,
  kParamSecondaryInnerGroupStart,
  kParamShowMask,
  kParamCenterGroupStart,
  kParamCenterGroupEnd,
  kParamHueRangeGroupStart,
  kParamHueRangeInnerGroupStart,
  kParamHueOffset,
  kParamHueStartThreshold,
  kParamHueStartSoftness,  // 40
  kParamHueEndThreshold,
  kParamHueEndSoftness,
  kParamHueRangeInnerGroupEnd,
  kParamHueRangeGroupEnd,
  kParamSatRangeGroupStart,
  kParamSatRangeInnerGroupStart,
  kParamSatStartThreshold,
  kParamSatStartSoftness,
  kParamSatEndThreshold,
  kParamSatEndSoftness,  // 50
  kParamSatRangeInnerGroupEnd,
  kParamSatRangeGroupEnd,
  kParamLumaRangeGroupStart,
  kParamLumaRangeInnerGroupStart,
  kParamLumaStartThreshold,
  kParamLumaStartSoftness,
  kParamLumaEndThreshold,
  kParamLumaEndSoftness,
  kParamLumaRangeInnerGroupEnd,
  kParamLumaRangeGroupEnd,  // 60
  kParamSoften,
  kParamEdgeThinning,
  kParamInvert,
  kParamSecondaryInnerGroupEnd,
  kParamSecondaryGroupEnd,
  kParamAutoLevelsGroupStart,
  kParamAutoButtonsGroupStart,
  kParamAutoBlackLevel,
  kParamAutoContrast,
  kParamAutoWhiteLevel,  // 70
  kParamAutoButtonsGroupEnd,
  kParamBlackLevel,
  kParamGrayLevel,
  kParamWhiteLevel,
  kParamAutoLevelsGroupEnd,
  kParamShadowsGroupStart,
  kParamShadowHueAngle,
  kParamShadowBalanceMagnitude,
  kParamShadowBalanceGain,
  kParamShadowBalanceAngle,  // 80
  kParamShadowsGroupEnd,
  kParamMidtonesGroupStart,
  kParamMidtoneHueAngle,
  kParamMidtoneBalanceMagnitude,
  kParamMidtoneBalanceGain,
  kParamMidtoneBalanceAngle,
  kParamMidtonesGroupEnd,
  kParamHighlightsGroupStart,
  kParamHighlightHueAngle,
  kParamHighlightBalanceMagnitude,  // 90
  kParamHighlightBalanceGain,
  kParamHighlightBalanceAngle,
  kParamHighlightsGroupEnd,
  kParamMasterGroupStart,
  kParamMasterHueAngle,
  kParamMasterBalanceMagnitude,
  kParamMasterBalanceGain,
  kParamMasterBalanceAngle,
  kParamMasterGroupEnd,
  kParamMasterLevelsGroupStart,  // 100
  kParamMasterInputBlackLevel,
  kParamMasterInputGrayLevel,
  kParamMasterInputWhiteLevel,
  kParamMasterOutputBlackLevel,
  kParamMasterOutputWhiteLevel,
  kParamMasterLevelsGroupEnd,  // 106
  kParamCount                  // 107: the input layer and the 106 declared parameters
};
static_assert(kParamGrayBalance == 10 && kParamShadowThreshold == 20 && kParamSaturationGroupEnd == 30 &&
              kParamHueStartSoftness == 40 && kParamSatEndSoftness == 50 && kParamLumaRangeGroupEnd == 60 &&
              kParamAutoWhiteLevel == 70 && kParamShadowBalanceAngle == 80 &&
              kParamHighlightBalanceMagnitude == 90 && kParamMasterLevelsGroupStart == 100 &&
              kParamMasterLevelsGroupEnd == 106 && kParamCount == 107);

// A group start that sends no group kind to the host.
inline constexpr std::int32_t kNoGroupKind = -1;
// A row that uses no display text in this role (group ends, the input layer).
inline constexpr std::int32_t kNoText = -1;

// Popup rows. The View Mode popup declares two choices, the number of entries its choice text
// names ("Video|Luma"): a host then never offers an empty third entry. The mask view that a third
// choice would select stays reachable through the Show Mask check box, and a stored value of 3 is
// still rendered as the mask view.
struct PopupSpec {
  std::int16_t choiceCount;
  std::int16_t defaultChoice;  // 1-based; also the initial current choice
  std::int32_t choicesEntry;   // the "|"-separated choice text
};

// Colour rows: the default red, green and blue; alpha is always 255.
struct ColorSpec {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

// Float slider rows. The valid range and the slider range are the same interval; the values are
// single precision exactly as declared (the host's double `current` is the single default widened).
struct SliderSpec {
  float minimum;
  float maximum;
  float defaultValue;
  std::int16_t precision;     // decimals shown
  std::int16_t displayFlags;  // zkfx::kDisplayPercent or 0
  std::uint32_t sliderFlags;  // zkfx::kSliderFlagBit0 or 0
  std::uint8_t useExponent;   // 1 when the slider scale is non-linear
  float exponent;             // 1.0 unless useExponent
};

// One row of the catalogue. Fields that do not apply to the row's type are zero (or kNoText,
// kNoGroupKind).
struct ParamSpec {
  std::int32_t index;
  std::string_view identifier;  // the index constant without "kParam", e.g. "MasterSaturation"
  std::int32_t type;            // zkfx::kParamType...
  std::int32_t nameEntry;       // string table entry of the display name, or kNoText
  std::int32_t id;              // persistent id (0 for the input layer, which is not declared)
  std::uint32_t flags;          // zkfx::kParamFlag... bits
  std::uint32_t uiFlags;        // zkfx::kParamUIHidden or 0
  std::int32_t groupKind;       // group starts: the kind sent to the host, or kNoGroupKind
  std::int32_t textEntry;       // check box: box text; button: button text; else kNoText
  PopupSpec popup;
  ColorSpec color;
  SliderSpec slider;
};

// The whole catalogue, index 0 to 106.
std::span<const ParamSpec, kParamCount> ParamSpecs();
// The row of a parameter index; `index` must be 0..106.
const ParamSpec& ParamSpecAt(std::int32_t index);
// The row whose identifier is `identifier` (exact, case-sensitive, without "kParam"), or null.
const ParamSpec* FindParamSpec(std::string_view identifier);

// --- Helpers every caller of the catalogue uses --------------------------------------------------

// A row that carries a value a user sets and a preset keeps: popup, check box, colour, angle, float
// slider (not the input layer, groups or buttons).
bool IsValued(const ParamSpec& row);

// The English choices of a popup row, split at '|' and cut or padded (with empty texts) to the
// row's declared choice count.
std::vector<std::string> PopupChoices(const ParamSpec& row);

// Angles travel as signed 16.16 fixed-point degrees: 65536 is one degree.
inline constexpr double kFixedPointDegree = 65536.0;
// Exact: every 16.16 value is a double.
constexpr double DegreesFromFixed(std::int32_t fixed) { return static_cast<double>(fixed) / kFixedPointDegree; }
// The nearest 16.16 value (halves away from zero), saturated at the ends of the 32-bit range;
// NaN gives 0.
std::int32_t FixedFromDegrees(double degrees);

}  // namespace threeway
