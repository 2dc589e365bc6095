// Rendering through the real host: neutral panels in every format, the histogram and the auto
// buttons, picks, a missing suite, empty and mismatched frames. Graded outputs: golden_test.cpp.

#include "tests/support/effect.h"

namespace {

using namespace threeway::test;
using namespace threeway;

// Random content legal for the format: any code for RGB; studio-range luma (16 and up) for 8-
// and 16-bit YUV, whose footroom lies below black; luma 0..1.2 and wide chroma for float.
Frame RandomFrame(int w, int h, std::uint32_t format, unsigned seed) {
  Frame f(w, h, format);
  std::mt19937 rng(seed);
  const int bpp = threeway::host::BytesPerPixel(format);
  if (bpp == 16) {
    std::uniform_real_distribution<float> unit(0.0f, 1.2f), chroma(-0.6f, 0.6f);
    for (int y = 0; y < h; ++y) {
      float* p = f.Row<float>(y);
      for (int x = 0; x < w; ++x, p += 4) {
        if (format == zkfx::kPixelFormatVUYA32f) {
          p[0] = chroma(rng), p[1] = chroma(rng), p[2] = unit(rng), p[3] = unit(rng);
        } else {
          p[0] = unit(rng), p[1] = unit(rng), p[2] = unit(rng), p[3] = unit(rng);
        }
      }
    }
    return f;
  }
  std::uniform_int_distribution<int> any(0, bpp == 4 ? 255 : 65535);
  const bool yuv = format == zkfx::kPixelFormatVUYA8 || format == zkfx::kPixelFormatVUYA16;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 4; ++c) {
        int v = any(rng);
        if (yuv && c == 2) v = std::max(v, bpp == 4 ? 16 : 4096);
        if (bpp == 4) {
          f.Row<std::uint8_t>(y)[x * 4 + c] = static_cast<std::uint8_t>(v);
        } else {
          f.Row<std::uint16_t>(y)[x * 4 + c] = static_cast<std::uint16_t>(v);
        }
      }
    }
  }
  return f;
}

TEST_F(Effect, NeutralPanelReturnsTheInputInEveryFormat) {
  const std::uint32_t formats[] = {
      zkfx::kPixelFormatVUYA8, zkfx::kPixelFormatVUYA16, zkfx::kPixelFormatVUYA32f,
      zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatBGRA16, zkfx::kPixelFormatBGRA32f,
      zkfx::kPixelFormatARGB8, zkfx::kPixelFormatARGB16, zkfx::kPixelFormatARGB32f};
  unsigned seed = 10;
  for (std::uint32_t format : formats) {
    Frame in = RandomFrame(31, 9, format, ++seed);
    Frame out = in.Blank();
    ASSERT_EQ(host.Render(in.frame, out.frame), zkfx::kErrNone);
    if (format == zkfx::kPixelFormatBGRA32f || format == zkfx::kPixelFormatARGB32f) {
      // Float RGB travels through the BT.601 matrix and back: equal to float rounding.
      const float* a = reinterpret_cast<const float*>(in.bytes.data());
      const float* b = reinterpret_cast<const float*>(out.bytes.data());
      for (std::size_t i = 0; i < in.bytes.size() / 4; ++i) ASSERT_NEAR(a[i], b[i], 2e-6f) << i;
    } else {
      EXPECT_EQ(in.bytes, out.bytes) << std::hex << format;
    }
  }
}

// Colourful content: lowering any saturation changes every pixel.
Frame Colourful(int w, int h) {
  Frame f(w, h, zkfx::kPixelFormatBGRA8);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = f.Row<std::uint8_t>(y) + x * 4;
      p[0] = static_cast<std::uint8_t>(40 + 5 * x), p[1] = 90, p[2] = static_cast<std::uint8_t>(200 - 3 * y);
      p[3] = 255;
    }
  }
  return f;
}

TEST_F(Effect, HistogramAndAutoButtons) {
  // Luma in bins 20 to 200 only: 8-bit grey levels b give BT.601 luma exactly b / 255.
  Frame in(181, 2, zkfx::kPixelFormatBGRA8);
  for (int x = 0; x < 181; ++x) {
    for (int y = 0; y < 2; ++y) std::memset(in.Row<std::uint8_t>(y) + x * 4, 20 + x, 3);
  }
  Frame out = in.Blank();
  ASSERT_EQ(host.Render(in.frame, out.frame), zkfx::kErrNone);
  EXPECT_TRUE(host.OutstandingSuites().empty());  // the render gave back every suite it took
  const zkfx::LumaHistogram& h = Histogram();
  EXPECT_EQ(h.peak, 2u);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(h.count[b], (b >= 20 && b <= 200) ? 2u : 0u) << b;
    EXPECT_EQ(h.normalized[b], (b >= 20 && b <= 200) ? 1.0f : 0.0f) << b;
  }
  host.PressButton(kParamAutoBlackLevel);
  EXPECT_EQ(FloatValue(kParamMasterInputBlackLevel), 20.0);
  EXPECT_EQ(FloatValue(kParamMasterInputWhiteLevel), 255.0);
  host.PressButton(kParamAutoWhiteLevel);
  EXPECT_EQ(FloatValue(kParamMasterInputWhiteLevel), 200.0);
  host.SetFloat(kParamMasterInputBlackLevel, 0.0);
  host.SetFloat(kParamMasterInputWhiteLevel, 255.0);
  host.PressButton(kParamAutoContrast);
  EXPECT_EQ(FloatValue(kParamMasterInputBlackLevel), 20.0);
  EXPECT_EQ(FloatValue(kParamMasterInputWhiteLevel), 200.0);
}

