// The vector arc tangent over arrays on sixteen lanes (the check of arc_tangent.cpp and its tests).
#include "kernels/arc_tangent.h"
#include "simd/lanes_avx512.h"

#define THREEWAY_LANES_TARGET SIMD_AVX512_TARGET
#include "kernels/arc_tangent_lanes.h"

namespace threeway {

__attribute__((target(SIMD_AVX512_TARGET))) void ArcTangentsAvx512(const float* y, const float* x, float* out,
                                                                       std::size_t count) {
  ArcTangentsLanes<simd::avx512::Lanes>(y, x, out, count);
}

}  // namespace threeway
