// Colour picks, auto levels and the control-panel refresh. Expected values were worked out from
// the documented formulas in double precision with single-precision rounding where they round.
#include <gtest/gtest.h>

#include <cmath>

#include "entry/dispatch.h"
#include "entry/param_change.h"
#include "fake_host.h"
#include "params/catalogue.h"

namespace {

using namespace threeway;

constexpr std::int32_t Fixed(double degrees) { return static_cast<std::int32_t>(degrees * 65536.0); }

TEST(BalancePick, DocumentedColours) {
  struct Row {
    std::uint8_t r, g, b;
    std::int32_t angle;  // 16.16 degrees
    double magnitude;
  };
  const Row rows[] = {
      {255, 0, 0, 4659724, 117.32433319091797},   // cb -38, cr 111: theta 108.898 degrees
      {0, 255, 0, 20223452, 120.25389862060547},  // cb -75, cr -94
      {0, 0, 255, 12433048, 112.61438751220703},  // cb 111, cr -19
      {37, 200, 90, 19093052, 68.70953369140625},
  };
  for (const Row& row : rows) {
    const BalancePick p = BalanceFromPickedColor(row.r, row.g, row.b, 0, 0.0);
    EXPECT_TRUE(p.changes);
    // The last bit of atan2f may differ between libraries: one unit of 16.16 either way.
    EXPECT_NEAR(p.angle, row.angle, 1) << int(row.r) << "," << int(row.g) << "," << int(row.b);
    EXPECT_NEAR(p.magnitude, row.magnitude, 1e-4);
  }
}

TEST(BalancePick, NeutralGreyOnNeutralBalanceChangesNothing) {
  for (int grey : {0, 128, 255}) {
    const auto g = static_cast<std::uint8_t>(grey);
    EXPECT_FALSE(BalanceFromPickedColor(g, g, g, 0, 0.0).changes) << grey;
    // With a balance already set, a neutral pick resets the magnitude and points the angle at 180.
    const BalancePick p = BalanceFromPickedColor(g, g, g, 0, 12.5);
    EXPECT_TRUE(p.changes);
    EXPECT_EQ(p.angle, 180 * 65536);
    EXPECT_EQ(p.magnitude, 0.0);
    EXPECT_TRUE(BalanceFromPickedColor(g, g, g, Fixed(10), 0.0).changes);
  }
}

TEST(LevelPick, LumaTruncatesTheSinglePrecisionSum) {
  const struct { int grey, luma; } rows[] = {{0, 0}, {37, 36}, {128, 128}, {253, 252}, {255, 255}};
  for (auto row : rows) {
    const auto g = static_cast<std::uint8_t>(row.grey);
    EXPECT_EQ(LumaOfPickedColor(g, g, g), row.luma) << row.grey;
  }
  EXPECT_EQ(LumaOfPickedColor(255, 0, 0), 76);  // 0.299 * 255 = 76.245
}

TEST(LevelPick, GammaFromPickedGrey) {
  EXPECT_NEAR(GammaFromPickedColor(128, 128, 128, 0, 255), 1.0056786829881315, 1e-6);
  EXPECT_NEAR(GammaFromPickedColor(64, 64, 64, 0, 255), 0.501415672158639, 1e-6);
  EXPECT_EQ(GammaFromPickedColor(255, 255, 255, 0, 255), 0.10000000149011612);  // x = 1
  EXPECT_EQ(GammaFromPickedColor(0, 0, 0, 0, 255), 0.10000000149011612);        // x = 0
  EXPECT_EQ(GammaFromPickedColor(10, 10, 10, 20, 255), 0.10000000149011612);    // below black
  // Luma, black and white all equal: 0 / 0, the neutral gamma.
  EXPECT_EQ(GammaFromPickedColor(100, 100, 100, 100, 100), 1.0);
  // Levels are read truncated to their low 8 bits: 300.7 reads as 44, so x = 128/44 clamps to 1.
  EXPECT_EQ(GammaFromPickedColor(128, 128, 128, 0, 300.7), 0.10000000149011612);
  EXPECT_EQ(GammaFromPickedColor(128, 128, 128, std::nan(""), 255.0),
            GammaFromPickedColor(128, 128, 128, 0.0, 255.0));
}

TEST(AutoLevels, BinsFromTheNormalisedHistogram) {
  zkfx::LumaHistogram h{};
  EXPECT_EQ(AutoBlackLevel(&h), 0);
  EXPECT_EQ(AutoWhiteLevel(&h), 255);
  EXPECT_EQ(AutoBlackLevel(nullptr), 0);
  EXPECT_EQ(AutoWhiteLevel(nullptr), 255);
  h.normalized[254] = 1.0f;
  EXPECT_EQ(AutoBlackLevel(&h), 254);
  EXPECT_EQ(AutoWhiteLevel(&h), 254);
  h.normalized[3] = 0.005f;  // not above the threshold
  h.normalized[200] = 0.0050001f;
  EXPECT_EQ(AutoBlackLevel(&h), 200);
  EXPECT_EQ(AutoWhiteLevel(&h), 254);
}

std::int32_t Changed(fakehost::Host& host, int index) {
  zkfx::UserChangedParamExtra extra{index};
  return Dispatch(zkfx::kCmdUserChangedParam, &host.in, &host.out, host.params.data(), nullptr, &extra);
}

TEST(UserChangedParam, WritesValuesWithTheChangeFlag) {
  fakehost::Host host;
  host[kParamWhiteBalance].value.color.current = {255, 255, 0, 0};
  EXPECT_EQ(Changed(host, kParamWhiteBalance), zkfx::kErrNone);
  EXPECT_NEAR(host[kParamHighlightBalanceAngle].value.angle.current, 4659724, 1);
  EXPECT_NEAR(host[kParamHighlightBalanceMagnitude].value.floatSlider.current, 117.32433319091797, 1e-4);
  EXPECT_EQ(host[kParamHighlightBalanceAngle].changeFlags, zkfx::kChangeFlagChangedValue);
  EXPECT_EQ(host[kParamHighlightBalanceMagnitude].changeFlags, zkfx::kChangeFlagChangedValue);
  EXPECT_EQ(host[kParamShadowBalanceAngle].changeFlags, 0u);

  // A neutral pick onto a neutral shadow balance leaves everything alone.
  host[kParamBlackBalance].value.color.current = {255, 0, 0, 0};
  EXPECT_EQ(Changed(host, kParamBlackBalance), zkfx::kErrNone);
  EXPECT_EQ(host[kParamShadowBalanceAngle].changeFlags, 0u);
  EXPECT_EQ(host[kParamShadowBalanceMagnitude].changeFlags, 0u);

  host[kParamGrayLevel].value.color.current = {255, 128, 128, 128};
  host[kParamMasterInputBlackLevel].value.floatSlider.current = 0;
  host[kParamMasterInputWhiteLevel].value.floatSlider.current = 255;
  Changed(host, kParamGrayLevel);
  EXPECT_NEAR(host[kParamMasterInputGrayLevel].value.floatSlider.current, 1.0056786829881315, 1e-6);

  host[kParamWhiteLevel].value.color.current = {255, 253, 253, 253};
  Changed(host, kParamWhiteLevel);
  EXPECT_EQ(host[kParamMasterInputWhiteLevel].value.floatSlider.current, 252.0);
  EXPECT_EQ(host[kParamMasterInputWhiteLevel].changeFlags, zkfx::kChangeFlagChangedValue);
}

TEST(UserChangedParam, AutoButtonsReadTheSequenceHistogram) {
  fakehost::Host host;
  zkfx::LumaHistogram* h = host.NewSequence();  // zero-filled: black 0, white 255
  Changed(host, kParamAutoContrast);
  EXPECT_EQ(host[kParamMasterInputBlackLevel].value.floatSlider.current, 0.0);
  EXPECT_EQ(host[kParamMasterInputWhiteLevel].value.floatSlider.current, 255.0);

  h->normalized[17] = 0.5f;
  h->normalized[230] = 1.0f;
  host[kParamMasterInputWhiteLevel] = {};
  Changed(host, kParamAutoBlackLevel);
  EXPECT_EQ(host[kParamMasterInputBlackLevel].value.floatSlider.current, 17.0);
  EXPECT_EQ(host[kParamMasterInputWhiteLevel].changeFlags, 0u);  // untouched
  Changed(host, kParamAutoWhiteLevel);
  EXPECT_EQ(host[kParamMasterInputWhiteLevel].value.floatSlider.current, 230.0);
}

TEST(UserChangedParam, OtherIndicesAndMissingRecordsAreIgnored) {
  fakehost::Host host;
  const auto before = host.records;
  for (int index : {-1, 0, 1, 12, 71, 106, 107, 100000}) {
    EXPECT_EQ(Changed(host, index), zkfx::kErrNone) << index;
  }
  EXPECT_EQ(std::memcmp(before.data(), host.records.data(), before.size() * sizeof(zkfx::ParamRecord)), 0);
  EXPECT_EQ(Dispatch(zkfx::kCmdUserChangedParam, &host.in, &host.out, host.params.data(), nullptr, nullptr),
            zkfx::kErrNone);
}

TEST(UpdateParamsUI, RefreshesTheTwentyFourControlsInOrder) {
  fakehost::Host host;
  for (int i = 0; i < kParamCount; ++i) host[i].value.floatSlider.current = i;
  EXPECT_EQ(Dispatch(zkfx::kCmdUpdateParamsUI, &host.in, &host.out, host.params.data(), nullptr, nullptr),
            zkfx::kErrNone);
  const int expected[] = {26, 67, 13, 7, 77, 78, 79, 80, 83, 84, 85, 86,
                          89, 90, 91, 92, 27, 28, 29, 101, 102, 103, 104, 105};
  ASSERT_EQ(host.state.refreshes.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(host.state.refreshes[i].index, expected[i]);
    EXPECT_EQ(host.state.refreshes[i].record.value.floatSlider.current, expected[i]);
  }
  EXPECT_EQ(host.state.acquired, 1);
  EXPECT_EQ(host.state.released, 1);
  EXPECT_EQ(host.out.outFlags, 0u);
}

TEST(UpdateParamsUI, MissingSuiteLeavesTheMessageAndSucceeds) {
  fakehost::Host host;
  host.state.missingSuites.insert(zkfx::kParamUtilsSuiteName);
  EXPECT_EQ(Dispatch(zkfx::kCmdUpdateParamsUI, &host.in, &host.out, host.params.data(), nullptr, nullptr),
            zkfx::kErrNone);
  EXPECT_TRUE(host.state.refreshes.empty());
  EXPECT_EQ(host.out.outFlags, zkfx::kOutFlagDisplayErrorMessage);
  EXPECT_STREQ(host.out.message, "Not able to acquire ZKFX Suite.");
}

TEST(Dispatch, MissingHostRecordsAreRefused) {
  for (int command : {1, 3, 4, 5, 6, 11, 13, 14}) {
    EXPECT_EQ(Dispatch(command, nullptr, nullptr, nullptr, nullptr, nullptr), zkfx::kErrInvalidHostRecord);
  }
  for (int command : {0, 2, 7, 8, 9, 10, 12, 15, -1}) {
    EXPECT_EQ(Dispatch(command, nullptr, nullptr, nullptr, nullptr, nullptr), zkfx::kErrNone);
  }
}

}  // namespace
