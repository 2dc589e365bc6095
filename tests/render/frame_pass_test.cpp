// The frame pass and Render: the pass against ProcessPixel over every pixel, conversions per row,
// in-place working rows, negative row bytes, scratch from transient blocks, the floating-point
// state, the default renderer's frames, the histogram and the softened mask.
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
#include "pixmill/pixmill_debug.h"
#include "render/frame_desc.h"
#include "render/frame_pass.h"
#include "render/renderer.h"

namespace {

using namespace threeway;

// A qualifier that selects every pixel (full ranges, unrestricted hue, no invert or thinning).
QualifierBlock SelectEverything() {
  QualifierBlock q{};
  q.satEndThreshold = 1.0f;
  q.lumaEndThreshold = 1.0f;
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
  for (std::size_t i = 0; i < f.size(); i += 4) {
    f[i] = chroma(rng);
    f[i + 1] = chroma(rng);
    f[i + 2] = luma(rng);
    f[i + 3] = alpha(rng);
  }
  return f;
}

void Pass(Renderer& r, std::uint32_t rows, int width, const void* src, int srcRowBytes, std::uint32_t srcFormat,
          void* dst, int dstRowBytes, std::uint32_t dstFormat, zkfx::LumaHistogram* h,
          const float* mask = nullptr, PassRecord* out = nullptr) {
  PassRecord record;
  BuildPassRecord(&record, rows, 0, width, src, srcRowBytes, srcFormat, dst, dstRowBytes, dstFormat,
                  mask != nullptr, mask, &r.qualifier, h, r.viewMode, &r.settings);
  RunPass(&record);
  if (out != nullptr) *out = record;
}

// A moved grade: levels with gammas in every group (so a working-format source is dithered),
// balance, rotation and saturation in every range.
RendererSettings MovedGrade() {
  ColorCorrectorThreeWayFilterRenderer renderer;
  RendererSettings s = renderer.settings;
  RangeBalance* groups[] = {&s.master, &s.shadow, &s.midtone, &s.highlight};
  RangeLevels* levels[] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels};
  for (int g = 0; g < 4; ++g) {
    const float k = static_cast<float>(g);
    groups[g]->hueAngle = 0.3f * (k + 1.0f);
    groups[g]->saturation = 1.3f - 0.2f * k;
    groups[g]->balanceMagnitude = 0.1f * (k + 1.0f);
    groups[g]->balanceAngle = k;
    groups[g]->balanceX = groups[g]->balanceMagnitude * std::cos(groups[g]->balanceAngle);
    groups[g]->balanceY = groups[g]->balanceMagnitude * std::sin(groups[g]->balanceAngle);
    *levels[g] = {0.05f * k, 0.9f, 0.6f + 0.5f * k, 0.03f, 0.97f};
  }
  ComputeDerivedValues(s);
  return s;
}

