// Whole-frame render throughput, as a host pays for it: one kCmdRender through the real host
// (threeway::host::Host) and the built module, on HD (1920x1080) and UHD (3840x2160) frames in four host
// pixel formats ('bgra', 'Bgra', 'BGra', 'VUya'), once with the default panel and once with a
// busy grade. Each run reports "MP/s" (megapixels of the frame per second of CPU time; the module
// starts no threads, so the calling thread's CPU time is the render's cost) and the time per
// frame. White-box runs call the renderer's Render directly on a 'VUya' frame with the default
// panel, HD and 16x16, so the host path's own cost shows against the same work without it (the
// 16x16 pair isolates the fixed cost per call).
//
// Before timing, every run renders once and checks the outcome: the command succeeded, every
// pixel of the frame was counted in the sequence's luma histogram, and the busy grade changed the
// picture. The white-box run also checks that its output matches the host path's byte for byte,
// so both runs measure the same work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "entry/host_interface.h"
#include "framewell/framewell.h"
#include "host/host.h"
#include "params/catalogue.h"
#include "pixmill/pixmill.h"
#include "render/frame_desc.h"
#include "render/render_command.h"
#include "render/renderer.h"

#ifndef THREEWAY_MODULE_PATH
#error "THREEWAY_MODULE_PATH must name the built module file"
#endif

