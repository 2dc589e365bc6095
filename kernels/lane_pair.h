// Two sets of lanes worked as one: a lane type of twice the count whose every operation applies a
// base lane type's operation to both halves, one after the other.
//
// The row path's per-pixel step is one long chain of dependent operations (levels, the power
// estimate, the tonal blend, the mix towards the source), and one set of lanes' worth of it fills
// the processor's reorder window: the next set cannot start until this one is nearly done. With
// two independent sets interleaved instruction by instruction, the processor works on one while
// the other waits on a result. Each half computes exactly what the base type computes, so the bits
// are those of the base path.
//
// Like vector_lanes.h, a file includes this after every shared header, with THREEWAY_LANES_TARGET
// defined; the functions are compiled for that instruction set only.
#pragma once

#ifndef THREEWAY_LANES_TARGET
#error "define THREEWAY_LANES_TARGET before including kernels/lane_pair.h"
#endif

#include <cstdint>

#define THREEWAY_PAIR_INLINE __attribute__((target(THREEWAY_LANES_TARGET), always_inline)) inline

namespace threeway {
namespace {

template <class L>
struct LanePair {
  static constexpr std::int32_t kCount = 2 * L::kCount;
  static constexpr auto kPath = L::kPath;

  struct F {
    typename L::F lo, hi;
  };
  struct I {
    typename L::I lo, hi;
  };
  struct M {
    typename L::M lo, hi;
  };
  struct Planes {
    F v, u, y, a;
  };

  THREEWAY_PAIR_INLINE static F Set(float x) { return {L::Set(x), L::Set(x)}; }
  THREEWAY_PAIR_INLINE static F Zero() { return {L::Zero(), L::Zero()}; }
  THREEWAY_PAIR_INLINE static F Load(const float* p) { return {L::Load(p), L::Load(p + L::kCount)}; }
  THREEWAY_PAIR_INLINE static void Store(float* p, F x) {
    L::Store(p, x.lo);
    L::Store(p + L::kCount, x.hi);
  }
  THREEWAY_PAIR_INLINE static F Add(F a, F b) { return {L::Add(a.lo, b.lo), L::Add(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static F Sub(F a, F b) { return {L::Sub(a.lo, b.lo), L::Sub(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static F Mul(F a, F b) { return {L::Mul(a.lo, b.lo), L::Mul(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static F Div(F a, F b) { return {L::Div(a.lo, b.lo), L::Div(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static F Sqrt(F a) { return {L::Sqrt(a.lo), L::Sqrt(a.hi)}; }
  THREEWAY_PAIR_INLINE static F Floor(F a) { return {L::Floor(a.lo), L::Floor(a.hi)}; }
  THREEWAY_PAIR_INLINE static F Min(F a, F b) { return {L::Min(a.lo, b.lo), L::Min(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static F Max(F a, F b) { return {L::Max(a.lo, b.lo), L::Max(a.hi, b.hi)}; }

  THREEWAY_PAIR_INLINE static M Lt(F a, F b) { return {L::Lt(a.lo, b.lo), L::Lt(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static M Le(F a, F b) { return {L::Le(a.lo, b.lo), L::Le(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static M Gt(F a, F b) { return {L::Gt(a.lo, b.lo), L::Gt(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static M Ge(F a, F b) { return {L::Ge(a.lo, b.lo), L::Ge(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static M None() { return {L::None(), L::None()}; }
  THREEWAY_PAIR_INLINE static M Or(M a, M b) { return {L::Or(a.lo, b.lo), L::Or(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static M And(M a, M b) { return {L::And(a.lo, b.lo), L::And(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static M AndNot(M a, M b) { return {L::AndNot(a.lo, b.lo), L::AndNot(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static bool Any(M m) { return L::Any(L::Or(m.lo, m.hi)); }
  THREEWAY_PAIR_INLINE static bool All(M m) { return L::All(L::And(m.lo, m.hi)); }
  THREEWAY_PAIR_INLINE static F Keep(F x, M m) { return {L::Keep(x.lo, m.lo), L::Keep(x.hi, m.hi)}; }
  THREEWAY_PAIR_INLINE static F Drop(F x, M m) { return {L::Drop(x.lo, m.lo), L::Drop(x.hi, m.hi)}; }
  THREEWAY_PAIR_INLINE static F Select(F a, F b, M m) {
    return {L::Select(a.lo, b.lo, m.lo), L::Select(a.hi, b.hi, m.hi)};
  }

  THREEWAY_PAIR_INLINE static I SetInt(std::int32_t x) { return {L::SetInt(x), L::SetInt(x)}; }
  THREEWAY_PAIR_INLINE static I LoadInts(const std::int32_t* p) {
    return {L::LoadInts(p), L::LoadInts(p + L::kCount)};
  }
  THREEWAY_PAIR_INLINE static void StoreInts(std::int32_t* p, I x) {
    L::StoreInts(p, x.lo);
    L::StoreInts(p + L::kCount, x.hi);
  }
  THREEWAY_PAIR_INLINE static I AddInts(I a, I b) { return {L::AddInts(a.lo, b.lo), L::AddInts(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static I MulLowInts(I a, I b) {
    return {L::MulLowInts(a.lo, b.lo), L::MulLowInts(a.hi, b.hi)};
  }
  THREEWAY_PAIR_INLINE static I AndInts(I a, I b) { return {L::AndInts(a.lo, b.lo), L::AndInts(a.hi, b.hi)}; }
  THREEWAY_PAIR_INLINE static I ShiftRightInts(I a, int n) {
    return {L::ShiftRightInts(a.lo, n), L::ShiftRightInts(a.hi, n)};
  }
  THREEWAY_PAIR_INLINE static I NonNegative(I a) { return {L::NonNegative(a.lo), L::NonNegative(a.hi)}; }
  THREEWAY_PAIR_INLINE static F IntsToFloats(I a) { return {L::IntsToFloats(a.lo), L::IntsToFloats(a.hi)}; }
  THREEWAY_PAIR_INLINE static I TruncateToInts(F a) { return {L::TruncateToInts(a.lo), L::TruncateToInts(a.hi)}; }
  THREEWAY_PAIR_INLINE static I BitsOf(F a) { return {L::BitsOf(a.lo), L::BitsOf(a.hi)}; }
  THREEWAY_PAIR_INLINE static F FloatsOf(I a) { return {L::FloatsOf(a.lo), L::FloatsOf(a.hi)}; }

  // Pixels 0..kCount-1 of `p` (VUYA): the first half's pixels, then the second's.
  THREEWAY_PAIR_INLINE static Planes LoadPixels(const float* p) {
    const typename L::Planes lo = L::LoadPixels(p);
    const typename L::Planes hi = L::LoadPixels(p + 4 * L::kCount);
    return {{lo.v, hi.v}, {lo.u, hi.u}, {lo.y, hi.y}, {lo.a, hi.a}};
  }
  THREEWAY_PAIR_INLINE static void StorePixels(float* p, const Planes& q) {
    L::StorePixels(p, {q.v.lo, q.u.lo, q.y.lo, q.a.lo});
    L::StorePixels(p + 4 * L::kCount, {q.v.hi, q.u.hi, q.y.hi, q.a.hi});
  }
};

}  // namespace
}  // namespace threeway
