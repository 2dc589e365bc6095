// The vector twins of the 64 qualifier kernels: the mask of eight pixels at once, equal bit for bit
// to the scalar kernel's value of each pixel.
//
// What a soft range test derives from the block alone (empty or full range, the wrapped edge ends,
// their spans and the reciprocal estimates of the spans) and the edge-thinning exponent are worked
// out once per call by the scalar code of qualifier.h, in this file's baseline functions, so the
// reciprocal estimates are the scalar rcpss values themselves. The AVX2 functions then repeat the
// per-pixel steps of the scalar kernel in its order: the measures, the three comparisons of each
// edge, the early results of 1, the clamps that send NaN to 0, the product of the weights, the
// invert steps and FastPow. Branches become per-lane selections.
//
// Like process_row_avx2.cpp, this file is compiled for the baseline processor; only the functions
// marked with the avx2 target use AVX2, and they call no inline function of a shared header that
// is not itself forced inline and AVX2-only (vector_avx2.h, arc_tangent_avx2.h).
#include <immintrin.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "kernels/arc_tangent.h"
#include "kernels/arc_tangent_avx2.h"
#include "kernels/qualifier.h"
#include "kernels/vector_avx2.h"

namespace threeway {

namespace {

constexpr std::int32_t kLanes = 8;
constexpr unsigned kMxcsrRoundingMask = 0x6000;  // 00 = round to nearest

// What the soft range test of one measure derives from the block before it sees a pixel.
struct RangePlan {
  bool empty;        // a range under 1e-6 wide: the core weight is 0
  bool full;         // the full circle: every value weighs 1
  float lo, hi;
  float r;           // Wrap(hi - lo), the core's span
  float lo2, r1, reciprocal1, negativeLo2;  // the rising edge's start, span and its estimate
  float r2, reciprocal2, oneMinusHi;        // the falling edge's span and its estimate
};

// The derivations of RangeWeightImpl, step for step.
template <bool kCircular>
RangePlan PlanRange(float a, float lo, float b, float hi) {
  using qualifier_detail::IntoUnitCircle;
  using qualifier_detail::Wrap;
  RangePlan p{};
  p.empty = hi >= lo && hi - lo < 1e-6f;
  p.full = lo > hi && lo - hi < 1e-6f;
  p.lo = lo;
  p.hi = hi;
  p.r = Wrap(hi - lo);
  float lo2 = lo - a;
  if constexpr (kCircular) lo2 = IntoUnitCircle(lo2);
  p.lo2 = lo2;
  p.negativeLo2 = -lo2;
  p.r1 = Wrap(lo - lo2);
  p.reciprocal1 = ReciprocalEstimate(p.r1);
  float hi2 = b + hi;
  if constexpr (kCircular) hi2 = IntoUnitCircle(hi2);
  p.r2 = Wrap(hi2 - hi);
  p.reciprocal2 = ReciprocalEstimate(p.r2);
  p.oneMinusHi = 1.0f - hi;
  return p;
}

struct QualifierPlan {
  RangePlan luma, saturation, hue;
  bool thinKeepsMask;      // the thinning exponent is within 2^-17 of 1: FastPow returns its base
  float thinExponent;      // 1 / FastPow(10, E * 0.01) with the reciprocal estimate
  bool exactArcTangent;    // the vector arc tangent equals atan2f here
};

QualifierPlan PlanQualifier(const QualifierBlock& q, bool hue, bool thin) {
  QualifierPlan p{};
  p.luma = PlanRange<false>(q.lumaStartSoftness, q.lumaStartThreshold, q.lumaEndSoftness,
                            q.lumaEndThreshold);
  p.saturation = PlanRange<false>(q.satStartSoftness, q.satStartThreshold, q.satEndSoftness,
                                  q.satEndThreshold);
  p.hue = PlanRange<true>(q.hueStartSoftness, q.hueStartThreshold, q.hueEndSoftness,
                          q.hueEndThreshold);
  if (thin) {
    p.thinExponent = EdgeThinningExponent(q.edgeThinning);
    p.thinKeepsMask = FastPowKeepsBase(p.thinExponent);
  }
  p.exactArcTangent = hue && VectorArcTangentExact();
  return p;
}

// atan2f of eight lanes, one call each: the hue's arc tangent when the vector one is not exact.
// A baseline function, so that the library call and its standard-header wrapper are never
// compiled for AVX2.
[[gnu::noinline]] void PlatformArcTangents(const float* y, const float* x, float* out) {
  for (std::int32_t i = 0; i < kLanes; ++i) out[i] = std::atan2(y[i], x[i]);
}

#define THREEWAY_AVX2 __attribute__((target("avx2"))) inline

// RangeWeightImpl per lane, its block-only steps taken from the plan.
template <bool kCircular>
THREEWAY_AVX2 __m256 RangeWeight8(__m256 v, const RangePlan& p) {
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 zero = _mm256_setzero_ps();
  if (p.full) return one;
  __m256 w0 = zero;
  if (!p.empty) {
    const __m256 d = avx2::Wrap8(_mm256_sub_ps(v, _mm256_set1_ps(p.lo)));
    w0 = _mm256_and_ps(one, _mm256_and_ps(_mm256_cmp_ps(d, zero, _CMP_GE_OQ),
                                          _mm256_cmp_ps(d, _mm256_set1_ps(p.r), _CMP_LE_OQ)));
  }
  __m256 settled = _mm256_cmp_ps(w0, one, _CMP_GE_OQ);  // lanes whose weight is already 1

  // Rising edge.
  const __m256 d1 = avx2::Wrap8(_mm256_sub_ps(v, _mm256_set1_ps(p.lo2)));
  __m256 outside1 = _mm256_or_ps(_mm256_cmp_ps(d1, _mm256_set1_ps(p.r1), _CMP_GE_OQ),
                                 _mm256_cmp_ps(d1, zero, _CMP_LT_OQ));
  if constexpr (!kCircular) {
    outside1 = _mm256_or_ps(outside1, _mm256_cmp_ps(_mm256_set1_ps(p.negativeLo2), d1, _CMP_GT_OQ));
  }
  const __m256 w1 = _mm256_andnot_ps(outside1, _mm256_mul_ps(d1, _mm256_set1_ps(p.reciprocal1)));
  settled = _mm256_or_ps(settled, _mm256_cmp_ps(w1, one, _CMP_GE_OQ));

  // Falling edge.
  const __m256 d2 = avx2::Wrap8(_mm256_sub_ps(v, _mm256_set1_ps(p.hi)));
  __m256 outside2 = _mm256_or_ps(_mm256_cmp_ps(d2, _mm256_set1_ps(p.r2), _CMP_GE_OQ),
                                 _mm256_cmp_ps(d2, zero, _CMP_LT_OQ));
  if constexpr (!kCircular) {
    outside2 = _mm256_or_ps(outside2, _mm256_cmp_ps(d2, _mm256_set1_ps(p.oneMinusHi), _CMP_GT_OQ));
  }
  const __m256 w2 = _mm256_andnot_ps(
      outside2, _mm256_sub_ps(one, _mm256_mul_ps(d2, _mm256_set1_ps(p.reciprocal2))));

  __m256 w = _mm256_blendv_ps(w1, w2, _mm256_cmp_ps(w2, w1, _CMP_GT_OQ));
  w = _mm256_blendv_ps(w0, w, _mm256_cmp_ps(w, w0, _CMP_GT_OQ));
  return _mm256_blendv_ps(avx2::ClampUnit8(w), one, settled);
}

// QualifierHue per lane.
THREEWAY_AVX2 __m256 Hue8(__m256 u, __m256 v, bool exactArcTangent) {
  const __m256 across = _mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(-0.9475003f), u),
                                      _mm256_mul_ps(_mm256_set1_ps(0.31975487f), v));
  const __m256 along = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(-0.31975487f), u),
                                     _mm256_mul_ps(_mm256_set1_ps(0.9475003f), v));
  __m256 h0;
  if (exactArcTangent) {
    h0 = avx2::ArcTangent2_8(across, along);
  } else {
    alignas(32) float y[kLanes], x[kLanes], h[kLanes];
    _mm256_store_ps(y, across);
    _mm256_store_ps(x, along);
    PlatformArcTangents(y, x, h);
    h0 = _mm256_load_ps(h);
  }
  const __m256 negative = _mm256_cmp_ps(h0, _mm256_setzero_ps(), _CMP_LT_OQ);
  h0 = _mm256_blendv_ps(h0, _mm256_add_ps(h0, _mm256_set1_ps(6.2831855f)), negative);
  return avx2::ClampUnit8(_mm256_mul_ps(h0, _mm256_set1_ps(0.15915494f)));
}

