// The secondary colour qualifier: the three measures of a working pixel (luma, saturation, hue),
// the soft range test applied to each, the general qualifier kernel and its 64 specialised
// variants, one for each combination of six yes/no properties of the QualifierBlock.
//
// Numerical choices, shared by every kernel so that the variants and the general kernel agree bit
// for bit where they do the same work:
// - All arithmetic is single precision, round-to-nearest, no fused multiply-adds.
// - The edge fractions d1 / r1, d2 / r2 and the edge-thinning exponent 1 / FastPow(10, E * 0.01)
//   are products with the processor's reciprocal estimate (rcpss, relative error at most
//   1.5 * 2^-12), never divisions. The estimate differs between processor makers, so results agree
//   with exact division only to that tolerance.
// - The tolerances 1e-6 and 0.999999 are single-precision constants (0.999999f has the bit
//   pattern 0x3f7fffef).
// - Every clamp to 0..1 sends a NaN to 0, so a NaN threshold or pixel value yields a finite mask.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include <xmmintrin.h>

#include "kernels/fast_pow.h"
#include "kernels/qualifier_kernel.h"
#include "simd/vector_switch.h"
#include "render/renderer_settings.h"

namespace threeway {

// The processor's fast reciprocal estimate of x (rcpss).
[[gnu::always_inline]] inline float ReciprocalEstimate(float x) {
  return _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(x)));
}

// Clamps to 0..1; a NaN gives 0.
[[gnu::always_inline]] inline float ClampUnit(float x) { return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; }

// Luma measure: Y clamped to 0..1.
[[gnu::always_inline]] inline float QualifierLuma(float y) { return ClampUnit(y); }

// Saturation measure: the chroma length scaled so that the corners (+-0.5, +-0.5) of the nominal
// chroma square reach 1, clamped to 0..1.
[[gnu::always_inline]] inline float QualifierSaturation(float u, float v) {
  return ClampUnit(std::sqrt(u * u + v * v) * 1.4142135f);
}

// Hue measure in turns: the angle of (U, V) from the direction of BT.601 pure red
// (-0.31975487, 0.9475003), turning from the U axis towards the V axis, brought into 0..1.
// Red lies at the wrap point; yellow, green, cyan, blue and magenta follow at about
// 0.17, 0.34, 0.5, 0.67 and 0.84. U = V = 0 gives 0 or one half turn, depending on zero signs.
[[gnu::always_inline]] inline float QualifierHue(float u, float v) {
  const float across = -0.9475003f * u - 0.31975487f * v;
  const float along = -0.31975487f * u + 0.9475003f * v;
  float h0 = std::atan2(across, along);
  if (h0 < 0.0f) h0 += 6.2831855f;
  return ClampUnit(h0 * 0.15915494f);
}

namespace qualifier_detail {

// wrap(x): a difference of two values on the 0..1 scale brought back into it.
[[gnu::always_inline]] inline float Wrap(float x) { return x < 0.0f ? x + 1.0f : x; }

// The fractional part that the circular form keeps of an edge end outside 0..1: above 1 the
// integer part (truncated toward zero) is dropped; below 0 it is dropped and 1 is added.
// Infinities and NaN give NaN, as x - trunc(x) would.
[[gnu::always_inline]] inline float IntoUnitCircle(float x) {
  if (!(x >= 0.0f && x <= 1.0f)) {
    float whole;
    if (x > -8388608.0f && x < 8388608.0f) {
      whole = static_cast<float>(TruncateToInt32(x));
    } else {
      whole = x;  // already an integer, or not a number
    }
    const float frac = x - whole;
    x = x < 0.0f ? frac + 1.0f : frac;
  }
  return x;
}

template <bool kCircular>
[[gnu::always_inline]] inline float RangeWeightImpl(float v, float a, float lo, float b, float hi) {
  // Core weight: inside [lo, hi], or outside [hi, lo] for a range that wraps.
  float w0;
  if (hi >= lo && hi - lo < 1e-6f) {
    w0 = 0.0f;  // an empty range
  } else if (lo > hi && lo - hi < 1e-6f) {
    w0 = 1.0f;  // the full circle
  } else {
    const float d = Wrap(v - lo);
    const float r = Wrap(hi - lo);
    w0 = (d >= 0.0f && d <= r) ? 1.0f : 0.0f;
  }
  if (w0 >= 1.0f) return 1.0f;

  // Rising edge from lo - a up to lo.
  float lo2 = lo - a;
  if constexpr (kCircular) lo2 = IntoUnitCircle(lo2);
  const float d1 = Wrap(v - lo2);
  const float r1 = Wrap(lo - lo2);
  float w1;
  if (d1 >= r1 || d1 < 0.0f || (!kCircular && -lo2 > d1)) {
    w1 = 0.0f;
  } else {
    w1 = d1 * ReciprocalEstimate(r1);
  }
  if (w1 >= 1.0f) return 1.0f;

  // Falling edge from hi down to hi + b.
  float hi2 = b + hi;
  if constexpr (kCircular) hi2 = IntoUnitCircle(hi2);
  const float d2 = Wrap(v - hi);
  const float r2 = Wrap(hi2 - hi);
  float w2;
  if (d2 >= r2 || d2 < 0.0f || (!kCircular && d2 > 1.0f - hi)) {
    w2 = 0.0f;
  } else {
    w2 = 1.0f - d2 * ReciprocalEstimate(r2);
  }

  float w = w2 > w1 ? w2 : w1;
  w = w > w0 ? w : w0;
  return ClampUnit(w);
}

}  // namespace qualifier_detail

