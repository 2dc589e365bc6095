// The values a render derives from the settings before every frame: the tonal blend limits, the
// hue rotation of each range and the balance target and weight of each group.
#pragma once

#include "render/renderer_settings.h"

namespace threeway {

// Recomputes the derived fields of `s` (shadowBlendEnd through highlightBalance) from its settings
// and constants:
//   shadowBlendEnd       min(1, shadowThreshold + shadowSoftness)          (a NaN sum gives 1)
//   highlightBlendStart  max(0, highlightThreshold - highlightSoftness)    (a NaN difference gives 0)
//   hue rotation of range r: a = -(r.hueAngle + master.hueAngle) in single precision, then
//                        (cos a, sin a) in double precision, each rounded to float
//   balance of group g:  phi = -atan2f(balanceY * chromaScaleV, balanceX * chromaScaleU),
//                        R = 1.4142135 * balanceRadius, target (cosf(phi) * R, sinf(phi) * R),
//                        weight = balanceMagnitude * balanceGain; all single precision
void ComputeDerivedValues(RendererSettings& s);

}  // namespace threeway
