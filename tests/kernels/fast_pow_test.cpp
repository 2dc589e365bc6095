// FastPow against the documented algorithm worked step by step in double precision, against
// values worked by hand, and FloorF against the library floor.
#include "kernels/fast_pow.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace threeway {
namespace {

// The bit pattern is converted to float as the algorithm says (that rounding, up to 64 units at
// 2^30, is part of the approximation); everything after it in double precision with library floors.
float ReferencePow(float b, float e) {
  if (std::fabs(static_cast<double>(e) - 1.0) < std::ldexp(1.0, -17)) return b;
  const float pattern = static_cast<float>(std::bit_cast<std::int32_t>(b));
  const double x = static_cast<double>(pattern) * std::ldexp(1.0, -23) - 127.0;
  const double f = x - std::floor(x);
  const double l = x + (f - f * f) * 0.346607;
  const double y = l * static_cast<double>(e);
  const double g = y - std::floor(y);
  const double z = (y + 127.0 - (g - g * g) * 0.33971) * 8388608.0;
  if (z < 0.0) return 0.0f;
  return std::bit_cast<float>(static_cast<std::int32_t>(z));
}

// The float path rounds z (about 2^30) to 24 bits: up to 64 units of the result's bit pattern (a
// relative 2^-16 at most), plus the single-precision roundings of L and y.
void ExpectNearReference(float b, float e) {
  const float expected = ReferencePow(b, e);
  EXPECT_NEAR(FastPow(b, e), expected, std::fabs(expected) * 3e-5f + 1e-37f) << b << "^" << e;
}

TEST(FastPow, ValuesWorkedByHand) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct { float b, e; double expected, tolerance; } cases[] = {
      // For b = 2^k and integer k e the fractions vanish and the result is exact.
      {0.25f, 0.5f, 0.5, 0.0}, {4.0f, 0.5f, 2.0, 0.0}, {2.0f, 3.0f, 8.0, 0.0},
      {0.5f, 2.0f, 0.25, 0.0}, {0.5f, -2.0f, 4.0, 0.0},
      // An exponent within 2^-17 of 1 returns the base unchanged.
      {0.3f, 1.0f, 0.3f, 0.0}, {0.3f, 1.0f + 0x1p-18f, 0.3f, 0.0},
      {1e-20f, 1.0f - 0x1p-18f, 1e-20f, 0.0}, {123.456f, 1.0f + 0x1p-17f - 0x1p-23f, 123.456f, 0.0},
      {0.0f, 1.0f - 0x1p-17f + 0x1p-24f, 0.0, 0.0},
      // One to any finite exponent is exactly one.
      {1.0f, 0.1f, 1.0, 0.0}, {1.0f, 9.97f, 1.0, 0.0}, {1.0f, -3.0f, 1.0, 0.0},
      {1.0f, 0.0f, 1.0, 0.0}, {1.0f, 1e6f, 1.0, 0.0}, {1.0f, -1e6f, 1.0, 0.0},
      // Zero above exponent 1: z is negative, the result exactly 0.
      {0.0f, 1.5f, 0.0, 0.0}, {0.0f, 10.0f, 0.0, 0.0}, {0.0f, 1.0f + 0x1p-16f, 0.0, 0.0},
      // Zero below 1, about 2^(-127 e). e = 0.1: y = -12.7, g = 0.3, g - g^2 = 0.21,
      // z / 2^23 = 114.3 - 0.21 * 0.33971 = 114.2286609, i.e. 2^(114 - 127) * 1.2286609.
      {0.0f, 0.1f, 1.2286609 / 8192.0, 1e-9},
      // e = 0.5: y = -63.5, z / 2^23 = 63.5 - 0.25 * 0.33971 = 63.4150725 -> 2^-64 * 1.4150725.
      {0.0f, 0.5f, std::ldexp(1.4150725, -64), 1e-25},
      // Non-finite exponents: z is NaN, the truncation gives INT32_MIN, which is negative.
      {0.5f, nan, 0.0, 0.0}, {2.0f, inf, 0.0, 0.0}, {1.0f, -inf, 0.0, 0.0}, {1.0f, nan, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(FastPow(c.b, c.e), c.expected, c.tolerance) << c.b << "^" << c.e;
  }
}

TEST(FastPow, MatchesStepwiseReferenceAcrossNegativeAndPositiveFloors) {
  // x < 0 for bases below 1, y < 0 for bases below 1 with positive exponents and for bases above
  // 1 with negative ones: the floors must go toward minus infinity in every case.
  const float bases[] = {1e-6f, 0.001f, 0.03f, 0.3f, 0.49f, 0.5f, 0.51f, 0.75f, 0.999f,
                         1.001f, 1.5f, 2.0f, 3.3f, 17.0f, 1000.0f};
  const float exponents[] = {0.1f, 0.1003f, 0.25f, 0.4545f, 0.5f, 0.9f, 1.1f, 2.2f, 3.0f,
                             9.97f, 10.0f, -0.5f, -2.0f};
  for (float b : bases) {
    for (float e : exponents) ExpectNearReference(b, e);
  }
  // At 2^-17 from 1 the approximation runs; for 0.3 it does not reproduce the base exactly.
  for (float e : {1.0f + 0x1p-17f, 1.0f - 0x1p-17f}) {
    EXPECT_NE(FastPow(0.3f, e), 0.3f) << e;
    ExpectNearReference(0.3f, e);
  }
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> base(0.0f, 2.0f), expo(0.1f, 10.0f);
  for (int i = 0; i < 20000; ++i) ExpectNearReference(base(rng), expo(rng));
}

TEST(FloorF, AgreesWithLibraryFloor) {
  constexpr float kInf = std::numeric_limits<float>::infinity(), kTiny = 1e-45f;  // a denormal
  std::vector<float> values = {0.0f, -0.0f, 0.5f, -0.5f, 1.5f, -1.5f, 1.0f, -1.0f, 0.999999f,
                               -0.999999f, 1e-30f, -1e-30f, 8388607.5f, -8388607.5f, 8388608.0f,
                               -8388608.0f, 8388609.0f, 1e20f, -1e20f, 3e38f, -3e38f, kTiny,
                               -kTiny, kInf, -kInf};
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> wide(-1e7f, 1e7f), narrow(-300.0f, 300.0f);
  for (int i = 0; i < 50000; ++i) {
    values.push_back(wide(rng));
    values.push_back(std::nearbyint(narrow(rng) * 2.0f) * 0.5f);  // integers and halves
  }
  for (float v : values) EXPECT_EQ(FloorF(v), std::floor(v)) << v;  // 0 == -0 is accepted
  EXPECT_TRUE(std::isnan(FloorF(std::nanf(""))));
}

}  // namespace
}  // namespace threeway
