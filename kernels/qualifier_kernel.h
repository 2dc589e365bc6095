// The signature shared by the secondary qualifier's kernels.
#pragma once

#include "render/renderer_settings.h"

namespace threeway {

// Computes a pixel's mask value (nominally 0..1) from its working-format Y, U and V and the
// qualifier settings. Kernels are pure functions.
using QualifierKernel = float (*)(const float* y, const float* u, const float* v,
                                  const QualifierBlock* block);

}  // namespace threeway
