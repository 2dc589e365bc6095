// Nanoseconds per pixel of CorrectPixel over a buffer of varied working-format pixels, with
// neutral settings and with settings that exercise every step (all ranges balanced and rotated,
// levels moved with a gamma other than 1 in every group, saturation other than 1).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "kernels/correct_pixel.h"
#include "bench/kernels/bench_inputs.h"

namespace threeway {
namespace {

constexpr int kPixels = 1 << 14;  // 256 KiB of working pixels: stays in L2

void BM_CorrectPixel(benchmark::State& state) {
  const std::vector<WorkingPixel> src = bench::VariedPixels(kPixels, 1);
  std::vector<WorkingPixel> dst(src.size());
  const RendererSettings s = bench::GradeSettings(state.range(0) != 0);
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
