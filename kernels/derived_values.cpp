#include "kernels/derived_values.h"

#include <math.h>  // atan2f, cosf, sinf: the balance target is single precision

#include <cmath>

namespace threeway {

namespace {

HueRotation RangeRotation(const RangeBalance& range, const RangeBalance& master) {
  const float angle = -(range.hueAngle + master.hueAngle);
  const double a = static_cast<double>(angle);
  return {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
}

BalanceTarget GroupBalance(const RangeBalance& g, const RendererSettings& s) {
  const float phi = -atan2f(g.balanceY * s.chromaScaleV, g.balanceX * s.chromaScaleU);
  const float radius = 1.4142135f * s.balanceRadius;
  return {cosf(phi) * radius, sinf(phi) * radius, g.balanceMagnitude * g.balanceGain};
}

}  // namespace

void ComputeDerivedValues(RendererSettings& s) {
  const float blendEnd = s.shadowThreshold + s.shadowSoftness;
  s.shadowBlendEnd = blendEnd < 1.0f ? blendEnd : 1.0f;
  const float blendStart = s.highlightThreshold - s.highlightSoftness;
  s.highlightBlendStart = blendStart > 0.0f ? blendStart : 0.0f;

  s.shadowHueRotation = RangeRotation(s.shadow, s.master);
  s.midtoneHueRotation = RangeRotation(s.midtone, s.master);
  s.highlightHueRotation = RangeRotation(s.highlight, s.master);

  s.masterBalance = GroupBalance(s.master, s);
  s.shadowBalance = GroupBalance(s.shadow, s);
  s.midtoneBalance = GroupBalance(s.midtone, s);
  s.highlightBalance = GroupBalance(s.highlight, s);
}

}  // namespace threeway
