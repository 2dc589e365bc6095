// The vector twins of the qualifier kernels on eight lanes (qualifier_vector.h), and the choice of
// a twin by path. This file is compiled for the baseline processor; only the functions marked with
// the avx2 target use AVX2, and they call no inline function of a shared header that is not itself
// forced inline and compiled for this file's target alone (lanes_avx2.h, vector_lanes.h,
// arc_tangent_lanes.h).
#include "kernels/qualifier.h"
#include "simd/lanes_avx2.h"

#define THREEWAY_LANES_TARGET "avx2"
#include "kernels/qualifier_vector.h"

namespace threeway {

constinit const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernels =
    MakeVectorKernelTable<simd::avx2::Lanes, false>();
constinit const std::array<VectorQualifierKernel, kQualifierKernelCount>
    kVectorQualifierKernelsOnPlatformArcTangent = MakeVectorKernelTable<simd::avx2::Lanes, true>();

VectorQualifierKernel VectorQualifierFor(QualifierKernel kernel, vector_switch::Path path) {
  const auto& table = path == vector_switch::Path::kAvx512 ? kVectorQualifierKernelsAvx512 : kVectorQualifierKernels;
  for (unsigned i = 0; i < kQualifierKernelCount; ++i) {
    if (kQualifierKernels[i] == kernel) return table[i];
  }
  return nullptr;
}

}  // namespace threeway
