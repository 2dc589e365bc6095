// The per-pixel step of the frame pass: where the mask comes from, the display views, the
// histogram bin and the dither (its generator, which formats, how many draws, how large).
#include "kernels/correct_pixel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "kernels/dither_random.h"
#include "tests/kernels/test_settings.h"

namespace threeway {
namespace {

TEST(DitherRandom, ClassicSequencesWithinFifteenBits) {
  // The classic generator's first values for seed 1, and for a seed that wraps at once (worked in
  // arbitrary-precision arithmetic modulo 2^32). Reseeding restarts the sequence. (The 15-bit range
  // over long runs: DitherDrawsOncePerPixelWhenItApplies, against the formula draw by draw.)
  const struct { std::uint32_t seed; std::vector<std::int32_t> values; } cases[] = {
      {1u, {41, 18467, 6334, 26500, 19169}}, {0xFFFFFFFFu, {35, 29739, 3374}}, {1u, {41}}};
  for (const auto& c : cases) {
    SeedDither(c.seed);
    for (std::int32_t v : c.values) EXPECT_EQ(DitherRand(), v) << c.seed;
  }
}

// The vector pass scales a draw with two products and a sum instead of the division: the same bits
// for every draw. (The vector rows' use of it: ProcessRowTest, against the scalar pass.)
TEST(DitherRandom, EveryDrawsQuotientHasTheDivisionsBits) {
  for (std::int32_t draw = 0; draw <= kDitherRandMax; ++draw) {
    const float d = static_cast<float>(draw);
    const float product = d * kDrawQuotientLow;  // rounded on its own, as a lane does
    const float split = d * kDrawQuotientHigh + product;
    const float quotient = d / 16383.5f;
    ASSERT_EQ(std::memcmp(&split, &quotient, sizeof split), 0) << draw;
  }
}

TEST(DitherRandom, EachThreadHasItsOwnState) {
  SeedDither(1);
  EXPECT_EQ(DitherRand(), 41);
  std::vector<std::int32_t> drawn;
  std::thread other([&] {
    drawn.push_back(DitherRand());  // a thread that never seeded starts from state 1
    drawn.push_back(DitherRand());
    SeedDither(0xFFFFFFFFu);
    drawn.push_back(DitherRand());
  });
  other.join();
  EXPECT_EQ(drawn, (std::vector<std::int32_t>{41, 18467, 35}));
  EXPECT_EQ(DitherRand(), 18467);  // this thread's sequence went on undisturbed
}

constexpr std::uint32_t kBgra8 = zkfx::FourCC("bgra");

// A qualifier kernel that reads only its arguments: the mask is the luma halved. It scribbles
// over its copies to show that the pixel itself is not touched.
float HalfLumaKernel(const float* y, const float* u, const float* v, const QualifierBlock*) {
  const float m = *y * 0.5f;
  *const_cast<float*>(y) = *const_cast<float*>(u) = *const_cast<float*>(v) = 99.0f;
  return m;
}

// The classic 15-bit generator, for the expected draws.
struct ClassicLcg {
  std::uint32_t state;
  std::int32_t Next() {
    state = state * 214013u + 2531011u;
    return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
  }
};

struct Pass {
  RendererSettings s = testing::NeutralSettings();
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
  std::vector<float> plane(6 * 4);
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = 0.01f * static_cast<float>(i);
  auto mask = [&](std::int32_t x, std::uint32_t k, std::uint32_t first, bool flag,
                  const float* m, QualifierKernel kernel) {
    return ProcessPixel(0.1f, 0.2f, 0.6f, 0.7f, x, k, first, 4, flag, m, kernel, p.q, kViewMask,
                        kBgra8, p.s, p.pc, &p.histogram).y;
  };
  // Frame row firstRow + k = 2 + 1, width 4, column 3: index 15. Without the kernel being called.
  EXPECT_EQ(mask(3, 1, 2, true, plane.data(), nullptr), plane[15]);
  // The plane is used only with the mask flag; without it, or without a plane, the kernel runs.
  EXPECT_EQ(mask(3, 1, 2, false, plane.data(), HalfLumaKernel), 0.3f);
  EXPECT_EQ(mask(3, 1, 2, true, nullptr, HalfLumaKernel), 0.3f);
  // The kernel receives the pass's qualifier block.
  p.q.soften = 0.625f;
  p.view = kViewMask;
  p.kernel = [](const float*, const float*, const float*, const QualifierBlock* q) {
    return q->soften;
  };
  EXPECT_EQ(p.Run(0.0f, 0.0f, 0.5f, 1.0f).y, 0.625f);
}

// The mask view shows m times the display gain, the tonal-range view black, mid grey and white
// with ramps between; both with neutral chroma and alpha kept. An unknown view renders as video.
TEST(ProcessPixel, DisplayViews) {
  const struct { std::int32_t view; float y0, v, u, y; } cases[] = {
      {kViewMask, 0.8f, 0.0f, 0.0f, 0.8f},  // m = 0.4, doubled
      {kViewTonalRange, -0.5f, 0.0f, 0.0f, 0.0f}, {kViewTonalRange, 0.2f, 0.0f, 0.0f, 0.0f},
      {kViewTonalRange, 0.25f, 0.0f, 0.0f, 0.25f}, {kViewTonalRange, 0.5f, 0.0f, 0.0f, 0.5f},
      {kViewTonalRange, 0.75f, 0.0f, 0.0f, 0.75f}, {kViewTonalRange, 0.8f, 0.0f, 0.0f, 1.0f},
      {kViewTonalRange, 4.0f, 0.0f, 0.0f, 1.0f},
      // Master saturation 2 under mask 0.25 (y0 / 2): chroma 0.1 -> 0.1125; the luma view
      // writes neutral chroma.
      {kViewVideo, 0.5f, 0.1125f, -0.1125f, 0.5f}, {kViewLuma, 0.5f, 0.0f, 0.0f, 0.5f},
      {17, 0.5f, 0.1125f, -0.1125f, 0.5f},
  };
  for (const auto& c : cases) {
    Pass p;
    p.view = c.view;
    p.s.maskDisplayGain = 2.0f;
    p.s.master.saturation = 2.0f;
    p.Refresh();
    const WorkingPixel out = p.Run(0.1f, -0.1f, c.y0, 0.25f);
    EXPECT_NEAR(out.v, c.v, 1e-7f) << c.view << " " << c.y0;
    EXPECT_NEAR(out.u, c.u, 1e-7f) << c.view << " " << c.y0;
    EXPECT_NEAR(out.y, c.y, 1e-6f) << c.view << " " << c.y0;
    EXPECT_EQ(out.a, 0.25f);
  }
}

TEST(ProcessPixel, HistogramBinIsATrueFloorClampedToTheRange) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct { float y0; std::uint32_t bin; } cases[] = {
      {0.0f, 0},    {-0.0f, 0},   {0.5f, 127},  {0.999f, 254}, {1.0f, 255},  {0.2f, 51},
      {0.003f, 0},  {0.004f, 1},  {-0.001f, 0}, {-5.0f, 0},    {-1e30f, 0},  {-inf, 0},
      {2.0f, 255},  {1e10f, 255}, {inf, 255},   {std::numeric_limits<float>::quiet_NaN(), 0},
      {std::nextafter(1.0f, 0.0f), 254},
  };
  for (const auto& c : cases) EXPECT_EQ(HistogramBin(c.y0), c.bin) << c.y0;

