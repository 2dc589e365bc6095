// The renderer object (restoring its defaults, the pixel formats it declares, where each setter
// writes, the balance vector, the clock seed, the values derived at render time) and the render
// command's unit conversions, qualifier block and view mode.
#include "render/renderer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <vector>
#include <numbers>
#include <string>
#include <tuple>

#include "kernels/dither_random.h"
#include "params/catalogue.h"
#include "render/render_command.h"

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

// The base renderer offers 'bgra' alone and flag 0; this one six formats ('BGra', 'Bgra', 'bgra',
// 'VUya', 'Vuya', 'vuya', first character in the lowest byte) and flag 1. A null out-argument still
// gives the count.
TEST(Renderer, PixelFormatsAndFlag) {
  ZKFilter::FilterRenderer base;
  Renderer r;
  ZKFilter::FilterRenderer& asBase = r;
  const std::uint32_t* formats = nullptr;
  ASSERT_EQ(base.GetPixelFormats(&formats), 1);
  EXPECT_TRUE(formats[0] == 0x61726762u && base.QueryFlag() == 0);
  EXPECT_EQ(base.GetPixelFormats(nullptr), 1);
  ASSERT_EQ(asBase.GetPixelFormats(&formats), 6);
  const std::uint32_t expected[6] = {0x61724742u, 0x61726742u, 0x61726762u,
                                     0x61795556u, 0x61797556u, 0x61797576u};
  EXPECT_EQ(std::memcmp(formats, expected, sizeof expected), 0);
  EXPECT_TRUE(formats == r.supportedFormats && asBase.QueryFlag() == 1);
  EXPECT_EQ(asBase.GetPixelFormats(nullptr), 6);
}

