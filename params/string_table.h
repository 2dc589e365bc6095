// The display string table: every text the effect shows in the host's control panel.
//
// The code never holds a display text itself, only an entry number; the host answers a lookup by
// entry number with the text for the user's language (by default the English text carried here).
// Each entry is "$$$/Lumvane/ZKFilters/ColorThreeWay/<key>=<English text>". Entry numbers are the
// position in the table and are part of the host contract: new texts may only be appended.
#pragma once

#include <cstdint>
#include <string_view>

#include "entry/host_interface.h"

namespace threeway {

// Entries 1 to 100, in table order: X(key, English text). Entry 0 (key "0000") is written out
// by hand because its key is not an identifier.
// clang-format off
#define THREEWAY_DISPLAY_STRINGS(X)                                                \
  X(kStrAutoWhiteBalance, "Auto White Balance")                                    \
  X(kStrMasterHueBalanceAndAngle, "Master Hue Balance and Angle")                  \
  X(kStrMasterBalanceAngle, "Master Balance Angle")                                \
  X(kStrMasterBalanceMagnitude, "Master Balance Magnitude")                        \
  X(kStrMasterBalanceMagnitudeGain, "Master Balance Gain")                         \
  X(kStrMasterHueAngle, "Master Hue Angle")                                        \
  X(kStrThreeWayHueBalanceAndAngle, "Three-Way Hue Balance and Angle")             \
  X(kStrShadowHueBalanceAndAngle, "Shadow Hue Balance and Angle")                  \
  X(kStrShadowBalanceAngle, "Shadow Balance Angle")                                \
  X(kStrShadowBalanceMagnitude, "Shadow Balance Magnitude")                        \
  X(kStrShadowBalanceMagnitudeGain, "Shadow Balance Gain")                         \
  X(kStrShadowHueAngle, "Shadow Hue Angle")                                        \
  X(kStrMidtoneHueBalanceAndAngle, "Midtone Hue Balance and Angle")                \
  X(kStrMidtoneBalanceAngle, "Midtone Balance Angle")                              \
  X(kStrMidtoneBalanceMagnitude, "Midtone Balance Magnitude")                      \
  X(kStrMidtoneBalanceMagnitudeGain, "Midtone Balance Gain")                       \
  X(kStrMidtoneHueAngle, "Midtone Hue Angle")                                      \
  X(kStrHighlightHueBalanceAndAngle, "Highlight Hue Balance and Angle")            \
  X(kStrHighlightBalanceAngle, "Highlight Balance Angle")                          \
  X(kStrHighlightBalanceMagnitude, "Highlight Balance Magnitude")                  \
  X(kStrHighlightBalanceMagnitudeGain, "Highlight Balance Gain")                   \
  X(kStrHighlightHueAngle, "Highlight Hue Angle")                                  \
  X(kStrBlackBalance, "Black Balance")                                             \
  X(kStrGrayBalance, "Gray Balance")                                               \
  X(kStrWhiteBalance, "White Balance")                                             \
  X(kStrSaturationGroupName, "Saturation")                                         \
  X(kStrMasterSaturation, "Master Saturation")                                     \
  X(kStrShadowSaturation, "Shadow Saturation")                                     \
  X(kStrMidtoneSaturation, "Midtone Saturation")                                   \
  X(kStrHighlightSaturation, "Highlight Saturation")                               \
  X(kStrAutoWhiteLevel, "Auto White Level")                                        \
  X(kStrAutoContrast, "Auto Contrast")                                             \
  X(kStrAutoBlackLevel, "Auto Black Level")                                        \
  X(kStrBlackLevels, "Black Level")                                                \
  X(kStrGrayLevels, "Gray Level")                                                  \
  X(kStrWhiteLevels, "White Level")                                                \
  X(kStrMasterLevelsGroupName, "Master Levels")                                    \
  X(kStrMasterInputBlackLevel, "Master Input Black Level")                         \
  X(kStrMasterInputGrayLevel, "Master Input Gray Level")                           \
  X(kStrMasterInputWhiteLevel, "Master Input White Level")                         \
  X(kStrMasterOutputBlackLevel, "Master Output Black Level")                       \
  X(kStrMasterOutputWhiteLevel, "Master Output White Level")                       \
  X(kStrShadowLevelsGroupName, "Shadow Levels")                                    \
  X(kStrShadowInputBlackLevel, "Shadow Input Black Level")                         \
  X(kStrShadowInputGrayLevel, "Shadow Input Gray Level")                           \
  X(kStrShadowInputWhiteLevel, "Shadow Input White Level")                         \
  X(kStrShadowOutputBlackLevel, "Shadow Output Black Level")                       \
  X(kStrShadowOutputWhiteLevel, "Shadow Output White Level")                       \
  X(kStrMidtoneLevelsGroupName, "Midtone Levels")                                  \
  X(kStrMidtoneInputBlackLevel, "Midtone Input Black Level")                       \
  X(kStrMidtoneInputGrayLevel, "Midtone Input Gray Level")                         \
  X(kStrMidtoneInputWhiteLevel, "Midtone Input White Level")                       \
  X(kStrMidtoneOutputBlackLevel, "Midtone Output Black Level")                     \
  X(kStrMidtoneOutputWhiteLevel, "Midtone Output White Level")                     \
  X(kStrHighlightLevelsGroupName, "Highlight Levels")                              \
  X(kStrHighlightInputBlackLevel, "Highlight Input Black Level")                   \
  X(kStrHighlightInputGrayLevel, "Highlight Input Gray Level")                     \
  X(kStrHighlightInputWhiteLevel, "Highlight Input White Level")                   \
  X(kStrHighlightOutputBlackLevel, "Highlight Output Black Level")                 \
  X(kStrHighlightOutputWhiteLevel, "Highlight Output White Level")                 \
  X(kStrTonalRange, "Tonal Range")                                                 \
  X(kStrTonalRangeDefinition, "Tonal Range Definition")                            \
  X(kStrTonalRangeChoices, "Master|Shadows|Midtones|Highlights")                   \
  X(kStrShadows, "Shadows")                                                        \
  X(kStrMidtones, "Midtones")                                                      \
  X(kStrHighlights, "Highlights")                                                  \
  X(kStrShowTonalRange, "Show Tonal Range")                                        \
  X(kStrShadowThreshold, "Shadow Threshold")                                       \
  X(kStrShadowThresholdSoft, "Shadow Softness")                                    \
  X(kStrHighlightThreshold, "Highlight Threshold")                                 \
  X(kStrHighlightThresholdSoft, "Highlight Softness")                              \
  X(kStrSplitView, "Split View")                                                   \
  X(kStrShowSplitView, "Show Split View")                                          \
  X(kStrSplitViewLayout, "Layout")                                                 \
  X(kStrSplitViewLayoutChoices, "Horizontal|Vertical")                             \
  X(kStrSplitViewPercent, "Split View Percent")                                    \
  X(kStrLimit, "Limit")                                                            \
  X(kStrUseColorRange, "Limit Color Range")                                        \
  X(kStrSecondaryColorCorrection, "Secondary Color Correction")                    \
  X(kShowMask, "Show Mask")                                                        \
  X(kStrCenter, "Center")                                                          \
  X(kStrHue, "Hue")                                                                \
  X(kStrSaturation, "Saturation")                                                  \
  X(kStrLuma, "Luma")                                                              \
  X(kStrStartThreshold, "Start Threshold")                                         \
  X(kStrStartSoftness, "Start Softness")                                           \
  X(kStrEndThreshold, "End Threshold")                                             \
  X(kStrEndSoftness, "End Softness")                                               \
  X(kStrInvert, "Invert")                                                          \
  X(kStrInvertChoices, "None|Invert Limit Color|Invert Mask")                      \
  X(kStrSoften, "Soften")                                                          \
  X(kStrEdgeThinning, "Edge Thinning")                                             \
  X(kStrViewMode, "Output")                                                        \
  X(kStrViewModeChoices, "Video|Luma")                                             \
  X(kStrSpaceLabelText, " ")                                                       \
  X(kStrAutoLevelsGroupName, "Auto Levels")                                        \
  X(kStrShadowsGroupName, "Shadows")                                               \
  X(kStrMidtonesGroupName, "Midtones")                                             \
  X(kStrHighlightsGroupName, "Highlights")                                         \
  X(kStrMasterGroupName, "Master")
// clang-format on

// Entry numbers: the lookup key the code passes to the host.
#define THREEWAY_DISPLAY_STRING_ENUM(key, text) key,
enum StringEntry : std::int32_t {
  kStr0000 = 0,  // the effect's description; used by no parameter
  THREEWAY_DISPLAY_STRINGS(THREEWAY_DISPLAY_STRING_ENUM)
  kStrEntryCount  // 101 texts
};
#undef THREEWAY_DISPLAY_STRING_ENUM

static_assert(kStrEntryCount == 101);
static_assert(kStrSplitViewLayout == 74 && kShowMask == 80 && kStrViewMode == 93 &&
              kStrSpaceLabelText == 95 && kStrMasterGroupName == 100);

// The path every entry's text starts with.
inline constexpr std::string_view kDisplayStringPrefix = "$$$/Lumvane/ZKFilters/ColorThreeWay/";
// Entries in the registered table: the 101 texts and the terminating entry.
inline constexpr std::uint64_t kDisplayStringTableCount = 102;

// The word holding the descriptor's address. Global set-up copies it into its token slot before
// registering the table with the host.
zkfx::DisplayStringTable* const* DisplayStringTableWord();
// The descriptor itself (the value of that word).
zkfx::DisplayStringTable* DisplayStringTableDescriptor();

// The key of an entry ("0000", "kStrViewMode", "kShowMask"), or an empty view outside 0..100.
std::string_view DisplayStringKey(std::int32_t entry);
// The English text of an entry (everything after the first "="), or an empty view outside 0..100.
// Entry 95 is a single blank, not empty.
std::string_view DisplayStringEnglish(std::int32_t entry);

}  // namespace threeway
