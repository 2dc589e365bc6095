// The arithmetic of one working-format pixel: levels with gamma per tonal range, tonal selection
// with soft transitions, hue rotation, balance and saturation per range, averaging with the master
// result, the blend by the mask value; and around it, per pixel of the frame pass, the mask value,
// the histogram count, the display views and the dither.
//
// All colour arithmetic is single precision, in the order written; the module is built without
// contraction of multiply-adds so that these expressions round exactly as written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entry/host_interface.h"
#include "kernels/dither_random.h"
#include "kernels/fast_pow.h"
#include "kernels/qualifier_kernel.h"
#include "kernels/tonal_select.h"
#include "render/renderer_settings.h"

namespace threeway {

// One working-format pixel, in memory order V, U, Y, A.
struct WorkingPixel {
  float v;
  float u;
  float y;
  float a;
};
static_assert(sizeof(WorkingPixel) == 16);

// The colour part of a corrected pixel.
struct CorrectedColor {
  float v;
  float u;
  float y;
};

// The per-pixel constants of one levels group, scaled to full scale once per pass.
struct LevelsConstants {
  float inputBlack;    // ib * W
  float inputSpan;     // (iw * W) - (ib * W)
  float outputBlack;   // ob * W
  float outputSpan;    // (ow * W) - (ob * W)
  float inverseGamma;  // 1 / gamma, an exact division
  bool applyGamma;     // |1/gamma - 1| >= 2^-17 (false for NaN): FastPow runs
  // Black 0, spans 1, no gamma: the group gives max(yd, +0) (NaN to +0) bit for bit, since
  // subtracting 0, dividing and multiplying by 1 and adding 0 change no other value. The vector
  // pass takes that shortcut; the scalar reference always computes the whole formula.
  bool passThrough;
};

// Values computed once per pass from the settings, in the group order master, shadow, midtone,
// highlight.
struct PassConstants {
  LevelsConstants levels[4];
  // The levels are active (and 8-, 16- and 32-bit sources are dithered) when any of the eight
  // spans differs from full scale; a NaN span differs. The gammas do not enter this test.
  bool levelsActive;
};

PassConstants ComputePassConstants(const RendererSettings& s);

// Amplitude of the luma dither: 0.65 of one 8-bit step (0.65 / 255).
constexpr float kDitherAmplitude = 0.0025490194f;

// Source formats whose luma is dithered when the levels are active: the 8-bit codes (including
// the packed 4:2:2 ones), the 16-bit codes and the 32-bit float codes, every registered format.
constexpr bool IsDitheredFormat(std::uint32_t code) {
  switch (code) {
    case zkfx::FourCC("bgra"): case zkfx::FourCC("vuya"): case zkfx::FourCC("argb"):
    case zkfx::FourCC("yuy2"): case zkfx::FourCC("yuy3"): case zkfx::FourCC("uyvy"):
    case zkfx::FourCC("uyv7"):
    case zkfx::FourCC("Bgra"): case zkfx::FourCC("Vuya"): case zkfx::FourCC("Argb"):
    case zkfx::FourCC("BGra"): case zkfx::FourCC("VUya"): case zkfx::FourCC("ARgb"):
      return true;
    default:
      return false;
  }
}

// One levels group applied to the luma to correct.
inline float ApplyLevels(float yd, const LevelsConstants& g) {
  float t = (yd - g.inputBlack) / g.inputSpan;
  if (!(t > 0.0f)) t = 0.0f;  // no upper clamp; NaN becomes 0
  if (g.applyGamma) t = FastPow(t, g.inverseGamma);
  return t * g.outputSpan + g.outputBlack;
}

// One range's chroma: rotated, pulled towards the balance target by the weight, saturated.
inline ChromaPair RangeChroma(float u0, float v0, HueRotation r, const BalanceTarget& b,
                              float saturation) {
  const float ur = u0 * r.cosine - v0 * r.sine;
  const float vr = v0 * r.cosine + u0 * r.sine;
  return {(ur + (b.u - ur) * b.weight) * saturation, (vr + (b.v - vr) * b.weight) * saturation};
}

// Corrects one pixel. y0 is the source luma, yd the luma to correct (y0 plus the dither where it
// applies), m the mask value (not clamped). The result blends from the undithered source towards
// the correction by m; in the luma-only view the chroma is the neutral pair. Requires the derived
// fields of `s` to be current. Pure: no side effects.
inline CorrectedColor CorrectPixel(float v0, float u0, float y0, float yd, float m,
                                   const RendererSettings& s, const PassConstants& pc,
                                   bool lumaOnly) {
  const float lMaster = ApplyLevels(yd, pc.levels[0]);
  const float lShadow = ApplyLevels(yd, pc.levels[1]);
  const float lMidtone = ApplyLevels(yd, pc.levels[2]);
  const float lHighlight = ApplyLevels(yd, pc.levels[3]);

  const float y = yd / s.fullScale;
  const float lRange = TonalSelect(y, lShadow, lMidtone, lHighlight, s);
  const float y1 = lMaster + 0.5f * (lRange - lMaster);  // the mean of master and range
  const float yOut = y0 + m * (y1 - y0);
  if (lumaOnly) return {s.neutralChromaV, s.neutralChromaU, yOut};

  const ChromaPair shadow =
      RangeChroma(u0, v0, s.shadowHueRotation, s.shadowBalance, s.shadow.saturation);
  const ChromaPair midtone =
      RangeChroma(u0, v0, s.midtoneHueRotation, s.midtoneBalance, s.midtone.saturation);
  const ChromaPair highlight =
      RangeChroma(u0, v0, s.highlightHueRotation, s.highlightBalance, s.highlight.saturation);
  const BalanceTarget& mb = s.masterBalance;
  const float uMaster = (u0 + (mb.u - u0) * mb.weight) * s.master.saturation;
  const float vMaster = (v0 + (mb.v - v0) * mb.weight) * s.master.saturation;

  const ChromaPair range = TonalSelect(y, shadow, midtone, highlight, s);
  const float u1 = uMaster + 0.5f * (range.u - uMaster);
  const float v1 = vMaster + 0.5f * (range.v - vMaster);
  return {v0 + m * (v1 - v0), u0 + m * (u1 - u0), yOut};
}

// The histogram bin of a source luma: floor(y0 * 255) clamped to 0..255, with a true floor. Below
// black (and NaN) counts in bin 0; above white, however far (infinity included), in bin 255.
inline std::uint32_t HistogramBin(float y0) {
  const float b = FloorF(y0 * 255.0f);
  if (!(b > 0.0f)) return 0;
  if (b >= 255.0f) return 255;
  return static_cast<std::uint32_t>(b);
}

// The per-pixel step of the frame pass, for source pixel (v0, u0, y0, a0) at column x of pass row
// k. The mask value comes from the mask plane when the pass has one (maskFlag set and maskPlane
// not null), indexed by frame row firstRow + k; otherwise from `kernel` applied to copies of the
// pixel and to the pass's qualifier copy (`kernel` is not called, and may be null, when the plane
// is used). The source luma is counted into `histogram` (when not null) in every view.
// kViewMask shows the mask, kViewTonalRange the tonal ranges (black, mid grey, white); every other
// view corrects the pixel, kViewLuma with neutral chroma. When the levels are active and the
// source format is dithered, the luma to correct carries exactly one draw of DitherRand. Alpha
// passes through.
inline WorkingPixel ProcessPixel(float v0, float u0, float y0, float a0, std::int32_t x,
                                 std::uint32_t k, std::uint32_t firstRow, std::int32_t width,
                                 bool maskFlag, const float* maskPlane, QualifierKernel kernel,
                                 const QualifierBlock& qualifier, std::int32_t viewMode,
                                 std::uint32_t sourceFormat, const RendererSettings& s,
                                 const PassConstants& pc, zkfx::LumaHistogram* histogram) {
  float m;
  if (maskFlag && maskPlane != nullptr) {
    const std::size_t row = static_cast<std::size_t>(firstRow) + k;
    m = maskPlane[row * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  } else {
    float yc = y0, uc = u0, vc = v0;
    m = kernel(&yc, &uc, &vc, &qualifier);
  }

  if (histogram != nullptr) ++histogram->count[HistogramBin(y0)];

  if (viewMode == kViewMask) return {s.neutralChromaV, s.neutralChromaU, m * s.maskDisplayGain, a0};
  if (viewMode == kViewTonalRange) {
    const float tone = TonalSelect(y0 / s.fullScale, 0.0f, s.midGrey, s.fullScale, s);
    return {s.neutralChromaV, s.neutralChromaU, tone, a0};
  }

  float yd = y0;
  if (pc.levelsActive && IsDitheredFormat(sourceFormat)) {
    const float r = static_cast<float>(DitherRand()) / 16383.5f - 1.0f;
    yd = y0 + r * kDitherAmplitude;
  }
  const CorrectedColor c = CorrectPixel(v0, u0, y0, yd, m, s, pc, viewMode == kViewLuma);
  return {c.v, c.u, c.y, a0};
}

}  // namespace threeway
