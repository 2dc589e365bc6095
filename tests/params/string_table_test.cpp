#include "params/string_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace threeway {
namespace {

constexpr const char* kPath = "$$$/Lumvane/ZKFilters/ColorThreeWay/";

TEST(DisplayStringTable, DescriptorAndWord) {
  zkfx::DisplayStringTable* const* word = DisplayStringTableWord();
  ASSERT_NE(word, nullptr);
  const zkfx::DisplayStringTable* table = *word;
  ASSERT_EQ(table, DisplayStringTableDescriptor());
  EXPECT_STREQ(table->name, "FX");
  EXPECT_EQ(table->count, 102u);
  ASSERT_NE(table->entries, nullptr);
  // The descriptor and the table keep their addresses: asking again yields the same ones.
  EXPECT_EQ(DisplayStringTableWord(), word);
  EXPECT_EQ(DisplayStringTableDescriptor()->entries, table->entries);
}

TEST(DisplayStringTable, EntriesAndTerminator) {
  const zkfx::DisplayString* entries = DisplayStringTableDescriptor()->entries;
  for (int i = 0; i < 101; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(entries[i].text, nullptr);
    EXPECT_EQ(std::strncmp(entries[i].text, kPath, std::strlen(kPath)), 0);
    EXPECT_NE(std::strchr(entries[i].text, '='), nullptr);
    EXPECT_EQ(entries[i].reserved[0], 0u);
    EXPECT_EQ(entries[i].reserved[1], 0u);
    EXPECT_EQ(entries[i].reserved[2], 0u);
    // Only entry 0 carries a line break.
    EXPECT_EQ(std::strstr(entries[i].text, "^n") != nullptr, i == 0);
  }
  const zkfx::DisplayString& last = entries[101];
  EXPECT_EQ(last.text, nullptr);
  EXPECT_EQ(last.reserved[0], 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(last.reserved[1], 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(last.reserved[2], 0u);
}

TEST(DisplayStringTable, KeysAndTexts) {
  struct Case {
    int entry;
    const char* key;
    const char* english;
  };
  const Case cases[] = {
      {1, "kStrAutoWhiteBalance", "Auto White Balance"},
      {2, "kStrMasterHueBalanceAndAngle", "Master Hue Balance and Angle"},
      {3, "kStrMasterBalanceAngle", "Master Balance Angle"},
      {5, "kStrMasterBalanceMagnitudeGain", "Master Balance Gain"},
      {7, "kStrThreeWayHueBalanceAndAngle", "Three-Way Hue Balance and Angle"},
      {9, "kStrShadowBalanceAngle", "Shadow Balance Angle"},
      {11, "kStrShadowBalanceMagnitudeGain", "Shadow Balance Gain"},
      {16, "kStrMidtoneBalanceMagnitudeGain", "Midtone Balance Gain"},
      {21, "kStrHighlightBalanceMagnitudeGain", "Highlight Balance Gain"},
      {22, "kStrHighlightHueAngle", "Highlight Hue Angle"},
      {26, "kStrSaturationGroupName", "Saturation"},
      {31, "kStrAutoWhiteLevel", "Auto White Level"},
      {33, "kStrAutoBlackLevel", "Auto Black Level"},
      {34, "kStrBlackLevels", "Black Level"},
      {35, "kStrGrayLevels", "Gray Level"},
      {36, "kStrWhiteLevels", "White Level"},
      {42, "kStrMasterOutputWhiteLevel", "Master Output White Level"},
      {43, "kStrShadowLevelsGroupName", "Shadow Levels"},
      {60, "kStrHighlightOutputWhiteLevel", "Highlight Output White Level"},
      {61, "kStrTonalRange", "Tonal Range"},
      {63, "kStrTonalRangeChoices", "Master|Shadows|Midtones|Highlights"},
      {64, "kStrShadows", "Shadows"},
      {66, "kStrHighlights", "Highlights"},
      {71, "kStrHighlightThresholdSoft", "Highlight Softness"},
      {74, "kStrSplitViewLayout", "Layout"},
      {75, "kStrSplitViewLayoutChoices", "Horizontal|Vertical"},
      {78, "kStrUseColorRange", "Limit Color Range"},
      {79, "kStrSecondaryColorCorrection", "Secondary Color Correction"},
      {80, "kShowMask", "Show Mask"},
      {83, "kStrSaturation", "Saturation"},
      {88, "kStrEndSoftness", "End Softness"},
      {90, "kStrInvertChoices", "None|Invert Limit Color|Invert Mask"},
      {92, "kStrEdgeThinning", "Edge Thinning"},
      {93, "kStrViewMode", "Output"},
      {94, "kStrViewModeChoices", "Video|Luma"},
      {95, "kStrSpaceLabelText", " "},
      {96, "kStrAutoLevelsGroupName", "Auto Levels"},
      {97, "kStrShadowsGroupName", "Shadows"},
      {99, "kStrHighlightsGroupName", "Highlights"},
      {100, "kStrMasterGroupName", "Master"},
  };
  const zkfx::DisplayString* entries = DisplayStringTableDescriptor()->entries;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(DisplayStringKey(c.entry), c.key);
    EXPECT_EQ(DisplayStringEnglish(c.entry), c.english);
    EXPECT_EQ(std::string(entries[c.entry].text), std::string(kPath) + c.key + "=" + c.english);
  }
}

TEST(DisplayStringTable, EntryNumberConstants) {
  // The constants are the lookup keys: each names the entry whose key it spells.
  const std::pair<int, const char*> constants[] = {
      {kStr0000, "0000"},
      {kStrMasterBalanceAngle, "kStrMasterBalanceAngle"},
      {kStrThreeWayHueBalanceAndAngle, "kStrThreeWayHueBalanceAndAngle"},
      {kStrTonalRangeDefinition, "kStrTonalRangeDefinition"},
      {kStrSplitViewLayout, "kStrSplitViewLayout"},
      {kShowMask, "kShowMask"},
      {kStrViewModeChoices, "kStrViewModeChoices"},
      {kStrSpaceLabelText, "kStrSpaceLabelText"},
      {kStrMasterGroupName, "kStrMasterGroupName"},
  };
  for (const auto& [entry, key] : constants) EXPECT_EQ(DisplayStringKey(entry), key);
  EXPECT_EQ(kStr0000, 0);
  EXPECT_EQ(kShowMask, 80);
  EXPECT_EQ(kStrSpaceLabelText, 95);
  EXPECT_EQ(kStrMasterGroupName, 100);
}

TEST(DisplayStringTable, FirstEntryForm) {
  const std::string_view text = DisplayStringEnglish(kStr0000);
  EXPECT_EQ(DisplayStringKey(kStr0000), "0000");
  ASSERT_EQ(text.rfind("ColorThreeWay...^n", 0), 0u) << text;
  EXPECT_GT(text.size(), std::strlen("ColorThreeWay...^n") + 10) << "a real second line follows";
}

TEST(DisplayStringTable, EntriesOutsideTheTableHaveNoText) {
  for (int entry : {-1, 101, 102, 1000}) {
    EXPECT_TRUE(DisplayStringKey(entry).empty()) << entry;
    EXPECT_TRUE(DisplayStringEnglish(entry).empty()) << entry;
  }
}

}  // namespace
}  // namespace threeway
