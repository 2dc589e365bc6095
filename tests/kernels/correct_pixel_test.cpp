#include "kernels/correct_pixel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "kernels/derived_values.h"
#include "tests/kernels/neutral_settings.h"

namespace threeway {
namespace {

using testing::NeutralSettings;

CorrectedColor Correct(const RendererSettings& s, float v0, float u0, float y0, float m,
                       bool lumaOnly = false) {
  const PassConstants pc = ComputePassConstants(s);
  return CorrectPixel(v0, u0, y0, y0, m, s, pc, lumaOnly);
}

TEST(CorrectPixel, NeutralSettingsReturnTheSourceForAnyMask) {
  const RendererSettings s = NeutralSettings();
  const PassConstants pc = ComputePassConstants(s);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> luma(0.0f, 1.2f), chroma(-0.6f, 0.6f), mask(-2.0f, 2.0f);
  for (int i = 0; i < 20000; ++i) {
    const float v0 = chroma(rng), u0 = chroma(rng), y0 = luma(rng);
    const float m = (i % 3 == 0) ? 1.0f : (i % 3 == 1) ? 0.0f : mask(rng);
    const CorrectedColor c = CorrectPixel(v0, u0, y0, y0, m, s, pc, false);
    ASSERT_EQ(c.v, v0) << i;
    ASSERT_EQ(c.u, u0) << i;
    ASSERT_EQ(c.y, y0) << i;
  }
}

// Settings that move everything: every range balanced and rotated, every levels group changed
// with a gamma, every saturation changed.
RendererSettings BusySettings() {
  RendererSettings s = NeutralSettings();
  RangeBalance* groups[] = {&s.master, &s.shadow, &s.midtone, &s.highlight};
  RangeLevels* levels[] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels};
  for (int g = 0; g < 4; ++g) {
    RangeBalance& b = *groups[g];
    b.balanceAngle = 0.7f + static_cast<float>(g);
    b.balanceMagnitude = 0.3f + 0.1f * static_cast<float>(g);
    b.balanceGain = 0.6f;
    b.balanceX = b.balanceMagnitude * std::cos(b.balanceAngle);
    b.balanceY = b.balanceMagnitude * std::sin(b.balanceAngle);
    b.hueAngle = 0.2f * static_cast<float>(g + 1);
    b.saturation = 1.3f - 0.2f * static_cast<float>(g);
    *levels[g] = RangeLevels{0.05f, 0.9f, 1.4f + 0.3f * static_cast<float>(g), 0.02f, 0.97f};
  }
  ComputeDerivedValues(s);
  return s;
}

TEST(CorrectPixel, ZeroMaskReturnsTheSourceEvenWhenDithered) {
  const RendererSettings s = BusySettings();
  const PassConstants pc = ComputePassConstants(s);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> luma(0.0f, 1.0f), chroma(-0.5f, 0.5f);
  for (int i = 0; i < 5000; ++i) {
    const float v0 = chroma(rng), u0 = chroma(rng), y0 = luma(rng);
    const float yd = y0 + 0.002f;
    const CorrectedColor c = CorrectPixel(v0, u0, y0, yd, 0.0f, s, pc, false);
    ASSERT_EQ(c.v, v0);
    ASSERT_EQ(c.u, u0);
    ASSERT_EQ(c.y, y0);
    const CorrectedColor l = CorrectPixel(v0, u0, y0, yd, 0.0f, s, pc, true);
    ASSERT_EQ(l.v, 0.0f);
    ASSERT_EQ(l.u, 0.0f);
    ASSERT_EQ(l.y, y0);
  }
}

TEST(CorrectPixel, LumaWorkedByHand) {
  struct Case {
    const char* what;
    void (*configure)(RendererSettings&);
    float y0;
    float expected;
  };
  const Case cases[] = {
      // Master 0.5 -> 1.0, midtones leave 0.5: the mean is 0.75.
      {"master input white 0.5", [](RendererSettings& s) { s.masterLevels.inputWhite = 0.5f; },
       0.5f, 0.75f},
      // Gamma 2 on 0.25 = 2^-2: FastPow gives exactly 0.5; ranges give 0.25; mean 0.375.
      {"master gamma 2", [](RendererSettings& s) { s.masterLevels.inputGray = 2.0f; }, 0.25f,
       0.375f},
      // Output black 0.1 lifts a black pixel's master result to 0.1; mean with 0 is 0.05.
      {"master output black", [](RendererSettings& s) { s.masterLevels.outputBlack = 0.1f; },
       0.0f, 0.05f},
      // Shadow input white 0.5 doubles a shadow pixel's range result: (0.1 + 0.2) / 2.
      {"shadow input white", [](RendererSettings& s) { s.shadowLevels.inputWhite = 0.5f; }, 0.1f,
       0.15f},
      // The shadow levels do not reach a midtone pixel.
      {"shadow levels, midtone pixel",
       [](RendererSettings& s) { s.shadowLevels.inputWhite = 0.5f; }, 0.5f, 0.5f},
      // Highlight output white 0.5 halves a highlight pixel's range result: (0.9 + 0.45) / 2.
      {"highlight output white",
       [](RendererSettings& s) { s.highlightLevels.outputWhite = 0.5f; }, 0.9f, 0.675f},
      // Midtone pixel in the middle of the highlight ramp: range = 0.75 + 0.5 * (0.375 - 0.75).
      {"highlight ramp", [](RendererSettings& s) { s.highlightLevels.outputWhite = 0.5f; }, 0.75f,
       0.65625f},
      // Below input black 0.2 with gamma 10: t = 0 and FastPow(0, 0.1) = 1.2286609 / 8192; the
      // shadow result is the pixel itself, 0.1.
      {"below input black with gamma 10",
       [](RendererSettings& s) {
         s.masterLevels.inputBlack = 0.2f;
         s.masterLevels.inputGray = 10.0f;
       },
       0.1f, static_cast<float>((1.2286609 / 8192.0 + 0.1) / 2.0)},
      // Input black equal to input white: (y - b) / 0 is +inf above and NaN at b; the NaN is
      // taken as 0.
      // Below black: t is clamped at 0 in every group, so even identity levels give black.
      {"negative luma, identity levels", [](RendererSettings&) {}, -0.05f, 0.0f},
      {"zero input span at black",
       [](RendererSettings& s) { s.masterLevels.inputBlack = s.masterLevels.inputWhite = 0.5f; },
       0.5f, 0.25f},
  };
  for (const Case& c : cases) {
    RendererSettings s = NeutralSettings();
    c.configure(s);
    ComputeDerivedValues(s);
    const CorrectedColor r = Correct(s, 0.0f, 0.0f, c.y0, 1.0f);
    EXPECT_NEAR(r.y, c.expected, 1e-6f) << c.what;
  }
}

TEST(CorrectPixel, MaskBlendsFromTheUnditheredSource) {
  RendererSettings s = NeutralSettings();
  s.masterLevels.inputWhite = 0.5f;
  ComputeDerivedValues(s);
  const PassConstants pc = ComputePassConstants(s);
  // y0 = 0.5, yd = 0.5: Y1 = 0.75; with m = 0.5 the output is 0.5 + 0.5 * 0.25.
  EXPECT_EQ(CorrectPixel(0.0f, 0.0f, 0.5f, 0.5f, 0.5f, s, pc, false).y, 0.625f);
  // m = 2 extrapolates; m = -1 extrapolates the other way (the mask is not clamped).
  EXPECT_EQ(CorrectPixel(0.0f, 0.0f, 0.5f, 0.5f, 2.0f, s, pc, false).y, 1.0f);
  EXPECT_EQ(CorrectPixel(0.0f, 0.0f, 0.5f, 0.5f, -1.0f, s, pc, false).y, 0.25f);
  // The luma to correct is yd but the blend starts from y0: yd = 0.25 gives Y1 = 0.375 and
  // with m = 1 the output is Y1 whatever y0 was.
  EXPECT_FLOAT_EQ(CorrectPixel(0.0f, 0.0f, 0.4f, 0.25f, 1.0f, s, pc, false).y, 0.375f);
}

struct ChromaCase {
  const char* what;
  void (*configure)(RendererSettings&);
  float v0, u0, y0;
  float v, u;  // expected
};

TEST(CorrectPixel, ChromaWorkedByHand) {
  constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;
  // R = 1.4142135 * 0.5, the radius of the balance targets.
  constexpr float kR = 0.70710675f;
  const ChromaCase cases[] = {
      // Shadow rotated by 90 degrees: (0.1, 0) -> (0, -0.1), averaged with the master (0.1, 0).
      {"shadow hue 90", [](RendererSettings& s) { s.shadow.hueAngle = kHalfPi; }, 0.0f, 0.1f,
       0.1f, -0.05f, 0.05f},
      // The master hue acts through the ranges only: midtone rotated, master unrotated.
      {"master hue 90, midtone", [](RendererSettings& s) { s.master.hueAngle = kHalfPi; }, 0.0f,
       0.1f, 0.5f, -0.05f, 0.05f},
      // Master and shadow hue add up: 180 degrees turns (0.1, 0) into (-0.1, 0); mean 0.
      {"master + shadow hue", [](RendererSettings& s) {
         s.master.hueAngle = kHalfPi;
         s.shadow.hueAngle = kHalfPi;
       }, 0.0f, 0.1f, 0.1f, 0.0f, 0.0f},
      // Master balance at angle 0, magnitude 1, gain 1: a grey pixel's master chroma is the
      // target (R, 0); the ranges leave 0; the mean is (R / 2, 0).
      {"master balance angle 0", [](RendererSettings& s) {
         s.master.balanceMagnitude = 1.0f;
         s.master.balanceGain = 1.0f;
         s.master.balanceX = 1.0f;
         s.master.balanceY = 0.0f;
       }, 0.0f, 0.0f, 0.5f, 0.0f, kR / 2.0f},
      // Shadow balance at 90 degrees, magnitude 0.5, gain 0.5 (weight 0.25): the target is the
      // negated angle, (0, -R); a grey shadow pixel moves to V = -0.25 R, mean -0.125 R.
      {"shadow balance angle 90", [](RendererSettings& s) {
         s.shadow.balanceMagnitude = 0.5f;
         s.shadow.balanceGain = 0.5f;
         s.shadow.balanceX = 0.0f;
         s.shadow.balanceY = 0.5f;
       }, 0.0f, 0.0f, 0.1f, -0.125f * kR, 0.0f},
      // ... and does nothing to a highlight pixel.
      {"shadow balance, highlight pixel", [](RendererSettings& s) {
         s.shadow.balanceMagnitude = 0.5f;
         s.shadow.balanceGain = 0.5f;
         s.shadow.balanceY = 0.5f;
       }, 0.02f, -0.03f, 0.9f, 0.02f, -0.03f},
      // Master saturation 2: master (0.2, 0.1), ranges (0.1, 0.05), mean (0.15, 0.075).
      {"master saturation 2", [](RendererSettings& s) { s.master.saturation = 2.0f; }, 0.05f,
       0.1f, 0.5f, 0.075f, 0.15f},
      // Highlight saturation 0 on a highlight pixel: range (0, 0), master unchanged, half chroma.
      {"highlight saturation 0", [](RendererSettings& s) { s.highlight.saturation = 0.0f; },
       -0.2f, 0.4f, 0.95f, -0.1f, 0.2f},
      // Midtone saturation 3 halfway up the shadow ramp (y = 0.25): range = 0.1 + 0.5 * 0.2.
      {"midtone saturation in the shadow ramp",
       [](RendererSettings& s) { s.midtone.saturation = 3.0f; }, 0.0f, 0.1f, 0.25f, 0.0f, 0.15f},
  };
  for (const ChromaCase& c : cases) {
    RendererSettings s = NeutralSettings();
    c.configure(s);
    ComputeDerivedValues(s);
    const CorrectedColor r = Correct(s, c.v0, c.u0, c.y0, 1.0f);
    EXPECT_NEAR(r.v, c.v, 1e-6f) << c.what;
    EXPECT_NEAR(r.u, c.u, 1e-6f) << c.what;
    EXPECT_EQ(r.y, c.y0) << c.what;  // chroma changes leave the luma alone
    // The luma-only view writes the neutral pair instead.
    const CorrectedColor l = Correct(s, c.v0, c.u0, c.y0, 1.0f, true);
    EXPECT_EQ(l.v, 0.0f) << c.what;
    EXPECT_EQ(l.u, 0.0f) << c.what;
    EXPECT_EQ(l.y, r.y) << c.what;
  }
}

TEST(PassConstants, ScaledSpansGammaAndActivity) {
  RendererSettings s = NeutralSettings();
  PassConstants pc = ComputePassConstants(s);
  EXPECT_FALSE(pc.levelsActive);
  for (const LevelsConstants& g : pc.levels) {
    EXPECT_EQ(g.inputBlack, 0.0f);
    EXPECT_EQ(g.inputSpan, 1.0f);
    EXPECT_EQ(g.outputBlack, 0.0f);
    EXPECT_EQ(g.outputSpan, 1.0f);
    EXPECT_EQ(g.inverseGamma, 1.0f);
    EXPECT_FALSE(g.applyGamma);
  }

  // A gamma alone does not make the levels active, but it makes FastPow run.
  s.midtoneLevels.inputGray = 2.5f;
  pc = ComputePassConstants(s);
  EXPECT_FALSE(pc.levelsActive);
  EXPECT_TRUE(pc.levels[2].applyGamma);
  EXPECT_EQ(pc.levels[2].inverseGamma, 0.4f);
  // Gamma within 2^-17 of 1 keeps FastPow off; a NaN gamma too.
  s.midtoneLevels.inputGray = 1.0f + 0x1p-20f;
  EXPECT_FALSE(ComputePassConstants(s).levels[2].applyGamma);
  s.midtoneLevels.inputGray = std::nanf("");
  EXPECT_FALSE(ComputePassConstants(s).levels[2].applyGamma);
  s.midtoneLevels.inputGray = 1.0f;

  // Any of the eight spans away from full scale, or NaN, makes them active; a shift that keeps
  // both spans at full scale does not.
  struct Change {
    const char* what;
    RangeLevels RendererSettings::*group;
    float RangeLevels::*field;
    float value;
    bool active;
  };
  const Change changes[] = {
      {"master input white", &RendererSettings::masterLevels, &RangeLevels::inputWhite,
       0.9f, true},
      {"shadow input black", &RendererSettings::shadowLevels, &RangeLevels::inputBlack,
       0.1f, true},
      {"midtone output black", &RendererSettings::midtoneLevels,
       &RangeLevels::outputBlack, 0.2f, true},
      {"highlight output white", &RendererSettings::highlightLevels,
       &RangeLevels::outputWhite, 0.8f, true},
      {"NaN output white", &RendererSettings::highlightLevels, &RangeLevels::outputWhite,
       std::nanf(""), true},
      {"gray", &RendererSettings::masterLevels, &RangeLevels::inputGray, 0.3f, false},
  };
  for (const Change& c : changes) {
    RendererSettings t = NeutralSettings();
    (t.*(c.group)).*(c.field) = c.value;
    EXPECT_EQ(ComputePassConstants(t).levelsActive, c.active) << c.what;
  }
  // Input black and white both moved up by 0.25: the span stays 1.
  RendererSettings shifted = NeutralSettings();
  shifted.shadowLevels.inputBlack = 0.25f;
  shifted.shadowLevels.inputWhite = 1.25f;
  EXPECT_FALSE(ComputePassConstants(shifted).levelsActive);
}

}  // namespace
}  // namespace threeway
