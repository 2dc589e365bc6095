// The AVX2 row path: the vector row path of process_row_vector.h over eight lanes. This file is
// compiled for the baseline processor like every other; only the functions marked with the avx2
// target use AVX2 instructions, so that no inline function of a shared header is ever emitted here
// as an AVX2 copy that scalar callers could end up using.
#include "kernels/process_row.h"
#include "simd/lanes_avx2.h"

#define THREEWAY_LANES_TARGET "avx2"
#include "kernels/process_row_vector.h"

namespace threeway {

__attribute__((target("avx2"))) void ProcessRowAvx2(const RowContext& c, std::uint32_t k, const void* in,
                                                    void* out) {
  ProcessRowLanes<simd::avx2::Lanes>(c, k, in, out);
}

}  // namespace threeway
