// The RGB row conversions on eight lanes (AVX2). Compiled for the baseline processor; only the
// functions of vector_rows_lanes.h, which carry the AVX2 target, use its instructions, and they
// are called only where the processor has it.
#if defined(__x86_64__)
#include "simd/lanes_avx2.h"

#define PIXMILL_LANES_TARGET "avx2"
#include "pixmill/vector_rows_lanes.h"

namespace pixmill {

const VectorRowTable kAvx2Rows = MakeVectorRowTable<simd::avx2::Lanes>();

}  // namespace pixmill
#endif
