// The renderer object: restoring its defaults, the pixel formats it declares, where each setter
// writes, the balance vector, the clock seed and the values derived at render time.
#include "render/renderer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <numbers>

#include "kernels/dither_random.h"

namespace threeway {
namespace {

using Renderer = ColorCorrectorThreeWayFilterRenderer;

// The settings as 80 floats, by position.
const float* Positions(const Renderer& r) { return &r.settings.shadowThreshold; }

// SetDefaults and Reset (through the virtual table) restore what construction gave, in the
// settings and the qualifier, whatever was there. (The values themselves show in the rendered
// frames of the frame pass tests.)
TEST(Renderer, SetDefaultsAndResetRestoreTheConstructedState) {
  struct Counting : Renderer {
    int calls = 0;
    void SetDefaults() override {
      ++calls;
      Renderer::SetDefaults();
    }
  };
  const Renderer fresh;
  Counting r;
  EXPECT_EQ(r.calls, 0);  // the constructor sets this class's defaults directly
  for (int way = 0; way < 2; ++way) {
    float* p = &r.settings.shadowThreshold;
    for (int i = 0; i < 80; ++i) p[i] = 3.0f + static_cast<float>(i);
    std::memset(&r.qualifier, 0x5A, sizeof r.qualifier);
    if (way == 0) r.SetDefaults(); else r.Reset();
    EXPECT_EQ(std::memcmp(&r.settings, &fresh.settings, sizeof fresh.settings), 0) << way;
    EXPECT_EQ(std::memcmp(&r.qualifier, &fresh.qualifier,
                          offsetof(QualifierBlock, hueUnrestricted) + 1), 0) << way;
  }
  EXPECT_EQ(r.calls, 2);
  // Derived fields (positions 57..76) are zero until Render.
  for (int i = 57; i <= 76; ++i) EXPECT_EQ(Positions(fresh)[i], 0.0f) << i;
}

TEST(Renderer, PixelFormatsAndFlag) {
  ZKFilter::FilterRenderer base;
  const std::uint32_t* formats = nullptr;
  ASSERT_EQ(base.GetPixelFormats(&formats), 1);
  EXPECT_EQ(formats[0], 0x61726762u);  // 'bgra'
  EXPECT_EQ(base.QueryFlag(), 0);
  EXPECT_EQ(base.GetPixelFormats(nullptr), 1);

  Renderer r;
  ZKFilter::FilterRenderer& asBase = r;
  ASSERT_EQ(asBase.GetPixelFormats(&formats), 6);
  // 'BGra', 'Bgra', 'bgra', 'VUya', 'Vuya', 'vuya', first character in the lowest byte.
  const std::uint32_t expected[6] = {0x61724742u, 0x61726742u, 0x61726762u,
                                     0x61795556u, 0x61797556u, 0x61797576u};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(formats[i], expected[i]) << i;
  EXPECT_EQ(formats, r.supportedFormats);
  EXPECT_EQ(asBase.QueryFlag(), 1);
  EXPECT_EQ(asBase.GetPixelFormats(nullptr), 6);  // a null out-argument still gives the count
}

// Each setter writes its own position and nothing else (apart from the balance vector that the
// angle and magnitude setters recompute).
TEST(Renderer, EachSetterWritesItsOwnPosition) {
  using R = Renderer;
  const struct {
    void (Renderer::*set)(float);
    int position;
  } setters[] = {
      {&R::SetShadowThreshold, 0}, {&R::SetShadowSoftness, 1}, {&R::SetHighlightThreshold, 2},
      {&R::SetHighlightSoftness, 3}, {&R::SetMasterBalanceAngle, 4},
      {&R::SetMasterBalanceMagnitude, 5}, {&R::SetMasterBalanceGain, 6},
      {&R::SetMasterHueAngle, 9}, {&R::SetMasterSaturation, 10}, {&R::SetShadowBalanceAngle, 11},
      {&R::SetShadowBalanceMagnitude, 12}, {&R::SetShadowBalanceGain, 13},
      {&R::SetShadowHueAngle, 16}, {&R::SetShadowSaturation, 17}, {&R::SetMidtoneBalanceAngle, 18},
      {&R::SetMidtoneBalanceMagnitude, 19}, {&R::SetMidtoneBalanceGain, 20},
      {&R::SetMidtoneHueAngle, 23}, {&R::SetMidtoneSaturation, 24},
      {&R::SetHighlightBalanceAngle, 25}, {&R::SetHighlightBalanceMagnitude, 26},
      {&R::SetHighlightBalanceGain, 27}, {&R::SetHighlightHueAngle, 30},
      {&R::SetHighlightSaturation, 31}, {&R::SetMasterInputBlack, 32},
      {&R::SetMasterInputWhite, 33}, {&R::SetMasterInputGray, 34}, {&R::SetMasterOutputBlack, 35},
      {&R::SetMasterOutputWhite, 36}, {&R::SetShadowInputBlack, 37}, {&R::SetShadowInputWhite, 38},
      {&R::SetShadowInputGray, 39}, {&R::SetShadowOutputBlack, 40}, {&R::SetShadowOutputWhite, 41},
      {&R::SetMidtoneInputBlack, 42}, {&R::SetMidtoneInputWhite, 43},
      {&R::SetMidtoneInputGray, 44}, {&R::SetMidtoneOutputBlack, 45},
      {&R::SetMidtoneOutputWhite, 46}, {&R::SetHighlightInputBlack, 47},
      {&R::SetHighlightInputWhite, 48}, {&R::SetHighlightInputGray, 49},
      {&R::SetHighlightOutputBlack, 50}, {&R::SetHighlightOutputWhite, 51},
  };
  ASSERT_EQ(std::size(setters), 44u);
  const Renderer before;
  for (const auto& s : setters) {
    Renderer r;
    (r.*s.set)(0.375f);
    const int group = (s.position >= 4 && s.position < 32) ? (s.position - 4) / 7 : -1;
    const int offset = group >= 0 ? (s.position - 4) % 7 : -1;
    for (int i = 0; i < 80; ++i) {
      const bool vectorSlot =
          (offset == 0 || offset == 1) && (i == 7 + group * 7 || i == 8 + group * 7);
      if (i == s.position) {
        EXPECT_EQ(Positions(r)[i], 0.375f) << s.position;
      } else if (!vectorSlot) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(Positions(r)[i]),
                  std::bit_cast<std::uint32_t>(Positions(before)[i]))
            << "setter for " << s.position << " changed " << i;
      }
    }
  }
}

