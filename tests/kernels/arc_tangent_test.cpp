// The vector arc tangent against the platform's atan2f, bit for bit (NaN payloads included): every
// pair of the special values (zeros, infinities, NaN, denormals, the quadrant and band bounds, each
// with its neighbours) and ten million random pairs, half of them any bit patterns and half within
// the hue's chroma range, each with flush-to-zero off and on, on every vector path the processor has.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <xmmintrin.h>

#include "kernels/arc_tangent.h"

namespace threeway {
namespace {

TEST(VectorArcTangent, EqualsPlatformAtan2fBitForBit) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "the processor has no AVX2";
  EXPECT_TRUE(VectorArcTangentExact());
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> specials = {0.0f, 1.0f, inf, std::nanf(""), std::bit_cast<float>(0x7f800001u),
                                 1e-45f, 1e-40f, 1.1754942e-38f, 3.4028235e38f, 0.4375f, 0.6875f,
                                 1.1875f, 2.4375f, 0x1p25f, 0x1p-29f, 0x1p60f, 0x1p-60f, 0x1p62f};
  for (std::size_t i = 0, n = specials.size(); i < n; ++i) {
    specials.push_back(-specials[i]);
    specials.push_back(std::nextafter(specials[i], 0.0f));
    specials.push_back(std::nextafter(specials[i], inf));
  }
  std::vector<float> ys, xs;
  for (float y : specials) {
    for (float x : specials) ys.push_back(y), xs.push_back(x);
  }
  std::mt19937 rng(424242);
  std::uniform_real_distribution<float> chroma(-1.5f, 1.5f);
  constexpr int kRandom = 10'000'000;
  for (int i = 0; i < kRandom; ++i) {
    ys.push_back(i % 2 ? chroma(rng) : std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
    xs.push_back(i % 2 ? chroma(rng) : std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
  }
  std::vector<float> got(ys.size());
  const unsigned saved = _mm_getcsr();
  long differing = 0;
  for (const auto path : {vector_switch::Path::kAvx2, vector_switch::Path::kAvx512}) {
    if (path > vector_switch::WidestPath()) break;
    for (unsigned flushToZero : {0u, 0x8000u}) {
      _mm_setcsr(saved | flushToZero);
      VectorArcTangent2(ys.data(), xs.data(), got.data(), ys.size(), path);
      for (std::size_t i = 0; i < ys.size(); ++i) {
        const float want = std::atan2(ys[i], xs[i]);
        if (std::bit_cast<std::uint32_t>(want) != std::bit_cast<std::uint32_t>(got[i]) && ++differing <= 5) {
          ADD_FAILURE() << "atan2f(" << ys[i] << ", " << xs[i] << ") = " << want << ", vector " << got[i]
                        << (flushToZero ? " (flush-to-zero)" : "") << " lanes of path " << static_cast<int>(path);
        }
      }
    }
  }
  _mm_setcsr(saved);
  EXPECT_EQ(differing, 0) << "of " << ys.size() << " pairs";
}

}  // namespace
}  // namespace threeway
