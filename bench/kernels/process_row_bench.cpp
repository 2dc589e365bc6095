// The frame pass's per-pixel step over a 1920x1080 working-format frame, row by row, with the
// scalar row path (ProcessPixel per pixel) and the AVX2 row path, for the default panel and a busy
// one. Default: neutral grade, levels inactive (no dither), the constant mask kernel. Busy: every
// range balanced, rotated and saturated, levels moved with a gamma other than 1 in every group (so
// the luma is dithered), and a luma-restricted qualifier whose kernel runs per pixel. Primary: the
// command-line tool's primary grade over a frame of bars (PictureFrame). Each counts the luma
// histogram, or not (a host without sequence data). Before timing, each vector run checks that its
// frame equals the scalar run's byte for byte. The timed frame is processed as the frame pass does it: each row from a
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

// A frame laid out like a picture (or a test pattern): bars 24 to 400 pixels wide, each of one
// colour with a gentle ramp of luma and a little noise, so that most sets of neighbouring pixels lie
// in one tonal range and the rest straddle two.
std::vector<WorkingPixel> PictureFrame() {
  std::vector<WorkingPixel> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> level(0.0f, 1.0f), chroma(-0.4f, 0.4f), noise(-0.004f, 0.004f);
  std::uniform_int_distribution<int> barWidth(24, 400);
  for (std::int32_t k = 0; k < kHeight; ++k) {
    std::int32_t left = 0;
    float y = 0.0f, u = 0.0f, v = 0.0f;
    for (std::int32_t x = 0; x < kWidth; ++x) {
      if (left-- == 0) {
        left = barWidth(rng);
        y = level(rng);
        u = chroma(rng);
        v = chroma(rng);
      }
      pixels[static_cast<std::size_t>(k) * kWidth + static_cast<std::size_t>(x)] = {
          v, u, y + 0.0001f * static_cast<float>(left) + noise(rng), 1.0f};
    }
  }
  return pixels;
}

// The command-line tool's primary grade: the three ranges balanced (200 degrees by 0.30, 45 by
// 0.20, 100 by 0.25), input levels 10 / 1.3 / 240, master saturation 1.15 and hue 8 degrees.
RendererSettings PrimarySettings() {
  RendererSettings s = bench::GradeSettings(false);
  constexpr float kDegree = 3.14159265f / 180.0f;
  const struct {
    RangeBalance* range;
    float angle, magnitude;
  } balances[] = {{&s.shadow, 200.0f, 0.30f}, {&s.midtone, 45.0f, 0.20f}, {&s.highlight, 100.0f, 0.25f}};
  for (const auto& b : balances) {
    b.range->balanceAngle = b.angle * kDegree;
    b.range->balanceMagnitude = b.magnitude;
    b.range->balanceX = b.magnitude * std::cos(b.range->balanceAngle);
    b.range->balanceY = b.magnitude * std::sin(b.range->balanceAngle);
  }
  s.master.saturation = 1.15f;
  s.master.hueAngle = 8.0f * kDegree;
  s.masterLevels = {10.0f / 255.0f, 240.0f / 255.0f, 1.3f, 0.0f, 1.0f};
  ComputeDerivedValues(s);
  return s;
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
  RowBins bins{};  // the pass's bin tables, as the frame pass keeps them
  RowContext row{};
};

void Setup(PassSetup& p, int panel, bool histogram) {
  const bool busy = panel == 1;
  p.settings = panel == 2 ? PrimarySettings() : bench::GradeSettings(busy);
  p.constants = ComputePassConstants(p.settings);
  p.qualifier = PanelQualifier(busy);
  p.row = RowContext{kWidth, 0, false, nullptr, SelectQualifierKernel(p.qualifier),
                     &p.qualifier, kViewVideo, kWorkingFormat, &p.settings, &p.constants,
                     histogram ? &p.histogram : nullptr, histogram ? &p.bins : nullptr};
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
  const int panel = static_cast<int>(state.range(1));  // 0 default, 1 busy, 2 primary on a picture
  const bool busy = panel == 1;
  const bool histogram = state.range(2) != 0;
  if (path > vector_switch::WidestPath()) {
    state.SkipWithError("the processor lacks this path's instruction set");
    return;
  }
  const std::vector<WorkingPixel> in = panel == 2 ? PictureFrame() : Frame();
  std::vector<WorkingPixel> out(in.size()), reference(in.size());
  PassSetup setup;
  Setup(setup, panel, histogram);
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
    ->ArgNames({"path", "panel", "histogram"})
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace threeway
