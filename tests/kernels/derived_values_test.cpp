// The values derived before every frame, against their documented definitions.
#include "kernels/derived_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/kernels/test_settings.h"

namespace threeway {
namespace {

using testing::NeutralSettings;

constexpr float kR = 0.70710677f;  // 1.4142135 * 0.5

TEST(DerivedValues, BlendLimits) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float ts, ss, th, sh, blendEnd, blendStart;
  } cases[] = {
      {0.2f, 0.1f, 0.8f, 0.1f, 0.2f + 0.1f, 0.8f - 0.1f},
      {0.9f, 0.5f, 0.3f, 0.6f, 1.0f, 0.0f},  // clamped at white and at black
      {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f},
      {nan, 0.1f, nan, 0.1f, 1.0f, 0.0f},  // a NaN limit falls back to white / black
      {0.5f, 0.5004f, 0.1f, 0.1004f, 1.0f, 0.0f},  // just beyond white and black
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

// The target points at the negated balance angle on the circle of radius R; the weight is
// magnitude times gain. A zero vector gives weight 0 and the target (R, 0).
TEST(DerivedValues, BalanceTargetsPointAtTheNegatedAngle) {
  const float angles[] = {0.0f, 0.5f, 1.5707964f, 2.0f, 3.0f, -1.0f, -2.5f, 4.0f, 7.0f};
  for (float magnitude : {0.6f, 0.0f}) {
    for (float angle : angles) {
      RendererSettings s = NeutralSettings();
      s.midtone.balanceAngle = angle;
      s.midtone.balanceMagnitude = magnitude;
      s.midtone.balanceGain = 0.75f;
      s.midtone.balanceX = magnitude == 0.0f ? 0.0f : magnitude * std::cos(angle);
      s.midtone.balanceY = magnitude == 0.0f ? 0.0f : magnitude * std::sin(angle);
      ComputeDerivedValues(s);
      const double a = magnitude == 0.0f ? 0.0 : -static_cast<double>(angle);
      EXPECT_NEAR(s.midtoneBalance.u, kR * std::cos(a), 2e-6) << angle;
      EXPECT_NEAR(s.midtoneBalance.v, kR * std::sin(a), 2e-6) << angle;
      EXPECT_EQ(s.midtoneBalance.weight, magnitude * 0.75f) << angle;
      for (const BalanceTarget* t : {&s.masterBalance, &s.shadowBalance, &s.highlightBalance}) {
        EXPECT_TRUE(t->weight == 0.0f && t->u == kR && t->v == 0.0f) << angle;
      }
    }
  }
}

TEST(DerivedValues, BalanceRadiusAndChromaScalesAreRead) {
  RendererSettings s = NeutralSettings();
  s.balanceRadius = 1.0f;
  s.chromaScaleU = 1.0f;  // with unequal scales the direction bends: atan2(0.5 * 1, 1 * 1)
  s.shadow.balanceMagnitude = s.shadow.balanceX = s.shadow.balanceY = 1.0f;
  ComputeDerivedValues(s);
  const double phi = -std::atan2(0.5, 1.0);
  EXPECT_NEAR(s.shadowBalance.u, 1.4142135 * std::cos(phi), 1e-6);
  EXPECT_NEAR(s.shadowBalance.v, 1.4142135 * std::sin(phi), 1e-6);
}

}  // namespace
}  // namespace threeway
