// The once-per-process check of the vector arc tangents against atan2f, and the choice of the
// array routine by path. The routines themselves are in arc_tangent_avx2.cpp and
// arc_tangent_avx512.cpp; this file is baseline code only.
#include "kernels/arc_tangent.h"

#include <xmmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "simd/vector_switch.h"

namespace threeway {

namespace {

// The platform's atan2f.
[[gnu::noinline]] float PlatformArcTangent2(float y, float x) { return std::atan2(y, x); }

// The pairs the check compares: every pair of a set of special and boundary values, then 4096
// pseudo-random pairs of bit patterns and 4096 of values within +-2.
void CheckPairs(std::vector<float>& ys, std::vector<float>& xs) {
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> values = {0.0f, 1.0f, inf, std::numeric_limits<float>::quiet_NaN(),
                               std::bit_cast<float>(0x7fa00001u),  // a signalling NaN
                               std::bit_cast<float>(0x00000001u), std::bit_cast<float>(0x007fffffu),
                               std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                               0.5f, 1.5f, 2.0f, 1e-30f, 1e30f, 0x1p-60f, 0x1p60f, 0x1p61f,
                               0x1p-61f};
  // Each bound of the reduction bands (2^-29, 7/16, 11/16, 19/16, 39/16, 2^25) and its neighbours.
  for (std::uint32_t bound : {0x31000000u, 0x3ee00000u, 0x3f300000u, 0x3f980000u, 0x401c0000u,
                              0x4c000000u, 0x3f800000u}) {
    for (std::uint32_t b : {bound - 1, bound, bound + 1}) values.push_back(std::bit_cast<float>(b));
  }
  const std::size_t count = values.size();
  for (std::size_t i = 0; i < count; ++i) values.push_back(-values[i]);
  for (float y : values) {
    for (float x : values) {
      ys.push_back(y);
      xs.push_back(x);
    }
  }
  std::uint32_t state = 20240607u;
  auto next = [&state] {  // a linear congruential generator
    state = state * 1664525u + 1013904223u;
    return state;
  };
  for (int i = 0; i < 4096; ++i) {
    ys.push_back(std::bit_cast<float>(next()));
    xs.push_back(std::bit_cast<float>(next()));
  }
  for (int i = 0; i < 4096; ++i) {
    ys.push_back(static_cast<float>(static_cast<std::int32_t>(next())) * 0x1p-30f);
    xs.push_back(static_cast<float>(static_cast<std::int32_t>(next())) * 0x1p-30f);
  }
}

// Every vector path the processor has must agree with atan2f.
bool CheckVectorArcTangent() {
  const vector_switch::Path widest = vector_switch::WidestPath();
  if (widest < vector_switch::Path::kAvx2) return false;
  std::vector<float> ys, xs;
  CheckPairs(ys, xs);
  std::vector<float> got(ys.size());
  const unsigned saved = _mm_getcsr();
  bool same = true;
  for (vector_switch::Path path : {vector_switch::Path::kAvx2, vector_switch::Path::kAvx512}) {
    if (path > widest) break;
    for (unsigned flushToZero : {0u, 0x8000u}) {  // as outside and during a frame pass
      _mm_setcsr((saved & ~0xE000u) | flushToZero);  // round to nearest
      VectorArcTangent2(ys.data(), xs.data(), got.data(), ys.size(), path);
      for (std::size_t i = 0; i < ys.size(); ++i) {
        const float want = PlatformArcTangent2(ys[i], xs[i]);
        same = same && std::bit_cast<std::uint32_t>(want) == std::bit_cast<std::uint32_t>(got[i]);
      }
    }
  }
  _mm_setcsr(saved);
  return same;
}

}  // namespace

void VectorArcTangent2(const float* y, const float* x, float* out, std::size_t count, vector_switch::Path path) {
  if (path == vector_switch::Path::kAvx512) {
    ArcTangentsAvx512(y, x, out, count);
  } else {
    ArcTangentsAvx2(y, x, out, count);
  }
}

bool VectorArcTangentExact() {
  static const bool exact = CheckVectorArcTangent();  // the one fact kept for the whole process
  return exact;
}

}  // namespace threeway
