// The auto level rule: the Auto Black, Auto White and Auto Contrast buttons set the master input
// black and white levels to the lowest and highest bins of the last rendered frame's luma
// histogram whose normalised count exceeds kAutoLevelThreshold. The effect applies it when a
// button is pressed; the tool's histogram scope marks the same bins. Header-only shared
// vocabulary: it depends on the histogram record alone.
#pragma once

#include <cstdint>

#include "entry/host_interface.h"

namespace threeway {

// A bin counts when its normalised count (its count over the peak) exceeds this fraction.
inline constexpr float kAutoLevelThreshold = 0.005f;
// What the buttons set when no bin counts (an empty histogram, or none at all).
inline constexpr std::int32_t kAutoBlackWhenEmpty = 0;
inline constexpr std::int32_t kAutoWhiteWhenEmpty = 255;

// The lowest counting bin, or kAutoBlackWhenEmpty.
inline std::int32_t AutoBlackLevel(const zkfx::LumaHistogram* histogram) {
  if (histogram == nullptr) return kAutoBlackWhenEmpty;
  for (int i = 0; i < 256; ++i) {
    if (histogram->normalized[i] > kAutoLevelThreshold) return i;
  }
  return kAutoBlackWhenEmpty;
}

// The highest counting bin, or kAutoWhiteWhenEmpty.
inline std::int32_t AutoWhiteLevel(const zkfx::LumaHistogram* histogram) {
  if (histogram == nullptr) return kAutoWhiteWhenEmpty;
  for (int i = 255; i >= 0; --i) {
    if (histogram->normalized[i] > kAutoLevelThreshold) return i;
  }
  return kAutoWhiteWhenEmpty;
}

}  // namespace threeway
