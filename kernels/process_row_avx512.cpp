// The AVX-512 row path: the vector row path of process_row_vector.h over sixteen lanes, for
// processors of the x86-64-v4 level. Compiled for the baseline processor like process_row_avx2.cpp;
// only the functions marked with the AVX-512 target use those instructions.
#include "kernels/process_row.h"
#include "simd/lanes_avx512.h"

#define THREEWAY_LANES_TARGET SIMD_AVX512_TARGET
#include "kernels/process_row_vector.h"

namespace threeway {

__attribute__((target(SIMD_AVX512_TARGET))) void ProcessRowAvx512(const RowContext& c, std::uint32_t k,
                                                                      const void* in, void* out) {
  ProcessRowLanes<simd::avx512::Lanes>(c, k, in, out);
}

}  // namespace threeway