// Each setter writes its own position and nothing else (apart from the balance vector that the
// angle and magnitude setters recompute).
TEST(Renderer, EachSetterWritesItsOwnPosition) {
  using R = Renderer;
  const struct { void (Renderer::*set)(float); int position; } setters[] = {
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
  using R = Renderer;
  using Set = void (R::*)(float);
  const struct { Set angle, magnitude; RangeBalance RendererSettings::*group; } groups[] = {
      {&R::SetMasterBalanceAngle, &R::SetMasterBalanceMagnitude, &RendererSettings::master},
      {&R::SetShadowBalanceAngle, &R::SetShadowBalanceMagnitude, &RendererSettings::shadow},
      {&R::SetMidtoneBalanceAngle, &R::SetMidtoneBalanceMagnitude, &RendererSettings::midtone},
      {&R::SetHighlightBalanceAngle, &R::SetHighlightBalanceMagnitude,
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
  std::memset(&q, 0x3C, sizeof q);
  r.SetQualifier(&q);
  r.SetQualifier(nullptr);  // a null block changes nothing
  EXPECT_EQ(std::memcmp(&r.qualifier, &q, offsetof(QualifierBlock, hueUnrestricted) + 1), 0);
  for (std::int32_t mode : {kViewVideo, kViewLuma, kViewMask, kViewTonalRange, -5}) {
    r.SetViewMode(mode);
    EXPECT_EQ(r.viewMode, mode);
  }
}

// The seed is the current time in seconds; the clock may tick during construction.
TEST(Renderer, ConstructionReseedsTheDitherFromTheClock) {
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

// The gain is left at the constructor's 0.5 (not the panel's 20 %) and the highlight threshold and
// softness at 0.8 and 0.1.
TEST(Renderer, RenderDerivesThePerFrameValues) {
  Renderer r;
  r.SetShadowThreshold(0.3f);
  r.SetShadowSoftness(0.2f);
  r.SetMasterHueAngle(std::numbers::pi_v<float>);
  r.SetMidtoneBalanceMagnitude(0.4f);
  FrameDesc empty{0, 0, 0, nullptr, kWorkingFormat};
  zkfx::LumaHistogram histogram{};
  r.Render(&empty, &empty, &histogram);
  EXPECT_EQ(r.settings.shadowBlendEnd, 0.3f + 0.2f);
  EXPECT_EQ(r.settings.highlightBlendStart, 0.8f - 0.1f);
  EXPECT_NEAR(r.settings.shadowHueRotation.cosine, -1.0f, 1e-7f);
  EXPECT_EQ(r.settings.midtoneBalance.weight, 0.4f * 0.5f);
}

struct Panel {
  std::vector<zkfx::ParamRecord> records = std::vector<zkfx::ParamRecord>(kParamCount);
  std::vector<zkfx::ParamRecord*> params;
  zkfx::HostInputRecord in{};

  Panel() {
    for (auto& r : records) params.push_back(&r);
    in.downsampleX = in.downsampleY = in.pixelAspect = {1, 1};
    Float(kParamHueEndThreshold) = 100;
    Float(kParamHueOffset) = 0.5;
    Float(kParamSatEndThreshold) = 100;
    Float(kParamLumaEndThreshold) = 100;
    records[kParamInvert].value.popup.current = 1;
  }
  double& Float(int i) { return records[i].value.floatSlider.current; }
  QualifierBlock Block() { return BuildQualifierBlock(params.data(), &in); }
};

// Every row of the settings table, set alone on an otherwise zero panel, moves a renderer field to
// the value the documented unit rule gives (other fields may move with it: the balance vector
// follows a balance angle or magnitude), and no two rows fill the same field.
TEST(RenderCommand, EachSettingSourceFillsItsOwnFieldInItsUnit) {
  Panel zero;
  Renderer base;
  FillSettings(base, zero.params.data());
  constexpr int kFloats = sizeof(RendererSettings) / sizeof(float);
  std::vector<int> owner(kFloats, -1);
  for (const SettingSource& source : SettingSources()) {
    SCOPED_TRACE(std::string(ParamSpecAt(source.param).identifier));
    Panel p;
    float expected = 0.0f;
    if (source.conversion == SettingConversion::kRadians) {
      p.records[source.param].value.angle.current = 90 * 65536;
      expected = 1.5707963705062866f;
    } else {
      p.Float(source.param) = 51.0;
      expected = source.conversion == SettingConversion::kOver255   ? 0.2f
                 : source.conversion == SettingConversion::kAsIs    ? 51.0f
                 : source.conversion == SettingConversion::kOver100 ? 51.0f / 100.0f
                                                                    : 51.0f * 0.01f;
    }
    Renderer r;
    FillSettings(r, p.params.data());
    float before[kFloats], after[kFloats];
    std::memcpy(before, &base.settings, sizeof before);
    std::memcpy(after, &r.settings, sizeof after);
    int field = -1;
    for (int i = 0; i < kFloats && field < 0; ++i) {
      if (std::memcmp(&before[i], &after[i], sizeof(float)) != 0 && after[i] == expected) field = i;
    }
    ASSERT_GE(field, 0) << "no field moved to " << expected;
    EXPECT_EQ(owner[static_cast<std::size_t>(field)], -1)
        << "field " << field << " is also filled from parameter " << owner[static_cast<std::size_t>(field)];
    owner[static_cast<std::size_t>(field)] = source.param;
  }
}

// 90 degrees: EachSettingSourceFillsItsOwnFieldInItsUnit. A negative angle with a fraction:
TEST(RenderCommand, FixedPointAnglesBecomeRadians) {
  EXPECT_EQ(FixedAngleToRadians(-45 * 65536 - 32768), -0.7941247820854187f);  // -45.5 degrees
}

// Hue thresholds are measured from the offset; equal ends make the hue unrestricted only when the
// end slider is above the start one.
TEST(RenderCommand, QualifierBlockFromThePanel) {
  Panel p;
  QualifierBlock q = p.Block();  // 0 and 100 around offset 0.5: the whole circle
  EXPECT_EQ(q.hueStartThreshold, 0.5f);
  EXPECT_EQ(q.hueEndThreshold, 0.5f);
  EXPECT_EQ(q.hueUnrestricted, 1);
  p.Float(kParamHueStartThreshold) = 30;
  p.Float(kParamHueEndThreshold) = 30;
  q = p.Block();
  EXPECT_EQ(q.hueStartThreshold, q.hueEndThreshold);
  EXPECT_EQ(q.hueUnrestricted, 0);  // an empty range, not a full one
  p.Float(kParamHueStartThreshold) = 10;
  p.Float(kParamHueEndThreshold) = 80;
  p.Float(kParamHueOffset) = 0.25;
  q = p.Block();
  EXPECT_NEAR(q.hueStartThreshold, 0.85f, 1e-6f);
  EXPECT_NEAR(q.hueEndThreshold, 0.55f, 1e-6f);
  EXPECT_EQ(q.hueUnrestricted, 0);
  // The other fractions of 100, edge thinning and the invert mode as they are.
  p.Float(kParamSatStartThreshold) = 12.5;
  p.Float(kParamLumaEndSoftness) = 7;
  p.Float(kParamEdgeThinning) = -40;
  p.records[kParamInvert].value.popup.current = 3;
  q = p.Block();
  EXPECT_TRUE(q.satStartThreshold == 0.125f && q.lumaEndSoftness == 7.0f / 100.0f);
  EXPECT_TRUE(q.satEndThreshold == 1.0f && q.edgeThinning == -40.0f && q.invertMode == 3);
}

TEST(RenderCommand, BlurSizesFollowRenderScaleAndPixelAspect) {
  Panel p;
  p.in.downsampleX = {1, 3};
  EXPECT_TRUE(p.Block().blurX == 0.0f && p.Block().blurY == 0.0f);  // Soften 0, whatever the scale
  p.Float(kParamSoften) = 10;
  p.in.downsampleX = {1, 1};
  QualifierBlock q = p.Block();
  EXPECT_EQ(q.soften, 10.0f);
  EXPECT_TRUE(q.blurX == 14.142135620117188f && q.blurY == q.blurX);  // 10 sqrt(2)
  p.in.downsampleX = {1, 2};
  p.in.downsampleY = {1, 2};
  p.in.pixelAspect = {2, 1};
  q = p.Block();
  EXPECT_EQ(q.blurX, 10.0f);               // 10 sqrt(2 * 1/4 * 2)
  EXPECT_EQ(q.blurY, 7.071067810058594f);  // 10 sqrt(2 * 1/4)
  p.in.pixelAspect = {2, 0};               // a zero denominator counts as 1
  EXPECT_EQ(p.Block().blurX, 7.071067810058594f);
}

TEST(RenderCommand, ViewModePrecedence) {
  // Applied in turn: the luma view, then the tonal range over it, the mask over both, the mask alone.
  Panel p;
  for (const auto& [param, value, mode] : {std::tuple{kParamViewMode, 2, kViewLuma}, {kParamShowTonalRange, 1, kViewTonalRange},
                                           {kParamShowMask, 1, kViewMask}, {kParamShowTonalRange, 0, kViewMask}}) {
    p.records[param].value.popup.current = value;  // a popup's and a check box's value share the slot
    EXPECT_EQ(ChooseViewMode(p.params.data()), mode) << param << "=" << value;
  }
}

}  // namespace
}  // namespace threeway
