// The AVX-512 lanes: sixteen single-precision lanes in a zmm register, with comparison results in
// mask registers. Same operations as the AVX2 lanes of lanes_avx2.h, lane for lane: the floor,
// minimum, maximum, conversions and IEEE operations of the wider instructions give the same bits as
// the narrower ones (the minimum and maximum return their second operand when either is NaN, the
// truncating conversion gives INT32_MIN out of range, the floor rounds towards minus infinity), so
// a routine written over the lane type is bit-identical in either width.
//
// The instruction sets named here are the x86-64-v4 level's (AVX512F, BW, DQ and VL); the functions
// carry that target and are forced inline, so they run only where the processor reports all four.
// The target also allows fused multiply-adds, which the project's -ffp-contract=off keeps the
// compiler from forming; nothing here asks for one.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "simd/vector_switch.h"

#define SIMD_AVX512_TARGET "avx512f,avx512bw,avx512dq,avx512vl"
#define SIMD_AVX512_INLINE __attribute__((target(SIMD_AVX512_TARGET), always_inline)) inline

namespace simd::avx512 {

struct Lanes {
  static constexpr std::int32_t kCount = 16;
  using F = __m512;
  using I = __m512i;
  using M = __mmask16;  // bit i: the comparison holds in lane i

  static constexpr vector_switch::Path kPath = vector_switch::Path::kAvx512;

  struct Planes {
    F v, u, y, a;
  };

  SIMD_AVX512_INLINE static F Set(float x) { return _mm512_set1_ps(x); }
  SIMD_AVX512_INLINE static F Zero() { return _mm512_setzero_ps(); }
  SIMD_AVX512_INLINE static F Load(const float* p) { return _mm512_loadu_ps(p); }
  SIMD_AVX512_INLINE static void Store(float* p, F x) { _mm512_storeu_ps(p, x); }
  SIMD_AVX512_INLINE static F Add(F a, F b) { return _mm512_add_ps(a, b); }
  SIMD_AVX512_INLINE static F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
  SIMD_AVX512_INLINE static F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
  SIMD_AVX512_INLINE static F Div(F a, F b) { return _mm512_div_ps(a, b); }
  SIMD_AVX512_INLINE static F Sqrt(F a) { return _mm512_sqrt_ps(a); }
  SIMD_AVX512_INLINE static F Floor(F a) { return _mm512_floor_ps(a); }
  SIMD_AVX512_INLINE static F Min(F a, F b) { return _mm512_min_ps(a, b); }
  SIMD_AVX512_INLINE static F Max(F a, F b) { return _mm512_max_ps(a, b); }

