#include "kernels/correct_pixel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "kernels/dither_random.h"
#include "tests/kernels/neutral_settings.h"

namespace threeway {
namespace {

using testing::NeutralSettings;

constexpr std::uint32_t kBgra8 = zkfx::FourCC("bgra");

// A qualifier kernel that reads only its arguments: the mask is the luma halved. It scribbles
// over its copies to show that the pixel itself is not touched.
float HalfLumaKernel(const float* y, const float* u, const float* v, const QualifierBlock*) {
  const float m = *y * 0.5f;
  *const_cast<float*>(y) = 99.0f;
  *const_cast<float*>(u) = 99.0f;
  *const_cast<float*>(v) = 99.0f;
  return m;
}

// A kernel that returns the qualifier block's soften field, to show which block it receives.
float SoftenKernel(const float*, const float*, const float*, const QualifierBlock* q) {
  return q->soften;
}

// The classic 15-bit generator, for expected draws.
struct ClassicLcg {
  std::uint32_t state;
  std::int32_t Next() {
    state = state * 214013u + 2531011u;
    return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
  }
};

struct Pass {
  RendererSettings s = NeutralSettings();
  PassConstants pc = ComputePassConstants(s);
  QualifierBlock q{};
  zkfx::LumaHistogram histogram{};
  std::int32_t view = kViewVideo;
  std::uint32_t format = kBgra8;
  QualifierKernel kernel = HalfLumaKernel;

