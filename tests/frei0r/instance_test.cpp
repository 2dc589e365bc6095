// One frei0r instance over the built module: set-up, defaults, pickers, auto buttons, refusals.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>

#include "tests/support/effect.h"
#include "tests/support/heap.h"
#include "tests/support/paths.h"
#include "frei0r/frei0r_api.h"
#include "frei0r/instance.h"
#include "frei0r/param_map.h"
#include "frei0r/pixels.h"
#include "params/catalogue.h"

namespace {

using namespace threeway::frei0r;

std::vector<std::uint32_t> RandomRgba(std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> frame(count);
  for (auto& p : frame) p = static_cast<std::uint32_t>(rng());
  return frame;
}

class Frei0rInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    instance = Instance::Create(kWidth, kHeight, threeway::test::ModulePath(), FrameLayout::kRgba, error);
    ASSERT_TRUE(instance) << error;
  }
  void SetDouble(const char* name, double unit) {
    const int i = FindPluginParam(name);
    ASSERT_GE(i, 0) << name;
    instance->SetParam(i, &unit);
  }
  double GetDouble(const char* name) {
    double unit = -1.0;
    instance->GetParam(FindPluginParam(name), &unit);
    return unit;
  }
  void SetColor(const char* name, float r, float g, float b) {
    const f0r_param_color_t c{r, g, b};
    instance->SetParam(FindPluginParam(name), &c);
  }
  const zkfx::ParamValue& HostValue(std::int32_t index) { return instance->host().Param(index)->current.value; }

  static constexpr int kWidth = 40, kHeight = 24;
  std::unique_ptr<Instance> instance;
};

