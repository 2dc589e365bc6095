// Row conversion cost: each of the nine host formats into and out of the working format, one
// 3840-pixel row (a UHD frame's width) per call, as the frame pass calls it.
//
// The "ns_per_pixel" counter is wall time per converted pixel.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "pixmill/pixmill.h"

namespace {

constexpr std::int32_t kRowPixels = 3840;

// A row of plausible pixels in `format`: random working-format colours inside the nominal range,
// converted into the format, so the integer formats hold codes a real frame would.
std::vector<unsigned char> MakeRow(PixmillPixelFormat format) {
  std::mt19937 rng(2309);
  std::uniform_real_distribution<float> luma(0.0f, 1.0f), chroma(-0.3f, 0.3f);
  std::vector<float> working(static_cast<std::size_t>(kRowPixels) * 4);
  for (std::int32_t x = 0; x < kRowPixels; ++x) {
    working[4 * x + 0] = chroma(rng);
    working[4 * x + 1] = chroma(rng);
    working[4 * x + 2] = luma(rng);
    working[4 * x + 3] = 1.0f;
  }
  std::vector<unsigned char> row(static_cast<std::size_t>(kRowPixels) * 16);
  PM_Convert(working.data(), 0, kPixmillWorkingFormat, row.data(), 0, format, kRowPixels, 1, 4);
  return row;
}

void SetPixelCounter(benchmark::State& state) {
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(kRowPixels) * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ToWorking(benchmark::State& state, PixmillPixelFormat format) {
  const std::vector<unsigned char> src = MakeRow(format);
  std::vector<float> dst(static_cast<std::size_t>(kRowPixels) * 4);
  for (auto _ : state) {
    benchmark::DoNotOptimize(PM_Convert(src.data(), 0, format, dst.data(), 0, kPixmillWorkingFormat,
                                        kRowPixels, 1, 4));
    benchmark::ClobberMemory();
  }
  SetPixelCounter(state);
}

void BM_FromWorking(benchmark::State& state, PixmillPixelFormat format) {
  const std::vector<unsigned char> src = MakeRow(kPixmillWorkingFormat);
  std::vector<unsigned char> dst(static_cast<std::size_t>(kRowPixels) * 16);
  for (auto _ : state) {
    benchmark::DoNotOptimize(PM_Convert(src.data(), 0, kPixmillWorkingFormat, dst.data(), 0, format,
                                        kRowPixels, 1, 4));
    benchmark::ClobberMemory();
  }
  SetPixelCounter(state);
}

#define PIXMILL_FORMAT_BENCHMARKS(name, code)                   \
  BENCHMARK_CAPTURE(BM_ToWorking, name, code);                  \
  BENCHMARK_CAPTURE(BM_FromWorking, name, code);

PIXMILL_FORMAT_BENCHMARKS(bgra8, kPixmillBGRA8)
PIXMILL_FORMAT_BENCHMARKS(bgra16, kPixmillBGRA16)
PIXMILL_FORMAT_BENCHMARKS(bgra32f, kPixmillBGRA32f)
PIXMILL_FORMAT_BENCHMARKS(vuya8, kPixmillVUYA8)
PIXMILL_FORMAT_BENCHMARKS(vuya16, kPixmillVUYA16)
PIXMILL_FORMAT_BENCHMARKS(vuya32f_working, kPixmillWorkingFormat)
PIXMILL_FORMAT_BENCHMARKS(argb8, kPixmillARGB8)
PIXMILL_FORMAT_BENCHMARKS(argb16, kPixmillARGB16)
PIXMILL_FORMAT_BENCHMARKS(argb32f, kPixmillARGB32f)

}  // namespace
