// Settings shared by the kernel tests, written from the documented defaults (thresholds 0.2 / 0.1 /
// 0.8 / 0.1, identity levels, no balance, saturation 1, and the constants) with the derived fields
// computed.
#pragma once

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

}  // namespace threeway::testing
