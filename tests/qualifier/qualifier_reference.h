// A plain scalar reference of the secondary qualifier, written step by step from the documented
// algorithm, used to check the 64 specialised kernels and the general kernel bit for bit. It shares
// only FastPow and the processor's reciprocal estimate with the code under test, since the
// documented results are defined in terms of those two. Also random qualifier settings of every
// kind, for the cross-checks here and in the row path's.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include <xmmintrin.h>

#include "kernels/fast_pow.h"
#include "render/renderer_settings.h"

namespace qualifier_reference {

using threeway::QualifierBlock;

inline float Rcp(float x) { return _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(x))); }

// Clamp to 0..1; the module's documented choice sends NaN to 0.
inline float Clamp01(float x) { return !(x >= 0.0f) ? 0.0f : x > 1.0f ? 1.0f : x; }
inline float Wrap(float x) { return x < 0.0f ? x + 1.0f : x; }

// The circular form's treatment of an edge end outside 0..1.
inline float CircularEnd(float x) {
  if (x > 1.0f) return x - std::trunc(x);
  if (x < 0.0f) return x - std::trunc(x) + 1.0f;
  return x;
}

inline float Weight(float v, float a, float lo, float b, float hi, bool circular) {
  // 1. core weight
  float w0 = 0.0f;
  if (hi >= lo && hi - lo < 1e-6f) {
    w0 = 0.0f;
  } else if (lo > hi && lo - hi < 1e-6f) {
    w0 = 1.0f;
  } else if (Wrap(v - lo) >= 0.0f && Wrap(v - lo) <= Wrap(hi - lo)) {
    w0 = 1.0f;
  }
  if (w0 >= 1.0f) return 1.0f;  // 2.
  // 3. rising edge
  float lo2 = lo - a;
  if (circular) lo2 = CircularEnd(lo2);
  float d1 = Wrap(v - lo2);
  float r1 = Wrap(lo - lo2);
  bool outside1 = d1 >= r1 || d1 < 0.0f;
  if (!circular && -lo2 > d1) outside1 = true;
  const float w1 = outside1 ? 0.0f : d1 * Rcp(r1);
  if (w1 >= 1.0f) return 1.0f;  // 4.
  // 5. falling edge
  float hi2 = b + hi;
  if (circular) hi2 = CircularEnd(hi2);
  float d2 = Wrap(v - hi);
  float r2 = Wrap(hi2 - hi);
  bool outside2 = d2 >= r2 || d2 < 0.0f;
  if (!circular && d2 > 1.0f - hi) outside2 = true;
  const float w2 = outside2 ? 0.0f : 1.0f - d2 * Rcp(r2);
  float w = w1;  // 6.
  if (w2 > w1) w = w2;
  if (!(w > w0)) w = w0;
  return Clamp01(w);
}

struct Measures {
  float luma, saturation, hue;
};

inline Measures Measure(float y, float u, float v) {
  float h0 = atan2f(-0.9475003f * u - 0.31975487f * v, -0.31975487f * u + 0.9475003f * v);
  if (h0 < 0.0f) h0 = h0 + 6.2831855f;
  return {Clamp01(y), Clamp01(sqrtf(u * u + v * v) * 1.4142135f), Clamp01(h0 * 0.15915494f)};
}

// Which weights are replaced by exactly 1.
struct Forced {
  bool luma = false, saturation = false, hue = false;
};

inline float Product(float y, float u, float v, const QualifierBlock& q, Forced forced) {
  const Measures m = Measure(y, u, v);
  const float wl = forced.luma ? 1.0f
                               : Clamp01(Weight(m.luma, q.lumaStartSoftness, q.lumaStartThreshold,
                                                q.lumaEndSoftness, q.lumaEndThreshold, false));
  const float ws = forced.saturation
                       ? 1.0f
                       : Clamp01(Weight(m.saturation, q.satStartSoftness, q.satStartThreshold,
                                        q.satEndSoftness, q.satEndThreshold, false));
  const float wh = forced.hue ? 1.0f
                              : Clamp01(Weight(m.hue, q.hueStartSoftness, q.hueStartThreshold,
                                               q.hueEndSoftness, q.hueEndThreshold, true));
  return wl * ws * wh;
}

