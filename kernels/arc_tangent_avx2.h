// The two-argument arc tangent of eight lanes, computed as the C library's single-precision atan2f
// computes it, so that the vector qualifier's hue equals the scalar kernel's bit for bit.
//
// The library this repeats is the fdlibm-derived float code (glibc's e_atan2f.c and s_atanf.c, as in
// glibc 2.36): the special cases of both arguments first (NaN, x = 1, zeros, infinities), then
// |y / x| reduced by the arc tangent's bands 7/16, 11/16, 19/16 and 39/16 to a small argument and
// the identities atan(0.5), atan(1), atan(1.5) and atan(inf), an 11-term odd polynomial split into
// two halves, and the quadrant from the signs. Every lane takes each branch's operations in the
// library's order; the branches are computed for all lanes and selected per lane. Constants that
// the library adds at run time (pi + tiny and the like) are folded here at round-to-nearest, the
// frame pass's rounding.
//
// Whether the platform's atan2f really is this code is checked once per process
// (VectorArcTangentExact); the callers use this only when it is.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "kernels/vector_avx2.h"

namespace threeway::avx2 {

namespace arc_tangent_detail {

// The library's constants, as its decimal literals (the bits they round to in the comments).
constexpr float kTiny = 1.0e-30f;
constexpr float kPiOver4 = 7.8539818525e-01f;  // 0x3f490fdb
constexpr float kPiOver2 = 1.5707963705e+00f;  // 0x3fc90fdb
constexpr float kPi = 3.1415927410e+00f;       // 0x40490fdb
constexpr float kPiLow = -8.7422776573e-08f;   // 0xb3bbbd2e

// atan(0.5), atan(1), atan(1.5), atan(inf) as high and low parts.
constexpr float kAtanHigh[4] = {4.6364760399e-01f, 7.8539812565e-01f, 9.8279368877e-01f,
                                1.5707962513e+00f};  // 0x3eed6338 0x3f490fda 0x3f7b985e 0x3fc90fda
constexpr float kAtanLow[4] = {5.0121582440e-09f, 3.7748947079e-08f, 3.4473217170e-08f,
                               7.5497894159e-08f};  // 0x31ac3769 0x33222168 0x33140fb4 0x33a22168

// The polynomial's coefficients aT[0..10]. The first rounds to 0x3eaaaaab.
constexpr float kCoefficient[11] = {
    3.3333334327e-01f, -2.0000000298e-01f, 1.4285714924e-01f, -1.1111110449e-01f,
    9.0908870101e-02f, -7.6918758452e-02f, 6.6610731184e-02f, -5.8335702866e-02f,
    4.9768779427e-02f, -3.6531571299e-02f, 1.6285819933e-02f};

THREEWAY_AVX2_INLINE __m256 Set(float x) { return _mm256_set1_ps(x); }
THREEWAY_AVX2_INLINE __m256i SetInt(std::uint32_t x) {
  return _mm256_set1_epi32(static_cast<std::int32_t>(x));
}
THREEWAY_AVX2_INLINE __m256 AsFloats(__m256i x) { return _mm256_castsi256_ps(x); }

// a * x + b, as a product then a sum.
THREEWAY_AVX2_INLINE __m256 Step(__m256 a, __m256 x, float b) {
  return _mm256_add_ps(_mm256_mul_ps(a, x), Set(b));
}

}  // namespace arc_tangent_detail

// atanf(t) per lane, the library's one-argument arc tangent (any t, NaN included).
THREEWAY_AVX2_INLINE __m256 ArcTangent8(__m256 t) {
  using namespace arc_tangent_detail;
  const __m256i hx = _mm256_castps_si256(t);
  const __m256i ix = _mm256_and_si256(hx, SetInt(0x7fffffffu));
  const __m256 a = AsFloats(ix);  // |t|

  // Reduction bands by the magnitude's bit pattern: |t| >= 7/16, 11/16, 19/16, 39/16.
  const __m256i band0 = _mm256_cmpgt_epi32(ix, SetInt(0x3edfffffu));
  const __m256i band1 = _mm256_cmpgt_epi32(ix, SetInt(0x3f2fffffu));
  const __m256i band2 = _mm256_cmpgt_epi32(ix, SetInt(0x3f97ffffu));
  const __m256i band3 = _mm256_cmpgt_epi32(ix, SetInt(0x401bffffu));

  // The reduced argument of each band: (2|t| - 1) / (2 + |t|), (|t| - 1) / (|t| + 1),
  // (|t| - 1.5) / (1 + 1.5|t|), -1 / |t|; one division of the selected numerator and denominator.
  const __m256 one = Set(1.0f);
  __m256 num = _mm256_sub_ps(_mm256_mul_ps(Set(2.0f), a), one);
  __m256 den = _mm256_add_ps(Set(2.0f), a);
  num = _mm256_blendv_ps(num, _mm256_sub_ps(a, one), AsFloats(band1));
  den = _mm256_blendv_ps(den, _mm256_add_ps(a, one), AsFloats(band1));
  num = _mm256_blendv_ps(num, _mm256_sub_ps(a, Set(1.5f)), AsFloats(band2));
  den = _mm256_blendv_ps(den, _mm256_add_ps(one, _mm256_mul_ps(Set(1.5f), a)), AsFloats(band2));
  num = _mm256_blendv_ps(num, Set(-1.0f), AsFloats(band3));
  den = _mm256_blendv_ps(den, a, AsFloats(band3));
  const __m256 x = _mm256_blendv_ps(t, _mm256_div_ps(num, den), AsFloats(band0));

  // The odd polynomial in two halves: s1 with the even-numbered coefficients, s2 with the odd.
  const __m256 z = _mm256_mul_ps(x, x);
  const __m256 w = _mm256_mul_ps(z, z);
  const float* c = kCoefficient;
  __m256 s1 = Step(w, Set(c[10]), c[8]);
  s1 = Step(w, s1, c[6]);
  s1 = Step(w, s1, c[4]);
  s1 = Step(w, s1, c[2]);
  s1 = _mm256_mul_ps(z, Step(w, s1, c[0]));
  __m256 s2 = Step(w, Set(c[9]), c[7]);
  s2 = Step(w, s2, c[5]);
  s2 = Step(w, s2, c[3]);
  s2 = _mm256_mul_ps(w, Step(w, s2, c[1]));
  const __m256 p = _mm256_mul_ps(x, _mm256_add_ps(s1, s2));

  // Below 7/16: x - x (s1 + s2). Above: atan(band point) - ((x (s1 + s2) - its low part) - x),
  // with the sign of t.
  const __m256i id = _mm256_sub_epi32(_mm256_setzero_si256(),
                                      _mm256_add_epi32(band1, _mm256_add_epi32(band2, band3)));
  const __m256 atanHigh = _mm256_permutevar8x32_ps(
      _mm256_setr_ps(kAtanHigh[0], kAtanHigh[1], kAtanHigh[2], kAtanHigh[3], 0, 0, 0, 0), id);
  const __m256 atanLow = _mm256_permutevar8x32_ps(
      _mm256_setr_ps(kAtanLow[0], kAtanLow[1], kAtanLow[2], kAtanLow[3], 0, 0, 0, 0), id);
  const __m256 reduced = _mm256_sub_ps(atanHigh, _mm256_sub_ps(_mm256_sub_ps(p, atanLow), x));
  const __m256 sign = AsFloats(_mm256_and_si256(hx, SetInt(0x80000000u)));
  __m256 r = _mm256_blendv_ps(_mm256_sub_ps(x, p), _mm256_xor_ps(reduced, sign), AsFloats(band0));

  // Below 2^-29: t itself. From 2^25 on: +-(atan(inf) high + low), or t + t for a NaN.
  const __m256i tiny = _mm256_cmpgt_epi32(SetInt(0x31000000u), ix);
  r = _mm256_blendv_ps(r, t, AsFloats(tiny));
  const __m256i large = _mm256_cmpgt_epi32(ix, SetInt(0x4bffffffu));
  const __m256 limit = _mm256_blendv_ps(Set(kAtanHigh[3] + kAtanLow[3]),
                                        Set(-kAtanHigh[3] - kAtanLow[3]), t);
  const __m256i nan = _mm256_cmpgt_epi32(ix, SetInt(0x7f800000u));
  r = _mm256_blendv_ps(r, _mm256_blendv_ps(limit, _mm256_add_ps(t, t), AsFloats(nan)),
                       AsFloats(large));
  return r;
}

// atan2f(y, x) per lane, NaN payloads included (a NaN argument gives x's NaN quieted if x is one,
// else y's, as the library's x + y does).
THREEWAY_AVX2_INLINE __m256 ArcTangent2_8(__m256 y, __m256 x) {
  using namespace arc_tangent_detail;
  const __m256i hx = _mm256_castps_si256(x);
  const __m256i hy = _mm256_castps_si256(y);
  const __m256i absMask = SetInt(0x7fffffffu);
  const __m256i ix = _mm256_and_si256(hx, absMask);
  const __m256i iy = _mm256_and_si256(hy, absMask);
  const __m256i infinity = SetInt(0x7f800000u);

  // The general case: the arc tangent of |y / x| (of y itself when x is exactly 1), or its limits
  // when the exponents differ by more than 60.
  const __m256i xIsOne = _mm256_cmpeq_epi32(hx, SetInt(0x3f800000u));
  const __m256 quotient = _mm256_andnot_ps(Set(-0.0f), _mm256_div_ps(y, x));
  const __m256 atanOfT = ArcTangent8(_mm256_blendv_ps(quotient, y, AsFloats(xIsOne)));
  const __m256i k = _mm256_srai_epi32(_mm256_sub_epi32(iy, ix), 23);
  const __m256i steep = _mm256_cmpgt_epi32(k, _mm256_set1_epi32(60));
  const __m256i flat = _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(-60), k),
                                        _mm256_cmpgt_epi32(_mm256_setzero_si256(), hx));
  __m256 z = _mm256_andnot_ps(AsFloats(flat), atanOfT);
  z = _mm256_blendv_ps(z, Set(kPiOver2 + 0.5f * kPiLow), AsFloats(steep));
  // The quadrant from the signs: z, -z, pi - (z - pi_lo), (z - pi_lo) - pi.
  const __m256 zLow = _mm256_sub_ps(z, Set(kPiLow));
  const __m256 right = _mm256_blendv_ps(z, _mm256_xor_ps(z, Set(-0.0f)), y);
  const __m256 left =
      _mm256_blendv_ps(_mm256_sub_ps(Set(kPi), zLow), _mm256_sub_ps(zLow, Set(kPi)), y);
  __m256 r = _mm256_blendv_ps(right, left, x);

  // The special cases, from the last the library tests to the first, so that the first wins. Most
  // groups of eight have none (no zero, infinite or NaN operand, no x of exactly 1): they are done.
  const __m256i edge = _mm256_or_si256(
      _mm256_or_si256(_mm256_cmpeq_epi32(ix, _mm256_setzero_si256()), _mm256_cmpeq_epi32(iy, _mm256_setzero_si256())),
      _mm256_or_si256(_mm256_or_si256(_mm256_cmpgt_epi32(ix, SetInt(0x7f7fffffu)), _mm256_cmpgt_epi32(iy, SetInt(0x7f7fffffu))),
                      xIsOne));
  if (_mm256_testz_si256(edge, edge)) return r;
  const __m256 upDown = _mm256_blendv_ps(Set(kPiOver2 + kTiny), Set(-kPiOver2 - kTiny), y);
  const __m256 pi = _mm256_blendv_ps(Set(kPi + kTiny), Set(-kPi - kTiny), y);
  const __m256i yInfinite = _mm256_cmpeq_epi32(iy, infinity);
  r = _mm256_blendv_ps(r, upDown, AsFloats(yInfinite));  // y infinite, x finite
  const __m256 diagonal = _mm256_blendv_ps(
      _mm256_blendv_ps(Set(kPiOver4 + kTiny), Set(-kPiOver4 - kTiny), y),
      _mm256_blendv_ps(Set(3.0f * kPiOver4 + kTiny), Set(-3.0f * kPiOver4 - kTiny), y), x);
  const __m256 horizontal = _mm256_blendv_ps(_mm256_blendv_ps(Set(0.0f), Set(-0.0f), y), pi, x);
  r = _mm256_blendv_ps(r, _mm256_blendv_ps(horizontal, diagonal, AsFloats(yInfinite)),
                       AsFloats(_mm256_cmpeq_epi32(ix, infinity)));  // x infinite
  r = _mm256_blendv_ps(r, upDown, AsFloats(_mm256_cmpeq_epi32(ix, _mm256_setzero_si256())));
  r = _mm256_blendv_ps(r, _mm256_blendv_ps(y, pi, x),
                       AsFloats(_mm256_cmpeq_epi32(iy, _mm256_setzero_si256())));  // y = +-0
  r = _mm256_blendv_ps(r, atanOfT, AsFloats(xIsOne));
  const __m256i xNaN = _mm256_cmpgt_epi32(ix, infinity);
  const __m256i anyNaN = _mm256_or_si256(xNaN, _mm256_cmpgt_epi32(iy, infinity));
  const __m256 quiet = _mm256_blendv_ps(y, x, AsFloats(xNaN));
  r = _mm256_blendv_ps(r, _mm256_or_ps(quiet, AsFloats(SetInt(0x00400000u))), AsFloats(anyNaN));
  return r;
}

}  // namespace threeway::avx2
