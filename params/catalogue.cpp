#include "params/catalogue.h"

#include <array>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

#include "params/string_table.h"

namespace threeway {
namespace {

constexpr std::uint32_t kConstant = zkfx::kParamFlagConstant;
constexpr std::uint32_t kCollapsed = zkfx::kParamFlagStartCollapsed;
constexpr std::uint32_t kSupervised = zkfx::kParamFlagSupervised;
constexpr std::uint32_t kHidden = zkfx::kParamUIHidden;
constexpr std::uint32_t kVisible = 0;

// Row builders, one per parameter type. Every field a type does not use keeps its neutral value.
constexpr ParamSpec Row(std::int32_t index, std::string_view identifier, std::int32_t type,
                        std::int32_t nameEntry, std::int32_t id, std::uint32_t flags,
                        std::uint32_t uiFlags) {
  ParamSpec row{};
  row.index = index;
  row.identifier = identifier;
  row.type = type;
  row.nameEntry = nameEntry;
  row.id = id;
  row.flags = flags;
  row.uiFlags = uiFlags;
  row.groupKind = kNoGroupKind;
  row.textEntry = kNoText;
  row.popup.choicesEntry = kNoText;
  return row;
}

constexpr ParamSpec Layer(std::int32_t index, std::string_view identifier) {
  return Row(index, identifier, zkfx::kParamTypeLayer, kNoText, 0, 0, kVisible);
}

constexpr ParamSpec GroupStart(std::int32_t index, std::string_view identifier, std::int32_t nameEntry,
                               std::int32_t id, std::uint32_t flags, std::uint32_t uiFlags,
                               std::int32_t groupKind) {
  ParamSpec row = Row(index, identifier, zkfx::kParamTypeGroupStart, nameEntry, id, flags, uiFlags);
  row.groupKind = groupKind;
  return row;
}

constexpr ParamSpec GroupEnd(std::int32_t index, std::string_view identifier, std::int32_t id) {
  return Row(index, identifier, zkfx::kParamTypeGroupEnd, kNoText, id, 0, kVisible);
}

constexpr ParamSpec Popup(std::int32_t index, std::string_view identifier, std::int32_t nameEntry,
                          std::int32_t id, std::uint32_t flags, std::int16_t choiceCount,
                          std::int16_t defaultChoice, std::int32_t choicesEntry) {
  ParamSpec row = Row(index, identifier, zkfx::kParamTypePopup, nameEntry, id, flags, kVisible);
  row.popup = {choiceCount, defaultChoice, choicesEntry};
  return row;
}

// Check boxes and buttons are named with one blank; the user reads the box or button text.
constexpr ParamSpec CheckBox(std::int32_t index, std::string_view identifier, std::int32_t id,
                             std::uint32_t flags, std::int32_t boxTextEntry) {
  ParamSpec row = Row(index, identifier, zkfx::kParamTypeCheckBox, kStrSpaceLabelText, id, flags, kVisible);
  row.textEntry = boxTextEntry;
  return row;
}

constexpr ParamSpec Button(std::int32_t index, std::string_view identifier, std::int32_t id,
                           std::uint32_t flags, std::int32_t buttonTextEntry) {
  ParamSpec row = Row(index, identifier, zkfx::kParamTypeButton, kStrSpaceLabelText, id, flags, kVisible);
  row.textEntry = buttonTextEntry;
  return row;
}

constexpr ParamSpec Color(std::int32_t index, std::string_view identifier, std::int32_t nameEntry,
                          std::int32_t id, std::uint32_t flags, std::uint32_t uiFlags, std::uint8_t red,
                          std::uint8_t green, std::uint8_t blue) {
  ParamSpec row = Row(index, identifier, zkfx::kParamTypeColor, nameEntry, id, flags, uiFlags);
  row.color = {red, green, blue};
  return row;
}

constexpr ParamSpec Angle(std::int32_t index, std::string_view identifier, std::int32_t nameEntry,
                          std::int32_t id, std::uint32_t flags) {
  return Row(index, identifier, zkfx::kParamTypeAngle, nameEntry, id, flags, kVisible);
}

constexpr ParamSpec Slider(std::int32_t index, std::string_view identifier, std::int32_t nameEntry,
                           std::int32_t id, std::uint32_t flags, std::uint32_t uiFlags, float minimum,
                           float maximum, float defaultValue, std::int16_t precision) {
  ParamSpec row = Row(index, identifier, zkfx::kParamTypeFloatSlider, nameEntry, id, flags, uiFlags);
  row.slider = {minimum, maximum, defaultValue, precision, 0, 0, 0, 1.0f};
  return row;
}

// The split view percent: shown as a percentage, with slider flag bit 0.
constexpr ParamSpec ShownAsPercent(ParamSpec row) {
  row.slider.displayFlags = zkfx::kDisplayPercent;
  row.slider.sliderFlags |= zkfx::kSliderFlagBit0;
  return row;
}

// A slider with a non-linear scale.
constexpr ParamSpec WithExponent(ParamSpec row, float exponent) {
  row.slider.useExponent = 1;
  row.slider.exponent = exponent;
  return row;
}

// clang-format off
constexpr std::array<ParamSpec, kParamCount> kCatalogue = {
  Layer(kParamInputLayer, "InputLayer"),
  Popup(kParamViewMode, "ViewMode", kStrViewMode, 1, kConstant, 2, 1, kStrViewModeChoices),

  GroupStart(kParamSplitViewGroupStart, "SplitViewGroupStart", kStrSplitView, 135, kCollapsed, kVisible, 0),
  CheckBox(kParamShowSplitView, "ShowSplitView", 2, kConstant, kStrShowSplitView),
  Popup(kParamSplitViewLayout, "SplitViewLayout", kStrSplitViewLayout, 3, 0, 2, 1, kStrSplitViewLayoutChoices),
  ShownAsPercent(Slider(kParamSplitViewPercent, "SplitViewPercent", kStrSplitViewPercent, 4, 0, kVisible, 0.0f, 100.0f, 50.0f, 2)),
  GroupEnd(kParamSplitViewGroupEnd, "SplitViewGroupEnd", 136),

  GroupStart(kParamThreeWayGroupStart, "ThreeWayGroupStart", kStrThreeWayHueBalanceAndAngle, 23, kCollapsed, kVisible, 2),
  CheckBox(kParamThreeWayMaster, "ThreeWayMaster", 137, kConstant, kStrMasterGroupName),
  Color(kParamBlackBalance, "BlackBalance", kStrBlackBalance, 5, kConstant | kSupervised, kVisible, 0, 0, 0),
  Color(kParamGrayBalance, "GrayBalance", kStrGrayBalance, 6, kConstant | kSupervised, kVisible, 128, 128, 128),
  Color(kParamWhiteBalance, "WhiteBalance", kStrWhiteBalance, 7, kConstant | kSupervised, kVisible, 255, 255, 255),
  GroupEnd(kParamThreeWayGroupEnd, "ThreeWayGroupEnd", 36),

  GroupStart(kParamLevelsPickGroupStart, "LevelsPickGroupStart", kStrSpaceLabelText, 61, kCollapsed, kVisible, 4),
  Color(kParamPickBlackLevel, "PickBlackLevel", kStrBlackLevels, 139, kConstant | kSupervised, kHidden, 0, 0, 0),
  Color(kParamPickGrayLevel, "PickGrayLevel", kStrGrayLevels, 140, kConstant | kSupervised, kHidden, 128, 128, 128),
  Color(kParamPickWhiteLevel, "PickWhiteLevel", kStrWhiteLevels, 141, kConstant | kSupervised, kHidden, 255, 255, 255),
  GroupEnd(kParamLevelsPickGroupEnd, "LevelsPickGroupEnd", 70),

  GroupStart(kParamTonalRangeGroupStart, "TonalRangeGroupStart", kStrTonalRangeDefinition, 9, kCollapsed, kVisible, 3),
  CheckBox(kParamShowTonalRange, "ShowTonalRange", 138, kConstant, kStrShowTonalRange),
  Slider(kParamShadowThreshold, "ShadowThreshold", kStrShadowThreshold, 10, kSupervised, kVisible, 0.0f, 255.0f, 64.0f, 2),
  Slider(kParamShadowSoftness, "ShadowSoftness", kStrShadowThresholdSoft, 11, kSupervised, kVisible, 0.0f, 255.0f, 10.0f, 2),
  Slider(kParamHighlightThreshold, "HighlightThreshold", kStrHighlightThreshold, 12, kSupervised, kVisible, 0.0f, 255.0f, 192.0f, 2),
  Slider(kParamHighlightSoftness, "HighlightSoftness", kStrHighlightThresholdSoft, 13, kSupervised, kVisible, 0.0f, 255.0f, 10.0f, 2),
  GroupEnd(kParamTonalRangeGroupEnd, "TonalRangeGroupEnd", 14),

  GroupStart(kParamSaturationGroupStart, "SaturationGroupStart", kStrSaturationGroupName, 142, 0, kVisible, kNoGroupKind),
  Slider(kParamMasterSaturation, "MasterSaturation", kStrMasterSaturation, 37, 0, kVisible, 0.0f, 200.0f, 100.0f, 2),
  Slider(kParamShadowSaturation, "ShadowSaturation", kStrShadowSaturation, 38, 0, kVisible, 0.0f, 200.0f, 100.0f, 2),
  Slider(kParamMidtoneSaturation, "MidtoneSaturation", kStrMidtoneSaturation, 39, 0, kVisible, 0.0f, 200.0f, 100.0f, 2),
  Slider(kParamHighlightSaturation, "HighlightSaturation", kStrHighlightSaturation, 40, 0, kVisible, 0.0f, 200.0f, 100.0f, 2),
  GroupEnd(kParamSaturationGroupEnd, "SaturationGroupEnd", 143),

  GroupStart(kParamSecondaryGroupStart, "SecondaryGroupStart", kStrSecondaryColorCorrection, 101, 0, kVisible, kNoGroupKind),
  GroupStart(kParamSecondaryInnerGroupStart, "SecondaryInnerGroupStart", kStrSpaceLabelText, 102, kCollapsed, kVisible, 20),
  CheckBox(kParamShowMask, "ShowMask", 144, kConstant, kShowMask),
  GroupStart(kParamCenterGroupStart, "CenterGroupStart", kStrCenter, 103, kCollapsed, kVisible, 16),
  GroupEnd(kParamCenterGroupEnd, "CenterGroupEnd", 104),
  // The hue range: the hidden hue offset first, and both thresholds constant.
  GroupStart(kParamHueRangeGroupStart, "HueRangeGroupStart", kStrHue, 105, 0, kVisible, kNoGroupKind),
  GroupStart(kParamHueRangeInnerGroupStart, "HueRangeInnerGroupStart", kStrHue, 106, kCollapsed, kVisible, 17),
  Slider(kParamHueOffset, "HueOffset", kStrSpaceLabelText, 107, kConstant, kHidden, 0.0f, 1.0f, 0.5f, 5),
  Slider(kParamHueStartThreshold, "HueStartThreshold", kStrStartThreshold, 108, kConstant, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamHueStartSoftness, "HueStartSoftness", kStrStartSoftness, 109, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamHueEndThreshold, "HueEndThreshold", kStrEndThreshold, 110, kConstant, kVisible, 0.0f, 100.0f, 100.0f, 2),
  Slider(kParamHueEndSoftness, "HueEndSoftness", kStrEndSoftness, 111, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  GroupEnd(kParamHueRangeInnerGroupEnd, "HueRangeInnerGroupEnd", 112),
  GroupEnd(kParamHueRangeGroupEnd, "HueRangeGroupEnd", 113),
  GroupStart(kParamSatRangeGroupStart, "SatRangeGroupStart", kStrSaturation, 114, 0, kVisible, kNoGroupKind),
  GroupStart(kParamSatRangeInnerGroupStart, "SatRangeInnerGroupStart", kStrSaturation, 115, kCollapsed, kVisible, 18),
  Slider(kParamSatStartThreshold, "SatStartThreshold", kStrStartThreshold, 116, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamSatStartSoftness, "SatStartSoftness", kStrStartSoftness, 117, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamSatEndThreshold, "SatEndThreshold", kStrEndThreshold, 118, 0, kVisible, 0.0f, 100.0f, 100.0f, 2),
  Slider(kParamSatEndSoftness, "SatEndSoftness", kStrEndSoftness, 119, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  GroupEnd(kParamSatRangeInnerGroupEnd, "SatRangeInnerGroupEnd", 120),
  GroupEnd(kParamSatRangeGroupEnd, "SatRangeGroupEnd", 121),
  GroupStart(kParamLumaRangeGroupStart, "LumaRangeGroupStart", kStrLuma, 122, 0, kVisible, kNoGroupKind),
  GroupStart(kParamLumaRangeInnerGroupStart, "LumaRangeInnerGroupStart", kStrLuma, 123, kCollapsed, kVisible, 19),
  Slider(kParamLumaStartThreshold, "LumaStartThreshold", kStrStartThreshold, 124, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamLumaStartSoftness, "LumaStartSoftness", kStrStartSoftness, 125, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamLumaEndThreshold, "LumaEndThreshold", kStrEndThreshold, 126, 0, kVisible, 0.0f, 100.0f, 100.0f, 2),
  Slider(kParamLumaEndSoftness, "LumaEndSoftness", kStrEndSoftness, 127, 0, kVisible, 0.0f, 100.0f, 0.0f, 2),
  GroupEnd(kParamLumaRangeInnerGroupEnd, "LumaRangeInnerGroupEnd", 128),
  GroupEnd(kParamLumaRangeGroupEnd, "LumaRangeGroupEnd", 129),
  Slider(kParamSoften, "Soften", kStrSoften, 130, 0, kVisible, 0.0f, 50.0f, 0.0f, 2),
  Slider(kParamEdgeThinning, "EdgeThinning", kStrEdgeThinning, 131, 0, kVisible, -100.0f, 100.0f, 0.0f, 2),
  Popup(kParamInvert, "Invert", kStrInvert, 145, kConstant, 3, 1, kStrInvertChoices),
  GroupEnd(kParamSecondaryInnerGroupEnd, "SecondaryInnerGroupEnd", 133),
  GroupEnd(kParamSecondaryGroupEnd, "SecondaryGroupEnd", 134),

  GroupStart(kParamAutoLevelsGroupStart, "AutoLevelsGroupStart", kStrAutoLevelsGroupName, 146, 0, kVisible, kNoGroupKind),
  GroupStart(kParamAutoButtonsGroupStart, "AutoButtonsGroupStart", kStrSpaceLabelText, 41, 0, kVisible, 14),
  Button(kParamAutoBlackLevel, "AutoBlackLevel", 42, kConstant, kStrAutoBlackLevel),
  Button(kParamAutoContrast, "AutoContrast", 43, kConstant, kStrAutoContrast),
  Button(kParamAutoWhiteLevel, "AutoWhiteLevel", 44, kConstant, kStrAutoWhiteLevel),
  GroupEnd(kParamAutoButtonsGroupEnd, "AutoButtonsGroupEnd", 45),
  Color(kParamBlackLevel, "BlackLevel", kStrBlackLevels, 62, kConstant | kSupervised, kVisible, 0, 0, 0),
  Color(kParamGrayLevel, "GrayLevel", kStrGrayLevels, 63, kConstant | kSupervised, kVisible, 128, 128, 128),
  Color(kParamWhiteLevel, "WhiteLevel", kStrWhiteLevels, 64, kConstant | kSupervised, kVisible, 255, 255, 255),
  GroupEnd(kParamAutoLevelsGroupEnd, "AutoLevelsGroupEnd", 147),

  // The four tonal ranges: the same four controls each.
  GroupStart(kParamShadowsGroupStart, "ShadowsGroupStart", kStrShadowsGroupName, 148, kCollapsed, kHidden, 2),
  Angle(kParamShadowHueAngle, "ShadowHueAngle", kStrShadowHueAngle, 24, kSupervised),
  Slider(kParamShadowBalanceMagnitude, "ShadowBalanceMagnitude", kStrShadowBalanceMagnitude, 25, kSupervised, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamShadowBalanceGain, "ShadowBalanceGain", kStrShadowBalanceMagnitudeGain, 26, kSupervised, kVisible, 1.0f, 100.0f, 20.0f, 2),
  Angle(kParamShadowBalanceAngle, "ShadowBalanceAngle", kStrShadowBalanceAngle, 27, kSupervised),
  GroupEnd(kParamShadowsGroupEnd, "ShadowsGroupEnd", 149),
  GroupStart(kParamMidtonesGroupStart, "MidtonesGroupStart", kStrMidtonesGroupName, 150, kCollapsed, kHidden, 2),
  Angle(kParamMidtoneHueAngle, "MidtoneHueAngle", kStrMidtoneHueAngle, 28, kSupervised),
  Slider(kParamMidtoneBalanceMagnitude, "MidtoneBalanceMagnitude", kStrMidtoneBalanceMagnitude, 29, kSupervised, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamMidtoneBalanceGain, "MidtoneBalanceGain", kStrMidtoneBalanceMagnitudeGain, 30, kSupervised, kVisible, 1.0f, 100.0f, 20.0f, 2),
  Angle(kParamMidtoneBalanceAngle, "MidtoneBalanceAngle", kStrMidtoneBalanceAngle, 31, kSupervised),
  GroupEnd(kParamMidtonesGroupEnd, "MidtonesGroupEnd", 151),
  GroupStart(kParamHighlightsGroupStart, "HighlightsGroupStart", kStrHighlightsGroupName, 152, kCollapsed, kHidden, 2),
  Angle(kParamHighlightHueAngle, "HighlightHueAngle", kStrHighlightHueAngle, 32, kSupervised),
  Slider(kParamHighlightBalanceMagnitude, "HighlightBalanceMagnitude", kStrHighlightBalanceMagnitude, 33, kSupervised, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamHighlightBalanceGain, "HighlightBalanceGain", kStrHighlightBalanceMagnitudeGain, 34, kSupervised, kVisible, 1.0f, 100.0f, 20.0f, 2),
  Angle(kParamHighlightBalanceAngle, "HighlightBalanceAngle", kStrHighlightBalanceAngle, 35, kSupervised),
  GroupEnd(kParamHighlightsGroupEnd, "HighlightsGroupEnd", 153),
  GroupStart(kParamMasterGroupStart, "MasterGroupStart", kStrMasterGroupName, 154, kCollapsed, kHidden, 2),
  Angle(kParamMasterHueAngle, "MasterHueAngle", kStrMasterHueAngle, 18, kSupervised),
  Slider(kParamMasterBalanceMagnitude, "MasterBalanceMagnitude", kStrMasterBalanceMagnitude, 19, kSupervised, kVisible, 0.0f, 100.0f, 0.0f, 2),
  Slider(kParamMasterBalanceGain, "MasterBalanceGain", kStrMasterBalanceMagnitudeGain, 20, kSupervised, kVisible, 1.0f, 100.0f, 20.0f, 2),
  Angle(kParamMasterBalanceAngle, "MasterBalanceAngle", kStrMasterBalanceAngle, 21, kSupervised),
  GroupEnd(kParamMasterGroupEnd, "MasterGroupEnd", 155),

  GroupStart(kParamMasterLevelsGroupStart, "MasterLevelsGroupStart", kStrMasterLevelsGroupName, 156, kCollapsed, kHidden, 4),
  Slider(kParamMasterInputBlackLevel, "MasterInputBlackLevel", kStrMasterInputBlackLevel, 65, kSupervised, kVisible, 0.0f, 253.0f, 0.0f, 2),
  WithExponent(Slider(kParamMasterInputGrayLevel, "MasterInputGrayLevel", kStrMasterInputGrayLevel, 66, kSupervised, kVisible, 0.1f, 9.97f, 1.0f, 2), 3.5f),
  Slider(kParamMasterInputWhiteLevel, "MasterInputWhiteLevel", kStrMasterInputWhiteLevel, 67, kSupervised, kVisible, 2.0f, 255.0f, 255.0f, 2),
  Slider(kParamMasterOutputBlackLevel, "MasterOutputBlackLevel", kStrMasterOutputBlackLevel, 68, kSupervised, kVisible, 0.0f, 253.0f, 0.0f, 2),
  Slider(kParamMasterOutputWhiteLevel, "MasterOutputWhiteLevel", kStrMasterOutputWhiteLevel, 69, kSupervised, kVisible, 2.0f, 255.0f, 255.0f, 2),
  GroupEnd(kParamMasterLevelsGroupEnd, "MasterLevelsGroupEnd", 157),
};
// clang-format on

// The table's own consistency, checked when the module is built.
constexpr bool RowsAreInIndexOrder() {
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    if (kCatalogue[i].index != static_cast<std::int32_t>(i)) return false;
  }
  return true;
}
static_assert(RowsAreInIndexOrder(), "every row sits at its own index");

constexpr bool IdsAreUnique() {
  for (std::size_t i = 1; i < kCatalogue.size(); ++i) {
    for (std::size_t j = i + 1; j < kCatalogue.size(); ++j) {
      if (kCatalogue[i].id == kCatalogue[j].id) return false;
    }
  }
  return true;
}
static_assert(IdsAreUnique(), "persistent ids are unique");

constexpr bool GroupsCloseCompletely() {
  int depth = 0;
  for (const ParamSpec& row : kCatalogue) {
    if (row.type == zkfx::kParamTypeGroupStart) ++depth;
    if (row.type == zkfx::kParamTypeGroupEnd && --depth < 0) return false;
  }
  return depth == 0;
}
static_assert(GroupsCloseCompletely(), "every group start has its group end");

}  // namespace

std::span<const ParamSpec, kParamCount> ParamSpecs() { return kCatalogue; }

const ParamSpec& ParamSpecAt(std::int32_t index) {
  if (index < 0 || index >= kParamCount) {
    throw std::out_of_range("parameter index " + std::to_string(index) + " is outside 0.." +
                            std::to_string(kParamCount - 1));
  }
  return kCatalogue[static_cast<std::size_t>(index)];
}

const ParamSpec* FindParamSpec(std::string_view identifier) {
  for (const ParamSpec& row : kCatalogue) {
    if (row.identifier == identifier) return &row;
  }
  return nullptr;
}

bool IsValued(const ParamSpec& row) {
  switch (row.type) {
    case zkfx::kParamTypePopup:
    case zkfx::kParamTypeCheckBox:
    case zkfx::kParamTypeColor:
    case zkfx::kParamTypeAngle:
    case zkfx::kParamTypeFloatSlider: return true;
    default: return false;
  }
}

std::vector<std::string> PopupChoices(const ParamSpec& row) {
  std::vector<std::string> choices;
  const std::string_view text = DisplayStringEnglish(row.popup.choicesEntry);
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = text.find('|', start);
    choices.emplace_back(text.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  choices.resize(static_cast<std::size_t>(row.popup.choiceCount > 0 ? row.popup.choiceCount : 0));
  return choices;
}

std::int32_t FixedFromDegrees(double degrees) {
  const double fixed = std::round(degrees * kFixedPointDegree);
  if (!(fixed == fixed)) return 0;
  if (fixed <= -2147483648.0) return INT32_MIN;
  if (fixed >= 2147483647.0) return INT32_MAX;
  return static_cast<std::int32_t>(fixed);
}

}  // namespace threeway