namespace {

using namespace threeway;  // parameter indices

struct Format {
  const char* name;
  std::uint32_t code;
};
constexpr Format kVUya{"VUya", zkfx::kPixelFormatVUYA32f};  // the working format, read in place
constexpr Format kFormats[] = {
    {"bgra", zkfx::kPixelFormatBGRA8},
    {"Bgra", zkfx::kPixelFormatBGRA16},
    {"BGra", zkfx::kPixelFormatBGRA32f},
    kVUya,
};

struct Size {
  std::int32_t width;
  std::int32_t height;
};
constexpr Size kHD{1920, 1080};
constexpr Size kUHD{3840, 2160};
constexpr Size kTiny{16, 16};  // for the fixed cost of a call

enum class Panel { kDefault, kBusyGrade };

// ---------------------------------------------------------------------------------------------
// The busy grade: every range balanced and rotated, gains moved, master levels moved, all four
// saturations changed, a soft-edged hue/saturation/luma qualifier with edge thinning and Soften.

struct AngleSetting {
  std::int32_t index;
  double degrees;
};
constexpr AngleSetting kBusyAngles[] = {
    {kParamShadowBalanceAngle, 200.0},    {kParamShadowHueAngle, 12.0},
    {kParamMidtoneBalanceAngle, 45.0},    {kParamMidtoneHueAngle, 350.0},
    {kParamHighlightBalanceAngle, 100.0}, {kParamHighlightHueAngle, 5.0},
    {kParamMasterBalanceAngle, 300.0},    {kParamMasterHueAngle, 8.0},
};

struct FloatSetting {
  std::int32_t index;
  double value;
};
constexpr FloatSetting kBusyFloats[] = {
    {kParamShadowBalanceMagnitude, 30.0},
    {kParamShadowBalanceGain, 60.0},
    {kParamMidtoneBalanceMagnitude, 20.0},
    {kParamMidtoneBalanceGain, 40.0},
    {kParamHighlightBalanceMagnitude, 25.0},
    {kParamHighlightBalanceGain, 70.0},
    {kParamMasterBalanceMagnitude, 10.0},
    {kParamMasterBalanceGain, 50.0},
    {kParamMasterSaturation, 110.0},
    {kParamShadowSaturation, 90.0},
    {kParamMidtoneSaturation, 120.0},
    {kParamHighlightSaturation, 80.0},
    {kParamMasterInputBlackLevel, 10.0},
    {kParamMasterInputGrayLevel, 1.3},
    {kParamMasterInputWhiteLevel, 240.0},
    {kParamMasterOutputBlackLevel, 5.0},
    {kParamMasterOutputWhiteLevel, 250.0},
    {kParamHueStartThreshold, 20.0},
    {kParamHueStartSoftness, 10.0},
    {kParamHueEndThreshold, 60.0},
    {kParamHueEndSoftness, 10.0},
    {kParamSatStartThreshold, 10.0},
    {kParamSatStartSoftness, 10.0},
    {kParamSatEndThreshold, 80.0},
    {kParamSatEndSoftness, 10.0},
    {kParamLumaStartThreshold, 15.0},
    {kParamLumaStartSoftness, 10.0},
    {kParamLumaEndThreshold, 85.0},
    {kParamLumaEndSoftness, 10.0},
    {kParamEdgeThinning, 25.0},
    {kParamSoften, 10.0},
};

std::string ParamName(std::int32_t index) { return std::string(ParamSpecAt(index).identifier); }

// Sets the busy grade through the host's user-edit path and checks that every value stuck (a
// supervised edit goes through the module, which could write values back). Empty when all did.
std::string ApplyBusyGrade(threeway::host::Host& host) {
  for (const AngleSetting& s : kBusyAngles) {
    const auto fixed = static_cast<std::int32_t>(std::lround(s.degrees * 65536.0));
    if (host.SetAngle(s.index, fixed) != zkfx::kErrNone ||
        host.Param(s.index)->current.value.angle.current != fixed) {
      return "cannot set " + ParamName(s.index);
    }
  }
  for (const FloatSetting& s : kBusyFloats) {
    if (host.SetFloat(s.index, s.value) != zkfx::kErrNone ||
        host.Param(s.index)->current.value.floatSlider.current != s.value) {
      return "cannot set " + ParamName(s.index);
    }
  }
  return {};
}

// Loads the module into `host` and runs global, parameter and sequence set-up. Empty on success.
std::string SetUpEffect(threeway::host::Host& host) {
  std::string error;
  if (!host.Load(THREEWAY_MODULE_PATH, error)) return error;
  if (host.GlobalSetup() != zkfx::kErrNone) return "global set-up failed: " + host.message();
  if (host.ParamsSetup() != zkfx::kErrNone) return "parameter set-up failed: " + host.message();
  if (host.SequenceSetup() != zkfx::kErrNone) return "sequence set-up failed: " + host.message();
  return {};
}

// ---------------------------------------------------------------------------------------------
// Frames

// A host frame with its own pixels, rows packed.
struct Frame {
  Frame(std::uint32_t code, Size size)
      : bytesPerPixel(threeway::host::BytesPerPixel(code)),
        pixels(static_cast<std::size_t>(size.width) * size.height * bytesPerPixel) {
    frame = {pixels.data(), size.width * bytesPerPixel, size.width, size.height, code};
  }
  std::int32_t bytesPerPixel;
  std::vector<std::uint8_t> pixels;  // operator new's alignment covers every channel size
  zkfx::HostFrame frame;
};

// HSV (all in 0..1, hue in turns) to R, G, B.
void HsvToRgb(float h, float s, float v, float& r, float& g, float& b) {
  const float h6 = (h - std::floor(h)) * 6.0f;
  const int sector = static_cast<int>(h6) % 6;
  const float f = h6 - static_cast<float>(static_cast<int>(h6));
  const float p = v * (1.0f - s);
  const float q = v * (1.0f - s * f);
  const float t = v * (1.0f - s * (1.0f - f));
  switch (sector) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
  }
}

