// The tonal-range rule, case by case, with the blend limits worked from their definitions
// (E_s = min(1, T_s + S_s), B_h = max(0, T_h - S_h)).
#include "kernels/tonal_select.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace threeway {
namespace {

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

// Shadow 3, midtone 5, highlight 11: values away from 0 and 1 so that a swapped ramp end shows.
TEST(TonalSelect, RulesOnScalarValues) {
  const float above02 = std::nextafter(0.2f, 1.0f), below08 = std::nextafter(0.8f, 0.0f);
  const struct {
    const char* what;
    float ts, ss, th, sh, y, expected;
  } cases[] = {
      {"deep shadow", 0.2f, 0.1f, 0.8f, 0.1f, 0.1f, 3.0f},
      {"at the shadow threshold", 0.2f, 0.1f, 0.8f, 0.1f, 0.2f, 3.0f},
      {"shadow ramp, a quarter", 0.2f, 0.1f, 0.8f, 0.1f, 0.225f, 3.5f},
      {"shadow ramp, three quarters", 0.2f, 0.1f, 0.8f, 0.1f, 0.275f, 4.5f},
      {"midtone", 0.2f, 0.1f, 0.8f, 0.1f, 0.5f, 5.0f},
      {"highlight ramp, a quarter", 0.2f, 0.1f, 0.8f, 0.1f, 0.725f, 6.5f},
      {"highlight ramp, three quarters", 0.2f, 0.1f, 0.8f, 0.1f, 0.775f, 9.5f},
      {"at the highlight threshold", 0.2f, 0.1f, 0.8f, 0.1f, 0.8f, 11.0f},
      {"bright highlight", 0.2f, 0.1f, 0.8f, 0.1f, 0.9f, 11.0f},
      {"below black", 0.2f, 0.1f, 0.8f, 0.1f, -1.0f, 3.0f},
      {"above white", 0.2f, 0.1f, 0.8f, 0.1f, 3.0f, 11.0f},
      {"NaN", 0.2f, 0.1f, 0.8f, 0.1f, std::numeric_limits<float>::quiet_NaN(), 5.0f},
      {"zero shadow softness, at threshold", 0.2f, 0.0f, 0.8f, 0.1f, 0.2f, 3.0f},
      {"zero shadow softness, just above", 0.2f, 0.0f, 0.8f, 0.1f, above02, 5.0f},
      {"zero highlight softness, at threshold", 0.2f, 0.1f, 0.8f, 0.0f, 0.8f, 11.0f},
      {"zero highlight softness, just below", 0.2f, 0.1f, 0.8f, 0.0f, below08, 5.0f},
      {"exactly at the shadow blend end", 0.2f, 0.1f, 0.8f, 0.1f, 0.2f + 0.1f, 5.0f},
      {"exactly at the highlight blend start", 0.2f, 0.1f, 0.8f, 0.1f, 0.8f - 0.1f, 5.0f},
      {"overlapping ranges: shadow wins", 0.6f, 0.1f, 0.4f, 0.1f, 0.5f, 3.0f},
      {"overlapping ranges: highlight above shadow", 0.6f, 0.1f, 0.4f, 0.1f, 0.65f, 11.0f},
      {"shadow blend end clamped at 1", 0.9f, 0.5f, 1.0f, 0.05f, 0.95f, 4.0f},
  };
  for (const auto& c : cases) {
    const RendererSettings s = Zones(c.ts, c.ss, c.th, c.sh);
    EXPECT_NEAR(TonalSelect(c.y, 3.0f, 5.0f, 11.0f, s), c.expected, 2e-5f) << c.what;
  }
}

}  // namespace
}  // namespace threeway
