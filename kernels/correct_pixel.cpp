#include "kernels/correct_pixel.h"

namespace threeway {

namespace {

LevelsConstants GroupConstants(const RangeLevels& g, float fullScale) {
  LevelsConstants c;
  c.inputBlack = g.inputBlack * fullScale;
  c.inputSpan = (g.inputWhite * fullScale) - (g.inputBlack * fullScale);
  c.outputBlack = g.outputBlack * fullScale;
  c.outputSpan = (g.outputWhite * fullScale) - (g.outputBlack * fullScale);
  c.inverseGamma = 1.0f / g.inputGray;
  const float d = c.inverseGamma - 1.0f;
  c.applyGamma = (d < 0.0f ? -d : d) >= 7.62939453125e-06f;  // 2^-17; NaN compares false
  c.passThrough = c.inputBlack == 0.0f && c.inputSpan == 1.0f && c.outputBlack == 0.0f &&
                  c.outputSpan == 1.0f && !c.applyGamma;
  return c;
}

}  // namespace

PassConstants ComputePassConstants(const RendererSettings& s) {
  PassConstants pc;
  const RangeLevels* groups[4] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels,
                                  &s.highlightLevels};
  pc.levelsActive = false;
  for (int i = 0; i < 4; ++i) {
    pc.levels[i] = GroupConstants(*groups[i], s.fullScale);
    // `!=` is true for a NaN span, which therefore counts as active.
    if (pc.levels[i].inputSpan != s.fullScale || pc.levels[i].outputSpan != s.fullScale) {
      pc.levelsActive = true;
    }
  }
  return pc;
}

}  // namespace threeway
