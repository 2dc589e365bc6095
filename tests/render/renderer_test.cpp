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

void ExpectDefaults(const Renderer& r) {
  const RendererSettings& s = r.settings;
  EXPECT_EQ(s.shadowThreshold, 0.2f);
  EXPECT_EQ(s.shadowSoftness, 0.1f);
  EXPECT_EQ(s.highlightThreshold, 0.8f);
  EXPECT_EQ(s.highlightSoftness, 0.1f);
  for (const RangeBalance* g : {&s.master, &s.shadow, &s.midtone, &s.highlight}) {
    EXPECT_EQ(g->balanceAngle, 0.0f);
    EXPECT_EQ(g->balanceMagnitude, 0.0f);
    EXPECT_EQ(g->balanceGain, 0.5f);
    EXPECT_EQ(g->balanceX, 0.0f);
    EXPECT_EQ(g->balanceY, 0.0f);
    EXPECT_EQ(g->hueAngle, 0.0f);
    EXPECT_EQ(g->saturation, 1.0f);
  }
  for (const RangeLevels* g : {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels,
                               &s.highlightLevels}) {
    EXPECT_EQ(g->inputBlack, 0.0f);
    EXPECT_EQ(g->inputWhite, 1.0f);
    EXPECT_EQ(g->inputGray, 1.0f);
    EXPECT_EQ(g->outputBlack, 0.0f);
    EXPECT_EQ(g->outputWhite, 1.0f);
  }
  EXPECT_EQ(s.neutralChromaU, 0.0f);
  EXPECT_EQ(s.neutralChromaV, 0.0f);
  EXPECT_EQ(s.maskDisplayGain, 1.0f);
  EXPECT_EQ(s.fullScale, 1.0f);
  EXPECT_EQ(s.midGrey, 0.5f);
  EXPECT_EQ(s.chromaScaleU, 0.5f);
  EXPECT_EQ(s.chromaScaleV, 0.5f);
  EXPECT_EQ(s.balanceRadius, 0.5f);
  // Derived fields (positions 57..76) are zero until Render.
  for (int i = 57; i <= 76; ++i) EXPECT_EQ(Positions(r)[i], 0.0f) << i;

  const QualifierBlock& q = r.qualifier;
  EXPECT_EQ(q.hueEndThreshold, 100.0f);
  EXPECT_EQ(q.invertMode, kInvertNone);
  for (float f : {q.hueStartSoftness, q.hueStartThreshold, q.hueEndSoftness, q.satStartSoftness,
                  q.satStartThreshold, q.satEndSoftness, q.satEndThreshold, q.lumaStartSoftness,
                  q.lumaStartThreshold, q.lumaEndSoftness, q.lumaEndThreshold, q.soften, q.blurX,
                  q.blurY, q.edgeThinning}) {
    EXPECT_EQ(f, 0.0f);
  }
  EXPECT_EQ(q.hueUnrestricted, 0);
}

TEST(Renderer, DefaultsAfterConstructionSetDefaultsAndReset) {
  Renderer r;
  ExpectDefaults(r);
  EXPECT_EQ(r.viewMode, 0);
  EXPECT_EQ(r.baseFormat, 0x61726762u);

  // Disturb every float position and the qualifier, then restore both ways.
  auto disturb = [](Renderer& x) {
    float* p = &x.settings.shadowThreshold;
    for (int i = 0; i < 80; ++i) p[i] = 3.0f + static_cast<float>(i);
    std::memset(&x.qualifier, 0x5A, sizeof x.qualifier);
  };
  disturb(r);
  r.SetDefaults();
  ExpectDefaults(r);
  disturb(r);
  r.Reset();
  ExpectDefaults(r);
}

TEST(Renderer, ResetCallsSetDefaultsThroughTheVirtualTable) {
  struct Counting : Renderer {
    int calls = 0;
    void SetDefaults() override {
      ++calls;
      Renderer::SetDefaults();
    }
  };
  Counting c;
  EXPECT_EQ(c.calls, 0);  // the constructor sets this class's defaults directly
  c.Reset();
  EXPECT_EQ(c.calls, 1);
}

TEST(Renderer, PixelFormatsAndFlag) {
  ZKFilter::FilterRenderer base;
  const std::uint32_t* formats = nullptr;
  ASSERT_EQ(base.GetPixelFormats(&formats), 1);
  ASSERT_NE(formats, nullptr);
  EXPECT_EQ(formats[0], 0x61726762u);
  EXPECT_EQ(base.QueryFlag(), 0);

  Renderer r;
  ZKFilter::FilterRenderer& asBase = r;
  formats = nullptr;
  ASSERT_EQ(asBase.GetPixelFormats(&formats), 6);
  const std::uint32_t expected[6] = {0x61724742u, 0x61726742u, 0x61726762u,
                                     0x61795556u, 0x61797556u, 0x61797576u};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(formats[i], expected[i]) << i;
  EXPECT_EQ(formats, r.supportedFormats);
  EXPECT_EQ(asBase.QueryFlag(), 1);
  // A null out-argument still gives the count.
  EXPECT_EQ(asBase.GetPixelFormats(nullptr), 6);
  EXPECT_EQ(base.GetPixelFormats(nullptr), 1);
}

