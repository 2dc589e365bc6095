// The vector twins of the qualifier kernels on sixteen lanes (qualifier_vector.h), for processors
// of the x86-64-v4 level. Compiled for the baseline processor like qualifier_avx2.cpp; only the
// functions marked with the AVX-512 target use those instructions.
#include "kernels/qualifier.h"
#include "simd/lanes_avx512.h"

#define THREEWAY_LANES_TARGET SIMD_AVX512_TARGET
#include "kernels/qualifier_vector.h"

namespace threeway {

constinit const std::array<VectorQualifierKernel, kQualifierKernelCount> kVectorQualifierKernelsAvx512 =
    MakeVectorKernelTable<simd::avx512::Lanes, false>();
constinit const std::array<VectorQualifierKernel, kQualifierKernelCount>
    kVectorQualifierKernelsAvx512OnPlatformArcTangent = MakeVectorKernelTable<simd::avx512::Lanes, true>();

}  // namespace threeway