TEST(VectorFramePass, PassEqualsPerPixelReferenceBitForBit) {
  constexpr std::int32_t kWidth = 37;  // four vector blocks and a scalar tail
  constexpr std::uint32_t kRows = 5;
  constexpr std::uint32_t kFirstRow = 2;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> luma(-0.2f, 1.3f), chroma(-0.7f, 0.7f), mask(0.0f, 1.0f);
  std::vector<WorkingPixel> source(static_cast<std::size_t>(kWidth) * kRows);
  for (WorkingPixel& p : source) p = {chroma(rng), chroma(rng), luma(rng), mask(rng)};
  source[3].y = std::numeric_limits<float>::quiet_NaN();
  source[40].y = std::numeric_limits<float>::infinity();
  source[41].y = 1e-40f;
  std::vector<float> plane(static_cast<std::size_t>(kWidth) * (kRows + kFirstRow));
  for (float& m : plane) m = mask(rng);

  const RendererSettings s = MovedGrade();
  const PassConstants pc = ComputePassConstants(s);
  ASSERT_TRUE(pc.levelsActive);
  QualifierBlock q = SelectEverything();  // a soft luma range: every pixel's mask differs
  q.lumaStartThreshold = 0.3f, q.lumaStartSoftness = 0.1f;
  q.lumaEndThreshold = 0.8f, q.lumaEndSoftness = 0.1f;
  ASSERT_NE(SelectQualifierKernel(q), kQualifierKernels[56]);

  for (const std::int32_t view : {kViewVideo, kViewLuma, kViewMask}) {
    for (const bool withPlane : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "view " << view << " mask plane " << withPlane);
      std::vector<WorkingPixel> pass(source.size()), reference(source.size());
      zkfx::LumaHistogram passHistogram{}, referenceHistogram{};

      SeedDither(5);
      PassRecord record;
      BuildPassRecord(&record, kRows, kFirstRow, kWidth, source.data(), kWidth * 16, kWorkingFormat,
                      pass.data(), kWidth * 16, kWorkingFormat, withPlane, plane.data(), &q,
                      &passHistogram, view, &s);
      RunPass(&record);
      const std::int32_t passNext = DitherRand();

      SeedDither(5);
      {
        const PassFloatingPointScope floatingPoint;
        const QualifierKernel kernel = SelectQualifierKernel(q);
        for (std::uint32_t k = 0; k < kRows; ++k) {
          for (std::int32_t x = 0; x < kWidth; ++x) {
            const WorkingPixel& p = source[k * kWidth + static_cast<std::uint32_t>(x)];
            reference[k * kWidth + static_cast<std::uint32_t>(x)] =
                ProcessPixel(p.v, p.u, p.y, p.a, x, k, kFirstRow, kWidth, withPlane, plane.data(),
                             kernel, q, view, kWorkingFormat, s, pc, &referenceHistogram);
          }
        }
      }
      const std::int32_t referenceNext = DitherRand();

      EXPECT_EQ(0, std::memcmp(pass.data(), reference.data(), pass.size() * sizeof(WorkingPixel)));
      EXPECT_EQ(0, std::memcmp(&passHistogram, &referenceHistogram, sizeof passHistogram));
      EXPECT_EQ(passNext, referenceNext);
    }
  }
}

TEST(FramePass, NeutralSettingsReturnWorkingPixelsExactly) {
  Renderer r;
  const int w = 37, h = 5;
  const std::vector<float> src = RandomWorkingFrame(w, h, 1);
  std::vector<float> dst(src.size(), -7.0f);
  zkfx::LumaHistogram hist{};
  const auto before = PM_DebugConvertCallCount();
  Pass(r, h, w, src.data(), w * 16, kWorkingFormat, dst.data(), w * 16, kWorkingFormat, &hist);
  EXPECT_EQ(PM_DebugConvertCallCount(), before) << "working rows are used in place";
  EXPECT_EQ(std::memcmp(src.data(), dst.data(), src.size() * 4), 0);
  std::uint64_t counted = 0;
  for (std::uint32_t c : hist.count) counted += c;
  EXPECT_EQ(counted, static_cast<std::uint64_t>(w) * h);
}

// A default renderer draws the documented tonal ranges (shadows up to 0.2 and highlights from 0.8,
// ramps 0.1 wide, mid grey 0.5), the mask at gain 1 and the documented balance: radius 1.4142135 * 0.5 and equal
// chroma scales, so master balance 1 at 45 degrees with gain 1 pulls a grey pixel's master chroma
// to (0.5, -0.5) and the output (the mean with the ranges' zero) to U 0.25, V -0.25.
TEST(FramePass, DefaultRendererTonalRangesAndBalance) {
  const float lumas[] = {0.1f, 0.2f, 0.25f, 0.5f, 0.75f, 0.8f, 1.1f};
  const float tones[] = {0.0f, 0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 1.0f};
  std::vector<float> src;
  for (float y : lumas) src.insert(src.end(), {0.1f, -0.2f, y, 1.0f});
  std::vector<float> dst(src.size());
  Renderer r;
  r.SetViewMode(kViewTonalRange);
  Pass(r, 1, 7, src.data(), 0, kWorkingFormat, dst.data(), 0, kWorkingFormat, nullptr);
  for (int x = 0; x < 7; ++x) {
    EXPECT_NEAR(dst[4 * x + 2], tones[x], 1e-6f) << lumas[x];
    EXPECT_TRUE(dst[4 * x] == 0.0f && dst[4 * x + 1] == 0.0f && dst[4 * x + 3] == 1.0f);
  }
  r.SetViewMode(kViewMask);  // the mask, 1 everywhere, at display gain 1
  Pass(r, 1, 7, src.data(), 0, kWorkingFormat, dst.data(), 0, kWorkingFormat, nullptr);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(dst[4 * x + 2], 1.0f) << x;
  Renderer balanced;
  balanced.SetMasterBalanceAngle(std::numbers::pi_v<float> / 4.0f);
  balanced.SetMasterBalanceMagnitude(1.0f);
  balanced.SetMasterBalanceGain(1.0f);
  ComputeDerivedValues(balanced.settings);
  const float grey[4] = {0.0f, 0.0f, 0.5f, 1.0f};
  float out[4];
  Pass(balanced, 1, 1, grey, 0, kWorkingFormat, out, 0, kWorkingFormat, nullptr);
  EXPECT_NEAR(out[0], -0.25f, 1e-6f);
  EXPECT_NEAR(out[1], 0.25f, 1e-6f);
  EXPECT_EQ(out[2], 0.5f);
}

