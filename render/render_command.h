// The render command: turns the panel's values into renderer settings, prepares the split view,
// describes both frames and renders the part of the frame to correct.
#pragma once

#include <cstdint>
#include <span>

#include "entry/host_interface.h"
#include "render/renderer.h"
#include "render/renderer_settings.h"

namespace threeway {

// kCmdRender. Returns kErrNone, or kErrSuiteUnavailable when the pixel-format suite could not be
// acquired (the frame is still rendered, both frames taken as 'bgra') or released.
//
// Beyond what a well-behaved host sends, it guards the frames: missing parameter records or
// frames return kErrInvalidHostRecord-style failure without touching anything, the region to
// correct never exceeds either frame, a split percentage outside 0..100 is clamped to it, a render
// scale or pixel aspect with a zero denominator counts as 1, and a sequence record smaller than a
// LumaHistogram is not written.
std::int32_t RenderCommand(zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                           zkfx::ParamRecord** params, zkfx::HostFrame* output);

// How a panel value becomes a renderer setting. Float slider values are rounded to float first.
enum class SettingConversion : std::uint8_t {
  kOver255,         // levels and tonal thresholds, 0..255: v / 255, a fraction of white
  kOver100,         // balance magnitudes and gains, percentages: v / 100
  kTimesHundredth,  // saturations: v * 0.01 (in single precision not always equal to v / 100)
  kRadians,         // angles, 16.16 fixed-point degrees: FixedAngleToRadians
  kAsIs,            // the input gray level (a gamma)
};

// One setting filled from one parameter.
struct SettingSource {
  std::int32_t param;
  void (ColorCorrectorThreeWayFilterRenderer::*set)(float);
  SettingConversion conversion;
};

// Every setting the panel fills, in the order the render command fills them. The render command
// and the tests both read this table.
std::span<const SettingSource> SettingSources();
float ConvertSetting(SettingConversion conversion, const zkfx::ParamValue& value);
// The table applied to a renderer; the tonal ranges' levels, which have no controls, set to the
// identity.
void FillSettings(ColorCorrectorThreeWayFilterRenderer& renderer, zkfx::ParamRecord** params);

// Unit conversions of the render command, exposed for tests.
float FixedAngleToRadians(std::int32_t fixedDegrees);
float WrapUnit(float x);
// The secondary qualifier's settings from the panel, with the render scale and pixel aspect.
QualifierBlock BuildQualifierBlock(zkfx::ParamRecord** params, const zkfx::HostInputRecord* in);
// The view mode: Show Mask wins over Show Tonal Range, which wins over the Output popup.
std::int32_t ChooseViewMode(zkfx::ParamRecord** params);

}  // namespace threeway