inline float Shape(float x, float e) {
  if (e == 0.0f) return x;
  float k = Rcp(threeway::FastPow(10.0f, e * 0.01f));
  return threeway::FastPow(x, k);
}

// The general kernel's final step, by invert mode.
inline float General(float y, float u, float v, const QualifierBlock& q, Forced forced = {}) {
  float p = Product(y, u, v, q, forced);
  float e = q.edgeThinning;
  if (q.invertMode == 2) return Shape(1.0f - p, e);
  if (q.invertMode == 3) return 1.0f - Shape(p, e);
  return Shape(p, e);
}

// Bits 5, 4 and 3 of a kernel index force the luma, saturation and hue weights to 1.
inline Forced ForcedBy(unsigned index) {
  return {(index & 32) != 0, (index & 16) != 0, (index & 8) != 0};
}

// The final step of the variant at `index`, by its three low bits. Thinning is applied when bit 1
// is set, whatever E is.
inline float Variant(unsigned index, float y, float u, float v, const QualifierBlock& q) {
  const float p = Product(y, u, v, q, ForcedBy(index));
  float k = Rcp(threeway::FastPow(10.0f, q.edgeThinning * 0.01f));
  auto shape = [k](float x) { return threeway::FastPow(x, k); };
  switch (index & 7) {
    case 0: return p;
    case 1: return 1.0f - p;
    case 2: return shape(p);
    case 3: return 1.0f - shape(p);
    case 4: return 1.0f - p;
    case 5: return 1.0f - (1.0f - p);
    case 6: return shape(1.0f - p);
    default: return 1.0f - shape(1.0f - p);
  }
}

inline std::uint32_t Bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// One range (start softness, start, end softness, end) of a random kind.
inline void RandomRange(std::mt19937& rng, float& a, float& lo, float& b, float& hi) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), soft(0.0f, 0.35f);
  a = soft(rng);
  lo = unit(rng);
  b = soft(rng);
  hi = unit(rng);
  switch (rng() % 12) {
    case 0: a = lo = b = 0.0f; hi = 1.0f; break;          // full
    case 1: a = b = 0.0f; lo = 5e-7f; hi = 0.9999995f; break;  // full within the tolerance
    case 2: lo = hi; break;                               // empty (with soft edges)
    case 3: lo = hi; a = b = 0.0f; break;                 // empty
    case 4: if (lo < hi) std::swap(lo, hi); break;        // start above end (wraps for hue)
    case 5: lo = hi + 5e-7f; break;                       // start just above end
    case 6: { float* f[] = {&a, &lo, &b, &hi}; *f[rng() % 4] = std::numeric_limits<float>::quiet_NaN(); break; }
    case 7: a = -a; b = 1.5f + b; break;                  // odd softnesses
    case 8: lo = -0.3f; hi = 1.4f; break;                 // thresholds outside 0..1
    case 9: a = 1.3f; b = 2.7f; break;                    // edges beyond one turn
    default: break;
  }
}

// A block of a random kind in each range, with thinning at and near 0, NaN and random, the invert
// modes 0..4 (two of them unknown) and any hue flag byte.
inline QualifierBlock RandomBlock(std::mt19937& rng) {
  const float thinning[] = {0.0f, -0.0f, 1e-30f, -1e-30f, 100.0f, -100.0f, std::numeric_limits<float>::quiet_NaN(), 37.25f,
                            -63.0f, 1e-3f};
  std::uniform_real_distribution<float> anyE(-100.0f, 100.0f);
  QualifierBlock q{};
  RandomRange(rng, q.hueStartSoftness, q.hueStartThreshold, q.hueEndSoftness, q.hueEndThreshold);
  RandomRange(rng, q.satStartSoftness, q.satStartThreshold, q.satEndSoftness, q.satEndThreshold);
  RandomRange(rng, q.lumaStartSoftness, q.lumaStartThreshold, q.lumaEndSoftness,
              q.lumaEndThreshold);
  const unsigned pick = rng() % 14;
  q.edgeThinning = pick < 10 ? thinning[pick] : anyE(rng);
  q.invertMode = static_cast<std::int32_t>(rng() % 5);
  q.hueUnrestricted = static_cast<std::uint8_t>(rng() % 3 == 0 ? 1 + rng() % 255 : 0);
  return q;
}

}  // namespace qualifier_reference
