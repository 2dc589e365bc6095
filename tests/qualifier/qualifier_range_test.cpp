// The soft range test, the three pixel measures and the general kernel's invert and thinning
// rules, against values worked by hand from the documented formulas.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "kernels/qualifier.h"

namespace threeway {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The reciprocal estimate's documented relative error, plus a margin for the rounding of the
// decimal inputs to float (below 2^-20 relative for every case here).
constexpr double kRcpTolerance = 1.5 / 4096.0 + 1.0 / 1048576.0;

void ExpectWeight(float got, double expected, const std::string& what) {
  if (expected == 0.0 || expected == 1.0) {
    EXPECT_EQ(got, static_cast<float>(expected)) << what;
  } else {
    EXPECT_NEAR(got, expected, expected * kRcpTolerance) << what;
  }
}

TEST(RangeWeight, WorkedValues) {
  const struct {
    const char* name;
    float a, lo, b, hi;
    bool circular;
    float v;
    double expected;
  } cases[] = {
      // Luma 0.4..0.6 with softness 0.1 on both sides.
      {"luma below rising edge", 0.1f, 0.4f, 0.1f, 0.6f, false, 0.25f, 0.0},
      {"luma mid rising edge", 0.1f, 0.4f, 0.1f, 0.6f, false, 0.35f, 0.5},
      {"luma at start", 0.1f, 0.4f, 0.1f, 0.6f, false, 0.4f, 1.0},
      {"luma at end", 0.1f, 0.4f, 0.1f, 0.6f, false, 0.6f, 1.0},
      {"luma mid falling edge", 0.1f, 0.4f, 0.1f, 0.6f, false, 0.65f, 0.5},
      {"luma above falling edge", 0.1f, 0.4f, 0.1f, 0.6f, false, 0.75f, 0.0},
      // A full linear range selects everything.
      {"full range at 0", 0.0f, 0.0f, 0.0f, 1.0f, false, 0.0f, 1.0},
      {"full range at 1", 0.0f, 0.0f, 0.0f, 1.0f, false, 1.0f, 1.0},
      // Start equal to end with no softness selects nothing, in both forms.
      {"empty linear at its point", 0.0f, 0.3f, 0.0f, 0.3f, false, 0.3f, 0.0},
      {"empty circular at its point", 0.0f, 0.3f, 0.0f, 0.3f, true, 0.3f, 0.0},
      // A start just above the end is the full circle.
      {"full circle", 0.0f, 0.5f, 0.0f, 0.4999996f, true, 0.1f, 1.0},
      // Hue 0.9..0.1 spans red.
      {"wrapped hue above start", 0.0f, 0.9f, 0.0f, 0.1f, true, 0.95f, 1.0},
      {"wrapped hue opposite", 0.0f, 0.9f, 0.0f, 0.1f, true, 0.5f, 0.0},
      // Hue 0.1..0.3 with start softness 0.2: the rising edge runs from 0.9 across red to 0.1.
      {"hue edge at red", 0.2f, 0.1f, 0.0f, 0.3f, true, 0.0f, 0.5},
      {"hue edge before red", 0.2f, 0.1f, 0.0f, 0.3f, true, 0.95f, 0.25},
      {"hue before the edge", 0.2f, 0.1f, 0.0f, 0.3f, true, 0.85f, 0.0},
      // The same thresholds as a linear range: the edge below 0 is cut off, nothing wraps to 0.95.
      {"linear edge at 0", 0.2f, 0.1f, 0.0f, 0.3f, false, 0.0f, 0.5},
      {"linear edge does not wrap", 0.2f, 0.1f, 0.0f, 0.3f, false, 0.95f, 0.0},
      // Hue 0.7..0.9 with end softness 0.2: the falling edge runs across red to 0.1.
      {"hue falling edge at red", 0.0f, 0.7f, 0.2f, 0.9f, true, 0.0f, 0.5},
      {"hue falling edge past red", 0.0f, 0.7f, 0.2f, 0.9f, true, 0.05f, 0.25},
      // As a linear range the falling edge stops at 1.
      {"linear falling edge at 1", 0.0f, 0.7f, 0.2f, 0.9f, false, 1.0f, 0.5},
      {"linear falling edge does not wrap", 0.0f, 0.7f, 0.2f, 0.9f, false, 0.05f, 0.0},
      // An edge end beyond one turn keeps only its fraction in the circular form: start softness
      // 1.3 below 0.2 starts the edge at 0.9 (-1.1 loses -1, gains 1); end softness 1.3 above 0.8
      // ends it at 0.1 (2.1 loses 2).
      {"start softness beyond one turn", 1.3f, 0.2f, 0.0f, 0.4f, true, 0.1f, 2.0 / 3.0},
      {"end softness beyond one turn", 0.0f, 0.6f, 1.3f, 0.8f, true, 0.95f, 0.5},
  };
  for (const auto& c : cases) {
    ExpectWeight(RangeWeight(c.v, c.a, c.lo, c.b, c.hi, c.circular), c.expected, c.name);
  }
}

TEST(RangeWeight, NonFiniteInputsGiveAWeightInRange) {
  // The clamp under every weight: NaN and -0 both come out as +0.
  EXPECT_FALSE(std::signbit(ClampUnit(-0.0f)));
  EXPECT_EQ(ClampUnit(std::numeric_limits<float>::quiet_NaN()), 0.0f);
  const float odd[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, -0.0f};
  for (bool circular : {false, true}) {
    for (float x : odd) {
      const float args[][5] = {{x, 0.1f, 0.1f, 0.2f, 0.5f}, {0.5f, x, 0.1f, 0.2f, 0.5f},
                               {0.5f, 0.1f, x, 0.2f, 0.5f}, {0.5f, 0.1f, 0.1f, x, 0.5f},
                               {0.5f, 0.1f, 0.1f, 0.2f, x}};
      for (const auto& a : args) {
        const float w = RangeWeight(a[0], a[1], a[2], a[3], a[4], circular);
        EXPECT_TRUE(w >= 0.0f && w <= 1.0f) << x << " " << circular << " " << w;
      }
    }
  }
}

// A pixel with luma 0.5, saturation about 0.25 and a hue (about 0.17) inside 0..0.5; the luma
// range starts at 0.6 with softness 0.2, so p = 0.5. The invert modes and thinning then give p,
// 1 - p, shape(1 - p) for limit colour and 1 - shape(p) for mask; E = 100 gives k = 0.1 (shape(0.5)
// about 0.933), E = -100 k = 10 (about 0.001). Unknown modes act as none.
TEST(GeneralKernel, InvertAndThinning) {
  QualifierBlock q{};
  q.hueEndThreshold = 0.5f, q.satEndThreshold = 1.0f;
  q.lumaStartThreshold = 0.6f, q.lumaStartSoftness = 0.2f, q.lumaEndThreshold = 0.9f;
  const float y = 0.5f, u = -0.17f, v = 0.03f;
  const struct { std::int32_t invert; float e; double expected, tolerance; } cases[] = {
      {kInvertNone, 0.0f, 0.5, 0.5 * kRcpTolerance}, {kInvertMask, 0.0f, 0.5, 0.5 * kRcpTolerance},
      {kInvertLimitColor, 0.0f, 0.5, 0.5 * kRcpTolerance},
      {kInvertLimitColor, 100.0f, std::pow(0.5, 0.1), 0.01},
      {kInvertMask, 100.0f, 1.0 - std::pow(0.5, 0.1), 0.01},
      {kInvertNone, -100.0f, std::pow(0.5, 10.0), 1e-4}, {0, -100.0f, std::pow(0.5, 10.0), 1e-4},
      {4, 100.0f, std::pow(0.5, 0.1), 0.01}};
  for (const auto& c : cases) {
    q.invertMode = c.invert;
    q.edgeThinning = c.e;
    EXPECT_NEAR(GeneralQualifierKernel(&y, &u, &v, &q), c.expected, c.tolerance)
        << c.invert << " " << c.e;
  }
}

}  // namespace
}  // namespace threeway
