// The one switch that narrows the vector paths of a process: the image library's row conversions
// and the effect's frame pass read the same environment variable, each once. "scalar" keeps every
// stage on its reference path, "avx2" allows up to AVX2, "avx512" up to AVX-512; unset, empty or
// "auto" takes the widest path the processor has. Any other value counts as "scalar", so a
// misspelt switch errs towards the reference rather than silently keeping a vector path. Shared
// vocabulary: a leaf header.
#pragma once

#include <string_view>

namespace vector_switch {

inline constexpr const char* kVariable = "THREEWAY_SIMD";

// The paths, narrowest first. AVX-512 means the x86-64-v4 level: AVX512F, BW, DQ and VL.
enum class Path { kScalar, kAvx2, kAvx512 };

// The path for the switch's value (null: unset) on a processor whose widest path is `widest`:
// never wider than the processor allows.
constexpr Path PathFor(const char* value, Path widest) {
  const std::string_view asked = value != nullptr ? value : "";
  Path cap = Path::kScalar;
  if (asked.empty() || asked == "auto" || asked == "avx512") {
    cap = Path::kAvx512;
  } else if (asked == "avx2") {
    cap = Path::kAvx2;
  }
  return cap < widest ? cap : widest;
}

// The widest path this processor runs.
inline Path WidestPath() {
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")) {
    return Path::kAvx512;
  }
  return __builtin_cpu_supports("avx2") ? Path::kAvx2 : Path::kScalar;
}

}  // namespace vector_switch
