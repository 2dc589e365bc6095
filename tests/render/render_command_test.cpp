// The render command's unit conversions and the qualifier block it builds from the panel.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "params/catalogue.h"
#include "render/render_command.h"

namespace {

using namespace threeway;

struct Panel {
  std::vector<zkfx::ParamRecord> records = std::vector<zkfx::ParamRecord>(kParamCount);
  std::vector<zkfx::ParamRecord*> params;
  zkfx::HostInputRecord in{};

  Panel() {
    for (auto& r : records) std::memset(&r, 0, sizeof r);
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

TEST(RenderCommand, FixedPointAnglesBecomeRadians) {
  EXPECT_EQ(FixedAngleToRadians(0), 0.0f);
  EXPECT_EQ(FixedAngleToRadians(90 * 65536), 1.5707963705062866f);
  EXPECT_EQ(FixedAngleToRadians(-45 * 65536 - 32768), -0.7941247820854187f);  // -45.5 degrees
}

TEST(RenderCommand, HueThresholdsAreMeasuredFromTheOffset) {
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
  EXPECT_EQ(q.hueStartThreshold, WrapUnit(0.1f - 0.25f));
  EXPECT_NEAR(q.hueStartThreshold, 0.85f, 1e-6f);
  EXPECT_NEAR(q.hueEndThreshold, 0.55f, 1e-6f);
  EXPECT_EQ(q.hueUnrestricted, 0);
  EXPECT_EQ(WrapUnit(-0.0f), -0.0f);
  EXPECT_EQ(WrapUnit(0.3f), 0.3f);
}

TEST(RenderCommand, BlurSizesFollowRenderScaleAndPixelAspect) {
  Panel p;
  p.in.downsampleX = {1, 3};
  EXPECT_EQ(p.Block().blurX, 0.0f);  // Soften 0: exactly 0 whatever the scale
  EXPECT_EQ(p.Block().blurY, 0.0f);
  p.Float(kParamSoften) = 10;
  p.in.downsampleX = {1, 1};
  QualifierBlock q = p.Block();
  EXPECT_EQ(q.soften, 10.0f);
  EXPECT_EQ(q.blurX, 14.142135620117188f);  // 10 sqrt(2)
  EXPECT_EQ(q.blurY, 14.142135620117188f);
  p.in.downsampleX = {1, 2};
  p.in.downsampleY = {1, 2};
  p.in.pixelAspect = {2, 1};
  q = p.Block();
  EXPECT_EQ(q.blurX, 10.0f);               // 10 sqrt(2 * 1/4 * 2)
  EXPECT_EQ(q.blurY, 7.071067810058594f);  // 10 sqrt(2 * 1/4)
  p.in.pixelAspect = {2, 0};               // a zero denominator counts as 1
  EXPECT_EQ(p.Block().blurX, 7.071067810058594f);
}

TEST(RenderCommand, QualifierFractionsAndModes) {
  Panel p;
  p.Float(kParamSatStartThreshold) = 12.5;
  p.Float(kParamLumaEndSoftness) = 7;
  p.Float(kParamEdgeThinning) = -40;
  p.records[kParamInvert].value.popup.current = 3;
  const QualifierBlock q = p.Block();
  EXPECT_EQ(q.satStartThreshold, 0.125f);
  EXPECT_EQ(q.lumaEndSoftness, 7.0f / 100.0f);
  EXPECT_EQ(q.satEndThreshold, 1.0f);
  EXPECT_EQ(q.edgeThinning, -40.0f);
  EXPECT_EQ(q.invertMode, 3);
}

TEST(RenderCommand, ViewModePrecedence) {
  Panel p;
  p.records[kParamViewMode].value.popup.current = 2;
  EXPECT_EQ(ChooseViewMode(p.params.data()), kViewLuma);
  p.records[kParamShowTonalRange].value.checkBox.current = 1;
  EXPECT_EQ(ChooseViewMode(p.params.data()), kViewTonalRange);
  p.records[kParamShowMask].value.checkBox.current = 1;
  EXPECT_EQ(ChooseViewMode(p.params.data()), kViewMask);
  p.records[kParamShowTonalRange].value.checkBox.current = 0;
  EXPECT_EQ(ChooseViewMode(p.params.data()), kViewMask);
}

}  // namespace
