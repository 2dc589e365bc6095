// The frame pass's per-pixel step over a 1920x1080 working-format frame, row by row, with the
// scalar row path (ProcessPixel per pixel) and the AVX2 row path, for the default panel and a busy
// one. Default: neutral grade, levels inactive (no dither), the constant mask kernel. Busy: every
// range balanced, rotated and saturated, levels moved with a gamma other than 1 in every group (so
// the luma is dithered), and a luma-restricted qualifier whose kernel runs per pixel. Both count
// the luma histogram, or not (a host without sequence data). Before timing, each vector run checks that its frame equals the scalar
// run's byte for byte. The timed frame is processed as the frame pass does it: each row from a
// converted row held in cache (a pool of 16 distinct rows) into one scratch row, so the timing is
// the step's own, not the memory traffic of a 33 MB working-format frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bench/kernels/bench_inputs.h"
#include "kernels/derived_values.h"
#include "kernels/dither_random.h"
#include "kernels/process_row.h"
#include "kernels/qualifier.h"
#include "render/frame_desc.h"
#include "render/renderer.h"

namespace threeway {
namespace {

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;

std::vector<WorkingPixel> Frame() {
  return bench::VariedPixels(static_cast<std::size_t>(kWidth) * kHeight, 7);
}

QualifierBlock PanelQualifier(bool busy) {
  QualifierBlock q{};
  q.satEndThreshold = 1.0f;
  q.lumaEndThreshold = 1.0f;
  q.invertMode = kInvertNone;
  q.hueUnrestricted = 1;
  if (busy) {
    q.lumaStartThreshold = 0.2f;
    q.lumaStartSoftness = 0.1f;
    q.lumaEndThreshold = 0.9f;
    q.lumaEndSoftness = 0.05f;
  }
  return q;
}

struct PassSetup {
  RendererSettings settings;
  PassConstants constants;
  QualifierBlock qualifier;
  zkfx::LumaHistogram histogram{};
  RowContext row{};
};

void Setup(PassSetup& p, bool busy, bool histogram) {
  p.settings = bench::GradeSettings(busy);
  p.constants = ComputePassConstants(p.settings);
  p.qualifier = PanelQualifier(busy);
  p.row = RowContext{kWidth, 0, false, nullptr, SelectQualifierKernel(p.qualifier),
                     &p.qualifier, kViewVideo, kWorkingFormat, &p.settings, &p.constants,
                     histogram ? &p.histogram : nullptr};
}

void RunFrame(RowProcessor process, const RowContext& c, const std::vector<WorkingPixel>& in,
              std::vector<WorkingPixel>& out) {
  for (std::int32_t k = 0; k < kHeight; ++k) {
    const std::size_t offset = static_cast<std::size_t>(k) * kWidth;
    process(c, static_cast<std::uint32_t>(k), in.data() + offset, out.data() + offset);
  }
}

void BM_ProcessRows(benchmark::State& state) {
  const auto path = static_cast<vector_switch::Path>(state.range(0));  // 0 scalar, 1 AVX2, 2 AVX-512
  const bool busy = state.range(1) != 0;
  const bool histogram = state.range(2) != 0;
  if (path > vector_switch::WidestPath()) {
    state.SkipWithError("the processor lacks this path's instruction set");
    return;
  }
  const std::vector<WorkingPixel> in = Frame();
  std::vector<WorkingPixel> out(in.size()), reference(in.size());
  PassSetup setup;
  Setup(setup, busy, histogram);
  if (busy && setup.row.kernel == kQualifierKernels[56]) {
    state.SkipWithError("the busy qualifier selected the constant kernel");
    return;
  }
  SeedDither(1);
  RunFrame(&ProcessRowScalar, setup.row, in, reference);
  SeedDither(1);
  const RowProcessor process = RowProcessorOf(path);
  RunFrame(process, setup.row, in, out);
  if (std::memcmp(out.data(), reference.data(), out.size() * sizeof(WorkingPixel)) != 0) {
    state.SkipWithError("the vector frame differs from the scalar one");
    return;
  }
  constexpr std::size_t kPoolRows = 16;
  std::vector<WorkingPixel> scratch(kWidth);
  for (auto _ : state) {
    for (std::int32_t k = 0; k < kHeight; ++k) {
      const std::size_t offset = static_cast<std::size_t>(k) % kPoolRows * kWidth;
      process(setup.row, static_cast<std::uint32_t>(k), in.data() + offset, scratch.data());
    }
    benchmark::DoNotOptimize(scratch.data());
    benchmark::ClobberMemory();
  }
  const double pixels = static_cast<double>(in.size());
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * pixels / 1e6,
                                              benchmark::Counter::kIsRate);
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * pixels,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ProcessRows)
    ->ArgNames({"path", "busy", "histogram"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace threeway
