// FastPow, the effect's power approximation, and the explicit floor it is built on.
//
// The arithmetic is round-to-nearest throughout; the floors are taken explicitly (never by switching
// the processor's rounding mode, which would round every sum and product downward as well).
#pragma once

#include <cstdint>
#include <cstring>

#include <xmmintrin.h>

namespace threeway {

// Truncates toward zero the way the processor's cvttss2si does: NaN and values outside the
// 32-bit range give INT32_MIN, with no undefined behaviour.
inline std::int32_t TruncateToInt32(float v) { return _mm_cvtt_ss2si(_mm_set_ss(v)); }

// A true floor (toward minus infinity) for every float, without a library call.
// |v| >= 2^23 is already an integer (and NaN passes through unchanged).
inline float FloorF(float v) {
  if (!(v > -8388608.0f && v < 8388608.0f)) return v;
  float t = static_cast<float>(TruncateToInt32(v));
  return t > v ? t - 1.0f : t;
}

// True for an exponent within 2^-17 of 1, for which FastPow returns its base unchanged.
inline bool FastPowKeepsBase(float e) {
  const float d = e - 1.0f;
  return (d < 0.0f ? -d : d) < 7.62939453125e-06f;
}

// Approximates b^e for b >= 0 from the bit pattern of b (a log2 estimate, a scale and an exp2
// estimate). An exponent within 2^-17 of 1 returns b unchanged; FastPow(1, e) is exactly 1.
inline float FastPow(float b, float e) {
  if (FastPowKeepsBase(e)) return b;
  std::int32_t bits;
  std::memcpy(&bits, &b, sizeof bits);
  const float x = static_cast<float>(bits) * 0x1p-23f - 127.0f;
  const float f = x - FloorF(x);
  const float l = x + (f - f * f) * 0.346607f;
  const float y = l * e;
  const float g = y - FloorF(y);
  const float z = (y + 127.0f - (g - g * g) * 0.33971f) * 8388608.0f;
  const std::int32_t zi = TruncateToInt32(z);
  if (zi < 0) return 0.0f;
  float r;
  std::memcpy(&r, &zi, sizeof r);
  return r;
}

}  // namespace threeway