  void Refresh() {
    ComputeDerivedValues(s);
    pc = ComputePassConstants(s);
  }
  WorkingPixel Run(float v0, float u0, float y0, float a0) {
    return ProcessPixel(v0, u0, y0, a0, 0, 0, 0, 1, false, nullptr, kernel, q, view, format, s,
                        pc, &histogram);
  }
};

TEST(ProcessPixel, MaskComesFromThePlaneOrFromTheKernel) {
  Pass p;
  p.view = kViewMask;
  std::vector<float> plane(6 * 4);
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = 0.01f * static_cast<float>(i);
  // Frame row firstRow + k = 2 + 1, width 4, column 3: index 15.
  WorkingPixel out = ProcessPixel(0.1f, 0.2f, 0.6f, 0.7f, 3, 1, 2, 4, true, plane.data(),
                                  HalfLumaKernel, p.q, kViewMask, kBgra8, p.s, p.pc, &p.histogram);
  EXPECT_EQ(out.y, plane[15]);
  // The plane is used only with the mask flag; without it, or without a plane, the kernel runs.
  out = ProcessPixel(0.1f, 0.2f, 0.6f, 0.7f, 3, 1, 2, 4, false, plane.data(), HalfLumaKernel,
                     p.q, kViewMask, kBgra8, p.s, p.pc, &p.histogram);
  EXPECT_EQ(out.y, 0.3f);
  out = ProcessPixel(0.1f, 0.2f, 0.6f, 0.7f, 3, 1, 2, 4, true, nullptr, HalfLumaKernel, p.q,
                     kViewMask, kBgra8, p.s, p.pc, &p.histogram);
  EXPECT_EQ(out.y, 0.3f);
  // With the plane the kernel is not called at all.
  out = ProcessPixel(0.1f, 0.2f, 0.6f, 0.7f, 0, 0, 0, 4, true, plane.data(), nullptr, p.q,
                     kViewMask, kBgra8, p.s, p.pc, &p.histogram);
  EXPECT_EQ(out.y, 0.0f);
  // The kernel receives the pass's qualifier block.
  p.q.soften = 0.625f;
  p.kernel = SoftenKernel;
  EXPECT_EQ(p.Run(0.0f, 0.0f, 0.5f, 1.0f).y, 0.625f);
}

TEST(ProcessPixel, MaskViewScalesTheMaskAndNeutralisesChroma) {
  Pass p;
  p.view = kViewMask;
  p.s.maskDisplayGain = 2.0f;
  const WorkingPixel out = p.Run(0.3f, -0.2f, 0.8f, 0.25f);
  EXPECT_EQ(out.v, 0.0f);
  EXPECT_EQ(out.u, 0.0f);
  EXPECT_EQ(out.y, 0.8f);  // m = 0.4, doubled
  EXPECT_EQ(out.a, 0.25f);
}

TEST(ProcessPixel, TonalRangeViewDrawsBlackGreyWhiteWithRamps) {
  Pass p;
  p.view = kViewTonalRange;
  const struct {
    float y0;
    float expected;
  } cases[] = {{-0.5f, 0.0f}, {0.1f, 0.0f}, {0.2f, 0.0f}, {0.25f, 0.25f}, {0.5f, 0.5f},
               {0.75f, 0.75f}, {0.8f, 1.0f}, {0.9f, 1.0f}, {4.0f, 1.0f}};
  for (const auto& c : cases) {
    const WorkingPixel out = p.Run(0.3f, -0.2f, c.y0, 0.5f);
    EXPECT_NEAR(out.y, c.expected, 1e-6f) << c.y0;
    EXPECT_EQ(out.v, 0.0f);
    EXPECT_EQ(out.u, 0.0f);
    EXPECT_EQ(out.a, 0.5f);
  }
}

TEST(ProcessPixel, VideoAndLumaViewsCorrect) {
  Pass p;
  p.s.master.saturation = 2.0f;
  p.Refresh();
  // Mask 0.25 (from the kernel, y0 / 2): chroma 0.1 -> 0.15 at full mask, 0.1125 at a quarter.
  WorkingPixel out = p.Run(0.1f, -0.1f, 0.5f, 0.75f);
  EXPECT_NEAR(out.v, 0.1125f, 1e-7f);
  EXPECT_NEAR(out.u, -0.1125f, 1e-7f);
  EXPECT_EQ(out.y, 0.5f);
  EXPECT_EQ(out.a, 0.75f);
  p.view = kViewLuma;
  out = p.Run(0.1f, -0.1f, 0.5f, 0.75f);
  EXPECT_EQ(out.v, 0.0f);
  EXPECT_EQ(out.u, 0.0f);
  EXPECT_EQ(out.y, 0.5f);
  EXPECT_EQ(out.a, 0.75f);
  // An unknown view mode renders as video.
  p.view = 17;
  out = p.Run(0.1f, -0.1f, 0.5f, 0.75f);
  EXPECT_NEAR(out.v, 0.1125f, 1e-7f);
}

TEST(ProcessPixel, HistogramBinIsATrueFloorClampedToTheRange) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float y0;
    std::uint32_t bin;
  } cases[] = {
      {0.0f, 0},        {-0.0f, 0},         {0.5f, 127},      {0.999f, 254},     {1.0f, 255},
      {0.2f, 51},       {0.003f, 0},        {0.004f, 1},      {-0.001f, 0},      {-5.0f, 0},
      {-1e30f, 0},      {-inf, 0},          {2.0f, 255},      {1e10f, 255},      {inf, 255},
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {std::nextafter(1.0f, 0.0f), 254},
  };
  for (const auto& c : cases) EXPECT_EQ(HistogramBin(c.y0), c.bin) << c.y0;

  // Every view counts the undithered source luma, once per pixel.
  for (std::int32_t view : {kViewVideo, kViewLuma, kViewMask, kViewTonalRange}) {
    Pass p;
    p.view = view;
    p.s.masterLevels.inputWhite = 0.5f;  // active levels: the video views dither
    p.Refresh();
    SeedDither(1);
    for (const auto& c : cases) p.Run(0.0f, 0.0f, c.y0, 1.0f);
    std::uint32_t expected[256] = {};
    for (const auto& c : cases) ++expected[c.bin];
    for (int b = 0; b < 256; ++b) ASSERT_EQ(p.histogram.count[b], expected[b]) << view << " " << b;
  }
  // No histogram: nothing is counted and nothing breaks.
  Pass p;
  EXPECT_EQ(ProcessPixel(0.0f, 0.0f, 0.5f, 1.0f, 0, 0, 0, 1, false, nullptr, HalfLumaKernel, p.q,
                         kViewVideo, kBgra8, p.s, p.pc, nullptr)
                .y,
            0.5f);
}

