// The row conversions of the integer and float RGB formats and the integer VUYA formats, written
// once over a lane type (simd/lanes_avx2.h, simd/lanes_avx512.h).
// A file includes this with PIXMILL_LANES_TARGET defined, the target string of its lanes, and gets
// its own copy compiled for that instruction set (an unnamed namespace, every step forced inline).
//
// Every lane runs the scalar rows' operations in their order (single precision, round to nearest,
// exact divisions, no fused multiply-adds), so the bytes equal the scalar rows' bit for bit.
#pragma once

#ifndef PIXMILL_LANES_TARGET
#error "define PIXMILL_LANES_TARGET before including pixmill/vector_rows_lanes.h"
#endif

#include <cstddef>
#include <cstdint>

#include "pixmill/row_coding.h"
#include "pixmill/vector_rows.h"

#define PIXMILL_LANES_INLINE __attribute__((target(PIXMILL_LANES_TARGET), always_inline)) inline

namespace pixmill {
namespace {

// A set of pixels' integer codes -> one float vector per channel, in memory position order.
template <class L>
PIXMILL_LANES_INLINE void LoadCodes(const std::uint8_t* in, typename L::F (&c)[4]) {
  const auto packed = L::LoadInts(reinterpret_cast<const std::int32_t*>(in));  // a pixel a lane
  const auto byte = L::SetInt(0xFF);
  for (int i = 0; i < 4; ++i) c[i] = L::IntsToFloats(L::AndInts(L::ShiftRightInts(packed, 8 * i), byte));
}
template <class L>
PIXMILL_LANES_INLINE void LoadCodes(const std::uint16_t* in, typename L::F (&c)[4]) {
  typename L::I low, high;  // channels 0|1 and 2|3 of each pixel
  L::DeinterleaveInts(reinterpret_cast<const std::int32_t*>(in), low, high);
  const auto word = L::SetInt(0xFFFF);
  c[0] = L::IntsToFloats(L::AndInts(low, word));
  c[1] = L::IntsToFloats(L::ShiftRightInts(low, 16));
  c[2] = L::IntsToFloats(L::AndInts(high, word));
  c[3] = L::IntsToFloats(L::ShiftRightInts(high, 16));
}

// One vector of codes per channel (memory position order) -> the set of pixels stored.
template <class L>
PIXMILL_LANES_INLINE void StoreCodes(const typename L::I (&c)[4], std::uint8_t* out) {
  const auto packed = L::OrInts(L::OrInts(c[0], L::ShiftLeftInts(c[1], 8)),
                                L::OrInts(L::ShiftLeftInts(c[2], 16), L::ShiftLeftInts(c[3], 24)));
  L::StoreInts(reinterpret_cast<std::int32_t*>(out), packed);
}
template <class L>
PIXMILL_LANES_INLINE void StoreCodes(const typename L::I (&c)[4], std::uint16_t* out) {
  L::InterleaveInts(reinterpret_cast<std::int32_t*>(out), L::OrInts(c[0], L::ShiftLeftInts(c[1], 16)),
                    L::OrInts(c[2], L::ShiftLeftInts(c[3], 16)));
}

// ToCode per lane: max(v, 0) gives 0 for NaN (the instruction returns its second operand) and +0
// for -0, like the scalar select; then the clamp to the largest code. The scalar rows then take the
// truncation and one more where the exact fraction is at least a half; here trunc(v + 0x1.fffffep-2)
// gives the same code for every float v from 0 to 65535 (checked for each of them, denormals
// included, under the rounding to nearest the conversions run with). With 0.5 itself v =
// 0x1.fffffep-2 would round up to 1.
template <class L, typename T>
PIXMILL_LANES_INLINE typename L::I ToCodes(typename L::F v) {
  v = L::Min(L::Max(v, L::Zero()), L::Set(Coding<T>::kMax));
  return L::TruncateToInts(L::Add(v, L::Set(0x1.fffffep-2f)));
}

// RgbToWorking per lane; the working pixels stored at `out`.
template <class L>
PIXMILL_LANES_INLINE void StoreWorking(typename L::F r, typename L::F g, typename L::F b, typename L::F a,
                                       float* out) {
  typename L::Planes q;
  q.a = a;
  q.y = L::Add(L::Add(g, L::Mul(L::Set(kWeightR), L::Sub(r, g))), L::Mul(L::Set(kWeightB), L::Sub(b, g)));
  q.v = L::Div(L::Sub(r, q.y), L::Set(kRMinusYPerV));
  q.u = L::Div(L::Sub(b, q.y), L::Set(kBMinusYPerU));
  L::StorePixels(out, q);
}

// Working pixels at `in` -> R, G, B, A (the inverse matrix; alpha as it is), put in memory
// position order for `Order`.
template <class L, typename Order>
PIXMILL_LANES_INLINE void LoadWorkingAsRgb(const float* in, typename L::F (&c)[4]) {
  const typename L::Planes p = L::LoadPixels(in);
  c[Order::kR] = L::Add(p.y, L::Mul(L::Set(kRFromV), p.v));
  c[Order::kG] = L::Sub(L::Sub(p.y, L::Mul(L::Set(kGFromU), p.u)), L::Mul(L::Set(kGFromV), p.v));
  c[Order::kB] = L::Add(p.y, L::Mul(L::Set(kBFromU), p.u));
  c[Order::kA] = p.a;
}

template <class L>
constexpr std::int32_t WholeSets(std::int32_t width) {
  return width - width % L::kCount;
}

template <class L, typename T, typename Order>
__attribute__((target(PIXMILL_LANES_TARGET))) std::int32_t RgbIntToWorkingLanes(const void* srcBytes, float* dst,
                                                                                std::int32_t width) {
  const T* src = static_cast<const T*>(srcBytes);
  const std::int32_t end = WholeSets<L>(width);
  const auto high = L::Set(Coding<T>::kUnitHigh);
  const auto low = L::Set(Coding<T>::kUnitLow);
  for (std::int32_t x = 0; x < end; x += L::kCount) {
    typename L::F c[4];
    LoadCodes<L>(src + 4 * static_cast<std::ptrdiff_t>(x), c);
    // code / max, bit for bit (row_coding.h).
    for (auto& channel : c) channel = L::Add(L::Mul(channel, high), L::Mul(channel, low));
    StoreWorking<L>(c[Order::kR], c[Order::kG], c[Order::kB], c[Order::kA],
                    dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
  return end;
}

template <class L, typename T, typename Order>
__attribute__((target(PIXMILL_LANES_TARGET))) std::int32_t WorkingToRgbIntLanes(const float* src, void* dstBytes,
                                                                                std::int32_t width) {
  T* dst = static_cast<T*>(dstBytes);
  const std::int32_t end = WholeSets<L>(width);
  const auto max = L::Set(Coding<T>::kMax);
  for (std::int32_t x = 0; x < end; x += L::kCount) {
    typename L::F c[4];
    LoadWorkingAsRgb<L, Order>(src + 4 * static_cast<std::ptrdiff_t>(x), c);
    typename L::I codes[4];
    for (int i = 0; i < 4; ++i) codes[i] = ToCodes<L, T>(L::Mul(c[i], max));
    StoreCodes<L>(codes, dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
  return end;
}

template <class L, typename Order>
__attribute__((target(PIXMILL_LANES_TARGET))) std::int32_t RgbFloatToWorkingLanes(const void* srcBytes, float* dst,
                                                                                  std::int32_t width) {
  const float* src = static_cast<const float*>(srcBytes);
  const std::int32_t end = WholeSets<L>(width);
  for (std::int32_t x = 0; x < end; x += L::kCount) {
    // The planes in memory position order, whatever their names.
    const typename L::Planes p = L::LoadPixels(src + 4 * static_cast<std::ptrdiff_t>(x));
    const typename L::F c[4] = {p.v, p.u, p.y, p.a};
    StoreWorking<L>(c[Order::kR], c[Order::kG], c[Order::kB], c[Order::kA],
                    dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
  return end;
}

template <class L, typename Order>
__attribute__((target(PIXMILL_LANES_TARGET))) std::int32_t WorkingToRgbFloatLanes(const float* src, void* dstBytes,
                                                                                  std::int32_t width) {
  float* dst = static_cast<float*>(dstBytes);
  const std::int32_t end = WholeSets<L>(width);
  for (std::int32_t x = 0; x < end; x += L::kCount) {
    typename L::F c[4];
    LoadWorkingAsRgb<L, Order>(src + 4 * static_cast<std::ptrdiff_t>(x), c);
    typename L::Planes out;
    out.v = c[0];
    out.u = c[1];
    out.y = c[2];
    out.a = c[3];
    L::StorePixels(dst + 4 * static_cast<std::ptrdiff_t>(x), out);
  }
  return end;
}

// Studio-range codes in memory order V, U, Y, A -> working pixels: (code - centre) / span for the
// chroma, (code - black) / span for the luma (the scalar rows' subtraction and division), code / max
// for alpha as the RGB rows take it.
template <class L, typename T>
__attribute__((target(PIXMILL_LANES_TARGET))) std::int32_t VuyaIntToWorkingLanes(const void* srcBytes, float* dst,
                                                                                 std::int32_t width) {
  using C = Coding<T>;
  const T* src = static_cast<const T*>(srcBytes);
  const std::int32_t end = WholeSets<L>(width);
  for (std::int32_t x = 0; x < end; x += L::kCount) {
    typename L::F c[4];
    LoadCodes<L>(src + 4 * static_cast<std::ptrdiff_t>(x), c);
    typename L::Planes q;
    q.v = L::Div(L::Sub(c[kV], L::Set(C::kChromaCentre)), L::Set(C::kChromaSpan));
    q.u = L::Div(L::Sub(c[kU], L::Set(C::kChromaCentre)), L::Set(C::kChromaSpan));
    q.y = L::Div(L::Sub(c[kY], L::Set(C::kBlack)), L::Set(C::kLumaSpan));
    q.a = L::Add(L::Mul(c[kA], L::Set(C::kUnitHigh)), L::Mul(c[kA], L::Set(C::kUnitLow)));
    L::StorePixels(dst + 4 * static_cast<std::ptrdiff_t>(x), q);
  }
  return end;
}

// Working pixels -> studio-range codes: value x span + centre (or black), alpha x max, each
// rounded as ToCodes.
template <class L, typename T>
__attribute__((target(PIXMILL_LANES_TARGET))) std::int32_t WorkingToVuyaIntLanes(const float* src, void* dstBytes,
                                                                                 std::int32_t width) {
  using C = Coding<T>;
  T* dst = static_cast<T*>(dstBytes);
  const std::int32_t end = WholeSets<L>(width);
  for (std::int32_t x = 0; x < end; x += L::kCount) {
    const typename L::Planes p = L::LoadPixels(src + 4 * static_cast<std::ptrdiff_t>(x));
    typename L::I codes[4];
    codes[kV] = ToCodes<L, T>(L::Add(L::Mul(p.v, L::Set(C::kChromaSpan)), L::Set(C::kChromaCentre)));
    codes[kU] = ToCodes<L, T>(L::Add(L::Mul(p.u, L::Set(C::kChromaSpan)), L::Set(C::kChromaCentre)));
    codes[kY] = ToCodes<L, T>(L::Add(L::Mul(p.y, L::Set(C::kLumaSpan)), L::Set(C::kBlack)));
    codes[kA] = ToCodes<L, T>(L::Mul(p.a, L::Set(C::kMax)));
    StoreCodes<L>(codes, dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
  return end;
}

template <class L>
constexpr VectorRowTable MakeVectorRowTable() {
  using std::uint16_t;
  using std::uint8_t;
  return {{RgbIntToWorkingLanes<L, uint8_t, BgraOrder>, WorkingToRgbIntLanes<L, uint8_t, BgraOrder>},
          {RgbIntToWorkingLanes<L, uint16_t, BgraOrder>, WorkingToRgbIntLanes<L, uint16_t, BgraOrder>},
          {RgbFloatToWorkingLanes<L, BgraOrder>, WorkingToRgbFloatLanes<L, BgraOrder>},
          {RgbIntToWorkingLanes<L, uint8_t, ArgbOrder>, WorkingToRgbIntLanes<L, uint8_t, ArgbOrder>},
          {RgbIntToWorkingLanes<L, uint16_t, ArgbOrder>, WorkingToRgbIntLanes<L, uint16_t, ArgbOrder>},
          {RgbFloatToWorkingLanes<L, ArgbOrder>, WorkingToRgbFloatLanes<L, ArgbOrder>},
          {VuyaIntToWorkingLanes<L, uint8_t>, WorkingToVuyaIntLanes<L, uint8_t>},
          {VuyaIntToWorkingLanes<L, uint16_t>, WorkingToVuyaIntLanes<L, uint16_t>}};
}

}  // namespace
}  // namespace pixmill
