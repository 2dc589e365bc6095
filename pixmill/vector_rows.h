// The vector row converters of the RGB and integer VUYA formats, one table per vector width
// (vector_rows_avx2.cpp, vector_rows_avx512.cpp), both built from the one routine of each
// conversion in vector_rows_lanes.h. A vector row converts the longest run of whole lane sets from
// the start of the row and returns how many pixels it converted; the scalar row converts the rest.
// Internal to the library.
#pragma once

#include <cstdint>

namespace pixmill {

using VectorToWorkingRow = std::int32_t (*)(const void* src, float* dst, std::int32_t width);
using VectorFromWorkingRow = std::int32_t (*)(const float* src, void* dst, std::int32_t width);

struct VectorRowPair {
  VectorToWorkingRow toWorking;
  VectorFromWorkingRow fromWorking;
};

struct VectorRowTable {
  VectorRowPair bgra8, bgra16, bgra32f, argb8, argb16, argb32f, vuya8, vuya16;
};

#if defined(__x86_64__)
extern const VectorRowTable kAvx2Rows;
extern const VectorRowTable kAvx512Rows;
#endif

}  // namespace pixmill
