// The softening passes on eight lanes (AVX2): the passes of soften_mask_lanes.h. Compiled for the
// baseline processor; only the functions marked with the AVX2 target use its instructions.
#include "render/soften_mask.h"
#include "simd/lanes_avx2.h"

#define THREEWAY_LANES_TARGET "avx2"
#include "render/soften_mask_lanes.h"

namespace threeway {

__attribute__((target("avx2"))) std::int32_t SoftenRowsAvx2(const SoftenCoefficients& c, const float* source,
                                                            std::int32_t sourceRowBytes, float* destination,
                                                            std::int32_t destinationRowBytes, std::int32_t width,
                                                            std::int32_t height, float* work) {
  return SoftenRowsLanes<simd::avx2::Lanes>(c, source, sourceRowBytes, destination, destinationRowBytes, width,
                                            height, work);
}

__attribute__((target("avx2"))) std::int32_t SoftenColumnsAvx2(const SoftenCoefficients& c, const float* source,
                                                               std::int32_t sourceRowBytes, float* destination,
                                                               std::int32_t destinationRowBytes, std::int32_t width,
                                                               std::int32_t height, float* work) {
  return SoftenColumnsLanes<simd::avx2::Lanes>(c, source, sourceRowBytes, destination, destinationRowBytes, width,
                                               height, work);
}

}  // namespace threeway
