// The one switch that narrows the vector paths of a process: the image library's row conversions
// and the effect's frame pass read the same environment variable, each once. "scalar" keeps every
// stage on its reference path, "avx2" allows up to AVX2; unset, empty or "auto" takes the widest
// path the processor has. Any other value counts as "scalar", so a misspelt switch errs towards
// the reference rather than silently keeping a vector path. Shared vocabulary: a leaf header.
#pragma once

#include <string_view>

namespace vector_switch {

inline constexpr const char* kVariable = "THREEWAY_SIMD";

// The paths, narrowest first.
enum class Path { kScalar, kAvx2 };

// The path for the switch's value (null: unset) on a processor that has AVX2 or not: never wider
// than the processor allows.
constexpr Path PathFor(const char* value, bool avx2Available) {
  const std::string_view asked = value != nullptr ? value : "";
  if (asked.empty() || asked == "auto" || asked == "avx2") return avx2Available ? Path::kAvx2 : Path::kScalar;
  return Path::kScalar;
}

}  // namespace vector_switch
