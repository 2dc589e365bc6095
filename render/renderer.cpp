#include "render/renderer.h"

#include <math.h>  // cosf, sinf: the balance vector is single precision

#include <initializer_list>

#include "kernels/dither_random.h"

namespace threeway {

namespace ZKFilter {

int FilterRenderer::GetPixelFormats(const std::uint32_t** formats) {
  if (formats != nullptr) *formats = &baseFormat;
  return 1;
}

}  // namespace ZKFilter

namespace {

QualifierBlock DefaultQualifier() {
  QualifierBlock q{};  // fields without a default of their own stay zero
  q.hueStartSoftness = 0.0f;
  q.hueStartThreshold = 0.0f;
  q.hueEndSoftness = 0.0f;
  q.hueEndThreshold = 100.0f;
  q.satStartSoftness = 0.0f;
  q.satStartThreshold = 0.0f;
  q.satEndSoftness = 0.0f;
  q.lumaStartSoftness = 0.0f;
  q.lumaStartThreshold = 0.0f;
  q.lumaEndSoftness = 0.0f;
  q.invertMode = kInvertNone;
  return q;
}

RangeBalance DefaultBalance() {
  RangeBalance b{};
  b.balanceAngle = 0.0f;
  b.balanceMagnitude = 0.0f;
  b.balanceGain = 0.5f;
  b.hueAngle = 0.0f;
  b.saturation = 1.0f;
  return b;
}

constexpr RangeLevels kIdentityLevels = {0.0f, 1.0f, 1.0f, 0.0f, 1.0f};

}  // namespace

void ColorCorrectorThreeWayFilterRenderer::UpdateBalanceVector(RangeBalance& g) {
  g.balanceX = g.balanceMagnitude * cosf(g.balanceAngle);
  g.balanceY = g.balanceMagnitude * sinf(g.balanceAngle);
}

ColorCorrectorThreeWayFilterRenderer::ColorCorrectorThreeWayFilterRenderer()
    : supportedFormats{zkfx::kPixelFormatBGRA32f, zkfx::kPixelFormatBGRA16,
                       zkfx::kPixelFormatBGRA8,   zkfx::kPixelFormatVUYA32f,
                       zkfx::kPixelFormatVUYA16,  zkfx::kPixelFormatVUYA8} {
  // Not through the virtual call: this class's defaults, whatever a further override would do.
  ColorCorrectorThreeWayFilterRenderer::SetDefaults();
  ReseedDitherFromClock();
}

void ColorCorrectorThreeWayFilterRenderer::SetDefaults() {
  qualifier = DefaultQualifier();

  RendererSettings s{};  // derived fields stay zero until Render recomputes them
  s.shadowThreshold = 0.2f;
  s.shadowSoftness = 0.1f;
  s.highlightThreshold = 0.8f;
  s.highlightSoftness = 0.1f;
  for (RangeBalance* g : {&s.master, &s.shadow, &s.midtone, &s.highlight}) {
    *g = DefaultBalance();
    UpdateBalanceVector(*g);
  }
  s.masterLevels = s.shadowLevels = s.midtoneLevels = s.highlightLevels = kIdentityLevels;
  s.neutralChromaU = 0.0f;
  s.neutralChromaV = 0.0f;
  s.maskDisplayGain = 1.0f;
  s.fullScale = 1.0f;
  s.midGrey = 0.5f;
  s.chromaScaleU = 0.5f;
  s.chromaScaleV = 0.5f;
  s.balanceRadius = 0.5f;
  settings = s;
}

int ColorCorrectorThreeWayFilterRenderer::GetPixelFormats(const std::uint32_t** formats) {
  if (formats != nullptr) *formats = supportedFormats;
  return 6;
}

void ColorCorrectorThreeWayFilterRenderer::Reset() { SetDefaults(); }

}  // namespace threeway