// The soft range test of one measure v: 1 inside [lo, hi], falling linearly to 0 over the start
// softness a below lo and over the end softness b above hi, clamped to 0..1. The linear form
// (luma, saturation) keeps the soft edges from wrapping past the ends of the scale; the circular
// form (hue) lets a range and its edges wrap past the red point, and a start above the end
// selects the values above the start together with those below the end.
[[gnu::always_inline]] inline float RangeWeight(float v, float a, float lo, float b, float hi,
                                                bool circular) {
  return circular ? qualifier_detail::RangeWeightImpl<true>(v, a, lo, b, hi)
                  : qualifier_detail::RangeWeightImpl<false>(v, a, lo, b, hi);
}

// The edge-thinning exponent k = 1 / FastPow(10, E * 0.01), with the reciprocal estimate:
// E = 100 gives about 0.1 (widens the mask), E = -100 about 10 (narrows it).
[[gnu::always_inline]] inline float EdgeThinningExponent(float edgeThinning) {
  return ReciprocalEstimate(FastPow(10.0f, edgeThinning * 0.01f));
}

// The general kernel: evaluates all three weights and applies the invert mode (any value other
// than kInvertLimitColor or kInvertMask acts as kInvertNone) and edge thinning (skipped only when
// edgeThinning is exactly 0; a NaN thins). The result is not clamped again.
float GeneralQualifierKernel(const float* y, const float* u, const float* v,
                             const QualifierBlock* block);

// Bits of the selector index into kQualifierKernels.
constexpr unsigned kQualifierInvertMaskBit = 1;    // invertMode == kInvertMask
constexpr unsigned kQualifierEdgeThinningBit = 2;  // edgeThinning != 0 (NaN included)
constexpr unsigned kQualifierInvertLimitBit = 4;   // invertMode == kInvertLimitColor
constexpr unsigned kQualifierNoHueBit = 8;         // hueUnrestricted != 0: wH is 1
constexpr unsigned kQualifierNoSaturationBit = 16; // saturation range full: wS is 1
constexpr unsigned kQualifierNoLumaBit = 32;       // luma range full: wL is 1
constexpr unsigned kQualifierKernelCount = 64;

// What a selector index says, as the variants read it at compile time.
struct QualifierVariantTraits {
  bool invertMask, thin, invertLimit, hue, saturation, luma;
};
constexpr QualifierVariantTraits TraitsOfVariant(unsigned index) {
  return {(index & kQualifierInvertMaskBit) != 0, (index & kQualifierEdgeThinningBit) != 0,
          (index & kQualifierInvertLimitBit) != 0, (index & kQualifierNoHueBit) == 0,
          (index & kQualifierNoSaturationBit) == 0, (index & kQualifierNoLumaBit) == 0};
}

// The 64 specialised kernels, indexed by the selector bits above. Entry i computes the general
// kernel with the weights its bits 3..5 name replaced by exactly 1; bits 0..2 fix the final step:
// p, 1 - p, shape(p), 1 - shape(p), 1 - p, 1 - (1 - p), shape(1 - p), 1 - shape(1 - p) for
// i mod 8 = 0..7 (5 and 7 are never selected, since the invert mode cannot be both 2 and 3).
extern const std::array<QualifierKernel, kQualifierKernelCount> kQualifierKernels;

// True when a linear range selects every value: start threshold and both softnesses at most
// 1e-6 and end threshold at least 0.999999. A NaN in any of the four makes it not full.
[[gnu::always_inline]] inline bool IsFullQualifierRange(float startSoftness, float startThreshold,
                                                         float endSoftness, float endThreshold) {
  return startThreshold <= 1e-6f && startSoftness <= 1e-6f && endSoftness <= 1e-6f &&
         endThreshold >= 0.999999f;
}

// The vector twins of kQualifierKernels, entry for entry (kernels/qualifier_vector.h): on AVX2, and
// on AVX-512. Each must only be called when the processor supports its instruction set. The hue's
// arc tangent is the exact vector one when VectorArcTangentExact() holds, atan2f per lane
// otherwise; under a rounding mode other than round-to-nearest a twin hands every pixel to its
// scalar kernel.
extern const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernels;
extern const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernelsAvx512;
// The same twins with the hue's arc tangent always taken from atan2f lane by lane: the path of a
// platform whose atan2f the vector arc tangent does not equal, which the tests check here too.
extern const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernelsOnPlatformArcTangent;
extern const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernelsAvx512OnPlatformArcTangent;

// The vector twin of an entry of kQualifierKernels on a vector path (kAvx2 or kAvx512); null for
// any other kernel (the general one).
VectorQualifierKernel VectorQualifierFor(QualifierKernel kernel, vector_switch::Path path);

// The selector index of a block (0..63). Reads only the block.
unsigned QualifierKernelIndex(const QualifierBlock* block);

// The kernel for a block: kQualifierKernels[QualifierKernelIndex(block)]. Chosen once per pass.
QualifierKernel SelectQualifierKernel(const QualifierBlock* block);
inline QualifierKernel SelectQualifierKernel(const QualifierBlock& block) {
  return SelectQualifierKernel(&block);
}

}  // namespace threeway
