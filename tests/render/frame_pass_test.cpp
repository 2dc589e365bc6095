// The frame pass and Render: the pass against ProcessPixel over every pixel, conversions per row,
// in-place working rows, negative row bytes, scratch from transient blocks, the floating-point
// state, the default renderer's frames, the histogram and the mask computed ahead and softened.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <xmmintrin.h>

#include "kernels/correct_pixel.h"
#include "kernels/derived_values.h"
#include "kernels/dither_random.h"
#include "kernels/qualifier.h"
#include "pixmill/pixmill.h"
#include "pixmill/pixmill_debug.h"
#include "render/frame_desc.h"
#include "render/frame_pass.h"
#include "render/renderer.h"
#include "tests/kernels/test_settings.h"

namespace {

using namespace threeway;

constexpr std::uint32_t kBgra8 = zkfx::kPixelFormatBGRA8;
constexpr unsigned kRoundDown = 0x2000, kRoundingBits = 0x6000;  // MXCSR rounding control

// A qualifier that selects every pixel (full ranges, unrestricted hue, no invert or thinning).
QualifierBlock SelectEverything() {
  QualifierBlock q{};
  q.satEndThreshold = q.lumaEndThreshold = 1.0f;
  q.hueUnrestricted = 1;
  q.invertMode = kInvertNone;
  return q;
}

struct Renderer : ColorCorrectorThreeWayFilterRenderer {
  Renderer() {
    const QualifierBlock q = SelectEverything();
    SetQualifier(&q);
    SetViewMode(kViewVideo);
    ComputeDerivedValues(settings);
  }
};

// Luma from black to above white (levels send anything below black to output black, so the
// identity holds from 0 up), chroma beyond the nominal square.
std::vector<float> RandomWorkingFrame(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> luma(0.0f, 1.2f), chroma(-0.6f, 0.6f), alpha(0.0f, 1.0f);
  std::vector<float> f(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t i = 0; i < f.size(); i += 4) f[i + 2] = luma(rng), f[i + 3] = alpha(rng);
  for (std::size_t i = 0; i < f.size(); i += 4) f[i] = chroma(rng), f[i + 1] = chroma(rng);
  return f;
}

PassRecord Pass(Renderer& r, std::uint32_t rows, int width, const void* src, int srcRowBytes,
                std::uint32_t srcFormat, void* dst, int dstRowBytes, std::uint32_t dstFormat,
                zkfx::LumaHistogram* h = nullptr) {
  PassRecord record;
  BuildPassRecord(&record, rows, 0, width, src, srcRowBytes, srcFormat, dst, dstRowBytes,
                  dstFormat, false, nullptr, &r.qualifier, h, r.viewMode, &r.settings);
  RunPass(&record);
  return record;
}

// Rows, histogram and the dither generator's next draw must be identical bit for bit, with and
// without a mask plane (read by pass row, frame rows walking upward in memory), for a grade whose
// levels make a working-format source dithered.
TEST(VectorFramePass, PassEqualsPerPixelReferenceBitForBit) {
  constexpr std::int32_t kWidth = 37;  // four vector blocks and a scalar tail
  constexpr std::uint32_t kRows = 5, kFirstRow = 2;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> luma(-0.2f, 1.3f), chroma(-0.7f, 0.7f), unit(0.0f, 1.0f);
  std::vector<WorkingPixel> source(static_cast<std::size_t>(kWidth) * kRows);
  for (WorkingPixel& p : source) p = {chroma(rng), chroma(rng), luma(rng), unit(rng)};
  source[3].y = std::numeric_limits<float>::quiet_NaN();
  source[40].y = std::numeric_limits<float>::infinity();
  source[41].y = 1e-40f;
  std::vector<float> plane(static_cast<std::size_t>(kWidth) * (kRows + kFirstRow));
  for (float& m : plane) m = unit(rng);

  const RendererSettings s = threeway::testing::BusySettings();
  const PassConstants pc = ComputePassConstants(s);
  ASSERT_TRUE(pc.levelsActive);
  QualifierBlock q = SelectEverything();  // a soft luma range: the mask varies
  q.lumaStartThreshold = 0.3f, q.lumaStartSoftness = 0.1f;
  q.lumaEndThreshold = 0.8f, q.lumaEndSoftness = 0.1f;
  const QualifierKernel kernel = SelectQualifierKernel(q);
  ASSERT_NE(kernel, kQualifierKernels[56]);

  for (const std::int32_t view : {kViewVideo, kViewLuma, kViewMask}) {
    for (const bool withPlane : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "view " << view << " mask plane " << withPlane);
      std::vector<WorkingPixel> pass(source.size()), reference(source.size());
      zkfx::LumaHistogram passHistogram{}, referenceHistogram{};
      SeedDither(5);
      PassRecord record;
      const std::size_t last = source.size() - kWidth;  // rows walk upward from the last one
      BuildPassRecord(&record, kRows, kFirstRow, kWidth, source.data() + last, -kWidth * 16,
                      kWorkingFormat, pass.data() + last, -kWidth * 16, kWorkingFormat, withPlane,
                      plane.data(), &q, &passHistogram, view, &s);
      RunPass(&record);
      const std::int32_t passNext = DitherRand();
      SeedDither(5);
      {
        const PassFloatingPointScope floatingPoint;
        for (std::uint32_t k = 0; k < kRows; ++k) {  // pass row k is memory row kRows - 1 - k
          for (std::int32_t x = 0; x < kWidth; ++x) {
            const std::size_t i = (kRows - 1 - k) * kWidth + static_cast<std::uint32_t>(x);
            const WorkingPixel& p = source[i];
            reference[i] = ProcessPixel(p.v, p.u, p.y, p.a, x, k, kFirstRow, kWidth, withPlane,
                                        plane.data(), kernel, q, view, kWorkingFormat, s, pc,
                                        &referenceHistogram);
          }
        }
      }
      EXPECT_EQ(0, std::memcmp(pass.data(), reference.data(), pass.size() * sizeof(WorkingPixel)));
      EXPECT_EQ(0, std::memcmp(&passHistogram, &referenceHistogram, sizeof passHistogram));
      EXPECT_EQ(passNext, DitherRand());
    }
  }
}

