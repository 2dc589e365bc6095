// The renderer: one object per rendered frame, holding every setting the frame's correction needs.
//
// The render command builds a ColorCorrectorThreeWayFilterRenderer on its stack, stores each
// parameter (already in renderer units: radians, fractions, fractions of white) through the
// setters below, and calls Render once.
//
// Defaults. Construction and SetDefaults give the settings their documented defaults (identity
// levels, saturation 1, zero balance, balance gain 0.5, thresholds 0.2 / 0.1 / 0.8 / 0.1, hue end
// 100, invert mode kInvertNone) and the constants. Fields that have no default of their own
// (viewMode, the qualifier's satEndThreshold, lumaEndThreshold, soften, blurX, blurY,
// edgeThinning and hueUnrestricted) are zero-initialised; the render command sets every one of
// them before Render. The derived fields are zero until Render recomputes them.
#pragma once

#include <cstdint>

#include "entry/host_interface.h"
#include "render/frame_desc.h"
#include "render/renderer_settings.h"

namespace threeway {

namespace ZKFilter {

// The base of the effect's renderers: a single pixel format and no-op hooks.
//
// Hook, GetPixelFormats, QueryFlag, Reset, baseFormat and supportedFormats belong to the renderer
// interface the effect's family of filters shares; this effect's render command calls none of
// them (the formats it accepts are declared at global set-up). They are kept, with the behaviour
// the interface gives them, so that the object stays that interface; only tests call them here.
class FilterRenderer {
 public:
  FilterRenderer() = default;
  FilterRenderer(const FilterRenderer&) = default;
  FilterRenderer& operator=(const FilterRenderer&) = default;
  virtual ~FilterRenderer() = default;

  virtual void SetDefaults() {}
  virtual void Hook() {}
  // Stores (when `formats` is not null) a pointer to the renderer's pixel-format codes and returns
  // their count.
  virtual int GetPixelFormats(const std::uint32_t** formats);
  virtual int QueryFlag() { return 0; }

  std::uint32_t baseFormat = zkfx::kPixelFormatBGRA8;
};

}  // namespace ZKFilter

class ColorCorrectorThreeWayFilterRenderer : public ZKFilter::FilterRenderer {
 public:
  // Defaults, constants, both format lists; reseeds the calling thread's dither generator with
  // the current time in seconds, so renderers built within the same second dither alike.
  ColorCorrectorThreeWayFilterRenderer();
  ~ColorCorrectorThreeWayFilterRenderer() override = default;

  // Writes the defaults and constants into `qualifier` and `settings` (viewMode is left alone).
  void SetDefaults() override;
  int GetPixelFormats(const std::uint32_t** formats) override;
  int QueryFlag() override { return 1; }
  // Returns the settings to their defaults through the virtual SetDefaults.
  virtual void Reset();
  // Renders the source frame into the destination and leaves the source's luma histogram.
  virtual void Render(const FrameDesc* source, const FrameDesc* destination,
                      zkfx::LumaHistogram* histogram);

  // Tonal thresholds and softnesses, fractions of white.
  void SetShadowThreshold(float v) { settings.shadowThreshold = v; }
  void SetShadowSoftness(float v) { settings.shadowSoftness = v; }
  void SetHighlightThreshold(float v) { settings.highlightThreshold = v; }
  void SetHighlightSoftness(float v) { settings.highlightSoftness = v; }