  SIMD_AVX512_INLINE static M Lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
  SIMD_AVX512_INLINE static M Le(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
  SIMD_AVX512_INLINE static M Gt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
  SIMD_AVX512_INLINE static M Ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
  SIMD_AVX512_INLINE static M None() { return 0; }
  SIMD_AVX512_INLINE static M Or(M a, M b) { return static_cast<M>(a | b); }
  SIMD_AVX512_INLINE static M And(M a, M b) { return static_cast<M>(a & b); }
  SIMD_AVX512_INLINE static M AndNot(M a, M b) { return static_cast<M>(~a & b); }
  SIMD_AVX512_INLINE static bool Any(M m) { return m != 0; }
  SIMD_AVX512_INLINE static bool All(M m) { return m == 0xFFFF; }
  SIMD_AVX512_INLINE static F Keep(F x, M m) { return _mm512_maskz_mov_ps(m, x); }
  SIMD_AVX512_INLINE static F Drop(F x, M m) { return _mm512_maskz_mov_ps(static_cast<M>(~m), x); }
  SIMD_AVX512_INLINE static F Select(F a, F b, M m) { return _mm512_mask_blend_ps(m, a, b); }
  SIMD_AVX512_INLINE static F SelectBySign(F a, F b, F s) {
    return _mm512_mask_blend_ps(_mm512_movepi32_mask(_mm512_castps_si512(s)), a, b);
  }
  SIMD_AVX512_INLINE static F Xor(F a, F b) { return _mm512_xor_ps(a, b); }
  SIMD_AVX512_INLINE static F OrBits(F a, F b) { return _mm512_or_ps(a, b); }
  SIMD_AVX512_INLINE static F AndNotBits(F a, F b) { return _mm512_andnot_ps(a, b); }

  SIMD_AVX512_INLINE static I SetInt(std::int32_t x) { return _mm512_set1_epi32(x); }
  SIMD_AVX512_INLINE static I LoadInts(const std::int32_t* p) { return _mm512_loadu_si512(p); }
  SIMD_AVX512_INLINE static void StoreInts(std::int32_t* p, I x) { _mm512_storeu_si512(p, x); }
  SIMD_AVX512_INLINE static I AddInts(I a, I b) { return _mm512_add_epi32(a, b); }
  SIMD_AVX512_INLINE static I SubInts(I a, I b) { return _mm512_sub_epi32(a, b); }
  SIMD_AVX512_INLINE static M GtInts(I a, I b) { return _mm512_cmpgt_epi32_mask(a, b); }
  SIMD_AVX512_INLINE static M EqInts(I a, I b) { return _mm512_cmpeq_epi32_mask(a, b); }
  SIMD_AVX512_INLINE static I CountTrue(I acc, M m) {
    return _mm512_mask_add_epi32(acc, m, acc, _mm512_set1_epi32(1));
  }
  SIMD_AVX512_INLINE static I MulLowInts(I a, I b) { return _mm512_mullo_epi32(a, b); }
  SIMD_AVX512_INLINE static I AndInts(I a, I b) { return _mm512_and_si512(a, b); }
  SIMD_AVX512_INLINE static I OrInts(I a, I b) { return _mm512_or_si512(a, b); }
  SIMD_AVX512_INLINE static I ShiftLeftInts(I a, unsigned n) { return _mm512_slli_epi32(a, n); }
  SIMD_AVX512_INLINE static I ShiftRightInts(I a, unsigned n) { return _mm512_srli_epi32(a, n); }
  SIMD_AVX512_INLINE static I ShiftRightArithInts(I a, unsigned n) { return _mm512_srai_epi32(a, n); }
  SIMD_AVX512_INLINE static I NonNegative(I a) { return _mm512_max_epi32(a, _mm512_setzero_si512()); }
  SIMD_AVX512_INLINE static F IntsToFloats(I a) { return _mm512_cvtepi32_ps(a); }
  SIMD_AVX512_INLINE static I TruncateToInts(F a) { return _mm512_cvttps_epi32(a); }
  SIMD_AVX512_INLINE static I BitsOf(F a) { return _mm512_castps_si512(a); }
  SIMD_AVX512_INLINE static F FloatsOf(I a) { return _mm512_castsi512_ps(a); }
  SIMD_AVX512_INLINE static F Lookup4(const float (&table)[4], I index) {
    return _mm512_permutexvar_ps(
        index, _mm512_setr_ps(table[0], table[1], table[2], table[3], 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  }

  // Loads thirty-two integers from `p`: lane i of `even` holds p[2i], of `odd` p[2i + 1].
  SIMD_AVX512_INLINE static void DeinterleaveInts(const std::int32_t* p, I& even, I& odd) {
    const I a = _mm512_loadu_si512(p);
    const I b = _mm512_loadu_si512(p + 16);
    even = _mm512_permutex2var_epi32(
        a, _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30), b);
    odd = _mm512_permutex2var_epi32(
        a, _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31), b);
  }
  // The inverse of DeinterleaveInts.
  SIMD_AVX512_INLINE static void InterleaveInts(std::int32_t* p, I even, I odd) {
    _mm512_storeu_si512(p, _mm512_permutex2var_epi32(
                               even, _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23), odd));
    _mm512_storeu_si512(p + 16, _mm512_permutex2var_epi32(even,
                                                          _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28,
                                                                            13, 29, 14, 30, 15, 31),
                                                          odd));
  }

