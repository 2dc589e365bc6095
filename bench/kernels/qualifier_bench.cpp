// Cost per pixel of the secondary qualifier: the general kernel against the specialised entries
// the pass would choose (all three measures, luma only, hue only, the constant, and with edge
// thinning).
// Each kernel is called through a function pointer, once per pixel, as the frame pass calls it,
// over a buffer of 4096 varied working pixels (luma 0..1, chroma over the nominal square).
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "kernels/qualifier.h"

namespace {

using threeway::QualifierBlock;
using threeway::QualifierKernel;

struct Pixels {
  std::vector<float> y, u, v;
};

const Pixels& BenchPixels() {
  static const Pixels px = [] {
    Pixels p;
    std::uint32_t state = 12345u;
    auto next = [&state] {  // a small linear congruential generator, 0..1
      state = state * 1664525u + 1013904223u;
      return static_cast<float>(state >> 8) * 0x1p-24f;
    };
    for (int i = 0; i < 4096; ++i) {
      p.y.push_back(next());
      p.u.push_back(next() - 0.5f);
      p.v.push_back(next() - 0.5f);
    }
    return p;
  }();
  return px;
}

// A typical qualification: a band of hues, medium saturations and mid luma, with soft edges.
QualifierBlock TypicalBlock(float edgeThinning) {
  QualifierBlock q{};
  q.hueStartSoftness = 0.05f;
  q.hueStartThreshold = 0.1f;
  q.hueEndSoftness = 0.05f;
  q.hueEndThreshold = 0.3f;
  q.satStartSoftness = 0.1f;
  q.satStartThreshold = 0.2f;
  q.satEndSoftness = 0.1f;
  q.satEndThreshold = 0.8f;
  q.lumaStartSoftness = 0.1f;
  q.lumaStartThreshold = 0.2f;
  q.lumaEndSoftness = 0.1f;
  q.lumaEndThreshold = 0.8f;
  q.edgeThinning = edgeThinning;
  q.invertMode = threeway::kInvertNone;
  return q;
}

void RunKernel(benchmark::State& state, QualifierKernel kernel, const QualifierBlock& q) {
  const Pixels& px = BenchPixels();
  const std::size_t n = px.y.size();
  benchmark::DoNotOptimize(kernel);
  for (auto _ : state) {
    float sum = 0.0f;
    for (std::size_t i = 0; i < n; ++i) sum += kernel(&px.y[i], &px.u[i], &px.v[i], &q);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(n));
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(n),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Runs the entry the selection picks for `q`, after checking that it is entry `index`.
void RunSelected(benchmark::State& state, const QualifierBlock& q, unsigned index) {
  if (threeway::QualifierKernelIndex(&q) != index) {
    state.SkipWithError("the block does not select the intended entry");
    return;
  }
  RunKernel(state, threeway::SelectQualifierKernel(q), q);
}

void BM_QualifierGeneral(benchmark::State& state) {
  RunKernel(state, &threeway::GeneralQualifierKernel, TypicalBlock(0.0f));
}
BENCHMARK(BM_QualifierGeneral);

void BM_QualifierGeneralThinning(benchmark::State& state) {
  RunKernel(state, &threeway::GeneralQualifierKernel, TypicalBlock(30.0f));
}
BENCHMARK(BM_QualifierGeneralThinning);

void BM_QualifierEntry0Full(benchmark::State& state) {
  const QualifierBlock q = TypicalBlock(0.0f);
  RunSelected(state, q, 0);
}
BENCHMARK(BM_QualifierEntry0Full);

void BM_QualifierEntry2FullThinning(benchmark::State& state) {
  const QualifierBlock q = TypicalBlock(30.0f);
  RunSelected(state, q, 2);
}
BENCHMARK(BM_QualifierEntry2FullThinning);

void BM_QualifierEntry24LumaOnly(benchmark::State& state) {
  QualifierBlock q = TypicalBlock(0.0f);
  q.hueUnrestricted = 1;
  q.satStartSoftness = q.satStartThreshold = q.satEndSoftness = 0.0f;
  q.satEndThreshold = 1.0f;
  RunSelected(state, q, 24);
}
BENCHMARK(BM_QualifierEntry24LumaOnly);

void BM_QualifierEntry48HueOnly(benchmark::State& state) {
  QualifierBlock q = TypicalBlock(0.0f);
  q.satStartSoftness = q.satStartThreshold = q.satEndSoftness = 0.0f;
  q.satEndThreshold = 1.0f;
  q.lumaStartSoftness = q.lumaStartThreshold = q.lumaEndSoftness = 0.0f;
  q.lumaEndThreshold = 1.0f;
  RunSelected(state, q, 48);
}
BENCHMARK(BM_QualifierEntry48HueOnly);

void BM_QualifierEntry56Constant(benchmark::State& state) {
  QualifierBlock q = TypicalBlock(0.0f);
  q.hueUnrestricted = 1;
  q.satStartSoftness = q.satStartThreshold = q.satEndSoftness = 0.0f;
  q.satEndThreshold = 1.0f;
  q.lumaStartSoftness = q.lumaStartThreshold = q.lumaEndSoftness = 0.0f;
  q.lumaEndThreshold = 1.0f;
  RunSelected(state, q, 56);
}
BENCHMARK(BM_QualifierEntry56Constant);

}  // namespace
