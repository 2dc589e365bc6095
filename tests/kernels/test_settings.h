// Settings shared by the kernel and render tests: the documented defaults (thresholds 0.2 / 0.1 /
// 0.8 / 0.1, identity levels, no balance, saturation 1, and the constants) written out, and a grade
// that moves everything, both with the derived fields computed.
#pragma once

#include <cmath>
#include <initializer_list>

#include "kernels/derived_values.h"
#include "render/renderer_settings.h"

namespace threeway::testing {

inline RendererSettings NeutralSettings() {
  RendererSettings s{};
  s.shadowThreshold = 0.2f;
  s.shadowSoftness = 0.1f;
  s.highlightThreshold = 0.8f;
  s.highlightSoftness = 0.1f;
  for (RangeBalance* g : {&s.master, &s.shadow, &s.midtone, &s.highlight}) {
    *g = RangeBalance{0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f, 1.0f};
  }
  for (RangeLevels* g : {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels}) {
    *g = RangeLevels{0.0f, 1.0f, 1.0f, 0.0f, 1.0f};
  }
  s.maskDisplayGain = 1.0f;
  s.fullScale = 1.0f;
  s.midGrey = 0.5f;
  s.chromaScaleU = s.chromaScaleV = s.balanceRadius = 0.5f;
  ComputeDerivedValues(s);
  return s;
}

// Every range balanced and rotated, every levels group moved with a gamma (so the levels are
// active), every saturation changed.
inline RendererSettings BusySettings() {
  RendererSettings s = NeutralSettings();
  RangeBalance* groups[] = {&s.master, &s.shadow, &s.midtone, &s.highlight};
  RangeLevels* levels[] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels};
  for (int g = 0; g < 4; ++g) {
    const float k = static_cast<float>(g);
    RangeBalance& b = *groups[g];
    b = RangeBalance{0.7f + k, 0.3f + 0.1f * k, 0.6f, 0, 0, 0.2f * (k + 1.0f), 1.3f - 0.2f * k};
    b.balanceX = b.balanceMagnitude * std::cos(b.balanceAngle);
    b.balanceY = b.balanceMagnitude * std::sin(b.balanceAngle);
    *levels[g] = RangeLevels{0.05f * k, 0.9f, 1.4f + 0.3f * k, 0.02f, 0.97f};
  }
  ComputeDerivedValues(s);
  return s;
}

}  // namespace threeway::testing
