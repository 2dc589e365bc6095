#include "render/render_command.h"

#include <algorithm>
#include <cmath>

#include "entry/suites.h"
#include "params/catalogue.h"
#include "render/frame_desc.h"
#include "render/renderer.h"

namespace threeway {

namespace {

double FloatValue(zkfx::ParamRecord** params, int index) {
  return params[index]->value.floatSlider.current;
}
// Float sliders are rounded to float before any renderer arithmetic.
float Fv(zkfx::ParamRecord** params, int index) { return static_cast<float>(FloatValue(params, index)); }
bool CheckBoxOn(zkfx::ParamRecord** params, int index) {
  return params[index]->value.checkBox.current != 0;
}
std::int32_t PopupValue(zkfx::ParamRecord** params, int index) {
  return params[index]->value.popup.current;
}

double Ratio(zkfx::RationalScale r) {
  return r.den == 0 ? 1.0 : static_cast<double>(r.num) / static_cast<double>(r.den);
}

// Truncates toward zero into 0..100 (NaN reads as 0).
std::int32_t SplitPercent(float p) {
  if (!(p > 0.0f)) return 0;
  if (p >= 100.0f) return 100;
  return static_cast<std::int32_t>(p);
}

bool HasAllParams(zkfx::ParamRecord** params) {
  if (params == nullptr) return false;
  for (int i = 0; i < kParamCount; ++i) {
    if (params[i] == nullptr) return false;
  }
  return true;
}

zkfx::LumaHistogram* SequenceHistogram(const zkfx::HostInputRecord* in) {
  zkfx::MemHandle handle = in->sequenceData;
  if (handle == nullptr || *handle == nullptr) return nullptr;
  if (in->utils->getHandleSize != nullptr &&
      in->utils->getHandleSize(handle) < zkfx::kLumaHistogramSize) {
    return nullptr;
  }
  return static_cast<zkfx::LumaHistogram*>(*handle);
}

}  // namespace

using Renderer = ColorCorrectorThreeWayFilterRenderer;
using enum SettingConversion;

// In the order the settings are filled.
constexpr SettingSource kSettingSources[] = {
    {kParamShadowThreshold, &Renderer::SetShadowThreshold, kOver255},
    {kParamShadowSoftness, &Renderer::SetShadowSoftness, kOver255},
    {kParamHighlightThreshold, &Renderer::SetHighlightThreshold, kOver255},
    {kParamHighlightSoftness, &Renderer::SetHighlightSoftness, kOver255},
    {kParamMasterHueAngle, &Renderer::SetMasterHueAngle, kRadians},
    {kParamShadowHueAngle, &Renderer::SetShadowHueAngle, kRadians},
    {kParamMidtoneHueAngle, &Renderer::SetMidtoneHueAngle, kRadians},
    {kParamHighlightHueAngle, &Renderer::SetHighlightHueAngle, kRadians},
    {kParamMasterBalanceMagnitude, &Renderer::SetMasterBalanceMagnitude, kOver100},
    {kParamShadowBalanceMagnitude, &Renderer::SetShadowBalanceMagnitude, kOver100},
    {kParamMidtoneBalanceMagnitude, &Renderer::SetMidtoneBalanceMagnitude, kOver100},
    {kParamHighlightBalanceMagnitude, &Renderer::SetHighlightBalanceMagnitude, kOver100},
    {kParamMasterBalanceGain, &Renderer::SetMasterBalanceGain, kOver100},
    {kParamShadowBalanceGain, &Renderer::SetShadowBalanceGain, kOver100},
    {kParamMidtoneBalanceGain, &Renderer::SetMidtoneBalanceGain, kOver100},
    {kParamHighlightBalanceGain, &Renderer::SetHighlightBalanceGain, kOver100},
    {kParamMasterBalanceAngle, &Renderer::SetMasterBalanceAngle, kRadians},
    {kParamShadowBalanceAngle, &Renderer::SetShadowBalanceAngle, kRadians},
    {kParamMidtoneBalanceAngle, &Renderer::SetMidtoneBalanceAngle, kRadians},
    {kParamHighlightBalanceAngle, &Renderer::SetHighlightBalanceAngle, kRadians},
    {kParamMasterSaturation, &Renderer::SetMasterSaturation, kTimesHundredth},
    {kParamShadowSaturation, &Renderer::SetShadowSaturation, kTimesHundredth},
    {kParamMidtoneSaturation, &Renderer::SetMidtoneSaturation, kTimesHundredth},
    {kParamHighlightSaturation, &Renderer::SetHighlightSaturation, kTimesHundredth},
    {kParamMasterInputBlackLevel, &Renderer::SetMasterInputBlack, kOver255},
    {kParamMasterInputGrayLevel, &Renderer::SetMasterInputGray, kAsIs},
    {kParamMasterInputWhiteLevel, &Renderer::SetMasterInputWhite, kOver255},
    {kParamMasterOutputBlackLevel, &Renderer::SetMasterOutputBlack, kOver255},
    {kParamMasterOutputWhiteLevel, &Renderer::SetMasterOutputWhite, kOver255},
};

std::span<const SettingSource> SettingSources() { return kSettingSources; }

float ConvertSetting(SettingConversion conversion, const zkfx::ParamValue& value) {
  // Float sliders are rounded to float before any renderer arithmetic.
  const float v = static_cast<float>(value.floatSlider.current);
  switch (conversion) {
    case kOver255: return v / 255.0f;
    case kOver100: return v / 100.0f;
    case kTimesHundredth: return v * 0.01f;
    case kRadians: return FixedAngleToRadians(value.angle.current);
    case kAsIs: return v;
  }
  return v;
}

void FillSettings(ColorCorrectorThreeWayFilterRenderer& r, zkfx::ParamRecord** params) {
  for (const SettingSource& source : kSettingSources) {
    (r.*source.set)(ConvertSetting(source.conversion, params[source.param]->value));
  }
  // The tonal ranges' own levels have no controls: they stay the identity.
  for (auto set : {&Renderer::SetShadowInputBlack, &Renderer::SetMidtoneInputBlack,
                   &Renderer::SetHighlightInputBlack, &Renderer::SetShadowOutputBlack,
                   &Renderer::SetMidtoneOutputBlack, &Renderer::SetHighlightOutputBlack}) {
    (r.*set)(0.0f);
  }
  for (auto set : {&Renderer::SetShadowInputGray, &Renderer::SetMidtoneInputGray,
                   &Renderer::SetHighlightInputGray, &Renderer::SetShadowInputWhite,
                   &Renderer::SetMidtoneInputWhite, &Renderer::SetHighlightInputWhite,
                   &Renderer::SetShadowOutputWhite, &Renderer::SetMidtoneOutputWhite,
                   &Renderer::SetHighlightOutputWhite}) {
    (r.*set)(1.0f);
  }
}

float FixedAngleToRadians(std::int32_t fixedDegrees) {
  const float degrees = static_cast<float>(DegreesFromFixed(fixedDegrees));
  constexpr double kRadiansPerDegree = 0.017453292519943295;  // pi / 180
  return static_cast<float>(static_cast<double>(degrees) * kRadiansPerDegree);
}

float WrapUnit(float x) { return x < 0.0f ? x + 1.0f : x; }

QualifierBlock BuildQualifierBlock(zkfx::ParamRecord** p, const zkfx::HostInputRecord* in) {
  QualifierBlock q{};
  const float offset = Fv(p, kParamHueOffset);
  q.hueStartSoftness = Fv(p, kParamHueStartSoftness) / 100.0f;
  q.hueStartThreshold = WrapUnit(Fv(p, kParamHueStartThreshold) / 100.0f - offset);
  q.hueEndSoftness = Fv(p, kParamHueEndSoftness) / 100.0f;
  q.hueEndThreshold = WrapUnit(Fv(p, kParamHueEndThreshold) / 100.0f - offset);
  q.satStartSoftness = Fv(p, kParamSatStartSoftness) / 100.0f;
  q.satStartThreshold = Fv(p, kParamSatStartThreshold) / 100.0f;
  q.satEndSoftness = Fv(p, kParamSatEndSoftness) / 100.0f;
  q.satEndThreshold = Fv(p, kParamSatEndThreshold) / 100.0f;
  q.lumaStartSoftness = Fv(p, kParamLumaStartSoftness) / 100.0f;
  q.lumaStartThreshold = Fv(p, kParamLumaStartThreshold) / 100.0f;
  q.lumaEndSoftness = Fv(p, kParamLumaEndSoftness) / 100.0f;
  q.lumaEndThreshold = Fv(p, kParamLumaEndThreshold) / 100.0f;
  q.soften = Fv(p, kParamSoften);
  if (q.soften != 0.0f) {
    const double dx = Ratio(in->downsampleX);
    const double dy = Ratio(in->downsampleY);
    const double aspect = Ratio(in->pixelAspect);
    q.blurX = static_cast<float>(static_cast<double>(q.soften) * std::sqrt(2.0 * dx * dx * aspect));
    q.blurY = static_cast<float>(static_cast<double>(q.soften) * std::sqrt(2.0 * dy * dy));
  } else {
    q.blurX = 0.0f;
    q.blurY = 0.0f;
  }
  q.edgeThinning = Fv(p, kParamEdgeThinning);
  q.invertMode = PopupValue(p, kParamInvert);
  q.hueUnrestricted = q.hueStartThreshold == q.hueEndThreshold &&
                              Fv(p, kParamHueEndThreshold) > Fv(p, kParamHueStartThreshold)
                          ? 1
                          : 0;
  return q;
}

std::int32_t ChooseViewMode(zkfx::ParamRecord** params) {
  if (CheckBoxOn(params, kParamShowMask)) return kViewMask;
  if (CheckBoxOn(params, kParamShowTonalRange)) return kViewTonalRange;
  return PopupValue(params, kParamViewMode);
}

std::int32_t RenderCommand(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                           zkfx::ParamRecord** params, zkfx::HostFrame* output) {
  if (!HasAllParams(params) || output == nullptr) return zkfx::kErrInvalidHostRecord;
  const zkfx::HostFrame& input = params[kParamInputLayer]->value.layer.frame;

  // The frames' pixel formats, through the host's suite.
  const zkfx::PixelFormatSuite1* formats = nullptr;
  std::int32_t result =
      AcquireSuiteAs(in, out, zkfx::kPixelFormatSuiteName, zkfx::kPixelFormatSuiteVersion, &formats);
  std::uint32_t inputFormat = zkfx::kPixelFormatBGRA8;
  std::uint32_t outputFormat = zkfx::kPixelFormatBGRA8;
  if (formats != nullptr) {
    formats->queryPixelFormat(&input, &inputFormat);
    formats->queryPixelFormat(output, &outputFormat);
  }

  // The sizes to process.
  std::int32_t inWidth = input.width, inHeight = input.height;
  std::int32_t outWidth = output->width, outHeight = output->height;

  // Split view: the uncorrected part is copied; the corrected part is the top (horizontal
  //    layout) or left (vertical layout) of the frame.
  if (CheckBoxOn(params, kParamShowSplitView)) {
    const std::int32_t percent = SplitPercent(Fv(params, kParamSplitViewPercent));
    const std::int32_t layout = PopupValue(params, kParamSplitViewLayout);
    zkfx::HostRect rect{};
    bool split = true;
    if (layout == 1) {
      const std::int32_t s = static_cast<std::int32_t>(
          static_cast<std::int64_t>(percent) * std::max(inHeight, 0) / 100);
      rect = {0, s, outWidth, outHeight};
      // The split line comes from the input; an output with fewer rows is corrected only as far
      // as it reaches.
      inHeight = s;
      outHeight = std::min(outHeight, s);
    } else if (layout == 2) {
      const std::int32_t s = static_cast<std::int32_t>(
          static_cast<std::int64_t>(std::max(inWidth, 0)) * percent / 100);
      rect = {s, 0, outWidth, outHeight};
      inWidth = s;
      outWidth = std::min(outWidth, s);
    } else {
      split = false;  // an unknown layout shows the whole frame corrected
    }
    if (split && in->utils->copyRect != nullptr) {
      in->utils->copyRect(in->effectRef, &input, output, &rect, &rect);
    }
  }

  // The renderer and its settings.
  ColorCorrectorThreeWayFilterRenderer renderer;
  FillSettings(renderer, params);
  const QualifierBlock qualifier = BuildQualifierBlock(params, in);
  renderer.SetQualifier(&qualifier);
  renderer.SetViewMode(ChooseViewMode(params));

  // Both frames; never more than either frame holds.
  const std::int32_t width = std::min(inWidth, outWidth);
  const std::int32_t height = std::min(inHeight, outHeight);
  const FrameDesc source{input.rowBytes, width, height, input.data, inputFormat};
  const FrameDesc destination{output->rowBytes, width, height, output->data, outputFormat};

  if (source.data != nullptr && destination.data != nullptr) {
    renderer.Render(&source, &destination, SequenceHistogram(in));
  }

  if (formats != nullptr) {
    result = ReleaseSuite(in, out, zkfx::kPixelFormatSuiteName, zkfx::kPixelFormatSuiteVersion, nullptr);
  }
  return result;
}

}  // namespace threeway