  // Balance, hue and saturation per group. Angles in radians, magnitude and gain as fractions.
  // Setting the angle or the magnitude recomputes the group's balance vector from both fields as
  // they now stand, so the order of the two calls does not matter.
  void SetMasterBalanceAngle(float v) { SetBalanceAngle(settings.master, v); }
  void SetMasterBalanceMagnitude(float v) { SetBalanceMagnitude(settings.master, v); }
  void SetMasterBalanceGain(float v) { settings.master.balanceGain = v; }
  void SetMasterHueAngle(float v) { settings.master.hueAngle = v; }
  void SetMasterSaturation(float v) { settings.master.saturation = v; }
  void SetShadowBalanceAngle(float v) { SetBalanceAngle(settings.shadow, v); }
  void SetShadowBalanceMagnitude(float v) { SetBalanceMagnitude(settings.shadow, v); }
  void SetShadowBalanceGain(float v) { settings.shadow.balanceGain = v; }
  void SetShadowHueAngle(float v) { settings.shadow.hueAngle = v; }
  void SetShadowSaturation(float v) { settings.shadow.saturation = v; }
  void SetMidtoneBalanceAngle(float v) { SetBalanceAngle(settings.midtone, v); }
  void SetMidtoneBalanceMagnitude(float v) { SetBalanceMagnitude(settings.midtone, v); }
  void SetMidtoneBalanceGain(float v) { settings.midtone.balanceGain = v; }
  void SetMidtoneHueAngle(float v) { settings.midtone.hueAngle = v; }
  void SetMidtoneSaturation(float v) { settings.midtone.saturation = v; }
  void SetHighlightBalanceAngle(float v) { SetBalanceAngle(settings.highlight, v); }
  void SetHighlightBalanceMagnitude(float v) { SetBalanceMagnitude(settings.highlight, v); }
  void SetHighlightBalanceGain(float v) { settings.highlight.balanceGain = v; }
  void SetHighlightHueAngle(float v) { settings.highlight.hueAngle = v; }
  void SetHighlightSaturation(float v) { settings.highlight.saturation = v; }

  // Levels per group: black and white as fractions of white, gray as the gamma (0.1 to 9.97).
  void SetMasterInputBlack(float v) { settings.masterLevels.inputBlack = v; }
  void SetMasterInputWhite(float v) { settings.masterLevels.inputWhite = v; }
  void SetMasterInputGray(float v) { settings.masterLevels.inputGray = v; }
  void SetMasterOutputBlack(float v) { settings.masterLevels.outputBlack = v; }
  void SetMasterOutputWhite(float v) { settings.masterLevels.outputWhite = v; }
  void SetShadowInputBlack(float v) { settings.shadowLevels.inputBlack = v; }
  void SetShadowInputWhite(float v) { settings.shadowLevels.inputWhite = v; }
  void SetShadowInputGray(float v) { settings.shadowLevels.inputGray = v; }
  void SetShadowOutputBlack(float v) { settings.shadowLevels.outputBlack = v; }
  void SetShadowOutputWhite(float v) { settings.shadowLevels.outputWhite = v; }
  void SetMidtoneInputBlack(float v) { settings.midtoneLevels.inputBlack = v; }
  void SetMidtoneInputWhite(float v) { settings.midtoneLevels.inputWhite = v; }
  void SetMidtoneInputGray(float v) { settings.midtoneLevels.inputGray = v; }
  void SetMidtoneOutputBlack(float v) { settings.midtoneLevels.outputBlack = v; }
  void SetMidtoneOutputWhite(float v) { settings.midtoneLevels.outputWhite = v; }
  void SetHighlightInputBlack(float v) { settings.highlightLevels.inputBlack = v; }
  void SetHighlightInputWhite(float v) { settings.highlightLevels.inputWhite = v; }
  void SetHighlightInputGray(float v) { settings.highlightLevels.inputGray = v; }
  void SetHighlightOutputBlack(float v) { settings.highlightLevels.outputBlack = v; }
  void SetHighlightOutputWhite(float v) { settings.highlightLevels.outputWhite = v; }

  // kViewVideo, kViewLuma, kViewMask or kViewTonalRange (any other value renders as video).
  void SetViewMode(std::int32_t mode) { viewMode = mode; }
  // Copies the whole block; a null block leaves the current one unchanged.
  void SetQualifier(const QualifierBlock* block) {
    if (block != nullptr) qualifier = *block;
  }

  std::uint32_t supportedFormats[6];
  QualifierBlock qualifier{};
  std::int32_t viewMode = 0;
  RendererSettings settings{};

 private:
  // balanceX = magnitude * cosf(angle), balanceY = magnitude * sinf(angle), single precision.
  static void UpdateBalanceVector(RangeBalance& g);
  static void SetBalanceAngle(RangeBalance& g, float v) {
    g.balanceAngle = v;
    UpdateBalanceVector(g);
  }
  static void SetBalanceMagnitude(RangeBalance& g, float v) {
    g.balanceMagnitude = v;
    UpdateBalanceVector(g);
  }
};

}  // namespace threeway