// Working rows are used in place (no conversion) and come back exactly under neutral settings;
// other formats take one conversion per row and direction, and 8-bit comes back exactly.
TEST(FramePass, NeutralSettingsAndConversionsPerRow) {
  Renderer r;
  const int w = 37, h = 5;
  const std::vector<float> src = RandomWorkingFrame(w, h, 1);
  std::vector<float> dst(src.size(), -7.0f);
  zkfx::LumaHistogram hist{};
  auto before = PM_DebugConvertCallCount();
  Pass(r, h, w, src.data(), w * 16, kWorkingFormat, dst.data(), w * 16, kWorkingFormat, &hist);
  EXPECT_EQ(PM_DebugConvertCallCount(), before);
  EXPECT_EQ(std::memcmp(src.data(), dst.data(), src.size() * 4), 0);
  std::uint64_t counted = 0;
  for (std::uint32_t c : hist.count) counted += c;
  EXPECT_EQ(counted, static_cast<std::uint64_t>(w) * h);

  std::vector<std::uint8_t> bgra(static_cast<std::size_t>(w) * h * 4), back(bgra.size());
  for (std::size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<std::uint8_t>(i * 37);
  before = PM_DebugConvertCallCount();
  Pass(r, h, w, bgra.data(), w * 4, kBgra8, dst.data(), w * 16, kWorkingFormat, &hist);
  EXPECT_EQ(PM_DebugConvertCallCount() - before, static_cast<std::uint64_t>(h));
  before = PM_DebugConvertCallCount();
  Pass(r, h, w, bgra.data(), w * 4, kBgra8, back.data(), w * 4, kBgra8, &hist);
  EXPECT_EQ(PM_DebugConvertCallCount() - before, static_cast<std::uint64_t>(2 * h));
  EXPECT_EQ(bgra, back);
}

// A default renderer draws the documented tonal ranges (shadows up to 0.2 and highlights from 0.8,
// ramps 0.1 wide, mid grey 0.5), the mask at gain 1 and the documented balance: radius
// 1.4142135 * 0.5 and equal chroma scales, so master balance 1 at 45 degrees with gain 1 pulls a
// grey pixel's master chroma to (0.5, -0.5) and the output (the mean with the ranges' zero) to
// U 0.25, V -0.25.
TEST(FramePass, DefaultRendererTonalRangesMaskAndBalance) {
  const float lumas[] = {0.1f, 0.2f, 0.25f, 0.5f, 0.75f, 0.8f, 1.1f};
  const float tones[] = {0.0f, 0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 1.0f};
  std::vector<float> src;
  for (float y : lumas) src.insert(src.end(), {0.1f, -0.2f, y, 1.0f});
  std::vector<float> dst(src.size());
  Renderer r;
  r.SetViewMode(kViewTonalRange);
  Pass(r, 1, 7, src.data(), 0, kWorkingFormat, dst.data(), 0, kWorkingFormat);
  for (int x = 0; x < 7; ++x) {
    EXPECT_NEAR(dst[4 * x + 2], tones[x], 1e-6f) << lumas[x];
    EXPECT_TRUE(dst[4 * x] == 0.0f && dst[4 * x + 1] == 0.0f && dst[4 * x + 3] == 1.0f);
  }
  r.SetViewMode(kViewMask);
  Pass(r, 1, 7, src.data(), 0, kWorkingFormat, dst.data(), 0, kWorkingFormat);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(dst[4 * x + 2], 1.0f) << x;

  r.SetViewMode(kViewVideo);
  r.SetMasterBalanceAngle(std::numbers::pi_v<float> / 4.0f);
  r.SetMasterBalanceMagnitude(1.0f);
  r.SetMasterBalanceGain(1.0f);
  ComputeDerivedValues(r.settings);
  float out[4], grey[4] = {0.0f, 0.0f, 0.5f, 1.0f};
  Pass(r, 1, 1, grey, 0, kWorkingFormat, out, 0, kWorkingFormat);
  EXPECT_TRUE(std::fabs(out[0] + 0.25f) < 1e-6f && std::fabs(out[1] - 0.25f) < 1e-6f) << out[0];
  EXPECT_EQ(out[2], 0.5f);
}

// No rows: nothing converted, counted or moved, and the caller's floating-point state (here
// rounding downward) comes back. With rows, a caller rounding downward gets the same bytes as one
// rounding to nearest, and its mode back.
TEST(FramePass, FloatingPointStateIsThePassOwn) {
  Renderer r;
  zkfx::LumaHistogram hist{};
  for (auto& c : hist.count) c = 7;
  float pixel[4] = {0, 0, 0.5f, 1};
  const unsigned saved = _mm_getcsr();
  const unsigned callerState = (saved & ~kRoundingBits) | kRoundDown;
  _mm_setcsr(callerState);
  const auto before = PM_DebugConvertCallCount();
  const PassRecord record = Pass(r, 0, 1, pixel, 16, kBgra8, pixel, 16, kBgra8, &hist);
  EXPECT_EQ(_mm_getcsr(), callerState);
  _mm_setcsr(saved);
  EXPECT_TRUE(PM_DebugConvertCallCount() == before && record.sourceRow == pixel);
  for (auto c : hist.count) EXPECT_EQ(c, 7u);

  r.SetMasterInputGray(1.7f);  // FastPow and the levels run on every pixel
  r.SetMasterSaturation(1.3f);
  r.SetShadowHueAngle(0.4f);
  ComputeDerivedValues(r.settings);
  const std::vector<float> src = RandomWorkingFrame(64, 1, 2);
  std::vector<float> nearest(src.size()), downward(src.size());
  SeedDither(5);
  Pass(r, 1, 64, src.data(), 0, kWorkingFormat, nearest.data(), 0, kWorkingFormat);
  _mm_setcsr(callerState);
  SeedDither(5);
  Pass(r, 1, 64, src.data(), 0, kWorkingFormat, downward.data(), 0, kWorkingFormat);
  EXPECT_EQ(_mm_getcsr(), callerState);
  _mm_setcsr(saved);
  EXPECT_EQ(std::memcmp(nearest.data(), downward.data(), nearest.size() * 4), 0);
}

// Rows up to 16,384 pixels (262,144 bytes) take their scratch from the stack, wider ones from
// transient blocks, given back; when the host cannot lend them the row is left untouched.
TEST(FramePass, WideRowsBorrowTransientBlocksAndGiveThemBack) {
  Renderer r;
  for (bool refuse : {false, true}) {
    for (int w : {16384, 16385}) {
      std::vector<std::uint8_t> src(static_cast<std::size_t>(w) * 4, 77), dst(src.size(), 1);
      PM_DebugFailNextTransientAllocations(refuse ? 2 : 0);
      Pass(r, 1, w, src.data(), 0, kBgra8, dst.data(), 0, kBgra8);
      PM_DebugFailNextTransientAllocations(0);
      EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), 0);
      EXPECT_EQ(dst, refuse && w > 16384 ? std::vector<std::uint8_t>(src.size(), 1) : src) << w;
    }
  }
}

