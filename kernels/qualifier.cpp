// The general qualifier kernel, its 64 specialised variants and their selection.
#include "kernels/qualifier.h"

#include <array>
#include <bit>
#include <cstdint>
#include <utility>

namespace threeway {

static_assert(std::bit_cast<std::uint32_t>(0.999999f) == 0x3f7fffefu,
              "the full-range end tolerance is the float just below 0.999999");

namespace {

// The weights multiplied into p, each evaluated only when the range can exclude something.
[[gnu::always_inline]] inline float LumaWeight(float y, const QualifierBlock& q) {
  return ClampUnit(qualifier_detail::RangeWeightImpl<false>(
      QualifierLuma(y), q.lumaStartSoftness, q.lumaStartThreshold, q.lumaEndSoftness,
      q.lumaEndThreshold));
}

[[gnu::always_inline]] inline float SaturationWeight(float u, float v, const QualifierBlock& q) {
  return ClampUnit(qualifier_detail::RangeWeightImpl<false>(
      QualifierSaturation(u, v), q.satStartSoftness, q.satStartThreshold, q.satEndSoftness,
      q.satEndThreshold));
}

[[gnu::always_inline]] inline float HueWeight(float u, float v, const QualifierBlock& q) {
  return ClampUnit(qualifier_detail::RangeWeightImpl<true>(
      QualifierHue(u, v), q.hueStartSoftness, q.hueStartThreshold, q.hueEndSoftness,
      q.hueEndThreshold));
}

// shape(x) = FastPow(x, k), the edge thinning; the caller skips it when E is exactly 0.
[[gnu::always_inline]] inline float Thin(float x, float edgeThinning) {
  return FastPow(x, EdgeThinningExponent(edgeThinning));
}

// One variant per selector index. The six properties are template constants, so each entry is
// straight-line code for its combination; the product p multiplies the computed weights in the
// general kernel's order (luma, saturation, hue), which keeps it bit-identical to the general
// kernel with the skipped weights set to 1.
template <unsigned kIndex>
float QualifierVariant(const float* y, const float* u, const float* v,
                       const QualifierBlock* block) {
  constexpr QualifierVariantTraits kIs = TraitsOfVariant(kIndex);

  float p = 1.0f;
  if constexpr (kIs.luma) p = LumaWeight(*y, *block);
  if constexpr (kIs.saturation) {
    const float ws = SaturationWeight(*u, *v, *block);
    p = kIs.luma ? p * ws : ws;
  }
  if constexpr (kIs.hue) {
    const float wh = HueWeight(*u, *v, *block);
    p = (kIs.luma || kIs.saturation) ? p * wh : wh;
  }

  float mask = p;
  if constexpr (kIs.invertLimit) mask = 1.0f - mask;
  if constexpr (kIs.thin) mask = Thin(mask, block->edgeThinning);
  if constexpr (kIs.invertMask) mask = 1.0f - mask;
  return mask;
}

template <std::size_t... kIndices>
constexpr std::array<QualifierKernel, sizeof...(kIndices)> MakeKernelTable(
    std::index_sequence<kIndices...>) {
  return {&QualifierVariant<static_cast<unsigned>(kIndices)>...};
}

}  // namespace

float GeneralQualifierKernel(const float* y, const float* u, const float* v,
                             const QualifierBlock* block) {
  const QualifierBlock& q = *block;
  const float wl = LumaWeight(*y, q);
  const float ws = SaturationWeight(*u, *v, q);
  const float wh = HueWeight(*u, *v, q);
  const float p = wl * ws * wh;

  const bool thin = q.edgeThinning != 0.0f;  // true for a NaN
  switch (q.invertMode) {
    case kInvertLimitColor:
      return thin ? Thin(1.0f - p, q.edgeThinning) : 1.0f - p;
    case kInvertMask:
      return 1.0f - (thin ? Thin(p, q.edgeThinning) : p);
    default:  // kInvertNone and any unknown mode
      return thin ? Thin(p, q.edgeThinning) : p;
  }
}

// A constant table, filled at compile time.
constinit const std::array<QualifierKernel, kQualifierKernelCount> kQualifierKernels =
    MakeKernelTable(std::make_index_sequence<kQualifierKernelCount>());

unsigned QualifierKernelIndex(const QualifierBlock* block) {
  const QualifierBlock& q = *block;
  unsigned index = 0;
  if (q.invertMode == kInvertMask) index |= kQualifierInvertMaskBit;
  if (q.edgeThinning != 0.0f) index |= kQualifierEdgeThinningBit;  // NaN counts as thinning
  if (q.invertMode == kInvertLimitColor) index |= kQualifierInvertLimitBit;
  if (q.hueUnrestricted != 0) index |= kQualifierNoHueBit;
  if (IsFullQualifierRange(q.satStartSoftness, q.satStartThreshold, q.satEndSoftness,
                           q.satEndThreshold)) {
    index |= kQualifierNoSaturationBit;
  }
  if (IsFullQualifierRange(q.lumaStartSoftness, q.lumaStartThreshold, q.lumaEndSoftness,
                           q.lumaEndThreshold)) {
    index |= kQualifierNoLumaBit;
  }
  return index;
}

QualifierKernel SelectQualifierKernel(const QualifierBlock* block) {
  return kQualifierKernels[QualifierKernelIndex(block)];
}

}  // namespace threeway
