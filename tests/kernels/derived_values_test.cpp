#include "kernels/derived_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "tests/kernels/neutral_settings.h"

namespace threeway {
namespace {

using testing::NeutralSettings;

constexpr float kR = 0.70710677f;  // 1.4142135 * 0.5

TEST(DerivedValues, BlendLimits) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float ts, ss, th, sh;
    float blendEnd, blendStart;
  } cases[] = {
      {0.2f, 0.1f, 0.8f, 0.1f, 0.2f + 0.1f, 0.8f - 0.1f},
      {0.9f, 0.5f, 0.3f, 0.6f, 1.0f, 0.0f},  // clamped at white and at black
      {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f},
      {nan, 0.1f, nan, 0.1f, 1.0f, 0.0f},   // a NaN limit falls back to white / black
  };
  for (const auto& c : cases) {
    RendererSettings s = NeutralSettings();
    s.shadowThreshold = c.ts;
    s.shadowSoftness = c.ss;
    s.highlightThreshold = c.th;
    s.highlightSoftness = c.sh;
    ComputeDerivedValues(s);
    EXPECT_EQ(s.shadowBlendEnd, c.blendEnd) << c.ts << " " << c.ss;
    EXPECT_EQ(s.highlightBlendStart, c.blendStart) << c.th << " " << c.sh;
  }
}

TEST(DerivedValues, HueRotations) {
  constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;
  RendererSettings s = NeutralSettings();
  for (const HueRotation* r : {&s.shadowHueRotation, &s.midtoneHueRotation,
                               &s.highlightHueRotation}) {
    EXPECT_EQ(r->cosine, 1.0f);
    EXPECT_EQ(r->sine, 0.0f);
  }
  // Each range turns by minus (its angle + the master angle).
  s.master.hueAngle = kHalfPi;
  s.shadow.hueAngle = kHalfPi;
  s.highlight.hueAngle = -kHalfPi;
  s.midtone.hueAngle = 0.5f;
  ComputeDerivedValues(s);
  EXPECT_NEAR(s.shadowHueRotation.cosine, -1.0f, 1e-7f);
  EXPECT_NEAR(s.shadowHueRotation.sine, 0.0f, 1e-6f);
  EXPECT_NEAR(s.midtoneHueRotation.cosine, std::cos(-(0.5 + std::numbers::pi / 2)), 1e-6);
  EXPECT_NEAR(s.midtoneHueRotation.sine, std::sin(-(0.5 + std::numbers::pi / 2)), 1e-6);
  EXPECT_EQ(s.highlightHueRotation.cosine, 1.0f);  // the two angles cancel exactly
  EXPECT_EQ(s.highlightHueRotation.sine, 0.0f);
}

TEST(DerivedValues, BalanceTargetsPointAtTheNegatedAngle) {
  const float angles[] = {0.0f, 0.5f, 1.5707964f, 2.0f, 3.0f, -1.0f, -2.5f, 4.0f, 7.0f};
  for (float angle : angles) {
    RendererSettings s = NeutralSettings();
    s.midtone.balanceAngle = angle;
    s.midtone.balanceMagnitude = 0.6f;
    s.midtone.balanceGain = 0.75f;
    s.midtone.balanceX = 0.6f * std::cos(angle);
    s.midtone.balanceY = 0.6f * std::sin(angle);
    ComputeDerivedValues(s);
    EXPECT_NEAR(s.midtoneBalance.u, kR * std::cos(-static_cast<double>(angle)), 2e-6) << angle;
    EXPECT_NEAR(s.midtoneBalance.v, kR * std::sin(-static_cast<double>(angle)), 2e-6) << angle;
    EXPECT_EQ(s.midtoneBalance.weight, 0.6f * 0.75f) << angle;
    // The other groups keep a zero weight.
    EXPECT_EQ(s.masterBalance.weight, 0.0f);
    EXPECT_EQ(s.shadowBalance.weight, 0.0f);
    EXPECT_EQ(s.highlightBalance.weight, 0.0f);
  }
}

TEST(DerivedValues, ZeroMagnitudeGivesZeroWeightWhateverTheGain) {
  for (float gain : {0.0f, 0.5f, 1.0f, 3.0f, -2.0f, 1e30f}) {
    RendererSettings s = NeutralSettings();
    for (RangeBalance* g : {&s.master, &s.shadow, &s.midtone, &s.highlight}) {
      g->balanceGain = gain;
      g->balanceAngle = 1.0f;  // the angle alone does not matter with magnitude 0
    }
    ComputeDerivedValues(s);
    for (const BalanceTarget* t : {&s.masterBalance, &s.shadowBalance, &s.midtoneBalance,
                                   &s.highlightBalance}) {
      EXPECT_EQ(t->weight, 0.0f) << gain;
      EXPECT_EQ(t->u, kR) << gain;  // target (R, 0) up to the sign of zero
      EXPECT_EQ(t->v, 0.0f) << gain;
    }
  }
}

TEST(DerivedValues, BalanceRadiusAndChromaScalesAreRead) {
  RendererSettings s = NeutralSettings();
  s.balanceRadius = 1.0f;
  s.chromaScaleU = 1.0f;  // with unequal scales the direction bends: atan2(0.5 * 1, 1 * 1)
  s.shadow.balanceMagnitude = 1.0f;
  s.shadow.balanceX = 1.0f;
  s.shadow.balanceY = 1.0f;
  ComputeDerivedValues(s);
  const double phi = -std::atan2(0.5, 1.0);
  EXPECT_NEAR(s.shadowBalance.u, 1.4142135 * std::cos(phi), 1e-6);
  EXPECT_NEAR(s.shadowBalance.v, 1.4142135 * std::sin(phi), 1e-6);
}

}  // namespace
}  // namespace threeway
