// Inputs shared by the kernel benchmarks: varied working-format pixels and the renderer settings
// of a neutral and of a busy grade (every step of the correction switched on).
#pragma once

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "kernels/correct_pixel.h"
#include "kernels/derived_values.h"
#include "render/renderer.h"

namespace threeway::bench {

// Luma 0..1 and chroma across the nominal square, alpha 1.
inline std::vector<WorkingPixel> VariedPixels(std::size_t count, unsigned seed) {
  std::vector<WorkingPixel> pixels(count);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> luma(0.0f, 1.0f), chroma(-0.5f, 0.5f);
  for (WorkingPixel& p : pixels) p = {chroma(rng), chroma(rng), luma(rng), 1.0f};
  return pixels;
}

// The renderer's defaults (neutral), or with all ranges balanced and rotated, saturation other
// than 1 and levels moved with a gamma other than 1 in every group; derived values computed.
inline RendererSettings GradeSettings(bool busy) {
  ColorCorrectorThreeWayFilterRenderer renderer;
  RendererSettings s = renderer.settings;
  if (busy) {
    RangeBalance* groups[] = {&s.master, &s.shadow, &s.midtone, &s.highlight};
    RangeLevels* levels[] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels};
    for (int g = 0; g < 4; ++g) {
      const float k = static_cast<float>(g);
      RangeBalance& b = *groups[g];
      b.balanceAngle = 0.5f + k;
      b.balanceMagnitude = 0.2f + 0.1f * k;
      b.balanceX = b.balanceMagnitude * std::cos(b.balanceAngle);
      b.balanceY = b.balanceMagnitude * std::sin(b.balanceAngle);
      b.hueAngle = 0.1f * (k + 1.0f);
      b.saturation = 1.2f - 0.1f * k;
      *levels[g] = {0.04f, 0.95f, 1.3f + 0.2f * k, 0.02f, 0.98f};
    }
  }
  ComputeDerivedValues(s);
  return s;
}

}  // namespace threeway::bench