TEST(FramePass, OneConversionPerRowAndDirection) {
  Renderer r;
  const int w = 8, h = 6;
  std::vector<std::uint8_t> bgra(static_cast<std::size_t>(w) * h * 4, 100);
  std::vector<float> working(static_cast<std::size_t>(w) * h * 4);
  std::vector<std::uint8_t> back(bgra.size());
  zkfx::LumaHistogram hist{};
  auto before = PM_DebugConvertCallCount();
  Pass(r, h, w, bgra.data(), w * 4, zkfx::kPixelFormatBGRA8, working.data(), w * 16, kWorkingFormat, &hist);
  EXPECT_EQ(PM_DebugConvertCallCount() - before, static_cast<std::uint64_t>(h));
  before = PM_DebugConvertCallCount();
  Pass(r, h, w, bgra.data(), w * 4, zkfx::kPixelFormatBGRA8, back.data(), w * 4, zkfx::kPixelFormatBGRA8, &hist);
  EXPECT_EQ(PM_DebugConvertCallCount() - before, static_cast<std::uint64_t>(2 * h));
  EXPECT_EQ(bgra, back);  // neutral settings, 8-bit round trip
}

TEST(FramePass, ZeroRowsTouchNothingAndRestoreTheFloatingPointState) {
  Renderer r;
  zkfx::LumaHistogram hist{};
  for (auto& c : hist.count) c = 7;
  float pixel[4] = {0, 0, 0.5f, 1};
  const unsigned callerState = (_mm_getcsr() & ~0x6000u) | 0x2000u;  // caller rounds downward
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(callerState);
  const auto before = PM_DebugConvertCallCount();
  PassRecord record;
  Pass(r, 0, 1, pixel, 16, zkfx::kPixelFormatBGRA8, pixel, 16, zkfx::kPixelFormatBGRA8, &hist, nullptr, &record);
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(after, callerState);
  EXPECT_EQ(PM_DebugConvertCallCount(), before);
  for (auto c : hist.count) EXPECT_EQ(c, 7u);
  EXPECT_EQ(record.sourceRow, pixel);
}

TEST(FramePass, ArithmeticRoundsToNearestWhateverTheCallersMode) {
  Renderer r;
  r.SetMasterInputGray(1.7f);  // FastPow and the levels run on every pixel
  r.SetMasterSaturation(1.3f);
  r.SetShadowHueAngle(0.4f);
  ComputeDerivedValues(r.settings);
  const int w = 64;
  const std::vector<float> src = RandomWorkingFrame(w, 1, 2);
  std::vector<float> nearest(src.size()), downward(src.size());
  const unsigned saved = _mm_getcsr();
  SeedDither(5);
  Pass(r, 1, w, src.data(), 0, kWorkingFormat, nearest.data(), 0, kWorkingFormat, nullptr);
  _mm_setcsr((saved & ~0x6000u) | 0x2000u);
  SeedDither(5);
  Pass(r, 1, w, src.data(), 0, kWorkingFormat, downward.data(), 0, kWorkingFormat, nullptr);
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(after & 0x6000u, 0x2000u) << "the caller's rounding mode comes back";
  EXPECT_EQ(std::memcmp(nearest.data(), downward.data(), nearest.size() * 4), 0);
}

