// Nanoseconds per pixel of CorrectPixel over a buffer of varied working-format pixels, with
// neutral settings and with settings that exercise every step (all ranges balanced and rotated,
// levels moved with a gamma other than 1 in every group, saturation other than 1).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "kernels/correct_pixel.h"
#include "kernels/derived_values.h"
#include "render/renderer.h"

namespace threeway {
namespace {

constexpr int kPixels = 1 << 14;  // 256 KiB of working pixels: stays in L2

std::vector<WorkingPixel> VariedPixels() {
  std::vector<WorkingPixel> pixels(kPixels);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> luma(0.0f, 1.0f), chroma(-0.5f, 0.5f);
  for (WorkingPixel& p : pixels) p = {chroma(rng), chroma(rng), luma(rng), 1.0f};
  return pixels;
}

// The renderer's defaults (neutral), or those with every step of the correction switched on.
RendererSettings Settings(bool busy) {
  ColorCorrectorThreeWayFilterRenderer renderer;
  RendererSettings& s = renderer.settings;
  if (busy) {
    RangeBalance* groups[] = {&s.master, &s.shadow, &s.midtone, &s.highlight};
    RangeLevels* levels[] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels};
    for (int g = 0; g < 4; ++g) {
      const float k = static_cast<float>(g);
      RangeBalance& b = *groups[g];
      b.balanceAngle = 0.5f + k;
      b.balanceMagnitude = 0.2f + 0.1f * k;
      b.balanceX = b.balanceMagnitude * cosf(b.balanceAngle);
      b.balanceY = b.balanceMagnitude * sinf(b.balanceAngle);
      b.hueAngle = 0.1f * (k + 1.0f);
      b.saturation = 1.2f - 0.1f * k;
      *levels[g] = {0.04f, 0.95f, 1.3f + 0.2f * k, 0.02f, 0.98f};
    }
  }
  ComputeDerivedValues(s);
  return s;
}

void BM_CorrectPixel(benchmark::State& state) {
  const std::vector<WorkingPixel> src = VariedPixels();
  std::vector<WorkingPixel> dst(src.size());
  const RendererSettings s = Settings(state.range(0) != 0);
  const PassConstants pc = ComputePassConstants(s);
  for (auto _ : state) {
    for (std::size_t i = 0; i < src.size(); ++i) {
      const WorkingPixel& p = src[i];
      const CorrectedColor c = CorrectPixel(p.v, p.u, p.y, p.y, 1.0f, s, pc, false);
      dst[i] = {c.v, c.u, c.y, p.a};
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(src.size()));
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(src.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CorrectPixel)->Arg(0)->ArgName("busy")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CorrectPixel)->Arg(1)->ArgName("busy")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace threeway
