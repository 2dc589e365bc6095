// The parameter list written out a second time, by hand, independently
// of params/catalogue.cpp: what the host must see for every index. Names and texts are the English
// display texts, not entry numbers, so a wrong entry number in the module shows up as a wrong text.
#pragma once

#include <array>
#include <cstdint>

#include "entry/host_interface.h"
#include "params/catalogue.h"

namespace threeway::testing {

struct RefRow {
  int index;              // the index as a plain number
  int constant;           // the module's index constant for the row
  const char* identifier;
  int type;
  const char* name;       // English display name; null for group ends and the input layer
  int id;
  std::uint32_t flags;
  bool hidden;
  int kind;               // group kind, -1 for none
  const char* text;       // popup choice text, check box text or button text
  int choiceCount;
  int defaultChoice;
  int red, green, blue;
  float lo, hi, def;
  int precision;
};

namespace ref {
constexpr std::uint32_t C = 0x2;   // constant
constexpr std::uint32_t K = 0x20;  // collapsed
constexpr std::uint32_t S = 0x40;  // supervised
constexpr int kNone = -1;

constexpr RefRow Base(int i, int c, const char* ident, int type, const char* name, int id, std::uint32_t flags,
                      bool hidden) {
  RefRow r{};
  r.index = i; r.constant = c; r.identifier = ident; r.type = type; r.name = name; r.id = id;
  r.flags = flags; r.hidden = hidden; r.kind = kNone;
  return r;
}
constexpr RefRow Lay(int i, int c, const char* ident) { return Base(i, c, ident, 0, nullptr, 0, 0, false); }
constexpr RefRow GS(int i, int c, const char* ident, const char* name, int id, std::uint32_t flags, bool hidden,
                    int kind) {
  RefRow r = Base(i, c, ident, 13, name, id, flags, hidden);
  r.kind = kind;
  return r;
}
constexpr RefRow GE(int i, int c, const char* ident, int id) { return Base(i, c, ident, 14, nullptr, id, 0, false); }
constexpr RefRow Pop(int i, int c, const char* ident, const char* name, int id, std::uint32_t flags, int count,
                     int def, const char* choices) {
  RefRow r = Base(i, c, ident, 7, name, id, flags, false);
  r.choiceCount = count; r.defaultChoice = def; r.text = choices;
  return r;
}
constexpr RefRow CB(int i, int c, const char* ident, int id, std::uint32_t flags, const char* box) {
  RefRow r = Base(i, c, ident, 4, " ", id, flags, false);
  r.text = box;
  return r;
}
constexpr RefRow Btn(int i, int c, const char* ident, int id, std::uint32_t flags, const char* text) {
  RefRow r = Base(i, c, ident, 15, " ", id, flags, false);
  r.text = text;
  return r;
}
constexpr RefRow Col(int i, int c, const char* ident, const char* name, int id, std::uint32_t flags, bool hidden,
                     int red, int green, int blue) {
  RefRow r = Base(i, c, ident, 5, name, id, flags, hidden);
  r.red = red; r.green = green; r.blue = blue;
  return r;
}
constexpr RefRow Ang(int i, int c, const char* ident, const char* name, int id, std::uint32_t flags) {
  return Base(i, c, ident, 3, name, id, flags, false);
}
constexpr RefRow Sl(int i, int c, const char* ident, const char* name, int id, std::uint32_t flags, bool hidden,
                    float lo, float hi, float def, int precision) {
  RefRow r = Base(i, c, ident, 10, name, id, flags, hidden);
  r.lo = lo; r.hi = hi; r.def = def; r.precision = precision;
  return r;
}
}  // namespace ref

// clang-format off
inline constexpr std::array<RefRow, 107> kReferenceCatalogue = {{
  ref::Lay(0, kParamInputLayer, "InputLayer"),
  ref::Pop(1, kParamViewMode, "ViewMode", "Output", 1, ref::C, 2, 1, "Video|Luma"),
  ref::GS(2, kParamSplitViewGroupStart, "SplitViewGroupStart", "Split View", 135, ref::K, false, 0),
  ref::CB(3, kParamShowSplitView, "ShowSplitView", 2, ref::C, "Show Split View"),
  ref::Pop(4, kParamSplitViewLayout, "SplitViewLayout", "Layout", 3, 0, 2, 1, "Horizontal|Vertical"),
  ref::Sl(5, kParamSplitViewPercent, "SplitViewPercent", "Split View Percent", 4, 0, false, 0, 100, 50, 2),
  ref::GE(6, kParamSplitViewGroupEnd, "SplitViewGroupEnd", 136),
  ref::GS(7, kParamThreeWayGroupStart, "ThreeWayGroupStart", "Three-Way Hue Balance and Angle", 23, ref::K, false, 2),
  ref::CB(8, kParamThreeWayMaster, "ThreeWayMaster", 137, ref::C, "Master"),
  ref::Col(9, kParamBlackBalance, "BlackBalance", "Black Balance", 5, ref::C | ref::S, false, 0, 0, 0),
  ref::Col(10, kParamGrayBalance, "GrayBalance", "Gray Balance", 6, ref::C | ref::S, false, 128, 128, 128),
  ref::Col(11, kParamWhiteBalance, "WhiteBalance", "White Balance", 7, ref::C | ref::S, false, 255, 255, 255),
  ref::GE(12, kParamThreeWayGroupEnd, "ThreeWayGroupEnd", 36),
  ref::GS(13, kParamLevelsPickGroupStart, "LevelsPickGroupStart", " ", 61, ref::K, false, 4),
  ref::Col(14, kParamPickBlackLevel, "PickBlackLevel", "Black Level", 139, ref::C | ref::S, true, 0, 0, 0),
  ref::Col(15, kParamPickGrayLevel, "PickGrayLevel", "Gray Level", 140, ref::C | ref::S, true, 128, 128, 128),
  ref::Col(16, kParamPickWhiteLevel, "PickWhiteLevel", "White Level", 141, ref::C | ref::S, true, 255, 255, 255),
  ref::GE(17, kParamLevelsPickGroupEnd, "LevelsPickGroupEnd", 70),
  ref::GS(18, kParamTonalRangeGroupStart, "TonalRangeGroupStart", "Tonal Range Definition", 9, ref::K, false, 3),
  ref::CB(19, kParamShowTonalRange, "ShowTonalRange", 138, ref::C, "Show Tonal Range"),
  ref::Sl(20, kParamShadowThreshold, "ShadowThreshold", "Shadow Threshold", 10, ref::S, false, 0, 255, 64, 2),
  ref::Sl(21, kParamShadowSoftness, "ShadowSoftness", "Shadow Softness", 11, ref::S, false, 0, 255, 10, 2),
  ref::Sl(22, kParamHighlightThreshold, "HighlightThreshold", "Highlight Threshold", 12, ref::S, false, 0, 255, 192, 2),
  ref::Sl(23, kParamHighlightSoftness, "HighlightSoftness", "Highlight Softness", 13, ref::S, false, 0, 255, 10, 2),
  ref::GE(24, kParamTonalRangeGroupEnd, "TonalRangeGroupEnd", 14),
  ref::GS(25, kParamSaturationGroupStart, "SaturationGroupStart", "Saturation", 142, 0, false, ref::kNone),
  ref::Sl(26, kParamMasterSaturation, "MasterSaturation", "Master Saturation", 37, 0, false, 0, 200, 100, 2),
  ref::Sl(27, kParamShadowSaturation, "ShadowSaturation", "Shadow Saturation", 38, 0, false, 0, 200, 100, 2),
  ref::Sl(28, kParamMidtoneSaturation, "MidtoneSaturation", "Midtone Saturation", 39, 0, false, 0, 200, 100, 2),
  ref::Sl(29, kParamHighlightSaturation, "HighlightSaturation", "Highlight Saturation", 40, 0, false, 0, 200, 100, 2),
  ref::GE(30, kParamSaturationGroupEnd, "SaturationGroupEnd", 143),
  ref::GS(31, kParamSecondaryGroupStart, "SecondaryGroupStart", "Secondary Color Correction", 101, 0, false, ref::kNone),
  ref::GS(32, kParamSecondaryInnerGroupStart, "SecondaryInnerGroupStart", " ", 102, ref::K, false, 20),
  ref::CB(33, kParamShowMask, "ShowMask", 144, ref::C, "Show Mask"),
  ref::GS(34, kParamCenterGroupStart, "CenterGroupStart", "Center", 103, ref::K, false, 16),
  ref::GE(35, kParamCenterGroupEnd, "CenterGroupEnd", 104),
  ref::GS(36, kParamHueRangeGroupStart, "HueRangeGroupStart", "Hue", 105, 0, false, ref::kNone),
  ref::GS(37, kParamHueRangeInnerGroupStart, "HueRangeInnerGroupStart", "Hue", 106, ref::K, false, 17),
  ref::Sl(38, kParamHueOffset, "HueOffset", " ", 107, ref::C, true, 0, 1, 0.5f, 5),
  ref::Sl(39, kParamHueStartThreshold, "HueStartThreshold", "Start Threshold", 108, ref::C, false, 0, 100, 0, 2),
  ref::Sl(40, kParamHueStartSoftness, "HueStartSoftness", "Start Softness", 109, 0, false, 0, 100, 0, 2),
  ref::Sl(41, kParamHueEndThreshold, "HueEndThreshold", "End Threshold", 110, ref::C, false, 0, 100, 100, 2),
  ref::Sl(42, kParamHueEndSoftness, "HueEndSoftness", "End Softness", 111, 0, false, 0, 100, 0, 2),
  ref::GE(43, kParamHueRangeInnerGroupEnd, "HueRangeInnerGroupEnd", 112),
  ref::GE(44, kParamHueRangeGroupEnd, "HueRangeGroupEnd", 113),
  ref::GS(45, kParamSatRangeGroupStart, "SatRangeGroupStart", "Saturation", 114, 0, false, ref::kNone),
  ref::GS(46, kParamSatRangeInnerGroupStart, "SatRangeInnerGroupStart", "Saturation", 115, ref::K, false, 18),
  ref::Sl(47, kParamSatStartThreshold, "SatStartThreshold", "Start Threshold", 116, 0, false, 0, 100, 0, 2),
  ref::Sl(48, kParamSatStartSoftness, "SatStartSoftness", "Start Softness", 117, 0, false, 0, 100, 0, 2),
  ref::Sl(49, kParamSatEndThreshold, "SatEndThreshold", "End Threshold", 118, 0, false, 0, 100, 100, 2),
  ref::Sl(50, kParamSatEndSoftness, "SatEndSoftness", "End Softness", 119, 0, false, 0, 100, 0, 2),
  ref::GE(51, kParamSatRangeInnerGroupEnd, "SatRangeInnerGroupEnd", 120),
  ref::GE(52, kParamSatRangeGroupEnd, "SatRangeGroupEnd", 121),
  ref::GS(53, kParamLumaRangeGroupStart, "LumaRangeGroupStart", "Luma", 122, 0, false, ref::kNone),
  ref::GS(54, kParamLumaRangeInnerGroupStart, "LumaRangeInnerGroupStart", "Luma", 123, ref::K, false, 19),
  ref::Sl(55, kParamLumaStartThreshold, "LumaStartThreshold", "Start Threshold", 124, 0, false, 0, 100, 0, 2),
  ref::Sl(56, kParamLumaStartSoftness, "LumaStartSoftness", "Start Softness", 125, 0, false, 0, 100, 0, 2),
  ref::Sl(57, kParamLumaEndThreshold, "LumaEndThreshold", "End Threshold", 126, 0, false, 0, 100, 100, 2),
  ref::Sl(58, kParamLumaEndSoftness, "LumaEndSoftness", "End Softness", 127, 0, false, 0, 100, 0, 2),
  ref::GE(59, kParamLumaRangeInnerGroupEnd, "LumaRangeInnerGroupEnd", 128),
  ref::GE(60, kParamLumaRangeGroupEnd, "LumaRangeGroupEnd", 129),
  ref::Sl(61, kParamSoften, "Soften", "Soften", 130, 0, false, 0, 50, 0, 2),
  ref::Sl(62, kParamEdgeThinning, "EdgeThinning", "Edge Thinning", 131, 0, false, -100, 100, 0, 2),
  ref::Pop(63, kParamInvert, "Invert", "Invert", 145, ref::C, 3, 1, "None|Invert Limit Color|Invert Mask"),
  ref::GE(64, kParamSecondaryInnerGroupEnd, "SecondaryInnerGroupEnd", 133),
  ref::GE(65, kParamSecondaryGroupEnd, "SecondaryGroupEnd", 134),
  ref::GS(66, kParamAutoLevelsGroupStart, "AutoLevelsGroupStart", "Auto Levels", 146, 0, false, ref::kNone),
  ref::GS(67, kParamAutoButtonsGroupStart, "AutoButtonsGroupStart", " ", 41, 0, false, 14),
  ref::Btn(68, kParamAutoBlackLevel, "AutoBlackLevel", 42, ref::C, "Auto Black Level"),
  ref::Btn(69, kParamAutoContrast, "AutoContrast", 43, ref::C, "Auto Contrast"),
  ref::Btn(70, kParamAutoWhiteLevel, "AutoWhiteLevel", 44, ref::C, "Auto White Level"),
  ref::GE(71, kParamAutoButtonsGroupEnd, "AutoButtonsGroupEnd", 45),
  ref::Col(72, kParamBlackLevel, "BlackLevel", "Black Level", 62, ref::C | ref::S, false, 0, 0, 0),
  ref::Col(73, kParamGrayLevel, "GrayLevel", "Gray Level", 63, ref::C | ref::S, false, 128, 128, 128),
  ref::Col(74, kParamWhiteLevel, "WhiteLevel", "White Level", 64, ref::C | ref::S, false, 255, 255, 255),
  ref::GE(75, kParamAutoLevelsGroupEnd, "AutoLevelsGroupEnd", 147),
  ref::GS(76, kParamShadowsGroupStart, "ShadowsGroupStart", "Shadows", 148, ref::K, true, 2),
  ref::Ang(77, kParamShadowHueAngle, "ShadowHueAngle", "Shadow Hue Angle", 24, ref::S),
  ref::Sl(78, kParamShadowBalanceMagnitude, "ShadowBalanceMagnitude", "Shadow Balance Magnitude", 25, ref::S, false, 0, 100, 0, 2),
  ref::Sl(79, kParamShadowBalanceGain, "ShadowBalanceGain", "Shadow Balance Gain", 26, ref::S, false, 1, 100, 20, 2),
  ref::Ang(80, kParamShadowBalanceAngle, "ShadowBalanceAngle", "Shadow Balance Angle", 27, ref::S),
  ref::GE(81, kParamShadowsGroupEnd, "ShadowsGroupEnd", 149),
  ref::GS(82, kParamMidtonesGroupStart, "MidtonesGroupStart", "Midtones", 150, ref::K, true, 2),
  ref::Ang(83, kParamMidtoneHueAngle, "MidtoneHueAngle", "Midtone Hue Angle", 28, ref::S),
  ref::Sl(84, kParamMidtoneBalanceMagnitude, "MidtoneBalanceMagnitude", "Midtone Balance Magnitude", 29, ref::S, false, 0, 100, 0, 2),
  ref::Sl(85, kParamMidtoneBalanceGain, "MidtoneBalanceGain", "Midtone Balance Gain", 30, ref::S, false, 1, 100, 20, 2),
  ref::Ang(86, kParamMidtoneBalanceAngle, "MidtoneBalanceAngle", "Midtone Balance Angle", 31, ref::S),
  ref::GE(87, kParamMidtonesGroupEnd, "MidtonesGroupEnd", 151),
  ref::GS(88, kParamHighlightsGroupStart, "HighlightsGroupStart", "Highlights", 152, ref::K, true, 2),
  ref::Ang(89, kParamHighlightHueAngle, "HighlightHueAngle", "Highlight Hue Angle", 32, ref::S),
  ref::Sl(90, kParamHighlightBalanceMagnitude, "HighlightBalanceMagnitude", "Highlight Balance Magnitude", 33, ref::S, false, 0, 100, 0, 2),
  ref::Sl(91, kParamHighlightBalanceGain, "HighlightBalanceGain", "Highlight Balance Gain", 34, ref::S, false, 1, 100, 20, 2),
  ref::Ang(92, kParamHighlightBalanceAngle, "HighlightBalanceAngle", "Highlight Balance Angle", 35, ref::S),
  ref::GE(93, kParamHighlightsGroupEnd, "HighlightsGroupEnd", 153),
  ref::GS(94, kParamMasterGroupStart, "MasterGroupStart", "Master", 154, ref::K, true, 2),
  ref::Ang(95, kParamMasterHueAngle, "MasterHueAngle", "Master Hue Angle", 18, ref::S),
  ref::Sl(96, kParamMasterBalanceMagnitude, "MasterBalanceMagnitude", "Master Balance Magnitude", 19, ref::S, false, 0, 100, 0, 2),
  ref::Sl(97, kParamMasterBalanceGain, "MasterBalanceGain", "Master Balance Gain", 20, ref::S, false, 1, 100, 20, 2),
  ref::Ang(98, kParamMasterBalanceAngle, "MasterBalanceAngle", "Master Balance Angle", 21, ref::S),
  ref::GE(99, kParamMasterGroupEnd, "MasterGroupEnd", 155),
  ref::GS(100, kParamMasterLevelsGroupStart, "MasterLevelsGroupStart", "Master Levels", 156, ref::K, true, 4),
  ref::Sl(101, kParamMasterInputBlackLevel, "MasterInputBlackLevel", "Master Input Black Level", 65, ref::S, false, 0, 253, 0, 2),
  ref::Sl(102, kParamMasterInputGrayLevel, "MasterInputGrayLevel", "Master Input Gray Level", 66, ref::S, false, 0.1f, 9.97f, 1, 2),
  ref::Sl(103, kParamMasterInputWhiteLevel, "MasterInputWhiteLevel", "Master Input White Level", 67, ref::S, false, 2, 255, 255, 2),
  ref::Sl(104, kParamMasterOutputBlackLevel, "MasterOutputBlackLevel", "Master Output Black Level", 68, ref::S, false, 0, 253, 0, 2),
  ref::Sl(105, kParamMasterOutputWhiteLevel, "MasterOutputWhiteLevel", "Master Output White Level", 69, ref::S, false, 2, 255, 255, 2),
  ref::GE(106, kParamMasterLevelsGroupEnd, "MasterLevelsGroupEnd", 157),
}};
// clang-format on

}  // namespace threeway::testing
