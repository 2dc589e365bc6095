#include "params/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "params/string_table.h"
#include "tests/params/reference_catalogue.h"

namespace threeway {
namespace {

using testing::kReferenceCatalogue;
using testing::RefRow;

std::string EnglishOf(std::int32_t entry) { return std::string(DisplayStringEnglish(entry)); }

TEST(ParamCatalogue, EveryRowMatchesTheReference) {
  ASSERT_EQ(ParamSpecs().size(), 107u);
  for (std::size_t position = 0; position < kReferenceCatalogue.size(); ++position) {
    const RefRow& ref = kReferenceCatalogue[position];
    SCOPED_TRACE(ref.identifier);
    ASSERT_EQ(ref.index, static_cast<int>(position)) << "reference transcription out of order";
    EXPECT_EQ(ref.constant, ref.index) << "index constant";
    const ParamSpec& row = ParamSpecAt(ref.index);
    EXPECT_EQ(row.index, ref.index);
    EXPECT_EQ(row.identifier, ref.identifier);
    EXPECT_EQ(row.type, ref.type);
    EXPECT_EQ(row.id, ref.id);
    EXPECT_EQ(row.flags, ref.flags);
    EXPECT_EQ(row.uiFlags, ref.hidden ? zkfx::kParamUIHidden : 0u);
    EXPECT_EQ(row.groupKind, ref.type == zkfx::kParamTypeGroupStart ? ref.kind : kNoGroupKind);
    if (ref.name == nullptr) {
      EXPECT_EQ(row.nameEntry, kNoText);
    } else {
      EXPECT_EQ(EnglishOf(row.nameEntry), ref.name);
    }
    switch (ref.type) {
      case zkfx::kParamTypePopup:
        EXPECT_EQ(row.popup.choiceCount, ref.choiceCount);
        EXPECT_EQ(row.popup.defaultChoice, ref.defaultChoice);
        EXPECT_EQ(EnglishOf(row.popup.choicesEntry), ref.text);
        break;
      case zkfx::kParamTypeCheckBox:
      case zkfx::kParamTypeButton:
        EXPECT_EQ(row.nameEntry, kStrSpaceLabelText);
        EXPECT_EQ(EnglishOf(row.textEntry), ref.text);
        break;
      case zkfx::kParamTypeColor:
        EXPECT_EQ(row.color.red, ref.red);
        EXPECT_EQ(row.color.green, ref.green);
        EXPECT_EQ(row.color.blue, ref.blue);
        break;
      case zkfx::kParamTypeFloatSlider:
        EXPECT_EQ(row.slider.minimum, ref.lo);
        EXPECT_EQ(row.slider.maximum, ref.hi);
        EXPECT_EQ(row.slider.defaultValue, ref.def);
        EXPECT_EQ(row.slider.precision, ref.precision);
        EXPECT_GE(row.slider.defaultValue, row.slider.minimum);
        EXPECT_LE(row.slider.defaultValue, row.slider.maximum);
        break;
      default:
        break;
    }
  }
}

TEST(ParamCatalogue, SliderSpecialCases) {
  for (const ParamSpec& row : ParamSpecs()) {
    if (row.type != zkfx::kParamTypeFloatSlider) continue;
    SCOPED_TRACE(std::string(row.identifier));
    const bool percent = row.index == kParamSplitViewPercent;
    const bool gray = row.index == kParamMasterInputGrayLevel;
    EXPECT_EQ(row.slider.displayFlags, percent ? 1 : 0);
    EXPECT_EQ(row.slider.sliderFlags, percent ? 1u : 0u);
    EXPECT_EQ(row.slider.useExponent, gray ? 1 : 0);
    EXPECT_EQ(row.slider.exponent, gray ? 3.5f : 1.0f);
  }
  EXPECT_EQ(ParamSpecAt(kParamMasterInputGrayLevel).slider.minimum, 0.1f);
  EXPECT_EQ(ParamSpecAt(kParamMasterInputGrayLevel).slider.maximum, 9.97f);
}

TEST(ParamCatalogue, PersistentIdsAreUniqueAndSkipTheUnusedOnes) {
  std::set<int> ids;
  for (const ParamSpec& row : ParamSpecs().subspan(1)) {
    EXPECT_TRUE(ids.insert(row.id).second) << "duplicate id " << row.id;
  }
  EXPECT_EQ(ids.size(), 106u);
  std::set<int> unused = {8, 15, 16, 17, 22, 132};
  for (int id = 46; id <= 60; ++id) unused.insert(id);
  for (int id = 71; id <= 100; ++id) unused.insert(id);
  for (int id : unused) EXPECT_EQ(ids.count(id), 0u) << id;
  // Together the used and unused ids cover 1..157 exactly.
  EXPECT_EQ(ids.size() + unused.size(), 157u);
  EXPECT_EQ(*ids.begin(), 1);
  EXPECT_EQ(*ids.rbegin(), 157);
}

TEST(ParamCatalogue, LookupByIdentifier) {
  for (const ParamSpec& row : ParamSpecs()) {
    const ParamSpec* found = FindParamSpec(row.identifier);
    ASSERT_NE(found, nullptr) << row.identifier;
    EXPECT_EQ(found, &row);
  }
  EXPECT_EQ(FindParamSpec("MasterSaturation")->index, kParamMasterSaturation);
  for (const char* missing : {"", "kParamMasterSaturation", "mastersaturation", "MasterSaturation ", "Nope"}) {
    EXPECT_EQ(FindParamSpec(missing), nullptr) << missing;
  }
}

TEST(ParamCatalogue, IndexOutsideTheCatalogueIsRefused) {
  EXPECT_THROW(ParamSpecAt(-1), std::out_of_range);
  EXPECT_THROW(ParamSpecAt(kParamCount), std::out_of_range);
  EXPECT_NO_THROW(ParamSpecAt(0));
  EXPECT_NO_THROW(ParamSpecAt(kParamCount - 1));
}

}  // namespace
}  // namespace threeway
