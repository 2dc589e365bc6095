// What the frei0r plug-in adds to the module's render. Measured on one HD frame: the red/blue
// swap alone, a render through the host alone ('bgra' in and out), and the plug-in's whole update
// in either layout (BGRA: the frames go to the module as they are; RGBA: swap in, the same
// render, swap out), each with the default panel and a busy one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "tests/support/paths.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/param_map.h"
#include "frei0r/pixels.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

std::vector<std::uint32_t> Frame() {
  std::mt19937 rng(3);
  std::vector<std::uint32_t> f(static_cast<std::size_t>(kWidth) * kHeight);
  for (auto& p : f) p = static_cast<std::uint32_t>(rng()) | 0xFF000000u;
  return f;
}

void SetBusyPanel(threeway::frei0r::Instance& instance) {
  const std::pair<const char*, double> panel[] = {{"MasterSaturation", 0.35},
                                                  {"ShadowBalanceMagnitude", 0.4},
                                                  {"ShadowBalanceAngle", 0.3},
                                                  {"HighlightHueAngle", 0.6},
                                                  {"MidtoneSaturation", 0.8}};
  for (auto [name, value] : panel) instance.SetParam(threeway::frei0r::FindPluginParam(name), &value);
}

std::unique_ptr<threeway::frei0r::Instance> MakeInstance(benchmark::State& state,
                                                        threeway::frei0r::FrameLayout layout) {
  std::string error;
  auto instance = threeway::frei0r::Instance::Create(kWidth, kHeight, threeway::test::ModulePath(), layout, error);
  if (!instance) state.SkipWithError(error.c_str());
  return instance;
}

void SetPixels(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SwapRedBlue(benchmark::State& state) {
  const std::vector<std::uint32_t> in = Frame();
  std::vector<std::uint32_t> out(in.size());
  for (auto _ : state) {
    threeway::frei0r::SwapRedBlue(in.data(), out.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  SetPixels(state);
}

// The host render alone: the frame already in 'bgra', straight into the output.
void BM_HostRender(benchmark::State& state) {
  auto instance = MakeInstance(state, threeway::frei0r::FrameLayout::kBgra);
  if (!instance) return;
  if (state.range(0)) SetBusyPanel(*instance);
  std::vector<std::uint32_t> in = Frame(), out(in.size());
  const zkfx::HostFrame source{in.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
  zkfx::HostFrame destination{out.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
  // The instance owns the host; rendering through it directly leaves out only the two swaps.
  auto& host = const_cast<threeway::host::Host&>(instance->host());
  for (auto _ : state) benchmark::DoNotOptimize(host.Render(source, destination));
  SetPixels(state);
}

// The plug-in's f0r_update work in the layout of the second argument.
void BM_PluginUpdate(benchmark::State& state) {
  auto instance = MakeInstance(state, state.range(1) ? threeway::frei0r::FrameLayout::kRgba
                                                     : threeway::frei0r::FrameLayout::kBgra);
  if (!instance) return;
  if (state.range(0)) SetBusyPanel(*instance);
  const std::vector<std::uint32_t> in = Frame();
  std::vector<std::uint32_t> out(in.size());
  for (auto _ : state) {
    instance->Update(in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  SetPixels(state);
}

// The plug-in's cost over the module's, frame by frame: a render through the host and an update
// of the plug-in alternate, each timed on its own, so that the two share every change of the
// machine's speed (a virtual machine's varies by 10-25 % between minutes). Reports the medians
// and the update's overhead over the render in per cent.
void BM_UpdateOverRender(benchmark::State& state) {
  auto instance = MakeInstance(state, state.range(1) ? threeway::frei0r::FrameLayout::kRgba
                                                     : threeway::frei0r::FrameLayout::kBgra);
  if (!instance) return;
  if (state.range(0)) SetBusyPanel(*instance);
  const std::vector<std::uint32_t> in = Frame();
  std::vector<std::uint32_t> out(in.size());
  const zkfx::HostFrame source{const_cast<std::uint32_t*>(in.data()), kWidth * 4, kWidth, kHeight,
                               zkfx::kPixelFormatBGRA8};
  zkfx::HostFrame destination{out.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
  auto& host = const_cast<threeway::host::Host&>(instance->host());
  std::vector<double> render, update;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    benchmark::DoNotOptimize(host.Render(source, destination));
    const Clock::time_point t1 = Clock::now();
    instance->Update(in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
    const Clock::time_point t2 = Clock::now();
    render.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    update.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
  }
  const auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  if (render.empty()) return;
  const double r = median(render), u = median(update);
  state.counters["render_ms"] = r;
  state.counters["update_ms"] = u;
  state.counters["overhead_pct"] = 100.0 * (u - r) / r;
}

BENCHMARK(BM_SwapRedBlue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostRender)->ArgName("busy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PluginUpdate)
    ->ArgNames({"busy", "rgba"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_UpdateOverRender)
    ->ArgNames({"busy", "rgba"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace
