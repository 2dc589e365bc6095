// The vector arc tangent that the vector qualifiers use for the hue, and the one fact about it that
// the process keeps: whether it equals the platform's atan2f bit for bit.
#pragma once

#include <cstddef>

#include "simd/vector_switch.h"

namespace threeway {

// True when the processor has AVX2 and the vector arc tangent of every vector path it has gave the
// platform's atan2f result, bit for bit, for every input of a fixed check set (signed zeros,
// infinities, NaN, denormals, the quadrant boundaries, the bounds of each reduction band of the
// arc tangent and of the exponent difference, and a deterministic spread of a few thousand
// pairs), with flush-to-zero both off and on. Checked once per process, at the first call, and
// safe to call from any thread. When false, the vector qualifiers compute the hue with atan2f per
// lane.
bool VectorArcTangentExact();

// out[i] = the vector arc tangent of `path` (kAvx2 or kAvx512) of (y[i], x[i]) for i < count; the
// arrays need no alignment. Must only be called for a path the processor has. For the check and
// its tests.
void VectorArcTangent2(const float* y, const float* x, float* out, std::size_t count, vector_switch::Path path);

// The same, one routine per instruction set.
void ArcTangentsAvx2(const float* y, const float* x, float* out, std::size_t count);
void ArcTangentsAvx512(const float* y, const float* x, float* out, std::size_t count);

}  // namespace threeway
