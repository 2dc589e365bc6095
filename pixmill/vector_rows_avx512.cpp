// The RGB row conversions on sixteen lanes (AVX-512: F, BW, DQ and VL), for processors of the
// x86-64-v4 level. Compiled for the baseline processor like vector_rows_avx2.cpp.
#if defined(__x86_64__)
#include "simd/lanes_avx512.h"

#define PIXMILL_LANES_TARGET SIMD_AVX512_TARGET
#include "pixmill/vector_rows_lanes.h"

namespace pixmill {

const VectorRowTable kAvx512Rows = MakeVectorRowTable<simd::avx512::Lanes>();

}  // namespace pixmill
#endif
