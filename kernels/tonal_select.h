// The tonal-range rule: picks or blends a shadows value, a midtones value and a highlights value by
// a pixel's normalised luma, with soft transitions between neighbouring ranges.
#pragma once

#include "render/renderer_settings.h"

namespace threeway {

// A chroma pair blended as one value: both components use the same fraction.
struct ChromaPair {
  float u;
  float v;
};

// a + f * (b - a), per component; single precision, operations in this order.
inline float TonalLerp(float a, float b, float f) { return a + f * (b - a); }
inline ChromaPair TonalLerp(ChromaPair a, ChromaPair b, float f) {
  return {a.u + f * (b.u - a.u), a.v + f * (b.v - a.v)};
}

// Selects among `shadow`, `midtone` and `highlight` by the normalised luma y, reading the
// thresholds, softnesses and the derived blend limits (shadowBlendEnd, highlightBlendStart) from
// `s`. The rules are tried in order and the first that holds decides:
//   1. y <= shadowThreshold                                   shadow
//   2. y <= shadowBlendEnd and shadowSoftness == 0            shadow
//   3. y >= highlightThreshold                                highlight
//   4. y >= highlightBlendStart and highlightSoftness == 0    highlight
//   5. shadowBlendEnd < y < highlightBlendStart               midtone
//   6. shadowThreshold < y < shadowBlendEnd                   shadow -> midtone ramp
//   7. y > highlightBlendStart                                midtone -> highlight ramp
//   8. otherwise (exactly at a blend limit, softness non-zero, or y NaN)   midtone
// The zero-softness rules come before the ramps so that the ramps never divide by a zero width;
// the ramp fractions are exact divisions.
template <typename T>
inline T TonalSelect(float y, T shadow, T midtone, T highlight, const RendererSettings& s) {
  const float ts = s.shadowThreshold;
  const float es = s.shadowBlendEnd;
  const float th = s.highlightThreshold;
  const float bh = s.highlightBlendStart;
  if (y <= ts) return shadow;
  if (y <= es && s.shadowSoftness == 0.0f) return shadow;
  if (y >= th) return highlight;
  if (y >= bh && s.highlightSoftness == 0.0f) return highlight;
  if (es < y && y < bh) return midtone;
  if (ts < y && y < es) return TonalLerp(shadow, midtone, (y - ts) / (es - ts));
  if (y > bh) return TonalLerp(midtone, highlight, (y - bh) / (th - bh));
  return midtone;
}

}  // namespace threeway
