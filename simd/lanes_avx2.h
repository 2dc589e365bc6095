// The AVX2 lanes: eight single-precision lanes in a ymm register, with comparison masks held as
// all-ones or all-zeros lanes of the same width. The vector row path and the vector qualifier are
// written once over a lane type (vector_lanes.h, process_row_vector.h) and instantiated with this
// one and with the AVX-512 lanes of lanes_avx512.h.
//
// Every function here carries the avx2 target and is forced inline, so it is only ever compiled
// into the AVX2 functions that call it; nothing of this header runs on a processor without AVX2.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "simd/vector_switch.h"

#define SIMD_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace simd::avx2 {

struct Lanes {
  static constexpr std::int32_t kCount = 8;
  using F = __m256;   // floats
  using I = __m256i;  // 32-bit integers
  using M = __m256;   // a comparison's result: all ones where it holds

  static constexpr vector_switch::Path kPath = vector_switch::Path::kAvx2;

  struct Planes {
    F v, u, y, a;
  };

  SIMD_AVX2_INLINE static F Set(float x) { return _mm256_set1_ps(x); }
  SIMD_AVX2_INLINE static F Zero() { return _mm256_setzero_ps(); }
  SIMD_AVX2_INLINE static F Load(const float* p) { return _mm256_loadu_ps(p); }
  SIMD_AVX2_INLINE static void Store(float* p, F x) { _mm256_storeu_ps(p, x); }
  SIMD_AVX2_INLINE static F Add(F a, F b) { return _mm256_add_ps(a, b); }
  SIMD_AVX2_INLINE static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
  SIMD_AVX2_INLINE static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
  SIMD_AVX2_INLINE static F Div(F a, F b) { return _mm256_div_ps(a, b); }
  SIMD_AVX2_INLINE static F Sqrt(F a) { return _mm256_sqrt_ps(a); }
  SIMD_AVX2_INLINE static F Floor(F a) { return _mm256_floor_ps(a); }
  // The instructions' operand rules: the second operand when either is NaN.
  SIMD_AVX2_INLINE static F Min(F a, F b) { return _mm256_min_ps(a, b); }
  SIMD_AVX2_INLINE static F Max(F a, F b) { return _mm256_max_ps(a, b); }

  // Ordered, quiet comparisons: false when either operand is NaN.
  SIMD_AVX2_INLINE static M Lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
  SIMD_AVX2_INLINE static M Le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
  SIMD_AVX2_INLINE static M Gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
  SIMD_AVX2_INLINE static M Ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
  SIMD_AVX2_INLINE static M None() { return _mm256_setzero_ps(); }
  SIMD_AVX2_INLINE static M Or(M a, M b) { return _mm256_or_ps(a, b); }
  SIMD_AVX2_INLINE static M And(M a, M b) { return _mm256_and_ps(a, b); }
  SIMD_AVX2_INLINE static M AndNot(M a, M b) { return _mm256_andnot_ps(a, b); }  // b where not a
  SIMD_AVX2_INLINE static bool Any(M m) { return _mm256_movemask_ps(m) != 0; }
  SIMD_AVX2_INLINE static bool All(M m) { return _mm256_movemask_ps(m) == 0xFF; }
  // x where m holds, +0 elsewhere.
  SIMD_AVX2_INLINE static F Keep(F x, M m) { return _mm256_and_ps(x, m); }
  // +0 where m holds, x elsewhere.
  SIMD_AVX2_INLINE static F Drop(F x, M m) { return _mm256_andnot_ps(m, x); }
  // b where m holds, a elsewhere.
  SIMD_AVX2_INLINE static F Select(F a, F b, M m) { return _mm256_blendv_ps(a, b, m); }
  // b where the sign bit of s is set, a elsewhere.
  SIMD_AVX2_INLINE static F SelectBySign(F a, F b, F s) { return _mm256_blendv_ps(a, b, s); }
  // Bitwise operations on the floats' bits.
  SIMD_AVX2_INLINE static F Xor(F a, F b) { return _mm256_xor_ps(a, b); }
  SIMD_AVX2_INLINE static F OrBits(F a, F b) { return _mm256_or_ps(a, b); }
  SIMD_AVX2_INLINE static F AndNotBits(F a, F b) { return _mm256_andnot_ps(a, b); }  // b & ~a