TEST(FramePass, NegativeRowBytesWalkUpwardAndTheMaskFollowsTheRowCounter) {
  Renderer r;
  r.SetViewMode(kViewMask);
  const int w = 3, h = 4;
  std::vector<float> mask(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = 0.1f * static_cast<float>(i);
  std::vector<float> src = RandomWorkingFrame(w, h, 3);
  std::vector<float> dst(src.size(), 0.0f);
  const int rb = -w * 16;
  float* lastSrcRow = src.data() + static_cast<std::size_t>(h - 1) * w * 4;
  float* lastDstRow = dst.data() + static_cast<std::size_t>(h - 1) * w * 4;
  Pass(r, h, w, lastSrcRow, rb, kWorkingFormat, lastDstRow, rb, kWorkingFormat, nullptr, mask.data());
  for (int k = 0; k < h; ++k) {
    const float* row = lastDstRow - static_cast<std::ptrdiff_t>(k) * w * 4;
    for (int x = 0; x < w; ++x) {
      EXPECT_EQ(row[x * 4 + 2], mask[static_cast<std::size_t>(k) * w + x]) << k << "," << x;
      EXPECT_EQ(row[x * 4 + 0], 0.0f);
      EXPECT_EQ(row[x * 4 + 3], (lastSrcRow - static_cast<std::ptrdiff_t>(k) * w * 4)[x * 4 + 3]);
    }
  }
}

TEST(FramePass, WideRowsBorrowTransientBlocksAndGiveThemBack) {
  Renderer r;
  for (int w : {16384, 16385}) {
    std::vector<std::uint8_t> src(static_cast<std::size_t>(w) * 4, 77), dst(src.size(), 1);
    ASSERT_EQ(PM_DebugOutstandingTransientBlocks(), 0);
    Pass(r, 1, w, src.data(), 0, zkfx::kPixelFormatBGRA8, dst.data(), 0, zkfx::kPixelFormatBGRA8, nullptr);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), 0);
    EXPECT_EQ(src, dst) << w;
  }
  // 16,384 pixels (exactly 262,144 bytes a row) stay on the stack: a failing host does not matter.
  PM_DebugFailNextTransientAllocations(2);
  std::vector<std::uint8_t> src(16384 * 4, 50), dst(src.size(), 1);
  Pass(r, 1, 16384, src.data(), 0, zkfx::kPixelFormatBGRA8, dst.data(), 0, zkfx::kPixelFormatBGRA8, nullptr);
  EXPECT_EQ(src, dst);
  // One more pixel needs blocks; when the host cannot lend them the row is left untouched.
  std::vector<std::uint8_t> wideSrc(16385 * 4, 50), wideDst(wideSrc.size(), 1);
  Pass(r, 1, 16385, wideSrc.data(), 0, zkfx::kPixelFormatBGRA8, wideDst.data(), 0, zkfx::kPixelFormatBGRA8,
       nullptr);
  EXPECT_EQ(wideDst, std::vector<std::uint8_t>(wideSrc.size(), 1));
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), 0);
  PM_DebugFailNextTransientAllocations(0);
}

FrameDesc Desc(std::vector<float>& f, int w, int h) { return {w * 16, w, h, f.data(), kWorkingFormat}; }

TEST(Render, ZeroSizedFramesClearCountsOnly) {
  Renderer r;
  zkfx::LumaHistogram hist{};
  hist.count[5] = 3;
  hist.peak = 9;
  for (auto& n : hist.normalized) n = 0.25f;
  std::vector<float> f(4, 0.5f);
  for (auto [w, h] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{0, 0}}) {
    FrameDesc d{16, w, h, f.data(), kWorkingFormat};
    r.Render(&d, &d, &hist);
    for (auto c : hist.count) EXPECT_EQ(c, 0u);
    EXPECT_EQ(hist.peak, 0u);
    for (auto n : hist.normalized) EXPECT_EQ(n, 0.25f);
  }
}