  // Every view counts the undithered source luma, once per pixel.
  for (std::int32_t view : {kViewVideo, kViewLuma, kViewMask, kViewTonalRange}) {
    Pass p;
    p.view = view;
    p.s.masterLevels.inputWhite = 0.5f;  // active levels: the video views dither
    p.Refresh();
    for (const auto& c : cases) p.Run(0.0f, 0.0f, c.y0, 1.0f);
    std::uint32_t expected[256] = {};
    for (const auto& c : cases) ++expected[c.bin];
    for (int b = 0; b < 256; ++b) ASSERT_EQ(p.histogram.count[b], expected[b]) << view << " " << b;
  }
  // No histogram: nothing is counted and nothing breaks.
  Pass p;
  EXPECT_EQ(ProcessPixel(0.0f, 0.0f, 0.5f, 1.0f, 0, 0, 0, 1, false, nullptr, HalfLumaKernel, p.q,
                         kViewVideo, kBgra8, p.s, p.pc, nullptr).y, 0.5f);
}

// One draw of the classic generator per pixel, 0.65 of an 8-bit step either way, when the levels
// are active (a gamma alone does not count) and the source format is dithered, in the video and
// luma views; none otherwise. Highlight levels leave a shadow pixel's luma the dithered luma.
TEST(ProcessPixel, DitherDrawsOncePerPixelWhenItApplies) {
  using zkfx::FourCC;
  const struct { bool active; std::int32_t view; std::uint32_t format; bool draws; } cases[] = {
      {false, kViewVideo, kBgra8, false}, {false, kViewLuma, kBgra8, false},
      {true, kViewVideo, FourCC("abcd"), false}, {true, kViewMask, kBgra8, false},
      {true, kViewTonalRange, kBgra8, false}, {true, kViewLuma, kBgra8, true},
      {true, kViewVideo, kBgra8, true}, {true, kViewVideo, FourCC("VUya"), true},
      {true, kViewVideo, FourCC("Vuya"), true}, {true, kViewVideo, FourCC("BGra"), true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.active << " " << c.view << " " << c.format);
    Pass p;
    if (c.active) p.s.highlightLevels.inputWhite = 0.5f;
    if (!c.active) p.s.masterLevels.inputGray = 2.0f;
    p.Refresh();
    p.view = c.view;
    p.format = c.format;
    p.kernel = [](const float*, const float*, const float*, const QualifierBlock*) { return 1.0f; };
    SeedDither(12345);
    ClassicLcg lcg{12345};
    float lowest = 1.0f, highest = -1.0f;
    for (int i = 0; i < (c.draws ? 20000 : 10); ++i) {
      const float offset = p.Run(0.0f, 0.0f, 0.1f, 1.0f).y - 0.1f;
      if (!c.draws) continue;
      const float r = static_cast<float>(lcg.Next()) / 16383.5f - 1.0f;
      ASSERT_NEAR(offset, r * (0.65f / 255.0f), 1e-8f) << i;
      lowest = std::fmin(lowest, offset);
      highest = std::fmax(highest, offset);
    }
    if (c.draws) {
      EXPECT_LT(lowest, -0.0025f);  // the noise spans nearly the whole amplitude both ways
      EXPECT_GT(highest, 0.0025f);
    }
    EXPECT_EQ(DitherRand(), lcg.Next());
  }
}

}  // namespace
}  // namespace threeway
