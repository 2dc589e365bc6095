// The two-argument arc tangent per lane, written over a lane type (vector_lanes.h, whose rules for
// including it apply here too), computed as the C library's single-precision atan2f computes it,
// so that the vector qualifier's hue equals the scalar kernel's bit for bit.
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

#ifndef THREEWAY_LANES_TARGET
#error "define THREEWAY_LANES_TARGET before including kernels/arc_tangent_lanes.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/vector_lanes.h"

namespace threeway {
namespace {

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

// a * x + b, as a product then a sum.
template <class L>
THREEWAY_LANES_INLINE typename L::F Step(typename L::F a, typename L::F x, float b) {
  return L::Add(L::Mul(a, x), L::Set(b));
}

template <class L>
THREEWAY_LANES_INLINE typename L::I SetBits(std::uint32_t x) {
  return L::SetInt(static_cast<std::int32_t>(x));
}

}  // namespace arc_tangent_detail

// atanf(t) per lane, the library's one-argument arc tangent (any t, NaN included).
template <class L>
THREEWAY_LANES_INLINE typename L::F ArcTangentLanes(typename L::F t) {
  using namespace arc_tangent_detail;
  const auto hx = L::BitsOf(t);
  const auto ix = L::AndInts(hx, SetBits<L>(0x7fffffffu));
  const auto a = L::FloatsOf(ix);  // |t|

  // Reduction bands by the magnitude's bit pattern: |t| >= 7/16, 11/16, 19/16, 39/16.
  const auto band0 = L::GtInts(ix, SetBits<L>(0x3edfffffu));
  const auto band1 = L::GtInts(ix, SetBits<L>(0x3f2fffffu));
  const auto band2 = L::GtInts(ix, SetBits<L>(0x3f97ffffu));
  const auto band3 = L::GtInts(ix, SetBits<L>(0x401bffffu));

  // The reduced argument of each band: (2|t| - 1) / (2 + |t|), (|t| - 1) / (|t| + 1),
  // (|t| - 1.5) / (1 + 1.5|t|), -1 / |t|; one division of the selected numerator and denominator.
  const auto one = L::Set(1.0f);
  auto num = L::Sub(L::Mul(L::Set(2.0f), a), one);
  auto den = L::Add(L::Set(2.0f), a);
  num = L::Select(num, L::Sub(a, one), band1);
  den = L::Select(den, L::Add(a, one), band1);
  num = L::Select(num, L::Sub(a, L::Set(1.5f)), band2);
  den = L::Select(den, L::Add(one, L::Mul(L::Set(1.5f), a)), band2);
  num = L::Select(num, L::Set(-1.0f), band3);
  den = L::Select(den, a, band3);
  const auto x = L::Select(t, L::Div(num, den), band0);

  // The odd polynomial in two halves: s1 with the even-numbered coefficients, s2 with the odd.
  const auto z = L::Mul(x, x);
  const auto w = L::Mul(z, z);
  const float* c = kCoefficient;
  auto s1 = Step<L>(w, L::Set(c[10]), c[8]);
  s1 = Step<L>(w, s1, c[6]);
  s1 = Step<L>(w, s1, c[4]);
  s1 = Step<L>(w, s1, c[2]);
  s1 = L::Mul(z, Step<L>(w, s1, c[0]));
  auto s2 = Step<L>(w, L::Set(c[9]), c[7]);
  s2 = Step<L>(w, s2, c[5]);
  s2 = Step<L>(w, s2, c[3]);
  s2 = L::Mul(w, Step<L>(w, s2, c[1]));
  const auto p = L::Mul(x, L::Add(s1, s2));

  // Below 7/16: x - x (s1 + s2). Above: atan(band point) - ((x (s1 + s2) - its low part) - x),
  // with the sign of t.
  const auto id = L::CountTrue(L::CountTrue(L::CountTrue(L::SetInt(0), band1), band2), band3);
  const auto atanHigh = L::Lookup4(kAtanHigh, id);
  const auto atanLow = L::Lookup4(kAtanLow, id);
  const auto reduced = L::Sub(atanHigh, L::Sub(L::Sub(p, atanLow), x));
  const auto sign = L::FloatsOf(L::AndInts(hx, SetBits<L>(0x80000000u)));
  auto r = L::Select(L::Sub(x, p), L::Xor(reduced, sign), band0);

  // Below 2^-29: t itself. From 2^25 on: +-(atan(inf) high + low), or t + t for a NaN.
  const auto tiny = L::GtInts(SetBits<L>(0x31000000u), ix);
  r = L::Select(r, t, tiny);
  const auto large = L::GtInts(ix, SetBits<L>(0x4bffffffu));
  const auto limit = L::SelectBySign(L::Set(kAtanHigh[3] + kAtanLow[3]), L::Set(-kAtanHigh[3] - kAtanLow[3]), t);
  const auto nan = L::GtInts(ix, SetBits<L>(0x7f800000u));
  r = L::Select(r, L::Select(limit, L::Add(t, t), nan), large);
  return r;
}

// atan2f(y, x) per lane, NaN payloads included (a NaN argument gives x's NaN quieted if x is one,
// else y's, as the library's x + y does).
template <class L>
THREEWAY_LANES_INLINE typename L::F ArcTangent2Lanes(typename L::F y, typename L::F x) {
  using namespace arc_tangent_detail;
  const auto hx = L::BitsOf(x);
  const auto hy = L::BitsOf(y);
  const auto absMask = SetBits<L>(0x7fffffffu);
  const auto ix = L::AndInts(hx, absMask);
  const auto iy = L::AndInts(hy, absMask);
  const auto infinity = SetBits<L>(0x7f800000u);
  const auto zeroBits = L::SetInt(0);

  // The general case: the arc tangent of |y / x| (of y itself when x is exactly 1), or its limits
  // when the exponents differ by more than 60.
  const auto xIsOne = L::EqInts(hx, SetBits<L>(0x3f800000u));
  const auto quotient = L::AndNotBits(L::Set(-0.0f), L::Div(y, x));
  const auto atanOfT = ArcTangentLanes<L>(L::Select(quotient, y, xIsOne));
  const auto k = L::ShiftRightArithInts(L::SubInts(iy, ix), 23);
  const auto steep = L::GtInts(k, L::SetInt(60));
  const auto flat = L::And(L::GtInts(L::SetInt(-60), k), L::GtInts(zeroBits, hx));
  auto z = L::Drop(atanOfT, flat);
  z = L::Select(z, L::Set(kPiOver2 + 0.5f * kPiLow), steep);
  // The quadrant from the signs: z, -z, pi - (z - pi_lo), (z - pi_lo) - pi.
  const auto zLow = L::Sub(z, L::Set(kPiLow));
  const auto right = L::SelectBySign(z, L::Xor(z, L::Set(-0.0f)), y);
  const auto left = L::SelectBySign(L::Sub(L::Set(kPi), zLow), L::Sub(zLow, L::Set(kPi)), y);
  auto r = L::SelectBySign(right, left, x);

  // The special cases, from the last the library tests to the first, so that the first wins. Most
  // sets of lanes have none (no zero, infinite or NaN operand, no x of exactly 1): they are done.
  const auto edge = L::Or(L::Or(L::EqInts(ix, zeroBits), L::EqInts(iy, zeroBits)),
                          L::Or(L::Or(L::GtInts(ix, SetBits<L>(0x7f7fffffu)), L::GtInts(iy, SetBits<L>(0x7f7fffffu))),
                                xIsOne));
  if (!L::Any(edge)) return r;
  const auto upDown = L::SelectBySign(L::Set(kPiOver2 + kTiny), L::Set(-kPiOver2 - kTiny), y);
  const auto pi = L::SelectBySign(L::Set(kPi + kTiny), L::Set(-kPi - kTiny), y);
  const auto yInfinite = L::EqInts(iy, infinity);
  r = L::Select(r, upDown, yInfinite);  // y infinite, x finite
  const auto diagonal = L::SelectBySign(
      L::SelectBySign(L::Set(kPiOver4 + kTiny), L::Set(-kPiOver4 - kTiny), y),
      L::SelectBySign(L::Set(3.0f * kPiOver4 + kTiny), L::Set(-3.0f * kPiOver4 - kTiny), y), x);
  const auto horizontal = L::SelectBySign(L::SelectBySign(L::Set(0.0f), L::Set(-0.0f), y), pi, x);
  r = L::Select(r, L::Select(horizontal, diagonal, yInfinite), L::EqInts(ix, infinity));  // x infinite
  r = L::Select(r, upDown, L::EqInts(ix, zeroBits));
  r = L::Select(r, L::SelectBySign(y, pi, x), L::EqInts(iy, zeroBits));  // y = +-0
  r = L::Select(r, atanOfT, xIsOne);
  const auto xNaN = L::GtInts(ix, infinity);
  const auto anyNaN = L::Or(xNaN, L::GtInts(iy, infinity));
  const auto quiet = L::Select(y, x, xNaN);
  r = L::Select(r, L::OrBits(quiet, L::FloatsOf(SetBits<L>(0x00400000u))), anyNaN);
  return r;
}

// out[i] = ArcTangent2Lanes of (y[i], x[i]) for i < count, the last few padded with (0, 1).
template <class L>
__attribute__((target(THREEWAY_LANES_TARGET))) void ArcTangentsLanes(const float* y, const float* x, float* out,
                                                                      std::size_t count) {
  constexpr std::size_t kLanes = L::kCount;
  std::size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) L::Store(out + i, ArcTangent2Lanes<L>(L::Load(y + i), L::Load(x + i)));
  if (i < count) {
    float ty[kLanes] = {}, tx[kLanes], tr[kLanes];
    for (float& v : tx) v = 1.0f;
    std::memcpy(ty, y + i, (count - i) * sizeof(float));
    std::memcpy(tx, x + i, (count - i) * sizeof(float));
    L::Store(tr, ArcTangent2Lanes<L>(L::Load(ty), L::Load(tx)));
    std::memcpy(out + i, tr, (count - i) * sizeof(float));
  }
}

}  // namespace
}  // namespace threeway