TEST(Render, SingleLumaFrameNormalisesToOneBin) {
  Renderer r;
  const int w = 9, h = 7;
  std::vector<float> f(static_cast<std::size_t>(w) * h * 4);
  for (std::size_t i = 0; i < f.size(); i += 4) f[i + 2] = 0.4f;  // bin floor(102) = 101.99.. -> 101
  zkfx::LumaHistogram hist{};
  for (auto& n : hist.normalized) n = 0.75f;
  FrameDesc d = Desc(f, w, h);
  r.Render(&d, &d, &hist);
  const int bin = static_cast<int>(std::floor(0.4f * 255.0f));
  EXPECT_EQ(hist.peak, static_cast<std::uint32_t>(w * h));
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(hist.count[i], i == bin ? static_cast<std::uint32_t>(w * h) : 0u);
    EXPECT_EQ(hist.normalized[i], i == bin ? 1.0f : 0.0f);
  }
}

TEST(Render, MaskComputedAheadAgreesWithThePerPixelMask) {
  // Soften above 0 with blur sizes of 0 computes the mask plane and copies it unblurred: the
  // result must equal the pass's own per-pixel mask. A busy qualifier makes every pixel differ.
  Renderer perPixel;
  QualifierBlock q = SelectEverything();
  q.lumaStartThreshold = 0.2f;
  q.lumaStartSoftness = 0.1f;
  q.lumaEndThreshold = 0.8f;
  q.lumaEndSoftness = 0.15f;
  q.satEndThreshold = 0.6f;
  q.satEndSoftness = 0.2f;
  q.hueUnrestricted = 0;
  q.hueStartThreshold = 0.9f;
  q.hueEndThreshold = 0.3f;
  q.hueStartSoftness = 0.05f;
  q.edgeThinning = 30.0f;
  perPixel.SetQualifier(&q);
  perPixel.SetViewMode(kViewMask);
  Renderer ahead;
  q.soften = 4.0f;
  ahead.SetQualifier(&q);
  ahead.SetViewMode(kViewMask);
  const int w = 23, h = 11;
  std::vector<float> src = RandomWorkingFrame(w, h, 4);
  std::vector<float> a(src.size()), b(src.size());
  FrameDesc s = Desc(src, w, h), da = Desc(a, w, h), db = Desc(b, w, h);
  const auto before = PM_DebugConvertCallCount();
  perPixel.Render(&s, &da, nullptr);
  ahead.Render(&s, &db, nullptr);
  EXPECT_EQ(PM_DebugConvertCallCount(), before);
  for (std::size_t i = 2; i < a.size(); i += 4) EXPECT_NEAR(a[i], b[i], 1e-6f) << i / 4;
}

TEST(Render, SoftenedConstantMaskDarkensTheCorners) {
  Renderer r;
  QualifierBlock q = SelectEverything();
  q.soften = 5.0f;
  q.blurX = 5.0f;
  q.blurY = 5.0f;
  r.SetQualifier(&q);
  r.SetViewMode(kViewMask);
  const int w = 64, h = 48;
  std::vector<float> src(static_cast<std::size_t>(w) * h * 4, 0.3f), dst(src.size());
  FrameDesc s = Desc(src, w, h), d = Desc(dst, w, h);
  r.Render(&s, &d, nullptr);
  auto y = [&](int x, int row) { return dst[(static_cast<std::size_t>(row) * w + x) * 4 + 2]; };
  for (auto [x, row] : {std::pair{0, 0}, std::pair{w - 1, 0}, std::pair{0, h - 1}, std::pair{w - 1, h - 1}}) {
    EXPECT_NEAR(y(x, row), 0.29f, 0.01f) << x << "," << row;
  }
  // The recursive Gaussian overshoots by a few thousandths a few blur sizes in from an edge.
  EXPECT_NEAR(y(w / 2, h / 2), 1.0f, 5e-3f);
  EXPECT_NEAR(y(0, h / 2), 0.54f, 0.01f);
}

}  // namespace