// The hues of `count` pixels (a multiple of eight, at most kHueChunk) into `hues`. A loop of its
// own: the arc tangent is a long chain of dependent steps (two divisions and a polynomial), and
// with nothing else in the loop the processor overlaps the chains of several groups of eight.
constexpr std::int32_t kHueChunk = 128;
__attribute__((target("avx2"))) inline void Hues(const float* pixels, std::int32_t count, bool exactArcTangent,
                                                 float* hues) {
  for (std::int32_t i = 0; i < count; i += kLanes) {
    const avx2::PixelPlanes px = avx2::LoadPixels(pixels + 4 * static_cast<std::ptrdiff_t>(i));
    _mm256_store_ps(hues + i, Hue8(px.u, px.v, exactArcTangent));
  }
}

// QualifierVariant<kIndex> over `count` pixels, a multiple of eight.
template <unsigned kIndex>
__attribute__((target("avx2"))) void RunVariant(const QualifierPlan& plan, const float* pixels,
                                                std::int32_t count, float* mask) {
  constexpr QualifierVariantTraits kIs = TraitsOfVariant(kIndex);
  const __m256 one = _mm256_set1_ps(1.0f);
  alignas(32) float hues[kHueChunk];

  for (std::int32_t chunk = 0; chunk < count; chunk += kHueChunk) {
    const std::int32_t chunkEnd = count - chunk < kHueChunk ? count : chunk + kHueChunk;
    if constexpr (kIs.hue) {
      Hues(pixels + 4 * static_cast<std::ptrdiff_t>(chunk), chunkEnd - chunk, plan.exactArcTangent, hues);
    }
    for (std::int32_t i = chunk; i < chunkEnd; i += kLanes) {
      const avx2::PixelPlanes px = avx2::LoadPixels(pixels + 4 * static_cast<std::ptrdiff_t>(i));
      __m256 p = one;
      if constexpr (kIs.luma) {
        // The scalar kernel clamps each weight again; RangeWeight8 returns 1 or a clamped value
        // already, on which the clamp changes nothing, so it is left out here and below.
        p = RangeWeight8<false>(avx2::ClampUnit8(px.y), plan.luma);
      }
      if constexpr (kIs.saturation) {
        const __m256 chroma = _mm256_sqrt_ps(
            _mm256_add_ps(_mm256_mul_ps(px.u, px.u), _mm256_mul_ps(px.v, px.v)));
        const __m256 s = avx2::ClampUnit8(_mm256_mul_ps(chroma, _mm256_set1_ps(1.4142135f)));
        const __m256 ws = RangeWeight8<false>(s, plan.saturation);
        p = kIs.luma ? _mm256_mul_ps(p, ws) : ws;
      }
      if constexpr (kIs.hue) {
        const __m256 wh = RangeWeight8<true>(_mm256_load_ps(hues + (i - chunk)), plan.hue);
        p = (kIs.luma || kIs.saturation) ? _mm256_mul_ps(p, wh) : wh;
      }
      __m256 m = p;
      if constexpr (kIs.invertLimit) m = _mm256_sub_ps(one, m);
      if constexpr (kIs.thin) {
        if (!plan.thinKeepsMask) m = avx2::FastPow8(m, _mm256_set1_ps(plan.thinExponent));
      }
      if constexpr (kIs.invertMask) m = _mm256_sub_ps(one, m);
      _mm256_storeu_ps(mask + i, m);
    }
  }
}

