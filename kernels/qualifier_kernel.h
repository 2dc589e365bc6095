// The signature shared by the secondary qualifier's kernels.
#pragma once

#include <cstdint>

#include "render/renderer_settings.h"

namespace threeway {

// Computes a pixel's mask value (nominally 0..1) from its working-format Y, U and V and the
// qualifier settings. Kernels are pure functions.
using QualifierKernel = float (*)(const float* y, const float* u, const float* v,
                                  const QualifierBlock* block);

// Computes the mask values of `count` consecutive working-format pixels (VUYA, four floats each, no
// alignment needed) into mask[0..count): eight pixels at a time with AVX2 or sixteen with AVX-512,
// each value equal bit for bit to what the matching scalar kernel gives that pixel.
using VectorQualifierKernel = void (*)(const float* pixels, std::int32_t count, float* mask,
                                       const QualifierBlock* block);

}  // namespace threeway