TEST(ProcessPixel, DitherFormatsAreTheThirteenListedCodes) {
  const char* dithered[] = {"bgra", "vuya", "argb", "yuy2", "yuy3", "uyvy", "uyv7",
                            "Bgra", "Vuya", "Argb", "BGra", "VUya", "ARgb"};
  for (const char* c : dithered) {
    const std::uint32_t code = static_cast<std::uint32_t>(c[0]) | static_cast<std::uint32_t>(c[1]) << 8 |
                               static_cast<std::uint32_t>(c[2]) << 16 |
                               static_cast<std::uint32_t>(c[3]) << 24;
    EXPECT_TRUE(IsDitheredFormat(code)) << c;
  }
  EXPECT_TRUE(IsDitheredFormat(0x61726762u));  // 'bgra', first character in the lowest byte
  EXPECT_TRUE(IsDitheredFormat(0x62675241u));  // 'ARgb'
  for (std::uint32_t code : {0u, zkfx::FourCC("rgba"), zkfx::FourCC("BGRA"), zkfx::FourCC("VUYA"),
                             zkfx::FourCC("yuv2"), zkfx::FourCC("agrb"), 0xFFFFFFFFu}) {
    EXPECT_FALSE(IsDitheredFormat(code)) << std::hex << code;
  }
}

TEST(ProcessPixel, DitherDrawsOncePerPixelWithinItsAmplitude) {
  Pass p;
  // Active levels that leave a shadow pixel alone: only the highlight group is changed, so the
  // output luma is the dithered luma itself.
  p.s.highlightLevels.inputWhite = 0.5f;
  p.Refresh();
  ASSERT_TRUE(p.pc.levelsActive);
  p.kernel = [](const float*, const float*, const float*, const QualifierBlock*) { return 1.0f; };

  SeedDither(12345);
  ClassicLcg lcg{12345};
  float lowest = 1.0f, highest = -1.0f;
  for (int i = 0; i < 20000; ++i) {
    const float y0 = 0.1f;
    const float r = static_cast<float>(lcg.Next()) / 16383.5f - 1.0f;
    const float expected = y0 + r * 0.0025490194f;
    const WorkingPixel out = p.Run(0.0f, 0.0f, y0, 1.0f);
    ASSERT_NEAR(out.y, expected, 1e-8f) << i;
    const float offset = out.y - y0;
    ASSERT_LE(std::fabs(offset), 0.0025490194f * 1.0001f) << i;
    lowest = std::fmin(lowest, offset);
    highest = std::fmax(highest, offset);
  }
  // The noise spans nearly the whole amplitude both ways.
  EXPECT_LT(lowest, -0.0025f);
  EXPECT_GT(highest, 0.0025f);
  // Exactly one draw per pixel: the generator continues right after the 20000th value.
  EXPECT_EQ(DitherRand(), lcg.Next());
}

TEST(ProcessPixel, NoDrawWithoutDither) {
  struct Case {
    const char* what;
    bool activeLevels;
    std::int32_t view;
    std::uint32_t format;
  };
  const Case cases[] = {
      {"identity levels", false, kViewVideo, kBgra8},
      {"identity levels, luma view", false, kViewLuma, kBgra8},
      {"format not in the list", true, kViewVideo, zkfx::FourCC("abcd")},
      {"mask view", true, kViewMask, kBgra8},
      {"tonal range view", true, kViewTonalRange, kBgra8},
  };
  for (const Case& c : cases) {
    Pass p;
    if (c.activeLevels) p.s.masterLevels.outputWhite = 0.9f;
    p.s.masterLevels.inputGray = 2.0f;  // a gamma alone does not activate the dither
    p.Refresh();
    p.view = c.view;
    p.format = c.format;
    SeedDither(777);
    ClassicLcg lcg{777};
    for (int i = 0; i < 10; ++i) p.Run(0.0f, 0.0f, 0.3f, 1.0f);
    EXPECT_EQ(DitherRand(), lcg.Next()) << c.what;
  }
  // And with active levels in the luma view the draw does happen.
  Pass p;
  p.s.masterLevels.outputWhite = 0.9f;
  p.Refresh();
  p.view = kViewLuma;
  SeedDither(777);
  ClassicLcg lcg{777};
  p.Run(0.0f, 0.0f, 0.3f, 1.0f);
  lcg.Next();
  EXPECT_EQ(DitherRand(), lcg.Next());
}

}  // namespace
}  // namespace threeway