// A picture that behaves like footage rather than a flat card: hue sweeps once across the frame
// with a slow drift down it, brightness rises from near black at the top to near white at the
// bottom, saturation undulates between 0.15 and 0.85, and every colour channel carries Gaussian
// noise (sigma 0.02, fixed seed). So every tonal range, both sides of every qualifier edge and
// most histogram bins are visited, and neighbouring pixels differ. Each row is made as BGRA
// floats and converted into the frame's format by the host's conversion library.
bool FillPicture(Frame& f) {
  const std::int32_t width = f.frame.width, height = f.frame.height;
  const PixmillPixelFormat target = FW::PMPixelFormatFromSDK(f.frame.hostPixelFormat);
  if (target == kPixmillInvalidFormat) return false;
  std::vector<float> row(static_cast<std::size_t>(width) * 4);
  std::mt19937 rng(20240611u);
  std::normal_distribution<float> noise(0.0f, 0.02f);
  const float kTwoPi = 6.2831853f;
  for (std::int32_t y = 0; y < height; ++y) {
    const float fy = static_cast<float>(y) / static_cast<float>(height);
    for (std::int32_t x = 0; x < width; ++x) {
      const float fx = static_cast<float>(x) / static_cast<float>(width);
      const float hue = fx + 0.15f * fy;
      const float saturation = 0.5f + 0.35f * std::cos(kTwoPi * (3.0f * fx + fy));
      const float value = 0.04f + 0.92f * fy;
      float r, g, b;
      HsvToRgb(hue, saturation, value, r, g, b);
      float* px = &row[static_cast<std::size_t>(x) * 4];
      px[0] = std::clamp(b + noise(rng), 0.0f, 1.0f);
      px[1] = std::clamp(g + noise(rng), 0.0f, 1.0f);
      px[2] = std::clamp(r + noise(rng), 0.0f, 1.0f);
      px[3] = 1.0f;
    }
    std::uint8_t* destination = f.pixels.data() + static_cast<std::size_t>(y) * f.frame.rowBytes;
    if (PM_Convert(row.data(), 0, kPixmillBGRA32f, destination, 0, target, width, 1, 4) !=
        kPixmillOk) {
      return false;
    }
  }
  return true;
}

// The count of pixels in the sequence's histogram after the last render.
std::uint64_t HistogramTotal(const zkfx::LumaHistogram& histogram) {
  std::uint64_t total = 0;
  for (std::uint32_t count : histogram.count) total += count;
  return total;
}

