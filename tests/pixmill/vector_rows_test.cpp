// The vector row converters (AVX2, and AVX-512 where the processor has it) against the scalar
// reference, bit for bit: random rows of every width
// class (below, at and past the eight-pixel step, with four- and one-pixel remainders), upward and
// padded row steps, codes of every value and working values that are NaN, infinite, denormal,
// huge, negative or on a rounding boundary (float RGB rows likewise); integer to integer and float
// to integer through the working chunks too.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <xmmintrin.h>

#include "pixmill/pixmill.h"
#include "pixmill/pixmill_debug.h"

namespace {

// A working value drawn to reach every branch of the coding: mostly in and around 0..1, with the
// special values and exact halfway points between 8- and 16-bit codes.
float WorkingValue(std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_real_distribution<float> near(-0.25f, 1.25f);
  const int k = pick(rng);
  if (k < 70) return near(rng);
  if (k < 76) return (static_cast<float>(rng() % 256) + 0.5f) / 255.0f;
  if (k < 80) return (static_cast<float>(rng() % 65536) + 0.5f) / 65535.0f;
  const float special[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::denorm_min(), -1e-40f, 0.0f, -0.0f, 1.0f, 3e38f, -3e38f,
                           std::numeric_limits<float>::max(), 254.5f / 255.0f, 0.5f / 255.0f};
  return special[static_cast<std::size_t>(k) % std::size(special)];
}

TEST(PixmillVectorRows, MatchTheScalarRowsBitForBit) {
  const std::int32_t widest = PM_DebugVectorRowsAvailable();  // 1 AVX2, 2 AVX-512
  if (widest == 0) GTEST_SKIP() << "the processor has no AVX2";
  struct Pair {
    PixmillPixelFormat from, to;
  };
  const Pair pairs[] = {
      {kPixmillBGRA8, kPixmillWorkingFormat},  {kPixmillARGB8, kPixmillWorkingFormat},
      {kPixmillBGRA16, kPixmillWorkingFormat}, {kPixmillARGB16, kPixmillWorkingFormat},
      {kPixmillWorkingFormat, kPixmillBGRA8},  {kPixmillWorkingFormat, kPixmillARGB8},
      {kPixmillWorkingFormat, kPixmillBGRA16}, {kPixmillWorkingFormat, kPixmillARGB16},
      {kPixmillBGRA32f, kPixmillWorkingFormat}, {kPixmillARGB32f, kPixmillWorkingFormat},
      {kPixmillWorkingFormat, kPixmillBGRA32f}, {kPixmillWorkingFormat, kPixmillARGB32f},
      {kPixmillVUYA8, kPixmillWorkingFormat},  {kPixmillVUYA16, kPixmillWorkingFormat},
      {kPixmillWorkingFormat, kPixmillVUYA8},  {kPixmillWorkingFormat, kPixmillVUYA16},
      {kPixmillBGRA8, kPixmillARGB16},         {kPixmillARGB16, kPixmillBGRA8},
      {kPixmillBGRA32f, kPixmillARGB8},        {kPixmillVUYA16, kPixmillBGRA8},
      {kPixmillARGB8, kPixmillVUYA8},
  };
  const std::int32_t widths[] = {1, 4, 7, 8, 9, 12, 15, 16, 17, 31, 33, 47, 1000, 16385};
  std::mt19937 rng(20261207);
  // A path the processor lacks, or no path at all, is refused and writes nothing.
  for (const std::int32_t path : {-1, widest + 1, 3}) {
    const std::uint8_t pixel[4] = {1, 2, 3, 4};
    float out[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    EXPECT_EQ(PM_DebugConvertOnPath(path, pixel, 4, kPixmillBGRA8, out, 16, kPixmillWorkingFormat, 1, 1),
              kPixmillBadArgument)
        << path;
    EXPECT_EQ(out[0] + out[1] + out[2] + out[3], 28.0f) << path;
  }
  const unsigned saved = _mm_getcsr();
  for (const Pair& p : pairs) {
    const std::int32_t inBytes = PM_BytesPerPixel(p.from), outBytes = PM_BytesPerPixel(p.to);
    for (const std::int32_t width : widths) {
      for (int layout = 0; layout < 2; ++layout) {
        SCOPED_TRACE(::testing::Message() << "from " << p.from << " to " << p.to << " width " << width
                                          << (layout == 1 ? " upward, padded" : ""));
        constexpr std::int32_t kRows = 3;
        const std::int32_t pad = layout == 1 ? 16 : 0;  // keeps every format's channel alignment
        const std::int32_t inStride = width * inBytes + pad, outStride = width * outBytes + pad;
        std::vector<std::uint8_t> in(static_cast<std::size_t>(inStride) * kRows);
        if (p.from == kPixmillWorkingFormat || p.from == kPixmillBGRA32f || p.from == kPixmillARGB32f) {
          for (std::size_t i = 0; i + 4 <= in.size(); i += 4) {
            const float v = WorkingValue(rng);
            std::memcpy(&in[i], &v, 4);
          }
        } else {
          for (std::uint8_t& b : in) b = static_cast<std::uint8_t>(rng());
        }
        // Upward rows: start at the last row and step back.
        const std::int32_t inStep = layout == 1 ? -inStride : inStride;
        const std::int32_t outStep = layout == 1 ? -outStride : outStride;
        const std::size_t inFirst = layout == 1 ? in.size() - static_cast<std::size_t>(inStride) : 0;
        std::vector<std::uint8_t> scalar(static_cast<std::size_t>(outStride) * kRows, 0x5A);
        const std::size_t outFirst = layout == 1 ? scalar.size() - static_cast<std::size_t>(outStride) : 0;
        _mm_setcsr(layout == 1 ? (saved | 0x8040 | 0x2000) : saved);  // FTZ, DAZ, round down: ignored
        ASSERT_EQ(PM_DebugConvertOnPath(0, &in[inFirst], inStep, p.from, &scalar[outFirst], outStep, p.to, width, kRows),
                  kPixmillOk);
        for (std::int32_t path = 1; path <= widest; ++path) {
          std::vector<std::uint8_t> vector(scalar.size(), 0x5A);
          ASSERT_EQ(
              PM_DebugConvertOnPath(path, &in[inFirst], inStep, p.from, &vector[outFirst], outStep, p.to, width, kRows),
              kPixmillOk);
          ASSERT_EQ(std::memcmp(scalar.data(), vector.data(), scalar.size()), 0) << "path " << path;
        }
        _mm_setcsr(saved);
      }
    }
  }
}

// The vector rows take code / max without a division (two products and a sum). Every code of both
// codings on every channel, on every path: for RGB a grey pixel, whose luma and alpha are the
// quotient itself; for VUYA every studio-range quotient and alpha.
TEST(PixmillVectorRows, EveryCodeGivesTheQuotientsBits) {
  const std::int32_t widest = PM_DebugVectorRowsAvailable();
  if (widest == 0) GTEST_SKIP() << "the processor has no AVX2";
  for (const PixmillPixelFormat from :
       {kPixmillBGRA8, kPixmillARGB8, kPixmillBGRA16, kPixmillARGB16, kPixmillVUYA8, kPixmillVUYA16}) {
    const std::int32_t codeBytes = PM_BytesPerPixel(from) / 4;
    const bool rgb = from != kPixmillVUYA8 && from != kPixmillVUYA16;
    const std::int32_t width = 1 << (8 * codeBytes);
    std::vector<std::uint8_t> in(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(codeBytes));
    for (std::int32_t c = 0; c < width; ++c) {
      for (std::int32_t channel = 0; channel < 4; ++channel) {
        std::memcpy(&in[static_cast<std::size_t>(4 * c + channel) * static_cast<std::size_t>(codeBytes)], &c,
                    static_cast<std::size_t>(codeBytes));  // little-endian: the low bytes
      }
    }
    std::vector<float> scalar(4 * static_cast<std::size_t>(width));
    ASSERT_EQ(PM_DebugConvertOnPath(0, in.data(), 0, from, scalar.data(), 0, kPixmillWorkingFormat, width, 1),
              kPixmillOk);
    for (std::int32_t c = 0; rgb && c < width; c += width / 4 - 1) {  // the luma and alpha are c / max
      EXPECT_EQ(scalar[4 * static_cast<std::size_t>(c) + 2], static_cast<float>(c) / static_cast<float>(width - 1));
      EXPECT_EQ(scalar[4 * static_cast<std::size_t>(c) + 3], static_cast<float>(c) / static_cast<float>(width - 1));
    }
    for (std::int32_t path = 1; path <= widest; ++path) {
      std::vector<float> vector(scalar.size(), -1.0f);
      ASSERT_EQ(PM_DebugConvertOnPath(path, in.data(), 0, from, vector.data(), 0, kPixmillWorkingFormat, width, 1),
                kPixmillOk);
      EXPECT_EQ(std::memcmp(scalar.data(), vector.data(), scalar.size() * sizeof(float)), 0)
          << "format " << from << " path " << path;
    }
  }
}

// The vector rows round a scaled value to its code as trunc(v + 0x1.fffffep-2) (one addition and a
// truncation for the scalar rows' truncation, subtraction and half test). Grey working pixels whose
// scaled values land on and next to every half code, and next to 0.5, on every path: the same codes.
TEST(PixmillVectorRows, ValuesAroundEveryHalfCodeRoundAsTheScalarRows) {
  const std::int32_t widest = PM_DebugVectorRowsAvailable();
  if (widest == 0) GTEST_SKIP() << "the processor has no AVX2";
  for (const PixmillPixelFormat to :
       {kPixmillBGRA8, kPixmillARGB8, kPixmillBGRA16, kPixmillARGB16, kPixmillVUYA8, kPixmillVUYA16}) {
    const float max = PM_BytesPerPixel(to) == 4 ? 255.0f : 65535.0f;
    std::vector<float> in;
    const auto around = [&](float centre, int steps) {
      float v = centre;
      for (int i = 0; i < steps; ++i) v = std::nextafter(v, 0.0f);
      for (int i = 0; i < 2 * steps + 1; ++i, v = std::nextafter(v, 2.0f)) in.insert(in.end(), {0.0f, 0.0f, v, v});
    };
    for (float code = 0.0f; code < max; code += 1.0f) around((code + 0.5f) / max, 6);
    around(0.5f / max, 300);
    const std::int32_t width = static_cast<std::int32_t>(in.size() / 4);
    std::vector<std::uint8_t> scalar(static_cast<std::size_t>(width) * static_cast<std::size_t>(PM_BytesPerPixel(to)));
    ASSERT_EQ(PM_DebugConvertOnPath(0, in.data(), 0, kPixmillWorkingFormat, scalar.data(), 0, to, width, 1), kPixmillOk);
    for (std::int32_t path = 1; path <= widest; ++path) {
      std::vector<std::uint8_t> vector(scalar.size(), 0x5A);
      ASSERT_EQ(PM_DebugConvertOnPath(path, in.data(), 0, kPixmillWorkingFormat, vector.data(), 0, to, width, 1),
                kPixmillOk);
      EXPECT_EQ(std::memcmp(scalar.data(), vector.data(), scalar.size()), 0) << "format " << to << " path " << path;
    }
  }
}

}  // namespace