// Each setter writes its own position and nothing else (apart from the balance vector that the
// angle and magnitude setters recompute).
TEST(Renderer, EachSetterWritesItsOwnPosition) {
  struct Setter {
    void (Renderer::*set)(float);
    int position;
  };
  const Setter setters[] = {
      {&Renderer::SetShadowThreshold, 0}, {&Renderer::SetShadowSoftness, 1},
      {&Renderer::SetHighlightThreshold, 2}, {&Renderer::SetHighlightSoftness, 3},
      {&Renderer::SetMasterBalanceAngle, 4}, {&Renderer::SetMasterBalanceMagnitude, 5},
      {&Renderer::SetMasterBalanceGain, 6}, {&Renderer::SetMasterHueAngle, 9},
      {&Renderer::SetMasterSaturation, 10},
      {&Renderer::SetShadowBalanceAngle, 11}, {&Renderer::SetShadowBalanceMagnitude, 12},
      {&Renderer::SetShadowBalanceGain, 13}, {&Renderer::SetShadowHueAngle, 16},
      {&Renderer::SetShadowSaturation, 17},
      {&Renderer::SetMidtoneBalanceAngle, 18}, {&Renderer::SetMidtoneBalanceMagnitude, 19},
      {&Renderer::SetMidtoneBalanceGain, 20}, {&Renderer::SetMidtoneHueAngle, 23},
      {&Renderer::SetMidtoneSaturation, 24},
      {&Renderer::SetHighlightBalanceAngle, 25}, {&Renderer::SetHighlightBalanceMagnitude, 26},
      {&Renderer::SetHighlightBalanceGain, 27}, {&Renderer::SetHighlightHueAngle, 30},
      {&Renderer::SetHighlightSaturation, 31},
      {&Renderer::SetMasterInputBlack, 32}, {&Renderer::SetMasterInputWhite, 33},
      {&Renderer::SetMasterInputGray, 34}, {&Renderer::SetMasterOutputBlack, 35},
      {&Renderer::SetMasterOutputWhite, 36},
      {&Renderer::SetShadowInputBlack, 37}, {&Renderer::SetShadowInputWhite, 38},
      {&Renderer::SetShadowInputGray, 39}, {&Renderer::SetShadowOutputBlack, 40},
      {&Renderer::SetShadowOutputWhite, 41},
      {&Renderer::SetMidtoneInputBlack, 42}, {&Renderer::SetMidtoneInputWhite, 43},
      {&Renderer::SetMidtoneInputGray, 44}, {&Renderer::SetMidtoneOutputBlack, 45},
      {&Renderer::SetMidtoneOutputWhite, 46},
      {&Renderer::SetHighlightInputBlack, 47}, {&Renderer::SetHighlightInputWhite, 48},
      {&Renderer::SetHighlightInputGray, 49}, {&Renderer::SetHighlightOutputBlack, 50},
      {&Renderer::SetHighlightOutputWhite, 51},
  };
  ASSERT_EQ(std::size(setters), 44u);
  for (const Setter& s : setters) {
    Renderer r;
    const Renderer before;
    (r.*s.set)(0.375f);
    const int group = (s.position >= 4 && s.position < 32) ? (s.position - 4) / 7 : -1;
    const int offset = group >= 0 ? (s.position - 4) % 7 : -1;
    const bool movesVector = offset == 0 || offset == 1;
    for (int i = 0; i < 80; ++i) {
      const bool vectorSlot = movesVector && (i == 4 + group * 7 + 3 || i == 4 + group * 7 + 4);
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
    const RangeBalance& b = second.settings.*g.group;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_NEAR(a.balanceX, 0.0f, 1e-7f);
    EXPECT_EQ(a.balanceY, 0.5f);
    // The other fields of the vector's group keep their defaults.
    EXPECT_EQ(a.balanceGain, 0.5f);
  }
  // A later angle replaces the direction without touching the magnitude.
  Renderer r;
  r.SetShadowBalanceMagnitude(2.0f);
  r.SetShadowBalanceAngle(kHalfPi);
  r.SetShadowBalanceAngle(std::numbers::pi_v<float>);
  EXPECT_NEAR(r.settings.shadow.balanceX, -2.0f, 1e-6f);
  EXPECT_NEAR(r.settings.shadow.balanceY, 0.0f, 1e-6f);
}

TEST(Renderer, QualifierSetterCopiesTheWholeBlockAndViewModeIsStored) {
  Renderer r;
  QualifierBlock q;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&q);
  for (std::size_t i = 0; i < sizeof q; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  r.SetQualifier(&q);
  EXPECT_EQ(std::memcmp(&r.qualifier, &q, offsetof(QualifierBlock, hueUnrestricted) + 1), 0);
  // A null block changes nothing.
  r.SetQualifier(nullptr);
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
    const std::uint32_t state = t * 214013u + 2531011u;
    matched = matched || drawn == static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
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
