// Integer formats come back exactly from the working format (host -> working -> host), float
// formats to within rounding; whole rows agree with single pixels and with the caller's rounding
// mode changed, and direct conversions with two calls through the working format.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <xmmintrin.h>

#include "pixmill/pixmill.h"
#include "tests/pixmill/pixmill_test_support.h"

namespace {

using pixmill_test::ConvertRow;

constexpr std::int32_t kRow = 65536;

// Every combination of the three 8-bit colour channels (2^24), alpha varied alongside, in rows of
// 65536 pixels: channel 0 takes the low byte of the combination index, channel 1 the next, and the
// row number is channel 2 (for 'argb' the colour channels are 1..3 and alpha is channel 0).
TEST(PixmillRoundTrip, EveryEightBitCombinationComesBackExactly) {
  const struct { PixmillPixelFormat format; int alphaChannel; } cases[] = {
      {kPixmillBGRA8, 3}, {kPixmillARGB8, 0}, {kPixmillVUYA8, 3}};
  std::vector<std::uint8_t> src(kRow * 4), back(kRow * 4);
  std::vector<float> working(kRow * 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const int colour[3] = {c.alphaChannel == 0 ? 1 : 0, c.alphaChannel == 0 ? 2 : 1,
                           c.alphaChannel == 0 ? 3 : 2};
    std::int64_t mismatches = 0;
    for (int top = 0; top < 256; ++top) {
      for (int i = 0; i < kRow; ++i) {
        std::uint8_t* p = &src[4 * i];
        p[colour[0]] = static_cast<std::uint8_t>(i);
        p[colour[1]] = static_cast<std::uint8_t>(i >> 8);
        p[colour[2]] = static_cast<std::uint8_t>(top);
        p[c.alphaChannel] = static_cast<std::uint8_t>(i * 7 + top * 13 + (i >> 8) * 3);
      }
      ASSERT_EQ(ConvertRow(src.data(), c.format, working.data(), kPixmillWorkingFormat, kRow), kPixmillOk);
      std::memset(back.data(), 0xA5, back.size());
      ASSERT_EQ(ConvertRow(working.data(), kPixmillWorkingFormat, back.data(), c.format, kRow), kPixmillOk);
      if (std::memcmp(src.data(), back.data(), src.size()) != 0) {
        for (std::size_t k = 0; k < src.size(); ++k) mismatches += src[k] != back[k];
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// 16-bit: one row in which every channel runs through all 65536 codes (each channel a different
// permutation, so the combinations differ too), then 4M random pixels.
TEST(PixmillRoundTrip, SixteenBitCodesComeBackExactly) {
  const PixmillPixelFormat formats[] = {kPixmillBGRA16, kPixmillARGB16, kPixmillVUYA16};
  std::vector<std::uint16_t> src(kRow * 4), back(kRow * 4);
  std::vector<float> working(kRow * 4);
  std::mt19937 rng(65535);
  for (PixmillPixelFormat format : formats) {
    SCOPED_TRACE(format);
    std::int64_t mismatches = 0;
    for (int pass = 0; pass < 65; ++pass) {
      for (std::uint32_t i = 0; i < kRow; ++i) {
        for (std::uint32_t ch = 0; ch < 4; ++ch) {
          src[4 * i + ch] = pass == 0 ? static_cast<std::uint16_t>(i * (2 * ch + 1) * 40503u + ch * 12345u)
                                      : static_cast<std::uint16_t>(rng());
        }
      }
      ASSERT_EQ(ConvertRow(src.data(), format, working.data(), kPixmillWorkingFormat, kRow), kPixmillOk);
      ASSERT_EQ(ConvertRow(working.data(), kPixmillWorkingFormat, back.data(), format, kRow), kPixmillOk);
      for (std::size_t k = 0; k < src.size(); ++k) mismatches += src[k] != back[k];
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// Float RGB is not clamped: values beyond white and black come back to within a few units in the
// last place of the largest channel; alpha, whatever its value, is carried bit for bit. The working
// format copied to itself is exact.
TEST(PixmillRoundTrip, FloatFormatsKeepValuesOutsideTheNominalRange) {
  const float pixels[][4] = {
      {2.5f, -0.25f, 1.75f, 1.5f}, {-1.0f, -2.0f, -3.0f, -0.5f}, {0.0f, 0.0f, 100.0f, 0.0f},
      {1.0f, 1.0f, 1.0f, 1.0f},    {0.3f, 0.6f, 0.9f, 0.25f},    {1e-3f, 7.0f, -1e-3f, 3.0f}};
  const int n = static_cast<int>(std::size(pixels));
  for (PixmillPixelFormat format : {kPixmillBGRA32f, kPixmillARGB32f, kPixmillWorkingFormat}) {
    SCOPED_TRACE(format);
    float working[std::size(pixels)][4], back[std::size(pixels)][4];
    ASSERT_EQ(ConvertRow(pixels, format, working, kPixmillWorkingFormat, n), kPixmillOk);
    ASSERT_EQ(ConvertRow(working, kPixmillWorkingFormat, back, format, n), kPixmillOk);
    for (int i = 0; i < n; ++i) {
      float largest = 0.0f;
      for (float v : pixels[i]) largest = std::fmax(largest, std::fabs(v));
      const double tolerance = format == kPixmillWorkingFormat ? 0.0 : 1e-6 * largest;
      for (int ch = 0; ch < 4; ++ch) {
        EXPECT_NEAR(back[i][ch], pixels[i][ch], tolerance) << "pixel " << i << " channel " << ch;
      }
    }
  }
  for (float alpha : {0.0f, -0.0f, 0.123456789f, -3.0f, 1e-40f, 1e30f,
                      std::numeric_limits<float>::infinity()}) {
    const float bgra[4] = {0.2f, 0.4f, 0.6f, alpha};
    float working[4], argb[4], bgraBack[4];
    ASSERT_EQ(ConvertRow(bgra, kPixmillBGRA32f, working, kPixmillWorkingFormat, 1), kPixmillOk);
    ASSERT_EQ(ConvertRow(working, kPixmillWorkingFormat, argb, kPixmillARGB32f, 1), kPixmillOk);
    ASSERT_EQ(ConvertRow(argb, kPixmillARGB32f, bgraBack, kPixmillBGRA32f, 1), kPixmillOk);
    EXPECT_EQ(std::memcmp(&working[3], &alpha, 4) | std::memcmp(&argb[0], &alpha, 4) |
                  std::memcmp(&bgraBack[3], &alpha, 4), 0) << alpha;
  }
}

// Out of and into every format, a whole row in one call (four pixels at a time where the library
// has a vector path) against the same pixels one call each (the single-pixel path), with values
// beyond the code ranges, NaN and halves among them, whatever the caller's floating-point mode;
// and the direct conversion between two host
// formats against two calls through the working format, on a row spanning several chunks.
TEST(PixmillRoundTrip, RowAtOnceAgreesWithPixelByPixelAndDirectWithTwoSteps) {
  constexpr std::int32_t kWidth = 1003;
  std::mt19937 rng(1003);
  std::uniform_real_distribution<float> wide(-0.8f, 1.4f);
  std::vector<float> working(kWidth * 4), back(kWidth * 4), backSingle(kWidth * 4);
  for (auto& v : working) v = wide(rng);
  for (int x = 0; x < kWidth; x += 7) working[4 * x + (x % 4)] = std::nanf("");
  for (int x = 3; x < kWidth; x += 11) working[4 * x + 3] = 0.5f;  // alpha exactly on a half code
  std::vector<unsigned char> direct(kWidth * 16), twoStep(kWidth * 16);
  for (const auto& f : pixmill_test::kAllFormats) {
    SCOPED_TRACE(f.name);
    const std::size_t bpp = static_cast<std::size_t>(PM_BytesPerPixel(f.code));
    std::vector<unsigned char> row(kWidth * bpp), single(kWidth * bpp);
    ASSERT_EQ(ConvertRow(working.data(), kPixmillWorkingFormat, row.data(), f.code, kWidth), kPixmillOk);
    ASSERT_EQ(ConvertRow(row.data(), f.code, back.data(), kPixmillWorkingFormat, kWidth), kPixmillOk);
    for (std::int32_t x = 0; x < kWidth; ++x) {
      ASSERT_EQ(ConvertRow(&working[4 * x], kPixmillWorkingFormat, &single[x * bpp], f.code, 1), kPixmillOk);
      ASSERT_EQ(ConvertRow(&row[x * bpp], f.code, &backSingle[4 * x], kPixmillWorkingFormat, 1), kPixmillOk);
    }
    EXPECT_EQ(row, single);
    EXPECT_EQ(std::memcmp(back.data(), backSingle.data(), kWidth * 16), 0);
    // A caller rounding toward minus infinity with denormals flushed (as a render pass does) gets
    // the same bytes, and its own mode back.
    const unsigned saved = _mm_getcsr();
    const unsigned callerMode = (saved & ~0x6000u) | 0x2000u | 0x8040u;  // down, FTZ, DAZ
    _mm_setcsr(callerMode);
    ConvertRow(working.data(), kPixmillWorkingFormat, single.data(), f.code, kWidth);
    ConvertRow(row.data(), f.code, backSingle.data(), kPixmillWorkingFormat, kWidth);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(saved);
    EXPECT_EQ(after & ~0x3Fu, callerMode & ~0x3Fu);  // control bits restored
    EXPECT_EQ(row, single);
    EXPECT_EQ(std::memcmp(back.data(), backSingle.data(), kWidth * 16), 0);
    for (const auto& to : pixmill_test::kAllFormats) {
      if (to.code == f.code) continue;  // a copy, not a conversion
      SCOPED_TRACE(to.name);
      std::memset(direct.data(), 0x5A, direct.size());
      std::memset(twoStep.data(), 0x5A, twoStep.size());
      ASSERT_EQ(ConvertRow(row.data(), f.code, direct.data(), to.code, kWidth), kPixmillOk);
      ASSERT_EQ(ConvertRow(back.data(), kPixmillWorkingFormat, twoStep.data(), to.code, kWidth), kPixmillOk);
      EXPECT_EQ(std::memcmp(direct.data(), twoStep.data(), direct.size()), 0);
    }
  }
}

}  // namespace