  // Turns a 16 x 16 tile: afterwards t[i] lane k holds what t[k] lane i held. Within each 128-bit
  // block first (as the eight-lane turn does), then the 4 x 4 blocks themselves.
  SIMD_AVX512_INLINE static void Transpose(F (&t)[kCount]) {
    F a[16], b[16];
    for (int i = 0; i < 8; ++i) {
      a[2 * i] = _mm512_unpacklo_ps(t[2 * i], t[2 * i + 1]);
      a[2 * i + 1] = _mm512_unpackhi_ps(t[2 * i], t[2 * i + 1]);
    }
    // b[4j + k], block L: column 4L + k of rows 4j .. 4j + 3.
    for (int j = 0; j < 4; ++j) {
      b[4 * j + 0] = _mm512_shuffle_ps(a[4 * j], a[4 * j + 2], 0x44);
      b[4 * j + 1] = _mm512_shuffle_ps(a[4 * j], a[4 * j + 2], 0xEE);
      b[4 * j + 2] = _mm512_shuffle_ps(a[4 * j + 1], a[4 * j + 3], 0x44);
      b[4 * j + 3] = _mm512_shuffle_ps(a[4 * j + 1], a[4 * j + 3], 0xEE);
    }
    // Column 4L + k gathers block L of b[k], b[4 + k], b[8 + k], b[12 + k].
    for (int k = 0; k < 4; ++k) {
      const F c0 = _mm512_shuffle_f32x4(b[k], b[4 + k], 0x44);      // blocks 0, 1 of each
      const F c1 = _mm512_shuffle_f32x4(b[k], b[4 + k], 0xEE);      // blocks 2, 3
      const F c2 = _mm512_shuffle_f32x4(b[8 + k], b[12 + k], 0x44);
      const F c3 = _mm512_shuffle_f32x4(b[8 + k], b[12 + k], 0xEE);
      t[k] = _mm512_shuffle_f32x4(c0, c2, 0x88);
      t[4 + k] = _mm512_shuffle_f32x4(c0, c2, 0xDD);
      t[8 + k] = _mm512_shuffle_f32x4(c1, c3, 0x88);
      t[12 + k] = _mm512_shuffle_f32x4(c1, c3, 0xDD);
    }
  }

  // Loads pixels 0..15 from `p` (VUYA, no alignment) into planes, lane i holding pixel i.
  SIMD_AVX512_INLINE static Planes LoadPixels(const float* p) {
    const F r0 = _mm512_loadu_ps(p);  // pixels 0..3
    const F r1 = _mm512_loadu_ps(p + 16);
    const F r2 = _mm512_loadu_ps(p + 32);
    const F r3 = _mm512_loadu_ps(p + 48);
    // Of two registers' 32 values: the v (then u) of their eight pixels, and the y (then a).
    const I vu = _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
    const I ya = _mm512_setr_epi32(2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
    const F vu01 = _mm512_permutex2var_ps(r0, vu, r1);  // v0..v7 u0..u7
    const F ya01 = _mm512_permutex2var_ps(r0, ya, r1);
    const F vu23 = _mm512_permutex2var_ps(r2, vu, r3);  // v8..v15 u8..u15
    const F ya23 = _mm512_permutex2var_ps(r2, ya, r3);
    const I low = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
    const I high = _mm512_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29, 30, 31);
    return {_mm512_permutex2var_ps(vu01, low, vu23), _mm512_permutex2var_ps(vu01, high, vu23),
            _mm512_permutex2var_ps(ya01, low, ya23), _mm512_permutex2var_ps(ya01, high, ya23)};
  }

  // The inverse of LoadPixels: stores the planes as sixteen VUYA pixels at `p`.
  SIMD_AVX512_INLINE static void StorePixels(float* p, const Planes& q) {
    const I low = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
    const I high = _mm512_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29, 30, 31);
    const F vu01 = _mm512_permutex2var_ps(q.v, low, q.u);  // v0..v7 u0..u7
    const F vu23 = _mm512_permutex2var_ps(q.v, high, q.u);
    const F ya01 = _mm512_permutex2var_ps(q.y, low, q.a);
    const F ya23 = _mm512_permutex2var_ps(q.y, high, q.a);
    // Four pixels from the first eight (then the next four): v from the first register, y (at
    // 16 and on) from the second.
    const I first = _mm512_setr_epi32(0, 8, 16, 24, 1, 9, 17, 25, 2, 10, 18, 26, 3, 11, 19, 27);
    const I second = _mm512_setr_epi32(4, 12, 20, 28, 5, 13, 21, 29, 6, 14, 22, 30, 7, 15, 23, 31);
    _mm512_storeu_ps(p, _mm512_permutex2var_ps(vu01, first, ya01));
    _mm512_storeu_ps(p + 16, _mm512_permutex2var_ps(vu01, second, ya01));
    _mm512_storeu_ps(p + 32, _mm512_permutex2var_ps(vu23, first, ya23));
    _mm512_storeu_ps(p + 48, _mm512_permutex2var_ps(vu23, second, ya23));
  }
};

}  // namespace simd::avx512
