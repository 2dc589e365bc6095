// Steps of the scalar kernels written once over a lane type (avx2::Lanes, avx512::Lanes): FastPow
// and the qualifier's clamps, each lane equal to the scalar result bit for bit (single precision,
// round-to-nearest, the scalar operations in their order, no fused multiply-adds).
//
// A file that includes this defines THREEWAY_LANES_TARGET first, the target string of the lanes it
// instantiates with ("avx2", or SIMD_AVX512_TARGET), after every shared header: the functions
// here are then compiled for that instruction set only, into that file's own vector functions
// (they live in an unnamed namespace, one copy per file), and no baseline caller can reach them.
#pragma once

#ifndef THREEWAY_LANES_TARGET
#error "define THREEWAY_LANES_TARGET before including kernels/vector_lanes.h"
#endif

#define THREEWAY_LANES_INLINE __attribute__((target(THREEWAY_LANES_TARGET), always_inline)) inline

namespace threeway {
namespace {

// FastPow(b, e) per lane for an exponent that is not within 2^-17 of 1. A true floor; the
// truncating conversion gives INT32_MIN out of range, which is negative and so gives 0.
template <class L>
THREEWAY_LANES_INLINE typename L::F FastPowLanes(typename L::F b, typename L::F e) {
  const auto x = L::Sub(L::Mul(L::IntsToFloats(L::BitsOf(b)), L::Set(0x1p-23f)), L::Set(127.0f));
  const auto f = L::Sub(x, L::Floor(x));
  const auto l = L::Add(x, L::Mul(L::Sub(f, L::Mul(f, f)), L::Set(0.346607f)));
  const auto y = L::Mul(l, e);
  const auto g = L::Sub(y, L::Floor(y));
  const auto z = L::Mul(L::Sub(L::Add(y, L::Set(127.0f)), L::Mul(L::Sub(g, L::Mul(g, g)), L::Set(0.33971f))),
                        L::Set(8388608.0f));
  return L::FloatsOf(L::NonNegative(L::TruncateToInts(z)));
}

// `x < 0 ? x + 1 : x` per lane (the qualifier's wrap).
template <class L>
THREEWAY_LANES_INLINE typename L::F WrapLanes(typename L::F x) {
  return L::Select(x, L::Add(x, L::Set(1.0f)), L::Lt(x, L::Zero()));
}

// `x > 0 ? (x < 1 ? x : 1) : 0` per lane: a clamp to 0..1 that sends NaN to +0.
template <class L>
THREEWAY_LANES_INLINE typename L::F ClampUnitLanes(typename L::F x) {
  const auto one = L::Set(1.0f);
  return L::Keep(L::Select(one, x, L::Lt(x, one)), L::Gt(x, L::Zero()));
}

}  // namespace
}  // namespace threeway
