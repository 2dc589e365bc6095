// The render command: turns the panel's values into renderer settings, prepares the split view,
// describes both frames and renders the part of the frame to correct.
#pragma once

#include <cstdint>

#include "entry/host_interface.h"
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

// Unit conversions of the render command, exposed for tests.
float FixedAngleToRadians(std::int32_t fixedDegrees);
float WrapUnit(float x);
// The secondary qualifier's settings from the panel, with the render scale and pixel aspect.
QualifierBlock BuildQualifierBlock(zkfx::ParamRecord** params, const zkfx::HostInputRecord* in);
// The view mode: Show Mask wins over Show Tonal Range, which wins over the Output popup.
std::int32_t ChooseViewMode(zkfx::ParamRecord** params);

}  // namespace threeway
