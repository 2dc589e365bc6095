// Where colours land: BT.601 primaries and secondaries in working U and V, exact neutrals, the
// studio-range YUV codes, the rounding and clamping of working values into each integer format.
// Expected values are worked out here in double precision from the documented formulas.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "pixmill/pixmill.h"
#include "tests/pixmill/pixmill_test_support.h"

namespace {

using pixmill_test::ConvertRow;

struct Yuv {
  double y, u, v;
};
Yuv Bt601(double r, double g, double b) {
  const double y = 0.299 * r + 0.587 * g + 0.114 * b;
  return {y, (b - y) / 1.772, (r - y) / 1.402};
}

// The eight corners of the RGB cube, given to each RGB format at full scale, land where BT.601
// puts them (pure red: U -0.168736, V 0.5).
TEST(PixmillValues, PrimariesAndSecondariesLandOnBt601) {
  const int corners[][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0},
                            {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};  // R, G, B
  for (int c = 0; c < 8; ++c) {
    const int r = corners[c][0], g = corners[c][1], b = corners[c][2];
    const Yuv want = Bt601(r, g, b);
    std::uint8_t bgra8[4] = {std::uint8_t(255 * b), std::uint8_t(255 * g), std::uint8_t(255 * r), 255};
    std::uint8_t argb8[4] = {255, std::uint8_t(255 * r), std::uint8_t(255 * g), std::uint8_t(255 * b)};
    std::uint16_t bgra16[4] = {std::uint16_t(65535 * b), std::uint16_t(65535 * g),
                               std::uint16_t(65535 * r), 65535};
    float argbf[4] = {1.0f, float(r), float(g), float(b)};
    const struct { const void* data; PixmillPixelFormat format; } sources[] = {
        {bgra8, kPixmillBGRA8}, {argb8, kPixmillARGB8}, {bgra16, kPixmillBGRA16},
        {argbf, kPixmillARGB32f}};
    for (const auto& s : sources) {
      SCOPED_TRACE(testing::Message() << "corner " << c << " format " << s.format);
      float w[4];
      ASSERT_EQ(ConvertRow(s.data, s.format, w, kPixmillWorkingFormat, 1), kPixmillOk);
      EXPECT_NEAR(w[0], want.v, 2e-7);
      EXPECT_NEAR(w[1], want.u, 2e-7);
      EXPECT_NEAR(w[2], want.y, 2e-7);
      EXPECT_EQ(w[3], 1.0f);
    }
  }
}

// Every neutral grey has U = V = 0 exactly and Y equal to its level; white is Y 1.0 and black 0.
TEST(PixmillValues, NeutralsAreExact) {
  std::vector<std::uint8_t> grey8(256 * 4);
  for (int v = 0; v < 256; ++v) {
    for (int ch = 0; ch < 3; ++ch) grey8[4 * v + ch] = static_cast<std::uint8_t>(v);
    grey8[4 * v + 3] = 255;
  }
  std::vector<float> w(256 * 4);
  ASSERT_EQ(ConvertRow(grey8.data(), kPixmillBGRA8, w.data(), kPixmillWorkingFormat, 256), kPixmillOk);
  for (int v = 0; v < 256; ++v) {
    ASSERT_EQ(w[4 * v], 0.0f) << v;
    ASSERT_EQ(w[4 * v + 1], 0.0f) << v;
    ASSERT_EQ(w[4 * v + 2], static_cast<float>(v / 255.0)) << v;
  }
}

// Studio-range YUV codes in the working format: the extremes of the code range, footroom and
// headroom included, land on (code - black) / 219 and (code - 128) / 224 (x 256 for 16-bit); black,
// white and the neutral chroma exactly.
TEST(PixmillValues, StudioRangeCodesMapLinearly) {
  const std::uint8_t codes[] = {0, 1, 15, 16, 17, 128, 200, 235, 236, 240, 241, 255};
  for (std::uint8_t c : codes) {
    const std::uint8_t px8[4] = {c, c, c, c};
    const std::uint16_t px16[4] = {std::uint16_t(c * 256), std::uint16_t(c * 256), std::uint16_t(c * 256),
                                   std::uint16_t(c * 257)};
    float w8[4], w16[4];
    ASSERT_EQ(ConvertRow(px8, kPixmillVUYA8, w8, kPixmillWorkingFormat, 1), kPixmillOk);
    ASSERT_EQ(ConvertRow(px16, kPixmillVUYA16, w16, kPixmillWorkingFormat, 1), kPixmillOk);
    const double chroma = (c - 128.0) / 224.0, luma = (c - 16.0) / 219.0, alpha = c / 255.0;
    const double want[4] = {chroma, chroma, luma, alpha};
    for (const float* w : {w8, w16}) {
      if (c == 16 || c == 128 || c == 235) {
        EXPECT_EQ(w[c == 128 ? 0 : 2], c == 235 ? 1.0f : 0.0f);  // exactly
      }
      for (int ch = 0; ch < 4; ++ch) EXPECT_NEAR(w[ch], want[ch], 1e-7) << int(c) << " " << ch;
    }
  }
}

// Working values into integer formats: round to nearest with halves going up, then clamp; NaN is
// 0. Expected codes come from the formulas in double precision; every case lies at least 2e-3 of
// a code (0.05 for 16-bit) from a rounding boundary, except the exact halves, which are exact in
// single precision too.
TEST(PixmillValues, WorkingValuesRoundAndClampIntoIntegerFormats) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct { float v, u, y, a; } cases[] = {
      {0, 0, 1.2f, 1},       {0, 0, -0.1f, 0},        {0, 0, nan, nan},       {nan, nan, 0.5f, 0.5f},
      {0, 0, 0.5f, 0.25f},   {0, 0, inf, inf},        {0, 0, -inf, -inf},     {0.6f, -0.6f, 0.5f, 1.5f},
      {0.3f, 0.2f, 0.4f, -1}, {-0.21f, 0.1f, 0.7f, 0.8f}, {1.0f / 64, -1.0f / 64, 0.25f, 0.75f},
      {0.1f, -0.05f, 0.33f, 0.85f}};
  auto code = [](double value, double max) -> long {
    if (std::isnan(value)) return 0;
    const double r = std::floor(value + 0.5);
    return static_cast<long>(r < 0 ? 0 : r > max ? max : r);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.v << " " << c.u << " " << c.y << " " << c.a);
    const float working[4] = {c.v, c.u, c.y, c.a};
    const double v = c.v, u = c.u, y = c.y, a = c.a;
    const double r = y + 1.402 * v, g = y - 0.114 * 1.772 / 0.587 * u - 0.299 * 1.402 / 0.587 * v,
                 b = y + 1.772 * u;
    for (double max : {255.0, 65535.0}) {
      const bool eight = max == 255.0;
      const double rgba[4] = {r * max, g * max, b * max, a * max};
      const double studio[4] = {v * (eight ? 224 : 57344) + (eight ? 128 : 32768),
                                u * (eight ? 224 : 57344) + (eight ? 128 : 32768),
                                y * (eight ? 219 : 56064) + (eight ? 16 : 4096), a * max};
      // Memory channel k of each format takes value order[k] (R, G, B, A or V, U, Y, A).
      const struct { PixmillPixelFormat format; const double* value; int order[4]; } targets[] = {
          {eight ? kPixmillBGRA8 : kPixmillBGRA16, rgba, {2, 1, 0, 3}},
          {eight ? kPixmillARGB8 : kPixmillARGB16, rgba, {3, 0, 1, 2}},
          {eight ? kPixmillVUYA8 : kPixmillVUYA16, studio, {0, 1, 2, 3}}};
      for (const auto& t : targets) {
        // Five copies of the pixel, so the four-pixel path and the single-pixel tail both see it.
        float row[5][4];
        for (auto& px : row) std::memcpy(px, working, sizeof working);
        std::uint16_t out16[5][4];
        std::uint8_t out8[5][4];
        ASSERT_EQ(ConvertRow(row, kPixmillWorkingFormat, eight ? static_cast<void*>(out8) : out16,
                             t.format, 5), kPixmillOk);
        for (int px = 0; px < 5; ++px) {
          for (int ch = 0; ch < 4; ++ch) {
            EXPECT_EQ(eight ? out8[px][ch] : out16[px][ch], code(t.value[t.order[ch]], max))
                << "format " << t.format << " pixel " << px << " channel " << ch;
          }
        }
      }
    }
  }
}

}  // namespace