FrameDesc Desc(std::vector<float>& f, int w, int h) {
  return {w * 16, w, h, f.data(), kWorkingFormat};
}

// Render clears the counts, then normalises them by the peak; an empty frame leaves the counts
// cleared, the peak 0 and the normalised bins as they were.
TEST(Render, HistogramCountsAndNormalisation) {
  Renderer r;
  zkfx::LumaHistogram hist{};
  std::vector<float> f(static_cast<std::size_t>(9) * 7 * 4);
  for (auto [w, h] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{9, 7}}) {
    hist.count[5] = 3, hist.peak = 9;
    for (auto& n : hist.normalized) n = 0.25f;
    // Every third pixel in bin floor(63.75), the others in bin floor(127.5).
    for (std::size_t i = 0; i < f.size(); i += 4) f[i + 2] = i % 12 == 0 ? 0.25f : 0.5f;
    FrameDesc d = Desc(f, w, h);
    r.Render(&d, &d, &hist);
    const std::uint32_t n = static_cast<std::uint32_t>(w * h);
    EXPECT_EQ(hist.peak, 2 * n / 3);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(hist.count[i], i == 127 ? 2 * n / 3 : i == 63 ? n / 3 : 0u) << i;
      EXPECT_EQ(hist.normalized[i], n == 0 ? 0.25f : i == 127 ? 1.0f : i == 63 ? 0.5f : 0.0f) << i;
    }
  }
}