// Both layouts, with two frames and with one frame handed for both: the defaults give every byte
// back, alpha included; a grade with a softened qualifier (its mask is taken from the whole input
// before any row is written) equals the module's render through the instance's own host of the
// frame in 'bgra' (swapped from RGBA and back for that layout).
TEST(Frei0rInstanceLayouts, UpdateEqualsTheHostsRenderWithOneFrameOrTwo) {
  constexpr int kWidth = 40, kHeight = 24;
  const std::vector<std::uint32_t> in = RandomRgba(kWidth * kHeight, 7);
  for (const FrameLayout layout : {FrameLayout::kRgba, FrameLayout::kBgra}) {
    const bool rgba = layout == FrameLayout::kRgba;
    const char* what = rgba ? "rgba" : "bgra";
    std::string error;
    auto instance = Instance::Create(kWidth, kHeight, threeway::test::ModulePath(), layout, error);
    ASSERT_TRUE(instance) << error;
    std::vector<std::uint32_t> out(in.size(), 0), same = in;
    instance->Update(in.data(), out.data());
    EXPECT_EQ(out, in) << what << ", defaults, two frames";
    instance->Update(same.data(), same.data());
    EXPECT_EQ(same, in) << what << ", defaults, one frame for both";

    for (auto [name, unit] : {std::pair{"MasterSaturation", 0.8}, {"LumaStartThreshold", 0.3},
                              {"LumaStartSoftness", 0.2}, {"Soften", 0.1}, {"HighlightBalanceMagnitude", 0.4},
                              {"HighlightBalanceAngle", 0.2}, {"MasterHueAngle", 0.6}}) {
      instance->SetParam(FindPluginParam(name), &unit);
    }
    std::vector<std::uint32_t> bgra = in, expected(in.size());
    if (rgba) SwapRedBlue(in.data(), bgra.data(), in.size());
    const zkfx::HostFrame source{bgra.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
    zkfx::HostFrame destination{expected.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
    auto& host = const_cast<threeway::host::Host&>(instance->host());
    ASSERT_EQ(host.Render(source, destination), 0);
    if (rgba) SwapRedBlue(expected.data(), expected.data(), expected.size());
    ASSERT_NE(expected, in);  // the grade changes pixels, so a pass-through cannot match

    instance->Update(in.data(), out.data());
    EXPECT_EQ(out, expected) << what << ", two frames";
    same = in;
    instance->Update(same.data(), same.data());
    EXPECT_EQ(same, expected) << what << ", one frame for both";
  }
}

// The layout a process gets: a valid setting wins, anything else is reported and ignored, and
// without one only MLT's presence decides.
TEST(Frei0rLayout, SettingThenMltDecide) {
  struct Case {
    const char* setting;
    bool mlt;
    FrameLayout expected;
    bool complains;
  };
  const Case cases[] = {
      {nullptr, false, FrameLayout::kBgra, false}, {nullptr, true, FrameLayout::kRgba, false},
      {"", true, FrameLayout::kRgba, false},       {"rgba", false, FrameLayout::kRgba, false},
      {"bgra", true, FrameLayout::kBgra, false},   {"RGBA", false, FrameLayout::kBgra, true},
      {"bgr", true, FrameLayout::kRgba, true},
  };
  for (const Case& c : cases) {
    std::string complaint = "stale";
    const std::string what = c.setting == nullptr ? "unset" : std::string("'") + c.setting + "'";
    EXPECT_EQ(ChooseFrameLayout(c.setting, c.mlt, complaint), c.expected) << what << (c.mlt ? " in MLT" : "");
    EXPECT_EQ(complaint.empty(), !c.complains) << what << ": " << complaint;
    if (c.complains) {
      EXPECT_NE(complaint.find(c.setting), std::string::npos) << complaint;
    }
  }
  // This test program has no MLT until it loads MLT's library itself.
  EXPECT_FALSE(MltInProcess());
  void* mlt = dlopen("libmlt-7.so.7", RTLD_LAZY | RTLD_LOCAL);
  if (mlt == nullptr) GTEST_SKIP() << "MLT's library is not installed: " << dlerror();
  EXPECT_TRUE(MltInProcess());
  dlclose(mlt);
}

TEST_F(Frei0rInstance, ValuesReachTheHostAndReadBack) {
  SetDouble("MasterSaturation", 0.25);
  EXPECT_EQ(HostValue(threeway::kParamMasterSaturation).floatSlider.current, 50.0);
  EXPECT_EQ(GetDouble("MasterSaturation"), 0.25);
  SetDouble("Invert", 1.0);
  EXPECT_EQ(HostValue(threeway::kParamInvert).popup.current, 3);
  SetDouble("ShowMask", 0.7);
  EXPECT_EQ(HostValue(threeway::kParamShowMask).checkBox.current, 1);
  SetDouble("MidtoneHueAngle", 0.75);
  EXPECT_EQ(HostValue(threeway::kParamMidtoneHueAngle).angle.current, 90 * 65536);
  // Not a number: refused, the value stays.
  SetDouble("MasterSaturation", NAN);
  EXPECT_EQ(HostValue(threeway::kParamMasterSaturation).floatSlider.current, 50.0);
  // Out-of-range indices and null values are ignored.
  double unit = 1.0;
  instance->SetParam(-1, &unit);
  instance->SetParam(static_cast<int>(PluginParams().size()), &unit);
  instance->SetParam(0, nullptr);
  instance->GetParam(static_cast<int>(PluginParams().size()), &unit);
  EXPECT_EQ(unit, 1.0);
}

TEST_F(Frei0rInstance, BalancePickerSendsTheColourAndTakesTheValuesWrittenBack) {
  // Pure red picked for the highlights: cb = -38, cr = 111 after truncation, so the magnitude is
  // the float square root of 38^2 + 111^2 and the angle 180 - atan2(111, -38) degrees, reduced
  // to 0..360 (about 71.10).
  SetColor("WhiteBalance", 1.0f, 0.0f, 0.0f);
  const zkfx::ColorARGB picked = HostValue(threeway::kParamWhiteBalance).color.current;
  EXPECT_TRUE(picked.alpha == 255 && picked.red == 255 && picked.green == 0 && picked.blue == 0);
  EXPECT_EQ(HostValue(threeway::kParamHighlightBalanceMagnitude).floatSlider.current,
            static_cast<double>(std::sqrt(13765.0f)));
  const double degrees = HostValue(threeway::kParamHighlightBalanceAngle).angle.current / 65536.0;
  EXPECT_NEAR(degrees, 180.0 - std::atan2(111.0, -38.0) * 57.29577951308232, 1e-3);
  // Read back through frei0r: the magnitude beyond the slider's 100 reads beyond 1.
  EXPECT_NEAR(GetDouble("HighlightBalanceMagnitude"), std::sqrt(13765.0) / 100.0, 1e-6);
  // The same colour again is no change: a value set since stays.
  SetDouble("HighlightBalanceMagnitude", 0.1);
  SetColor("WhiteBalance", 1.0f, 0.0f, 0.0f);
  EXPECT_EQ(HostValue(threeway::kParamHighlightBalanceMagnitude).floatSlider.current, 10.0);
}

// A value a picker writes follows what the host holds, not the order it was set in: an instance
// driven through a history renders as a fresh one given only the final values, in frei0r order
// as MLT sets them on every frame (an editor's render runs in a fresh instance).
TEST_F(Frei0rInstance, PickedValuesFollowTheHostsValuesNotTheirHistory) {
  const double kPicked = static_cast<double>(std::sqrt(13765.0f));  // pure red picked: cb -38, cr 111, in float
  struct Step { const char* name; double unit; };  // colours: a grey of that level, or pure red if < 0
  // The steps, and the shadow balance magnitude both instances must end with.
  struct Case { const char* what; std::vector<Step> steps; double magnitude; };
  const Case cases[] = {
      {"a pick under default sliders", {{"BlackBalance", -1}}, kPicked},
      {"a slider moved before the pick wins", {{"ShadowBalanceMagnitude", 0.2}, {"BlackBalance", -1}}, 20.0},
      {"a slider moved after the pick wins", {{"BlackBalance", -1}, {"ShadowBalanceMagnitude", 0.2}}, 20.0},
      {"a slider brought back to its default takes the pick again",
       {{"BlackBalance", -1}, {"ShadowBalanceMagnitude", 0.2}, {"ShadowBalanceMagnitude", 0.0}}, kPicked},
      {"a neutral colour picked again over the pick",
       {{"BlackBalance", -1}, {"BlackBalance", 0.0}, {"ShadowBalanceMagnitude", 0.0}}, 0.0},
  };
  auto set = [](Instance& target, const Step& step) {
    const int i = FindPluginParam(step.name);
    if (PluginParams()[static_cast<std::size_t>(i)].kind == Kind::Color) {
      const float g = static_cast<float>(step.unit);
      const f0r_param_color_t c = step.unit < 0 ? f0r_param_color_t{1, 0, 0} : f0r_param_color_t{g, g, g};
      target.SetParam(i, &c);
    } else {
      target.SetParam(i, &step.unit);
    }
  };
  for (const Case& c : cases) {
    std::string error;
    auto driven = Instance::Create(kWidth, kHeight, threeway::test::ModulePath(), FrameLayout::kRgba, error);
    auto fresh = Instance::Create(kWidth, kHeight, threeway::test::ModulePath(), FrameLayout::kRgba, error);
    ASSERT_TRUE(driven && fresh) << error;
    for (const Step& step : c.steps) set(*driven, step);
    // The fresh instance: every parameter once, in order, at its final value or its default.
    for (const PluginParam& p : PluginParams()) {
      Step last{p.name.data(), p.kind == Kind::Color ? -2.0 : DefaultUnit(p)};
      for (const Step& step : c.steps) {
        if (p.name == step.name) last.unit = step.unit;
      }
      if (last.unit != -2.0) set(*fresh, last);
    }
    auto value = [](const Instance& in, std::int32_t index) { return in.host().Param(index)->current.value; };
    const double magnitude = value(*driven, threeway::kParamShadowBalanceMagnitude).floatSlider.current;
    EXPECT_EQ(magnitude, value(*fresh, threeway::kParamShadowBalanceMagnitude).floatSlider.current) << c.what;
    EXPECT_EQ(magnitude, c.magnitude) << c.what;
    // And the two render the same pixels (a neutral pick leaves an angle with no magnitude).
    const std::vector<std::uint32_t> in = RandomRgba(kWidth * kHeight, 3);
    std::vector<std::uint32_t> a(in.size()), b(in.size());
    driven->Update(in.data(), a.data());
    fresh->Update(in.data(), b.data());
    EXPECT_TRUE(a == b) << c.what;
  }
}

TEST_F(Frei0rInstance, LevelPickerSetsTheBlackLevelFromLuma) {
  // Grey 100 picked as black: luma 0.299*100 + 0.587*100 + 0.114*100 in float, truncated.
  SetColor("BlackLevel", 100 / 255.0f, 100 / 255.0f, 100 / 255.0f);
  const float luma = 0.299f * 100.0f + 0.587f * 100.0f + 0.114f * 100.0f;
  EXPECT_EQ(HostValue(threeway::kParamMasterInputBlackLevel).floatSlider.current,
            static_cast<double>(static_cast<int>(luma)));
}

TEST_F(Frei0rInstance, AutoButtonFiresOnTheRisingEdgeOnly) {
  // A second host over the same module, driven directly, is the reference for what one press
  // after a given frame writes.
  threeway::host::Host reference;
  ASSERT_NO_FATAL_FAILURE(threeway::test::BringUp(reference));

  // Greys from 40 to 199 across the frame, then a darker frame from 10 to 169.
  auto ramp = [](int low) {
    std::vector<std::uint32_t> f(kWidth * kHeight);
    for (std::size_t i = 0; i < f.size(); ++i) {
      const std::uint32_t v = static_cast<std::uint32_t>(low) + static_cast<std::uint32_t>(i % 160);
      f[i] = v | v << 8 | v << 16 | 0xFF000000u;
    }
    return f;
  };
  auto referenceBlackAfter = [&](const std::vector<std::uint32_t>& rgba) {
    std::vector<std::uint32_t> bgra(rgba.size()), out(rgba.size());
    SwapRedBlue(rgba.data(), bgra.data(), rgba.size());  // greys: the same bytes
    zkfx::HostFrame in{bgra.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
    zkfx::HostFrame o{out.data(), kWidth * 4, kWidth, kHeight, zkfx::kPixelFormatBGRA8};
    EXPECT_EQ(reference.Render(in, o), 0);
    EXPECT_EQ(reference.PressButton(threeway::kParamAutoBlackLevel), 0);
    return reference.Param(threeway::kParamMasterInputBlackLevel)->current.value.floatSlider.current;
  };

  const std::vector<std::uint32_t> light = ramp(40), dark = ramp(10);
  std::vector<std::uint32_t> out(light.size());
  const double lightBlack = referenceBlackAfter(light);
  const double darkBlack = referenceBlackAfter(dark);
  ASSERT_GT(lightBlack, darkBlack);  // the two frames must tell the presses apart
  ASSERT_GT(darkBlack, 0.0);

  instance->Update(light.data(), out.data());
  SetDouble("AutoBlackLevel", 1.0);  // rising edge: a press
  EXPECT_EQ(HostValue(threeway::kParamMasterInputBlackLevel).floatSlider.current, lightBlack);
  EXPECT_EQ(GetDouble("AutoBlackLevel"), 1.0);

  SetDouble("MasterInputBlackLevel", 0.1);  // moved off its default: the host's value wins
  EXPECT_EQ(HostValue(threeway::kParamMasterInputBlackLevel).floatSlider.current, static_cast<double>(25.3f));
  SetDouble("MasterInputBlackLevel", 0.0);  // back at the default: the default (no picker colour)
  instance->Update(dark.data(), out.data());
  SetDouble("AutoBlackLevel", 1.0);  // still down: no press
  EXPECT_EQ(HostValue(threeway::kParamMasterInputBlackLevel).floatSlider.current, 0.0);
  SetDouble("AutoBlackLevel", 0.0);
  SetDouble("AutoBlackLevel", 1.0);  // down again: a press, on the dark frame's histogram
  EXPECT_EQ(HostValue(threeway::kParamMasterInputBlackLevel).floatSlider.current, darkBlack);
  reference.GlobalSetdown();
}

// A frei0r host keeps one instance for a whole clip: what it holds must not grow with the frames.
TEST_F(Frei0rInstance, LongRunKeepsItsMemory) {
  SetDouble("MasterSaturation", 0.6);
  const std::vector<std::uint32_t> in = RandomRgba(kWidth * kHeight, 5);
  std::vector<std::uint32_t> out(in.size());
  std::size_t after2000 = 0;
  for (int frame = 1; frame <= 20000; ++frame) {
    instance->Update(in.data(), out.data());
    if (frame == 2000) after2000 = threeway::test::HeapInUse();
  }
  const std::size_t after20000 = threeway::test::HeapInUse();
  RecordProperty("heap_after_2000_frames", std::to_string(after2000));
  RecordProperty("heap_after_20000_frames", std::to_string(after20000));
  EXPECT_LE(after20000, after2000 + (1u << 20)) << after2000 << " bytes after 2,000 frames";
}

TEST(Frei0rInstanceCreate, RefusesWithAClearMessage) {
  struct Case {
    const char* what;
    int width, height;
    std::string path;
    const char* message;
  };
  const Case cases[] = {
      {"no file", 16, 8, "/nonexistent/ThreeWayColorCorrector.so", "cannot open"},
      {"not a library", 16, 8, std::string(THREEWAY_SOURCE_DIR) + "/frei0r/README.md", "not an ELF file"},
      {"a library without the resource", 16, 8, "/lib/x86_64-linux-gnu/libm.so.6", "no .pipl section"},
      {"zero width", 0, 8, threeway::test::ModulePath(), "frame size"},
      {"too high", 8, 1 << 20, threeway::test::ModulePath(), "frame size"},
      {"one past the widest", 32769, 1, threeway::test::ModulePath(), "frame size"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(Instance::Create(c.width, c.height, c.path, FrameLayout::kBgra, error), nullptr) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
  std::string error;  // the widest frame itself is taken
  EXPECT_NE(Instance::Create(32768, 1, threeway::test::ModulePath(), FrameLayout::kBgra, error), nullptr) << error;
}

}  // namespace
