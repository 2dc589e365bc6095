// The softening passes on sixteen lanes (AVX-512: F, BW, DQ and VL): the passes of
// soften_mask_lanes.h. Compiled for the baseline processor; only the functions marked with the
// AVX-512 target use its instructions.
#include "render/soften_mask.h"
#include "simd/lanes_avx512.h"

#define THREEWAY_LANES_TARGET SIMD_AVX512_TARGET
#include "render/soften_mask_lanes.h"

namespace threeway {

__attribute__((target(SIMD_AVX512_TARGET))) std::int32_t SoftenRowsAvx512(const SoftenCoefficients& c, const float* source,
                                                            std::int32_t sourceRowBytes, float* destination,
                                                            std::int32_t destinationRowBytes, std::int32_t width,
                                                            std::int32_t height, float* work) {
  return SoftenRowsLanes<simd::avx512::Lanes>(c, source, sourceRowBytes, destination, destinationRowBytes, width,
                                            height, work);
}

__attribute__((target(SIMD_AVX512_TARGET))) std::int32_t SoftenColumnsAvx512(const SoftenCoefficients& c, const float* source,
                                                               std::int32_t sourceRowBytes, float* destination,
                                                               std::int32_t destinationRowBytes, std::int32_t width,
                                                               std::int32_t height, float* work) {
  return SoftenColumnsLanes<simd::avx512::Lanes>(c, source, sourceRowBytes, destination, destinationRowBytes, width,
                                               height, work);
}

}  // namespace threeway
