// The vector arc tangent over arrays on eight lanes (the check of arc_tangent.cpp and its tests).
#include "kernels/arc_tangent.h"
#include "simd/lanes_avx2.h"

#define THREEWAY_LANES_TARGET "avx2"
#include "kernels/arc_tangent_lanes.h"

namespace threeway {

__attribute__((target("avx2"))) void ArcTangentsAvx2(const float* y, const float* x, float* out,
                                                     std::size_t count) {
  ArcTangentsLanes<simd::avx2::Lanes>(y, x, out, count);
}

}  // namespace threeway
