// Colour picks, auto levels and the dispatcher. Expected values were worked out from
// the documented formulas in double precision with single-precision rounding where they round.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "entry/dispatch.h"
#include "entry/param_change.h"
#include "tests/support/recording_host.h"
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

// The auto level rule the buttons apply and the tool's histogram scope marks.
TEST(AutoLevels, BinsAboveTheThreshold) {
  const float kJustAbove = std::nextafter(0.005f, 1.0f);
  const struct {
    const char* name;
    std::vector<std::pair<int, float>> bins;
    int black, white;
  } cases[] = {
      {"empty", {}, 0, 255},
      {"at the threshold", {{10, 0.005f}, {200, 0.005f}}, 0, 255},
      {"just above", {{10, kJustAbove}, {200, kJustAbove}}, 10, 200},
      {"only 254", {{254, 1.0f}}, 254, 254},
      {"ends", {{0, 1.0f}, {255, 0.5f}}, 0, 255},
      {"not a number", {{3, std::nanf("")}, {7, 1.0f}}, 7, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    zkfx::LumaHistogram histogram{};
    for (const auto& [bin, value] : c.bins) histogram.normalized[bin] = value;
    EXPECT_EQ(AutoBlackLevel(&histogram), c.black);
    EXPECT_EQ(AutoWhiteLevel(&histogram), c.white);
  }
  EXPECT_EQ(AutoBlackLevel(nullptr), 0);
  EXPECT_EQ(AutoWhiteLevel(nullptr), 255);
}

// The dispatcher driven in-process by the host test double: a change of any parameter that is
// neither a pick nor a button writes nothing back.
TEST(UserChangedParam, OtherIndicesAndMissingRecordsAreIgnored) {
  threeway::test::RecordingHost host;
  host.Attach(&Dispatch);
  ASSERT_EQ(host.GlobalSetup(), zkfx::kErrNone);
  ASSERT_EQ(host.ParamsSetup(), zkfx::kErrNone);
  ASSERT_EQ(host.SequenceSetup(), zkfx::kErrNone);
  std::vector<zkfx::ParamRecord> before;
  for (int i = 1; i < kParamCount; ++i) before.push_back(host.Param(i)->current);
  for (int index : {-1, 0, 1, 12, 71, 106, 107, 100000}) {
    zkfx::UserChangedParamExtra extra{index};
    EXPECT_EQ(host.Call(zkfx::kCmdUserChangedParam, nullptr, &extra), zkfx::kErrNone) << index;
  }
  for (int i = 1; i < kParamCount; ++i) {
    EXPECT_EQ(std::memcmp(&before[static_cast<std::size_t>(i - 1)], &host.Param(i)->current,
                          sizeof(zkfx::ParamRecord)), 0) << i;
  }
  EXPECT_EQ(host.logs().refreshes.size(), 0u);
  host.GlobalSetdown();
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
