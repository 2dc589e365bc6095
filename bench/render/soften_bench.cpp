// Mask softening throughput: one SoftenMask call along rows or along columns over an HD and a UHD
// mask plane, at blur sizes 1, 8 and 100 (the recursive filter's cost should not depend on the
// size). Reported per pixel of the plane (counter "per_pixel").
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/soften_mask.h"

namespace {

void BM_SoftenMask(benchmark::State& state) {
  const auto width = static_cast<std::int32_t>(state.range(0));
  const auto height = static_cast<std::int32_t>(state.range(1));
  const auto direction = static_cast<std::uint8_t>(state.range(2));
  const double blurSize = static_cast<double>(state.range(3));

  std::vector<float> source(static_cast<std::size_t>(width) * height);
  std::vector<float> destination(source.size());
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> mask(0.0f, 1.0f);
  for (float& v : source) v = mask(rng);

  const std::int32_t rowBytes = width * static_cast<std::int32_t>(sizeof(float));
  for (auto _ : state) {
    threeway::SoftenMask(source.data(), rowBytes, destination.data(), rowBytes, width, height,
                         blurSize, direction);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  const double pixels = static_cast<double>(width) * height;
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pixels));
  // Seconds per pixel of CPU time, printed with an SI prefix (e.g. "3.1ns").
  state.counters["per_pixel"] = benchmark::Counter(
      pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetLabel(direction == threeway::kSoftenAlongRows ? "rows" : "columns");
}

BENCHMARK(BM_SoftenMask)
    ->ArgNames({"width", "height", "direction", "blur"})
    ->ArgsProduct({{1920}, {1080}, {threeway::kSoftenAlongRows, threeway::kSoftenAlongColumns}, {1, 8, 100}})
    ->ArgsProduct({{3840}, {2160}, {threeway::kSoftenAlongRows, threeway::kSoftenAlongColumns}, {8}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