void SetCounters(benchmark::State& state, Size size) {
  const double pixels = static_cast<double>(size.width) * size.height;
  state.counters["MP/s"] =
      benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// ---------------------------------------------------------------------------------------------
// The runs

void BM_HostRender(benchmark::State& state, Format format, Size size, Panel panel) {
  threeway::host::Host host;
  std::string error = SetUpEffect(host);
  if (error.empty() && panel == Panel::kBusyGrade) error = ApplyBusyGrade(host);
  Frame input(format.code, size), output(format.code, size);
  if (error.empty() && !FillPicture(input)) error = "cannot make the picture";
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }

  // One render ahead of the timing, checked.
  if (host.Render(input.frame, output.frame) != zkfx::kErrNone) {
    state.SkipWithError(("render failed: " + host.message()).c_str());
    return;
  }
  const auto* histogram = static_cast<const zkfx::LumaHistogram*>(*host.sequenceData());
  if (HistogramTotal(*histogram) != static_cast<std::uint64_t>(size.width) * size.height) {
    state.SkipWithError("the render did not count every pixel");
    return;
  }
  if (panel == Panel::kBusyGrade && input.pixels == output.pixels) {
    state.SkipWithError("the busy grade left the picture unchanged");
    return;
  }

  for (auto _ : state) {
    if (host.Render(input.frame, output.frame) != zkfx::kErrNone) {
      state.SkipWithError("render failed");
      break;
    }
    benchmark::DoNotOptimize(output.pixels.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, size);
}

// The renderer's Render called directly on a 'VUya' frame with the default panel: the same work
// as the host path without the host, the entry point, the suite, the parameter conversions and
// the renderer's construction.
void BM_RendererRenderDirect(benchmark::State& state, Size size) {
  const std::uint32_t code = kVUya.code;
  threeway::host::Host host;
  std::string error = SetUpEffect(host);
  Frame input(code, size), hostOutput(code, size), output(code, size);
  if (error.empty() && !FillPicture(input)) error = "cannot make the picture";
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }

  // The renderer set up as the render command sets it up for the default panel: primary settings
  // from the catalogue's defaults in renderer units (every other primary default of the renderer
  // is already the panel's), the qualifier and the view from the host's parameter records.
  ColorCorrectorThreeWayFilterRenderer renderer;
  auto defaultOf = [](std::int32_t index) { return ParamSpecAt(index).slider.defaultValue; };
  renderer.SetShadowThreshold(defaultOf(kParamShadowThreshold) / 255.0f);
  renderer.SetShadowSoftness(defaultOf(kParamShadowSoftness) / 255.0f);
  renderer.SetHighlightThreshold(defaultOf(kParamHighlightThreshold) / 255.0f);
  renderer.SetHighlightSoftness(defaultOf(kParamHighlightSoftness) / 255.0f);
  renderer.SetMasterBalanceGain(defaultOf(kParamMasterBalanceGain) / 100.0f);
  renderer.SetShadowBalanceGain(defaultOf(kParamShadowBalanceGain) / 100.0f);
  renderer.SetMidtoneBalanceGain(defaultOf(kParamMidtoneBalanceGain) / 100.0f);
  renderer.SetHighlightBalanceGain(defaultOf(kParamHighlightBalanceGain) / 100.0f);
  std::vector<zkfx::ParamRecord> records(kParamCount);
  std::vector<zkfx::ParamRecord*> params(kParamCount);
  records[kParamInputLayer].value.layer.frame = input.frame;
  for (std::int32_t i = 0; i < kParamCount; ++i) {
    if (i != kParamInputLayer) records[static_cast<std::size_t>(i)] = host.Param(i)->current;
    params[static_cast<std::size_t>(i)] = &records[static_cast<std::size_t>(i)];
  }
  const QualifierBlock qualifier = BuildQualifierBlock(params.data(), &host.in());
  renderer.SetQualifier(&qualifier);
  renderer.SetViewMode(ChooseViewMode(params.data()));

  const FrameDesc source{input.frame.rowBytes, size.width, size.height, input.pixels.data(), code};
  const FrameDesc destination{output.frame.rowBytes, size.width, size.height, output.pixels.data(),
                              code};
  zkfx::LumaHistogram histogram{};

  // Both paths must do the same work: the host path's frame and this one agree byte for byte.
  if (host.Render(input.frame, hostOutput.frame) != zkfx::kErrNone) {
    state.SkipWithError(("host render failed: " + host.message()).c_str());
    return;
  }
  renderer.Render(&source, &destination, &histogram);
  if (output.pixels != hostOutput.pixels ||
      HistogramTotal(histogram) != static_cast<std::uint64_t>(size.width) * size.height) {
    state.SkipWithError("the direct render differs from the host's");
    return;
  }

  for (auto _ : state) {
    renderer.Render(&source, &destination, &histogram);
    benchmark::DoNotOptimize(output.pixels.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, size);
}

// HostRender/<format>/<width>x<height>/<panel>, then the white-box and fixed-cost runs.
bool RegisterRuns() {
  for (const Panel panel : {Panel::kDefault, Panel::kBusyGrade}) {
    for (const Size size : {kHD, kUHD}) {
      for (const Format& format : kFormats) {
        const std::string name = std::string("HostRender/") + format.name + "/" +
                                 std::to_string(size.width) + "x" + std::to_string(size.height) +
                                 (panel == Panel::kDefault ? "/default" : "/busy");
        benchmark::RegisterBenchmark(name.c_str(), BM_HostRender, format, size, panel)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
      }
    }
  }
  benchmark::RegisterBenchmark("RendererRenderDirect/VUya/1920x1080/default",
                               BM_RendererRenderDirect, kHD)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(1.0);
  // The fixed cost of one frame: a 16x16 frame through the host and directly. The difference is
  // what the host path adds per call, whatever the frame size.
  benchmark::RegisterBenchmark("HostRender/VUya/16x16/default", BM_HostRender, kVUya, kTiny,
                               Panel::kDefault)
      ->Unit(benchmark::kMicrosecond)
      ->MinTime(0.5);
  benchmark::RegisterBenchmark("RendererRenderDirect/VUya/16x16/default", BM_RendererRenderDirect,
                               kTiny)
      ->Unit(benchmark::kMicrosecond)
      ->MinTime(0.5);
  return true;
}

[[maybe_unused]] const bool kRegistered = RegisterRuns();

}  // namespace
