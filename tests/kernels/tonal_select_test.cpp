#include "kernels/tonal_select.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace threeway {
namespace {

// Thresholds and softnesses with the blend limits worked from their definitions
// (E_s = min(1, T_s + S_s), B_h = max(0, T_h - S_h)).
RendererSettings Zones(float ts, float ss, float th, float sh) {
  RendererSettings s{};
  s.shadowThreshold = ts;
  s.shadowSoftness = ss;
  s.highlightThreshold = th;
  s.highlightSoftness = sh;
  s.shadowBlendEnd = std::fmin(1.0f, ts + ss);
  s.highlightBlendStart = std::fmax(0.0f, th - sh);
  return s;
}

struct TonalCase {
  const char* what;
  float ts, ss, th, sh;
  float y;
  float expected;  // TonalSelect(y; 0, 0.5, 1)
};

TEST(TonalSelect, RulesOnScalarValues) {
  const float above02 = std::nextafter(0.2f, 1.0f);
  const float below08 = std::nextafter(0.8f, 0.0f);
  const TonalCase cases[] = {
      {"deep shadow", 0.2f, 0.1f, 0.8f, 0.1f, 0.1f, 0.0f},
      {"at the shadow threshold", 0.2f, 0.1f, 0.8f, 0.1f, 0.2f, 0.0f},
      {"shadow ramp, middle", 0.2f, 0.1f, 0.8f, 0.1f, 0.25f, 0.25f},
      {"midtone", 0.2f, 0.1f, 0.8f, 0.1f, 0.5f, 0.5f},
      {"highlight ramp, middle", 0.2f, 0.1f, 0.8f, 0.1f, 0.75f, 0.75f},
      {"at the highlight threshold", 0.2f, 0.1f, 0.8f, 0.1f, 0.8f, 1.0f},
      {"bright highlight", 0.2f, 0.1f, 0.8f, 0.1f, 0.9f, 1.0f},
      {"below black", 0.2f, 0.1f, 0.8f, 0.1f, -1.0f, 0.0f},
      {"above white", 0.2f, 0.1f, 0.8f, 0.1f, 3.0f, 1.0f},
      {"zero shadow softness, at threshold", 0.2f, 0.0f, 0.8f, 0.1f, 0.2f, 0.0f},
      {"zero shadow softness, just above", 0.2f, 0.0f, 0.8f, 0.1f, above02, 0.5f},
      {"zero highlight softness, at threshold", 0.2f, 0.1f, 0.8f, 0.0f, 0.8f, 1.0f},
      {"zero highlight softness, just below", 0.2f, 0.1f, 0.8f, 0.0f, below08, 0.5f},
      {"exactly at the shadow blend end", 0.2f, 0.1f, 0.8f, 0.1f, 0.2f + 0.1f, 0.5f},
      {"exactly at the highlight blend start", 0.2f, 0.1f, 0.8f, 0.1f, 0.8f - 0.1f, 0.5f},
      {"overlapping ranges: shadow wins", 0.6f, 0.1f, 0.4f, 0.1f, 0.5f, 0.0f},
      {"overlapping ranges: highlight above shadow", 0.6f, 0.1f, 0.4f, 0.1f, 0.65f, 1.0f},
      {"shadow blend end clamped at 1", 0.9f, 0.5f, 1.0f, 0.05f, 0.95f, 0.25f},
  };
  for (const TonalCase& c : cases) {
    const RendererSettings s = Zones(c.ts, c.ss, c.th, c.sh);
    EXPECT_NEAR(TonalSelect(c.y, 0.0f, 0.5f, 1.0f, s), c.expected, 1e-6f) << c.what;
  }
}

TEST(TonalSelect, RampsAreLinearAndReachTheirEnds) {
  const RendererSettings s = Zones(0.2f, 0.1f, 0.8f, 0.1f);
  // Values away from 0 and 1 so that a swapped end would show.
  for (int i = 1; i < 10; ++i) {
    const float f = static_cast<float>(i) / 10.0f;
    const float ys = 0.2f + f * 0.1f;
    const float yh = 0.7f + f * 0.1f;
    EXPECT_NEAR(TonalSelect(ys, 3.0f, 5.0f, 11.0f, s), 3.0f + f * 2.0f, 2e-5f) << ys;
    EXPECT_NEAR(TonalSelect(yh, 3.0f, 5.0f, 11.0f, s), 5.0f + f * 6.0f, 5e-5f) << yh;
  }
}

TEST(TonalSelect, NaNLumaSelectsMidtones) {
  const RendererSettings s = Zones(0.2f, 0.1f, 0.8f, 0.1f);
  EXPECT_EQ(TonalSelect(std::numeric_limits<float>::quiet_NaN(), 1.0f, 2.0f, 3.0f, s), 2.0f);
}

TEST(TonalSelect, PairsUseOneFractionForBothComponents) {
  const RendererSettings s = Zones(0.2f, 0.1f, 0.8f, 0.1f);
  const ChromaPair sh{0.0f, 1.0f}, mid{1.0f, -1.0f}, hi{2.0f, 5.0f};
  const struct {
    float y;
    float u, v;
  } cases[] = {
      {0.1f, 0.0f, 1.0f},   {0.25f, 0.5f, 0.0f}, {0.5f, 1.0f, -1.0f},
      {0.75f, 1.5f, 2.0f},  {0.9f, 2.0f, 5.0f},
  };
  for (const auto& c : cases) {
    const ChromaPair r = TonalSelect(c.y, sh, mid, hi, s);
    EXPECT_NEAR(r.u, c.u, 1e-5f) << c.y;
    EXPECT_NEAR(r.v, c.v, 1e-5f) << c.y;
    // Each component equals the scalar rule on that component.
    EXPECT_EQ(r.u, TonalSelect(c.y, sh.u, mid.u, hi.u, s));
    EXPECT_EQ(r.v, TonalSelect(c.y, sh.v, mid.v, hi.v, s));
  }
}

}  // namespace
}  // namespace threeway