// Entry kIndex of kVectorQualifierKernels: whole groups of eight through RunVariant, the last
// count % 8 pixels (or all of them, under a rounding mode other than to nearest) through the
// scalar kernel. With kPlatformArcTangent the hue takes atan2f lane by lane whatever
// VectorArcTangentExact says (kVectorQualifierKernelsOnPlatformArcTangent).
template <unsigned kIndex, bool kPlatformArcTangent>
void VectorQualifierVariant(const float* pixels, std::int32_t count, float* mask,
                            const QualifierBlock* block) {
  std::int32_t vectorEnd = 0;
  if (count > 0 && (_mm_getcsr() & kMxcsrRoundingMask) == 0) {
    const QualifierPlan plan =
        PlanQualifier(*block, !kPlatformArcTangent && (kIndex & kQualifierNoHueBit) == 0,
                      (kIndex & kQualifierEdgeThinningBit) != 0);
    vectorEnd = count - count % kLanes;
    RunVariant<kIndex>(plan, pixels, vectorEnd, mask);
  }
  for (std::int32_t i = vectorEnd; i < count; ++i) {
    float vuya[4];
    std::memcpy(vuya, pixels + 4 * static_cast<std::ptrdiff_t>(i), sizeof vuya);
    mask[i] = kQualifierKernels[kIndex](&vuya[2], &vuya[1], &vuya[0], block);
  }
}

template <bool kPlatformArcTangent, std::size_t... kIndices>
constexpr std::array<VectorQualifierKernel, sizeof...(kIndices)> MakeVectorKernelTable(
    std::index_sequence<kIndices...>) {
  return {&VectorQualifierVariant<static_cast<unsigned>(kIndices), kPlatformArcTangent>...};
}

#undef THREEWAY_AVX2

}  // namespace

constinit const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernels =
    MakeVectorKernelTable<false>(std::make_index_sequence<kQualifierKernelCount>());
constinit const std::array<VectorQualifierKernel, kQualifierKernelCount>
    kVectorQualifierKernelsOnPlatformArcTangent =
        MakeVectorKernelTable<true>(std::make_index_sequence<kQualifierKernelCount>());

VectorQualifierKernel VectorQualifierFor(QualifierKernel kernel) {
  for (unsigned i = 0; i < kQualifierKernelCount; ++i) {
    if (kQualifierKernels[i] == kernel) return kVectorQualifierKernels[i];
  }
  return nullptr;
}

}  // namespace threeway