TEST_F(Effect, AutoButtonsBeforeTheFirstRenderGiveTheFullRange) {
  host.SetFloat(kParamMasterInputBlackLevel, 30.0);
  host.SetFloat(kParamMasterInputWhiteLevel, 100.0);
  host.PressButton(kParamAutoContrast);
  EXPECT_EQ(FloatValue(kParamMasterInputBlackLevel), 0.0);
  EXPECT_EQ(FloatValue(kParamMasterInputWhiteLevel), 255.0);
}

TEST_F(Effect, PicksWriteBackThroughTheHost) {
  host.SetColor(kParamWhiteBalance, {255, 255, 0, 0});
  EXPECT_NEAR(AngleValue(kParamHighlightBalanceAngle), 4659724, 1);  // 71.10 degrees
  EXPECT_NEAR(FloatValue(kParamHighlightBalanceMagnitude), 117.324333, 1e-4);
  // A neutral pick onto the neutral shadow balance changes nothing ...
  host.SetColor(kParamBlackBalance, {255, 60, 60, 60});
  EXPECT_EQ(AngleValue(kParamShadowBalanceAngle), 0);
  EXPECT_EQ(FloatValue(kParamShadowBalanceMagnitude), 0.0);
  // ... but resets a shadow balance that was set.
  host.SetFloat(kParamShadowBalanceMagnitude, 20.0);
  host.SetColor(kParamBlackBalance, {255, 60, 60, 60});
  EXPECT_EQ(AngleValue(kParamShadowBalanceAngle), 180 * 65536);
  EXPECT_EQ(FloatValue(kParamShadowBalanceMagnitude), 0.0);
  host.SetColor(kParamBlackLevel, {255, 37, 37, 37});
  EXPECT_EQ(FloatValue(kParamMasterInputBlackLevel), 36.0);
  host.SetColor(kParamWhiteLevel, {255, 253, 253, 253});
  EXPECT_EQ(FloatValue(kParamMasterInputWhiteLevel), 252.0);
  host.SetFloat(kParamMasterInputBlackLevel, 0.0);
  host.SetFloat(kParamMasterInputWhiteLevel, 255.0);
  host.SetColor(kParamGrayLevel, {255, 64, 64, 64});
  EXPECT_NEAR(FloatValue(kParamMasterInputGrayLevel), 0.501415672158639, 1e-6);
}

TEST_F(Effect, MissingPixelFormatSuiteStillRendersAsBgra) {
  host.faults().missingSuites.insert(zkfx::kPixelFormatSuiteName);
  for (int index : {kParamMasterSaturation, kParamShadowSaturation, kParamMidtoneSaturation,
                    kParamHighlightSaturation}) {
    host.SetFloat(index, 0.0);  // every range's chroma to zero: a grey picture
  }
  Frame in = Colourful(6, 3), out = in.Blank();
  EXPECT_EQ(host.Render(in.frame, out.frame), zkfx::kErrSuiteUnavailable);
  EXPECT_EQ(host.displayedMessage(), "Not able to acquire ZKFX Suite.");
  const std::uint8_t* p = out.Row<std::uint8_t>(1) + 8;
  EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << +p[0] << " " << +p[1] << " " << +p[2];  // grey: the frame was rendered
}

TEST_F(Effect, EmptyFramesRenderNothing) {
  Frame in(0, 5, zkfx::kPixelFormatBGRA8), out = in.Blank();
  EXPECT_EQ(host.Render(in.frame, out.frame), zkfx::kErrNone);
  EXPECT_EQ(Histogram().peak, 0u);
  Frame wide(5, 0, zkfx::kPixelFormatVUYA32f), wideOut = wide.Blank();
  EXPECT_EQ(host.Render(wide.frame, wideOut.frame), zkfx::kErrNone);
}

TEST_F(Effect, OutputSmallerThanInputIsNeverOverrun) {
  Frame in = Colourful(20, 10);
  Frame out(12, 6, zkfx::kPixelFormatBGRA8);
  EXPECT_EQ(host.Render(in.frame, out.frame), zkfx::kErrNone);  // the sanitizers watch the bounds
  EXPECT_EQ(std::memcmp(out.Row<std::uint8_t>(5), in.Row<std::uint8_t>(5), 12 * 4), 0);
  // The split line comes from the input's size: at 100 % it lies past the output's last row and
  // column, and still only the output's pixels are written (found by fuzzing the dispatch).
  ASSERT_EQ(host.SetCheckBox(kParamShowSplitView, true), zkfx::kErrNone);
  ASSERT_EQ(host.SetFloat(kParamSplitViewPercent, 100.0), zkfx::kErrNone);
  for (std::int32_t layout : {1, 2}) {
    ASSERT_EQ(host.SetPopup(kParamSplitViewLayout, layout), zkfx::kErrNone);
    EXPECT_EQ(host.Render(in.frame, out.frame), zkfx::kErrNone);
    EXPECT_EQ(std::memcmp(out.Row<std::uint8_t>(5), in.Row<std::uint8_t>(5), 12 * 4), 0);
  }
}

}  // namespace
