// AVX2 building blocks shared by the vector row path and the vector qualifier: the transposition of
// eight working pixels into planes, FastPow per lane, and the per-lane forms of the scalar clamps.
//
// Every function here carries the avx2 target and is forced inline, so it is only ever compiled
// into the AVX2 functions that call it; nothing of this header runs on a processor without AVX2.
// The arithmetic repeats the scalar code's operations in the same order (single precision,
// round-to-nearest, no fused multiply-adds), so each lane equals the scalar result bit for bit.
#pragma once

#include <immintrin.h>

#define THREEWAY_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace threeway::avx2 {

// Eight working pixels as four planes.
struct PixelPlanes {
  __m256 v, u, y, a;
};

// Loads pixels 0..7 from `p` (VUYA, no alignment) into planes, lane i holding pixel i.
THREEWAY_AVX2_INLINE PixelPlanes LoadPixels(const float* p) {
  // Lane halves: pixel i in the low half and pixel i + 4 in the high half of row i.
  const __m256 r0 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 0)), _mm_loadu_ps(p + 16), 1);
  const __m256 r1 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 4)), _mm_loadu_ps(p + 20), 1);
  const __m256 r2 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 8)), _mm_loadu_ps(p + 24), 1);
  const __m256 r3 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 12)), _mm_loadu_ps(p + 28), 1);
  const __m256 t0 = _mm256_unpacklo_ps(r0, r1);  // v0 v1 u0 u1
  const __m256 t1 = _mm256_unpacklo_ps(r2, r3);  // v2 v3 u2 u3
  const __m256 t2 = _mm256_unpackhi_ps(r0, r1);  // y0 y1 a0 a1
  const __m256 t3 = _mm256_unpackhi_ps(r2, r3);  // y2 y3 a2 a3
  return {_mm256_shuffle_ps(t0, t1, 0x44), _mm256_shuffle_ps(t0, t1, 0xEE),
          _mm256_shuffle_ps(t2, t3, 0x44), _mm256_shuffle_ps(t2, t3, 0xEE)};
}

// FastPow(b, e) per lane for an exponent that is not within 2^-17 of 1. A true floor; the
// truncating conversion gives INT32_MIN out of range, which is negative and so gives 0.
THREEWAY_AVX2_INLINE __m256 FastPow8(__m256 b, __m256 e) {
  const __m256 x = _mm256_sub_ps(
      _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_castps_si256(b)), _mm256_set1_ps(0x1p-23f)),
      _mm256_set1_ps(127.0f));
  const __m256 f = _mm256_sub_ps(x, _mm256_floor_ps(x));
  const __m256 l =
      _mm256_add_ps(x, _mm256_mul_ps(_mm256_sub_ps(f, _mm256_mul_ps(f, f)), _mm256_set1_ps(0.346607f)));
  const __m256 y = _mm256_mul_ps(l, e);
  const __m256 g = _mm256_sub_ps(y, _mm256_floor_ps(y));
  const __m256 z = _mm256_mul_ps(
      _mm256_sub_ps(_mm256_add_ps(y, _mm256_set1_ps(127.0f)),
                    _mm256_mul_ps(_mm256_sub_ps(g, _mm256_mul_ps(g, g)), _mm256_set1_ps(0.33971f))),
      _mm256_set1_ps(8388608.0f));
  const __m256i zi = _mm256_cvttps_epi32(z);
  const __m256i negative = _mm256_cmpgt_epi32(_mm256_setzero_si256(), zi);
  return _mm256_castsi256_ps(_mm256_andnot_si256(negative, zi));
}

// `x < 0 ? x + 1 : x` per lane (the qualifier's wrap).
THREEWAY_AVX2_INLINE __m256 Wrap8(__m256 x) {
  return _mm256_blendv_ps(x, _mm256_add_ps(x, _mm256_set1_ps(1.0f)),
                          _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_LT_OQ));
}

// `x > 0 ? (x < 1 ? x : 1) : 0` per lane: a clamp to 0..1 that sends NaN to +0.
THREEWAY_AVX2_INLINE __m256 ClampUnit8(__m256 x) {
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 below = _mm256_blendv_ps(one, x, _mm256_cmp_ps(x, one, _CMP_LT_OQ));
  return _mm256_and_ps(below, _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_GT_OQ));
}

}  // namespace threeway::avx2