// Soften above 0 with blur sizes of 0 computes the mask plane ahead and copies it unblurred: the
// result equals the pass's own per-pixel mask, for a qualifier that makes every pixel differ, from
// a working-format and from an 8-bit source.
// With blur sizes of 5 a constant mask darkens to about 0.29 in the corners and 0.54 at the edges.
TEST(Render, MaskComputedAheadAndSoftened) {
  QualifierBlock q = SelectEverything();
  q.lumaStartThreshold = 0.2f, q.lumaStartSoftness = 0.1f;
  q.lumaEndThreshold = 0.8f, q.lumaEndSoftness = 0.15f;
  q.satEndThreshold = 0.6f, q.satEndSoftness = 0.2f;
  q.hueUnrestricted = 0, q.hueStartThreshold = 0.9f, q.hueEndThreshold = 0.3f;
  q.hueStartSoftness = 0.05f, q.edgeThinning = 30.0f;
  Renderer perPixel, ahead;
  perPixel.SetQualifier(&q);
  q.soften = 4.0f;
  ahead.SetQualifier(&q);
  perPixel.SetViewMode(kViewMask);
  ahead.SetViewMode(kViewMask);
  const int w = 23, h = 11;
  std::vector<float> src = RandomWorkingFrame(w, h, 4), a(src.size()), b(src.size());
  FrameDesc s = Desc(src, w, h), da = Desc(a, w, h), db = Desc(b, w, h);
  const auto before = PM_DebugConvertCallCount();
  perPixel.Render(&s, &da, nullptr);
  ahead.Render(&s, &db, nullptr);
  EXPECT_EQ(PM_DebugConvertCallCount(), before);
  for (std::size_t i = 2; i < a.size(); i += 4) EXPECT_NEAR(a[i], b[i], 1e-6f) << i / 4;
  // From an 8-bit source the plane is computed from converted rows, one conversion each.
  std::vector<std::uint8_t> bgra(static_cast<std::size_t>(w) * h * 4);
  ASSERT_EQ(PM_Convert(src.data(), w * 16, kPixmillWorkingFormat, bgra.data(), w * 4,
                       kPixmillBGRA8, w, h, 4), kPixmillOk);
  FrameDesc s8{w * 4, w, h, bgra.data(), kBgra8};
  perPixel.Render(&s8, &da, nullptr);
  const auto beforeAhead = PM_DebugConvertCallCount();
  ahead.Render(&s8, &db, nullptr);
  EXPECT_EQ(PM_DebugConvertCallCount() - beforeAhead, static_cast<std::uint64_t>(2 * h));
  for (std::size_t i = 2; i < a.size(); i += 4) EXPECT_NEAR(a[i], b[i], 1e-6f) << i / 4;

  Renderer soft;
  q = SelectEverything();
  q.soften = q.blurX = q.blurY = 5.0f;
  soft.SetQualifier(&q);
  soft.SetViewMode(kViewMask);
  const int sw = 64, sh = 48;
  std::vector<float> flat(static_cast<std::size_t>(sw) * sh * 4, 0.3f), out(flat.size());
  FrameDesc fs = Desc(flat, sw, sh), fd = Desc(out, sw, sh);
  soft.Render(&fs, &fd, nullptr);
  auto y = [&](int x, int row) { return out[(static_cast<std::size_t>(row) * sw + x) * 4 + 2]; };
  for (auto [x, row] : {std::pair{0, 0}, {sw - 1, 0}, {0, sh - 1}, {sw - 1, sh - 1}}) {
    EXPECT_NEAR(y(x, row), 0.29f, 0.01f) << x << "," << row;
  }
  // The recursive Gaussian overshoots by a few thousandths a few blur sizes in from an edge.
  EXPECT_NEAR(y(sw / 2, sh / 2), 1.0f, 5e-3f);
  EXPECT_NEAR(y(0, sh / 2), 0.54f, 0.01f);
  EXPECT_NEAR(y(sw / 2, 0), 0.54f, 0.01f);
}

}  // namespace
