// The vector twins of the 64 qualifier kernels, written once over a lane type: the mask of a whole
// set of lanes at once, equal bit for bit to the scalar kernel's value of each pixel. Instantiated
// on eight lanes in qualifier_avx2.cpp and on sixteen in qualifier_avx512.cpp; a file includes
// this after every shared header, with THREEWAY_LANES_TARGET defined (see vector_lanes.h).
//
// What a soft range test derives from the block alone (empty or full range, the wrapped edge ends,
// their spans and the reciprocal estimates of the spans) and the edge-thinning exponent are worked
// out once per call by the scalar code of qualifier.h, in baseline functions, so the reciprocal
// estimates are the scalar rcpss values themselves on either width. The vector functions then
// repeat the per-pixel steps of the scalar kernel in its order: the measures, the three
// comparisons of each edge, the early results of 1, the clamps that send NaN to 0, the product of
// the weights, the invert steps and FastPow. Branches become per-lane selections.
#pragma once

#include <xmmintrin.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "kernels/arc_tangent.h"
#include "kernels/arc_tangent_lanes.h"
#include "kernels/lane_pair.h"
#include "kernels/qualifier.h"
#include "kernels/vector_lanes.h"

namespace threeway {
namespace {

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

// atan2f of `count` lanes, one call each: the hue's arc tangent when the vector one is not exact.
// A baseline function, so that the library call and its standard-header wrapper are never
// compiled for a vector instruction set.
[[gnu::noinline]] inline void PlatformArcTangents(const float* y, const float* x, float* out, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) out[i] = std::atan2(y[i], x[i]);
}

// RangeWeightImpl per lane, its block-only steps taken from the plan.
template <class L, bool kCircular>
THREEWAY_LANES_INLINE typename L::F RangeWeightLanes(typename L::F v, const RangePlan& p) {
  const auto one = L::Set(1.0f);
  const auto zero = L::Zero();
  if (p.full) return one;
  auto w0 = zero;
  if (!p.empty) {
    const auto d = WrapLanes<L>(L::Sub(v, L::Set(p.lo)));
    w0 = L::Keep(one, L::And(L::Ge(d, zero), L::Le(d, L::Set(p.r))));
  }
  auto settled = L::Ge(w0, one);  // lanes whose weight is already 1

  // Rising edge.
  const auto d1 = WrapLanes<L>(L::Sub(v, L::Set(p.lo2)));
  auto outside1 = L::Or(L::Ge(d1, L::Set(p.r1)), L::Lt(d1, zero));
  if constexpr (!kCircular) outside1 = L::Or(outside1, L::Gt(L::Set(p.negativeLo2), d1));
  const auto w1 = L::Drop(L::Mul(d1, L::Set(p.reciprocal1)), outside1);
  settled = L::Or(settled, L::Ge(w1, one));

  // Falling edge.
  const auto d2 = WrapLanes<L>(L::Sub(v, L::Set(p.hi)));
  auto outside2 = L::Or(L::Ge(d2, L::Set(p.r2)), L::Lt(d2, zero));
  if constexpr (!kCircular) outside2 = L::Or(outside2, L::Gt(d2, L::Set(p.oneMinusHi)));
  const auto w2 = L::Drop(L::Sub(one, L::Mul(d2, L::Set(p.reciprocal2))), outside2);

  auto w = L::Select(w1, w2, L::Gt(w2, w1));
  w = L::Select(w0, w, L::Gt(w, w0));
  return L::Select(ClampUnitLanes<L>(w), one, settled);
}

// QualifierHue per lane.
template <class L>
THREEWAY_LANES_INLINE typename L::F HueLanes(typename L::F u, typename L::F v, bool exactArcTangent) {
  const auto across = L::Sub(L::Mul(L::Set(-0.9475003f), u), L::Mul(L::Set(0.31975487f), v));
  const auto along = L::Add(L::Mul(L::Set(-0.31975487f), u), L::Mul(L::Set(0.9475003f), v));
  typename L::F h0;
  if (exactArcTangent) {
    h0 = ArcTangent2Lanes<L>(across, along);
  } else {
    alignas(64) float y[L::kCount], x[L::kCount], h[L::kCount];
    L::Store(y, across);
    L::Store(x, along);
    PlatformArcTangents(y, x, h, L::kCount);
    h0 = L::Load(h);
  }
  h0 = L::Select(h0, L::Add(h0, L::Set(6.2831855f)), L::Lt(h0, L::Zero()));
  return ClampUnitLanes<L>(L::Mul(h0, L::Set(0.15915494f)));
}

// The hues of `count` pixels (a multiple of the lane count, at most kHueChunk) into `hues`. A loop
// of its own: the arc tangent is a long chain of dependent steps (two divisions and a polynomial),
// and with nothing else in the loop the processor overlaps the chains of several sets of lanes.
constexpr std::int32_t kHueChunk = 128;
template <class L>
__attribute__((target(THREEWAY_LANES_TARGET))) inline void HuesLanes(const float* pixels, std::int32_t count,
                                                                     bool exactArcTangent, float* hues) {
  for (std::int32_t i = 0; i < count; i += L::kCount) {
    const typename L::Planes px = L::LoadPixels(pixels + 4 * static_cast<std::ptrdiff_t>(i));
    L::Store(hues + i, HueLanes<L>(px.u, px.v, exactArcTangent));
  }
}

// The mask of one set of lanes of L (a LanePair or a single set) from the pixels at `pixels`, their
// hues read from `hues` when the variant weighs the hue.
template <class L, unsigned kIndex>
THREEWAY_LANES_INLINE void WeighLanes(const QualifierPlan& plan, const float* pixels, const float* hues, float* mask) {
  constexpr QualifierVariantTraits kIs = TraitsOfVariant(kIndex);
  const auto one = L::Set(1.0f);
  const typename L::Planes px = L::LoadPixels(pixels);
  auto p = one;
  if constexpr (kIs.luma) {
    // The scalar kernel clamps each weight again; RangeWeightLanes returns 1 or a clamped value
    // already, on which the clamp changes nothing, so it is left out here and below.
    p = RangeWeightLanes<L, false>(ClampUnitLanes<L>(px.y), plan.luma);
  }
  if constexpr (kIs.saturation) {
    const auto chroma = L::Sqrt(L::Add(L::Mul(px.u, px.u), L::Mul(px.v, px.v)));
    const auto s = ClampUnitLanes<L>(L::Mul(chroma, L::Set(1.4142135f)));
    const auto ws = RangeWeightLanes<L, false>(s, plan.saturation);
    p = kIs.luma ? L::Mul(p, ws) : ws;
  }
  if constexpr (kIs.hue) {
    const auto wh = RangeWeightLanes<L, true>(L::Load(hues), plan.hue);
    p = (kIs.luma || kIs.saturation) ? L::Mul(p, wh) : wh;
  }
  auto m = p;
  if constexpr (kIs.invertLimit) m = L::Sub(one, m);
  if constexpr (kIs.thin) {
    if (!plan.thinKeepsMask) m = FastPowLanes<L>(m, L::Set(plan.thinExponent));
  }
  if constexpr (kIs.invertMask) m = L::Sub(one, m);
  L::Store(mask, m);
}

// QualifierVariant<kIndex> over `count` pixels, a multiple of the lane count. The weights go two
// sets of lanes at a time where they can (lane_pair.h: their chain of dependent steps is long),
// the hues one set at a time (their loop has nothing else in it, so the sets overlap already).
template <class L, unsigned kIndex>
__attribute__((target(THREEWAY_LANES_TARGET))) void RunVariant(const QualifierPlan& plan, const float* pixels,
                                                               std::int32_t count, float* mask) {
  constexpr QualifierVariantTraits kIs = TraitsOfVariant(kIndex);
  static_assert(kHueChunk % (2 * L::kCount) == 0);
  alignas(64) float hues[kHueChunk];

  for (std::int32_t chunk = 0; chunk < count; chunk += kHueChunk) {
    const std::int32_t chunkEnd = count - chunk < kHueChunk ? count : chunk + kHueChunk;
    if constexpr (kIs.hue) {
      HuesLanes<L>(pixels + 4 * static_cast<std::ptrdiff_t>(chunk), chunkEnd - chunk, plan.exactArcTangent, hues);
    }
    std::int32_t i = chunk;
    for (; i + 2 * L::kCount <= chunkEnd; i += 2 * L::kCount) {
      WeighLanes<LanePair<L>, kIndex>(plan, pixels + 4 * static_cast<std::ptrdiff_t>(i), hues + (i - chunk),
                                      mask + i);
    }
    if (i < chunkEnd) {
      WeighLanes<L, kIndex>(plan, pixels + 4 * static_cast<std::ptrdiff_t>(i), hues + (i - chunk), mask + i);
    }
  }
}

// Entry kIndex of a vector kernel table: whole sets of lanes through RunVariant, the last pixels
// that do not fill the lanes (or all of them, under a rounding mode other than to nearest) through
// the scalar kernel. With kPlatformArcTangent the hue takes atan2f lane by lane whatever
// VectorArcTangentExact says.
template <class L, unsigned kIndex, bool kPlatformArcTangent>
void VectorQualifierVariant(const float* pixels, std::int32_t count, float* mask, const QualifierBlock* block) {
  std::int32_t vectorEnd = 0;
  if (count > 0 && (_mm_getcsr() & kMxcsrRoundingMask) == 0) {
    const QualifierPlan plan =
        PlanQualifier(*block, !kPlatformArcTangent && (kIndex & kQualifierNoHueBit) == 0,
                      (kIndex & kQualifierEdgeThinningBit) != 0);
    vectorEnd = count - count % L::kCount;
    RunVariant<L, kIndex>(plan, pixels, vectorEnd, mask);
  }
  for (std::int32_t i = vectorEnd; i < count; ++i) {
    float vuya[4];
    std::memcpy(vuya, pixels + 4 * static_cast<std::ptrdiff_t>(i), sizeof vuya);
    mask[i] = kQualifierKernels[kIndex](&vuya[2], &vuya[1], &vuya[0], block);
  }
}

template <class L, bool kPlatformArcTangent, std::size_t... kIndices>
constexpr std::array<VectorQualifierKernel, sizeof...(kIndices)> MakeVectorKernelTable(
    std::index_sequence<kIndices...>) {
  return {&VectorQualifierVariant<L, static_cast<unsigned>(kIndices), kPlatformArcTangent>...};
}

template <class L, bool kPlatformArcTangent>
constexpr std::array<VectorQualifierKernel, kQualifierKernelCount> MakeVectorKernelTable() {
  return MakeVectorKernelTable<L, kPlatformArcTangent>(std::make_index_sequence<kQualifierKernelCount>());
}

}  // namespace
}  // namespace threeway