// The vector is magnitude * (cos, sin) of the angle, whichever of the two was set last.
TEST(Renderer, BalanceVectorIsTheSameInEitherOrder) {
  constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;
  using Set = void (Renderer::*)(float);
  const struct {
    Set angle, magnitude;
    RangeBalance RendererSettings::*group;
  } groups[] = {
      {&Renderer::SetMasterBalanceAngle, &Renderer::SetMasterBalanceMagnitude,
       &RendererSettings::master},
      {&Renderer::SetShadowBalanceAngle, &Renderer::SetShadowBalanceMagnitude,
       &RendererSettings::shadow},
      {&Renderer::SetMidtoneBalanceAngle, &Renderer::SetMidtoneBalanceMagnitude,
       &RendererSettings::midtone},
      {&Renderer::SetHighlightBalanceAngle, &Renderer::SetHighlightBalanceMagnitude,
       &RendererSettings::highlight},
  };
  for (const auto& g : groups) {
    Renderer first, second;
    (first.*g.magnitude)(0.5f);
    (first.*g.angle)(kHalfPi);
    (second.*g.angle)(kHalfPi);
    (second.*g.magnitude)(0.5f);
    const RangeBalance& a = first.settings.*g.group;
    EXPECT_EQ(std::memcmp(&a, &(second.settings.*g.group), sizeof a), 0);
    EXPECT_NEAR(a.balanceX, 0.0f, 1e-7f);
    EXPECT_EQ(a.balanceY, 0.5f);
    (first.*g.angle)(std::numbers::pi_v<float>);  // a later angle keeps the magnitude
    EXPECT_NEAR(a.balanceX, -0.5f, 1e-7f);
  }
}

TEST(Renderer, QualifierSetterCopiesTheWholeBlockAndViewModeIsStored) {
  Renderer r;
  QualifierBlock q;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&q);
  for (std::size_t i = 0; i < sizeof q; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  r.SetQualifier(&q);
  r.SetQualifier(nullptr);  // a null block changes nothing
  EXPECT_EQ(std::memcmp(&r.qualifier, &q, offsetof(QualifierBlock, hueUnrestricted) + 1), 0);
  for (std::int32_t mode : {kViewVideo, kViewLuma, kViewMask, kViewTonalRange, -5}) {
    r.SetViewMode(mode);
    EXPECT_EQ(r.viewMode, mode);
  }
}

TEST(Renderer, ConstructionReseedsTheDitherFromTheClock) {
  // The seed is the current time in seconds; allow for the clock ticking during construction.
  SeedDither(1);
  const std::uint32_t before = static_cast<std::uint32_t>(std::time(nullptr));
  Renderer r;
  const std::uint32_t after = static_cast<std::uint32_t>(std::time(nullptr));
  const std::int32_t drawn = DitherRand();
  bool matched = false;
  for (std::uint32_t t = before; t <= after; ++t) {
    SeedDither(t);
    matched = matched || drawn == DitherRand();
  }
  EXPECT_TRUE(matched);
}

TEST(Renderer, RenderDerivesThePerFrameValues) {
  Renderer r;
  r.SetShadowThreshold(0.3f);
  r.SetShadowSoftness(0.2f);
  r.SetMasterHueAngle(std::numbers::pi_v<float>);
  r.SetMidtoneBalanceMagnitude(0.4f);
  r.SetMidtoneBalanceGain(0.5f);
  FrameDesc empty{0, 0, 0, nullptr, kWorkingFormat};
  zkfx::LumaHistogram histogram{};
  r.Render(&empty, &empty, &histogram);
  EXPECT_EQ(r.settings.shadowBlendEnd, 0.3f + 0.2f);
  EXPECT_EQ(r.settings.highlightBlendStart, 0.8f - 0.1f);
  EXPECT_NEAR(r.settings.shadowHueRotation.cosine, -1.0f, 1e-7f);
  EXPECT_EQ(r.settings.midtoneBalance.weight, 0.4f * 0.5f);
}

}  // namespace
}  // namespace threeway
