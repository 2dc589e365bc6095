// The correction of one pixel against values worked by hand from the documented formulas: the
// tonal-range rule, the values derived before every frame, the pass constants and CorrectPixel.
#include "kernels/correct_pixel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "kernels/derived_values.h"
#include "kernels/tonal_select.h"

#include "tests/kernels/test_settings.h"

namespace threeway {
namespace {

using testing::BusySettings;
using testing::NeutralSettings;

// Thresholds and softnesses with the blend limits worked from their definitions
// (E_s = min(1, T_s + S_s), B_h = max(0, T_h - S_h)).
struct Zone {
  float ts, ss, th, sh;
};
RendererSettings Zones(const Zone& z) {
  RendererSettings s{};
  s.shadowThreshold = z.ts;
  s.shadowSoftness = z.ss;
  s.highlightThreshold = z.th;
  s.highlightSoftness = z.sh;
  s.shadowBlendEnd = std::fmin(1.0f, z.ts + z.ss);
  s.highlightBlendStart = std::fmax(0.0f, z.th - z.sh);
  return s;
}

// Shadow 3, midtone 5, highlight 11: values away from 0 and 1 so that a swapped ramp end shows.
// With thresholds 0.2 / 0.8 and softnesses 0.1: the shadows up to and at 0.2 (and below black),
// ramps a quarter and three quarters up, NaN and the blend limits themselves as midtones, the
// highlights from 0.8 (and above white). Then zero softnesses, overlapping ranges and a clamped
// blend end.
TEST(TonalSelect, RulesOnScalarValues) {
  const Zone standard{0.2f, 0.1f, 0.8f, 0.1f};
  const struct { float y, expected; } points[] = {
      {0.1f, 3.0f},   {0.2f, 3.0f},   {-1.0f, 3.0f},  {0.225f, 3.5f}, {0.275f, 4.5f},
      {0.5f, 5.0f},   {0.725f, 6.5f}, {0.775f, 9.5f}, {0.8f, 11.0f},  {0.9f, 11.0f},
      {3.0f, 11.0f},  {std::nanf(""), 5.0f},          {0.2f + 0.1f, 5.0f}, {0.8f - 0.1f, 5.0f}};
  for (const auto& p : points) {
    EXPECT_NEAR(TonalSelect(p.y, 3.0f, 5.0f, 11.0f, Zones(standard)), p.expected, 2e-5f) << p.y;
  }
  const struct { Zone z; float y, expected; } cases[] = {
      {{0.2f, 0.0f, 0.8f, 0.1f}, 0.2f, 3.0f},
      {{0.2f, 0.0f, 0.8f, 0.1f}, std::nextafter(0.2f, 1.0f), 5.0f},
      {{0.2f, 0.1f, 0.8f, 0.0f}, 0.8f, 11.0f},
      {{0.2f, 0.1f, 0.8f, 0.0f}, std::nextafter(0.8f, 0.0f), 5.0f},
      {{0.6f, 0.1f, 0.4f, 0.1f}, 0.5f, 3.0f},    // overlapping ranges: the shadows win ...
      {{0.6f, 0.1f, 0.4f, 0.1f}, 0.65f, 11.0f},  // ... up to their threshold
      {{0.9f, 0.5f, 1.0f, 0.05f}, 0.95f, 4.0f},  // blend end clamped at 1
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(TonalSelect(c.y, 3.0f, 5.0f, 11.0f, Zones(c.z)), c.expected, 2e-5f) << c.y;
  }
}

constexpr float kR = 0.70710677f;  // 1.4142135 * 0.5

TEST(DerivedValues, BlendLimits) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct { float ts, ss, th, sh, blendEnd, blendStart; } cases[] = {
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

// Neutral settings return the source whatever the mask (the mask is not clamped); any settings
// return the source for a zero mask, blending from the undithered luma, and the luma-only view
// writes the neutral chroma.
TEST(CorrectPixel, IdentityCases) {
  const RendererSettings neutral = NeutralSettings(), busy = BusySettings();
  const PassConstants pn = ComputePassConstants(neutral), pb = ComputePassConstants(busy);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> luma(0.0f, 1.2f), chroma(-0.6f, 0.6f), mask(-2.0f, 2.0f);
  for (int i = 0; i < 20000; ++i) {
    const float v0 = chroma(rng), u0 = chroma(rng), y0 = luma(rng);
    const float m = (i % 3 == 0) ? 1.0f : (i % 3 == 1) ? 0.0f : mask(rng);
    const CorrectedColor n = CorrectPixel(v0, u0, y0, y0, m, neutral, pn, false);
    ASSERT_TRUE(n.v == v0 && n.u == u0 && n.y == y0) << i;
    const CorrectedColor z = CorrectPixel(v0, u0, y0, y0 + 0.002f, 0.0f, busy, pb, false);
    ASSERT_TRUE(z.v == v0 && z.u == u0 && z.y == y0) << i;
    const CorrectedColor l = CorrectPixel(v0, u0, y0, y0 + 0.002f, 0.0f, busy, pb, true);
    ASSERT_TRUE(l.v == 0.0f && l.u == 0.0f && l.y == y0) << i;
  }
}

CorrectedColor Correct(const RendererSettings& s, float v0, float u0, float y0, bool lumaOnly) {
  return CorrectPixel(v0, u0, y0, y0, 1.0f, s, ComputePassConstants(s), lumaOnly);
}

using S = RendererSettings;
using Edit = void (*)(S&);

TEST(CorrectPixel, LumaWorkedByHand) {
  const struct { const char* what; Edit edit; float y0, expected; } cases[] = {
      // Master 0.5 -> 1.0, midtones leave 0.5: the mean is 0.75.
      {"master input white", [](S& s) { s.masterLevels.inputWhite = 0.5f; }, 0.5f, 0.75f},
      // Gamma 2 on 0.25 = 2^-2: FastPow gives exactly 0.5; ranges give 0.25; mean 0.375.
      {"master gamma 2", [](S& s) { s.masterLevels.inputGray = 2.0f; }, 0.25f, 0.375f},
      // Output black 0.1 lifts a black pixel's master result to 0.1; mean with 0 is 0.05.
      {"master output black", [](S& s) { s.masterLevels.outputBlack = 0.1f; }, 0.0f, 0.05f},
      // Shadow input white 0.5 doubles a shadow pixel's range result, (0.1 + 0.2) / 2, and does
      // not reach a midtone pixel.
      {"shadow input white", [](S& s) { s.shadowLevels.inputWhite = 0.5f; }, 0.1f, 0.15f},
      {"shadow levels, midtone", [](S& s) { s.shadowLevels.inputWhite = 0.5f; }, 0.5f, 0.5f},
      // Highlight output white 0.5 halves a highlight pixel's range result: (0.9 + 0.45) / 2; in
      // the middle of the highlight ramp range = 0.75 + 0.5 * (0.375 - 0.75).
      {"highlight output white", [](S& s) { s.highlightLevels.outputWhite = 0.5f; }, 0.9f, 0.675f},
      {"highlight ramp", [](S& s) { s.highlightLevels.outputWhite = 0.5f; }, 0.75f, 0.65625f},
      // Below input black 0.2 with gamma 10: t = 0 and FastPow(0, 0.1) = 1.2286609 / 8192; the
      // shadow result is the pixel itself, 0.1.
      {"below input black, gamma 10",
       [](S& s) { s.masterLevels = RangeLevels{0.2f, 1.0f, 10.0f, 0.0f, 1.0f}; },
       0.1f, static_cast<float>((1.2286609 / 8192.0 + 0.1) / 2.0)},
      // Below black t is clamped at 0 in every group, so even identity levels give black.
      {"negative luma", [](S&) {}, -0.05f, 0.0f},
      // Input black equal to input white: (y - b) / 0 is NaN at b, taken as 0.
      {"span 0", [](S& s) { s.masterLevels.inputBlack = s.masterLevels.inputWhite = 0.5f; }, 0.5f,
       0.25f},
      // Full scale 2: master input white 0.5 maps 1.0 to 2.0; the tonal rule reads 1.0 / 2, a
      // midtone, which keeps 1.0; the mean is 1.5.
      {"full scale 2", [](S& s) { s.fullScale = 2.0f, s.masterLevels.inputWhite = 0.5f; }, 1.0f,
       1.5f},
  };
  for (const auto& c : cases) {
    RendererSettings s = NeutralSettings();
    c.edit(s);
    ComputeDerivedValues(s);
    EXPECT_NEAR(Correct(s, 0.0f, 0.0f, c.y0, false).y, c.expected, 1e-6f) << c.what;
  }
}

TEST(CorrectPixel, MaskBlendsFromTheUnditheredSource) {
  RendererSettings s = NeutralSettings();
  s.masterLevels.inputWhite = 0.5f;
  const PassConstants pc = ComputePassConstants(s);
  // y0 = yd = 0.5: Y1 = 0.75; m = 0.5 gives 0.625, m = 2 and m = -1 extrapolate.
  EXPECT_EQ(CorrectPixel(0.0f, 0.0f, 0.5f, 0.5f, 0.5f, s, pc, false).y, 0.625f);
  EXPECT_EQ(CorrectPixel(0.0f, 0.0f, 0.5f, 0.5f, 2.0f, s, pc, false).y, 1.0f);
  EXPECT_EQ(CorrectPixel(0.0f, 0.0f, 0.5f, 0.5f, -1.0f, s, pc, false).y, 0.25f);
  // The luma to correct is yd, the blend starts from y0: yd = 0.25 gives Y1 = 0.375, the output
  // for m = 1 whatever y0 was; for m = 0.5 it is 0.4 + 0.5 * (0.375 - 0.4).
  EXPECT_FLOAT_EQ(CorrectPixel(0.0f, 0.0f, 0.4f, 0.25f, 1.0f, s, pc, false).y, 0.375f);
  EXPECT_FLOAT_EQ(CorrectPixel(0.0f, 0.0f, 0.4f, 0.25f, 0.5f, s, pc, false).y, 0.3875f);
}

TEST(CorrectPixel, ChromaWorkedByHand) {
  constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;
  constexpr float kR = 0.70710675f;  // 1.4142135 * 0.5, the radius of the balance targets
  const struct { const char* what; Edit edit; float v0, u0, y0, v, u; } cases[] = {
      // Shadow rotated by 90 degrees: (0.1, 0) -> (0, -0.1), averaged with the master (0.1, 0).
      {"shadow hue 90", [](S& s) { s.shadow.hueAngle = kHalfPi; }, 0.0f, 0.1f, 0.1f, -0.05f, 0.05f},
      // The master hue acts through the ranges only: midtone rotated, master unrotated.
      {"master hue 90", [](S& s) { s.master.hueAngle = kHalfPi; }, 0.0f, 0.1f, 0.5f, -0.05f, 0.05f},
      // Master and shadow hue add up: 180 degrees turns (0.1, 0) into (-0.1, 0); mean 0.
      {"master + shadow hue", [](S& s) { s.master.hueAngle = s.shadow.hueAngle = kHalfPi; }, 0.0f,
       0.1f, 0.1f, 0.0f, 0.0f},
      // Master balance at angle 0, magnitude 1, gain 1: a grey pixel's master chroma is the
      // target (R, 0); the ranges leave 0; the mean is (R / 2, 0).
      {"master balance 0",
       [](S& s) { s.master.balanceMagnitude = s.master.balanceGain = s.master.balanceX = 1.0f; },
       0.0f, 0.0f, 0.5f, 0.0f, kR / 2.0f},
      // Shadow balance at 90 degrees, magnitude 0.5, gain 0.5 (weight 0.25): the target is the
      // negated angle, (0, -R); a grey shadow pixel moves to V = -0.25 R, mean -0.125 R, and a
      // highlight pixel does not move.
      {"shadow balance 90",
       [](S& s) { s.shadow.balanceMagnitude = s.shadow.balanceGain = s.shadow.balanceY = 0.5f; },
       0.0f, 0.0f, 0.1f, -0.125f * kR, 0.0f},
      {"shadow balance, highlight",
       [](S& s) { s.shadow.balanceMagnitude = s.shadow.balanceGain = s.shadow.balanceY = 0.5f; },
       0.02f, -0.03f, 0.9f, 0.02f, -0.03f},
      // Master saturation 2: master (0.2, 0.1), ranges (0.1, 0.05), mean (0.15, 0.075).
      {"master saturation 2", [](S& s) { s.master.saturation = 2.0f; }, 0.05f, 0.1f, 0.5f, 0.075f,
       0.15f},
      // Highlight saturation 0 on a highlight pixel: range (0, 0), master unchanged, half chroma.
      {"highlight saturation 0", [](S& s) { s.highlight.saturation = 0.0f; }, -0.2f, 0.4f, 0.95f,
       -0.1f, 0.2f},
      // Midtone saturation 3 halfway up the shadow ramp (y = 0.25): range = 0.1 + 0.5 * 0.2.
      {"midtone saturation, shadow ramp", [](S& s) { s.midtone.saturation = 3.0f; }, 0.0f, 0.1f,
       0.25f, 0.0f, 0.15f},
  };
  for (const auto& c : cases) {
    RendererSettings s = NeutralSettings();
    c.edit(s);
    ComputeDerivedValues(s);
    const CorrectedColor r = Correct(s, c.v0, c.u0, c.y0, false);
    EXPECT_NEAR(r.v, c.v, 1e-6f) << c.what;
    EXPECT_NEAR(r.u, c.u, 1e-6f) << c.what;
    EXPECT_EQ(r.y, c.y0) << c.what;  // chroma changes leave the luma alone
    const CorrectedColor l = Correct(s, c.v0, c.u0, c.y0, true);
    EXPECT_TRUE(l.v == 0.0f && l.u == 0.0f && l.y == r.y) << c.what;
  }
}

// The levels are active when any of the eight spans differs from full scale (NaN included), not
// for a shift that keeps the spans or for a gamma; FastPow runs when |1/gamma - 1| >= 2^-17.
TEST(PassConstants, ActivityAndGamma) {
  EXPECT_FALSE(ComputePassConstants(NeutralSettings()).levelsActive);
  using R = RendererSettings;
  using L = RangeLevels;
  const struct { L R::*group; float L::*field; float value; bool active; } cases[] = {
      {&R::masterLevels, &L::inputWhite, 0.9f, true},
      {&R::shadowLevels, &L::inputBlack, 0.1f, true},
      {&R::midtoneLevels, &L::outputBlack, 0.2f, true},
      {&R::highlightLevels, &L::outputWhite, 0.8f, true},
      {&R::highlightLevels, &L::outputWhite, std::nanf(""), true},
      {&R::masterLevels, &L::inputGray, 0.3f, false}};
  for (const auto& c : cases) {
    RendererSettings t = NeutralSettings();
    (t.*(c.group)).*(c.field) = c.value;
    EXPECT_EQ(ComputePassConstants(t).levelsActive, c.active) << c.value;
  }
  RendererSettings s = NeutralSettings();
  s.shadowLevels.inputBlack = 0.25f;
  s.shadowLevels.inputWhite = 1.25f;
  EXPECT_FALSE(ComputePassConstants(s).levelsActive);

  const struct { float gamma; bool apply; } gammas[] = {
      {2.5f, true}, {1.0f, false}, {1.0f + 0x1p-20f, false}, {std::nanf(""), false},
      {1.0f / (1.0f - 0x1p-17f), true}};  // the last: 1/gamma - 1 is exactly -2^-17
  for (const auto& g : gammas) {
    s.midtoneLevels.inputGray = g.gamma;
    EXPECT_EQ(ComputePassConstants(s).levels[2].applyGamma, g.apply) << g.gamma;
  }
  s.midtoneLevels.inputGray = 2.5f;
  EXPECT_EQ(ComputePassConstants(s).levels[2].inverseGamma, 0.4f);
}

}  // namespace
}  // namespace threeway
