// Cost per pixel of the secondary qualifier: the general kernel against the specialised entries
// the pass would choose (all three measures, luma only, hue only, the constant, and with edge
// thinning).
// Each kernel is called through a function pointer, once per pixel, as the frame pass calls it,
// over a buffer of 4096 varied working pixels (luma 0..1, chroma over the nominal square). The
// vector twins of the same entries are called once per 1920-pixel row, over two rows of the same
// pixels in the working format, after checking that they give the scalar entry's masks; the label
// says whether the hue used the exact vector arc tangent or atan2f per lane.
#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "kernels/arc_tangent.h"
#include "kernels/process_row.h"
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

// Runs the vector twin of entry `index` on the benchmark's path (argument 1: AVX2, 2: AVX-512)
// over rows of 1920 working pixels.
void RunVector(benchmark::State& state, const QualifierBlock& q, unsigned index) {
  const auto path = static_cast<vector_switch::Path>(state.range(0));
  if (path > vector_switch::WidestPath()) {
    state.SkipWithError("the processor lacks this path's instruction set");
    return;
  }
  constexpr std::int32_t kWidth = 1920, kRows = 2;
  const Pixels& px = BenchPixels();
  std::vector<float> vuya, mask(kWidth * kRows), reference(kWidth * kRows);
  for (std::size_t i = 0; i < mask.size(); ++i) {
    vuya.insert(vuya.end(), {px.v[i], px.u[i], px.y[i], 1.0f});
    reference[i] = threeway::kQualifierKernels[index](&px.y[i], &px.u[i], &px.v[i], &q);
  }
  const threeway::VectorQualifierKernel kernel = threeway::VectorQualifierFor(threeway::kQualifierKernels[index], path);
  auto runRows = [&] {
    for (std::int32_t r = 0; r < kRows; ++r) {
      kernel(&vuya[r * kWidth * 4], kWidth, &mask[r * kWidth], &q);
    }
  };
  runRows();
  if (std::memcmp(mask.data(), reference.data(), mask.size() * sizeof(float)) != 0) {
    state.SkipWithError("the vector masks differ from the scalar entry's");
    return;
  }
  for (auto _ : state) {
    runRows();
    benchmark::DoNotOptimize(mask.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(threeway::VectorArcTangentExact() ? "exact vector atan2f" : "atan2f per lane");
  state.counters["ns_per_pixel"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(mask.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Runs the entry the selection picks for `q` (its vector twin if `vector`), after checking that it
// is entry `index`.
void RunSelected(benchmark::State& state, const QualifierBlock& q, unsigned index,
                 bool vector = false) {
  if (threeway::QualifierKernelIndex(&q) != index) {
    state.SkipWithError("the block does not select the intended entry");
    return;
  }
  if (vector) {
    RunVector(state, q, index);
  } else {
    RunKernel(state, threeway::SelectQualifierKernel(q), q);
  }
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

void BM_QualifierVectorEntry0Full(benchmark::State& state) {
  RunSelected(state, TypicalBlock(0.0f), 0, true);
}
BENCHMARK(BM_QualifierVectorEntry0Full)->ArgName("path")->Arg(1)->Arg(2);

void BM_QualifierVectorEntry2FullThinning(benchmark::State& state) {
  RunSelected(state, TypicalBlock(30.0f), 2, true);
}
BENCHMARK(BM_QualifierVectorEntry2FullThinning)->ArgName("path")->Arg(1)->Arg(2);

void BM_QualifierEntry24LumaOnly(benchmark::State& state) {
  QualifierBlock q = TypicalBlock(0.0f);
  q.hueUnrestricted = 1;
  q.satStartSoftness = q.satStartThreshold = q.satEndSoftness = 0.0f;
  q.satEndThreshold = 1.0f;
  RunSelected(state, q, 24);
}
BENCHMARK(BM_QualifierEntry24LumaOnly);

// Saturation and luma ranges full: only the hue weight is computed (entry 48).
QualifierBlock HueOnlyBlock() {
  QualifierBlock q = TypicalBlock(0.0f);
  q.satStartSoftness = q.satStartThreshold = q.satEndSoftness = 0.0f;
  q.satEndThreshold = 1.0f;
  q.lumaStartSoftness = q.lumaStartThreshold = q.lumaEndSoftness = 0.0f;
  q.lumaEndThreshold = 1.0f;
  return q;
}

void BM_QualifierEntry48HueOnly(benchmark::State& state) { RunSelected(state, HueOnlyBlock(), 48); }
BENCHMARK(BM_QualifierEntry48HueOnly);

void BM_QualifierVectorEntry48HueOnly(benchmark::State& state) { RunSelected(state, HueOnlyBlock(), 48, true); }
BENCHMARK(BM_QualifierVectorEntry48HueOnly)->ArgName("path")->Arg(1)->Arg(2);

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