  SIMD_AVX2_INLINE static I SetInt(std::int32_t x) { return _mm256_set1_epi32(x); }
  SIMD_AVX2_INLINE static I LoadInts(const std::int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  SIMD_AVX2_INLINE static void StoreInts(std::int32_t* p, I x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x);
  }
  SIMD_AVX2_INLINE static I AddInts(I a, I b) { return _mm256_add_epi32(a, b); }
  SIMD_AVX2_INLINE static I SubInts(I a, I b) { return _mm256_sub_epi32(a, b); }
  SIMD_AVX2_INLINE static M GtInts(I a, I b) { return _mm256_castsi256_ps(_mm256_cmpgt_epi32(a, b)); }
  SIMD_AVX2_INLINE static M EqInts(I a, I b) { return _mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b)); }
  // acc + 1 where m holds.
  SIMD_AVX2_INLINE static I CountTrue(I acc, M m) { return _mm256_sub_epi32(acc, _mm256_castps_si256(m)); }
  SIMD_AVX2_INLINE static I MulLowInts(I a, I b) { return _mm256_mullo_epi32(a, b); }
  SIMD_AVX2_INLINE static I AndInts(I a, I b) { return _mm256_and_si256(a, b); }
  SIMD_AVX2_INLINE static I OrInts(I a, I b) { return _mm256_or_si256(a, b); }
  SIMD_AVX2_INLINE static I ShiftLeftInts(I a, int n) { return _mm256_slli_epi32(a, n); }
  SIMD_AVX2_INLINE static I ShiftRightInts(I a, int n) { return _mm256_srli_epi32(a, n); }
  SIMD_AVX2_INLINE static I ShiftRightArithInts(I a, int n) { return _mm256_srai_epi32(a, n); }
  // Negative integers to 0.
  SIMD_AVX2_INLINE static I NonNegative(I a) {
    return _mm256_andnot_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), a), a);
  }
  SIMD_AVX2_INLINE static F IntsToFloats(I a) { return _mm256_cvtepi32_ps(a); }
  // Truncating conversion; INT32_MIN out of range.
  SIMD_AVX2_INLINE static I TruncateToInts(F a) { return _mm256_cvttps_epi32(a); }
  SIMD_AVX2_INLINE static I BitsOf(F a) { return _mm256_castps_si256(a); }
  SIMD_AVX2_INLINE static F FloatsOf(I a) { return _mm256_castsi256_ps(a); }
  // table[index] per lane, for indices 0..3.
  SIMD_AVX2_INLINE static F Lookup4(const float (&table)[4], I index) {
    return _mm256_permutevar8x32_ps(_mm256_setr_ps(table[0], table[1], table[2], table[3], 0, 0, 0, 0), index);
  }

  // Loads sixteen integers from `p` (no alignment): those at even positions into `even`, the odd
  // ones into `odd`, lane i holding p[2i] and p[2i + 1].
  SIMD_AVX2_INLINE static void DeinterleaveInts(const std::int32_t* p, I& even, I& odd) {
    const F a = _mm256_loadu_ps(reinterpret_cast<const float*>(p));      // p0..p7
    const F b = _mm256_loadu_ps(reinterpret_cast<const float*>(p + 8));  // p8..p15
    // Within each half: a0 a2 b0 b2 | a4 a6 b4 b6, then the middle quarters swapped.
    even = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(a, b, 0x88)), 0xD8);
    odd = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(a, b, 0xDD)), 0xD8);
  }
  // The inverse of DeinterleaveInts: stores even[0] odd[0] even[1] odd[1] ... at `p`.
  SIMD_AVX2_INLINE static void InterleaveInts(std::int32_t* p, I even, I odd) {
    const I first = _mm256_unpacklo_epi32(even, odd);   // pairs 0, 1 | 4, 5
    const I second = _mm256_unpackhi_epi32(even, odd);  // pairs 2, 3 | 6, 7
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 8), _mm256_permute2x128_si256(first, second, 0x31));
  }

  // Turns an 8 x 8 tile: afterwards t[i] lane k holds what t[k] lane i held.
  SIMD_AVX2_INLINE static void Transpose(F (&t)[kCount]) {
    const F u0 = _mm256_unpacklo_ps(t[0], t[1]), u1 = _mm256_unpackhi_ps(t[0], t[1]);
    const F u2 = _mm256_unpacklo_ps(t[2], t[3]), u3 = _mm256_unpackhi_ps(t[2], t[3]);
    const F u4 = _mm256_unpacklo_ps(t[4], t[5]), u5 = _mm256_unpackhi_ps(t[4], t[5]);
    const F u6 = _mm256_unpacklo_ps(t[6], t[7]), u7 = _mm256_unpackhi_ps(t[6], t[7]);
    const F v0 = _mm256_shuffle_ps(u0, u2, 0x44), v1 = _mm256_shuffle_ps(u0, u2, 0xEE);
    const F v2 = _mm256_shuffle_ps(u1, u3, 0x44), v3 = _mm256_shuffle_ps(u1, u3, 0xEE);
    const F v4 = _mm256_shuffle_ps(u4, u6, 0x44), v5 = _mm256_shuffle_ps(u4, u6, 0xEE);
    const F v6 = _mm256_shuffle_ps(u5, u7, 0x44), v7 = _mm256_shuffle_ps(u5, u7, 0xEE);
    t[0] = _mm256_permute2f128_ps(v0, v4, 0x20);
    t[1] = _mm256_permute2f128_ps(v1, v5, 0x20);
    t[2] = _mm256_permute2f128_ps(v2, v6, 0x20);
    t[3] = _mm256_permute2f128_ps(v3, v7, 0x20);
    t[4] = _mm256_permute2f128_ps(v0, v4, 0x31);
    t[5] = _mm256_permute2f128_ps(v1, v5, 0x31);
    t[6] = _mm256_permute2f128_ps(v2, v6, 0x31);
    t[7] = _mm256_permute2f128_ps(v3, v7, 0x31);
  }

  // Loads pixels 0..7 from `p` (VUYA, no alignment) into planes, lane i holding pixel i.
  SIMD_AVX2_INLINE static Planes LoadPixels(const float* p) {
    // Lane halves: pixel i in the low half and pixel i + 4 in the high half of row i.
    const F r0 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 0)), _mm_loadu_ps(p + 16), 1);
    const F r1 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 4)), _mm_loadu_ps(p + 20), 1);
    const F r2 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 8)), _mm_loadu_ps(p + 24), 1);
    const F r3 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 12)), _mm_loadu_ps(p + 28), 1);
    const F t0 = _mm256_unpacklo_ps(r0, r1);  // v0 v1 u0 u1
    const F t1 = _mm256_unpacklo_ps(r2, r3);  // v2 v3 u2 u3
    const F t2 = _mm256_unpackhi_ps(r0, r1);  // y0 y1 a0 a1
    const F t3 = _mm256_unpackhi_ps(r2, r3);  // y2 y3 a2 a3
    return {_mm256_shuffle_ps(t0, t1, 0x44), _mm256_shuffle_ps(t0, t1, 0xEE),
            _mm256_shuffle_ps(t2, t3, 0x44), _mm256_shuffle_ps(t2, t3, 0xEE)};
  }

  // The inverse of LoadPixels: stores the planes as eight VUYA pixels at `p`.
  SIMD_AVX2_INLINE static void StorePixels(float* p, const Planes& q) {
    const F t0 = _mm256_unpacklo_ps(q.v, q.u);  // v0 u0 v1 u1
    const F t1 = _mm256_unpacklo_ps(q.y, q.a);  // y0 a0 y1 a1
    const F t2 = _mm256_unpackhi_ps(q.v, q.u);  // v2 u2 v3 u3
    const F t3 = _mm256_unpackhi_ps(q.y, q.a);  // y2 a2 y3 a3
    const F r0 = _mm256_shuffle_ps(t0, t1, 0x44);
    const F r1 = _mm256_shuffle_ps(t0, t1, 0xEE);
    const F r2 = _mm256_shuffle_ps(t2, t3, 0x44);
    const F r3 = _mm256_shuffle_ps(t2, t3, 0xEE);
    _mm_storeu_ps(p + 0, _mm256_castps256_ps128(r0));
    _mm_storeu_ps(p + 4, _mm256_castps256_ps128(r1));
    _mm_storeu_ps(p + 8, _mm256_castps256_ps128(r2));
    _mm_storeu_ps(p + 12, _mm256_castps256_ps128(r3));
    _mm_storeu_ps(p + 16, _mm256_extractf128_ps(r0, 1));
    _mm_storeu_ps(p + 20, _mm256_extractf128_ps(r1, 1));
    _mm_storeu_ps(p + 24, _mm256_extractf128_ps(r2, 1));
    _mm_storeu_ps(p + 28, _mm256_extractf128_ps(r3, 1));
  }
};

using PixelPlanes = Lanes::Planes;

}  // namespace simd::avx2
