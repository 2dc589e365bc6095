// The frei0r parameter list and its 0..1 mappings, the README table, and the pixel swap.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

#include "frei0r/frei0r_api.h"
#include "frei0r/param_map.h"
#include "frei0r/pixels.h"
#include "params/catalogue.h"
#include "tests/support/tool_case.h"

namespace {

using namespace threeway::frei0r;
using threeway::ParamSpecAt;

TEST(Frei0rParams, EveryValuedRowOnceInCatalogueOrderWithItsType) {
  // Expected list worked from the catalogue rows' types alone.
  std::vector<std::pair<std::int32_t, int>> expected;
  for (const threeway::ParamSpec& row : threeway::ParamSpecs()) {
    switch (row.type) {
      case zkfx::kParamTypeCheckBox:
      case zkfx::kParamTypeButton: expected.push_back({row.index, F0R_PARAM_BOOL}); break;
      case zkfx::kParamTypeColor: expected.push_back({row.index, F0R_PARAM_COLOR}); break;
      case zkfx::kParamTypePopup:
      case zkfx::kParamTypeAngle:
      case zkfx::kParamTypeFloatSlider: expected.push_back({row.index, F0R_PARAM_DOUBLE}); break;
      default: break;
    }
  }
  const auto params = PluginParams();
  ASSERT_EQ(params.size(), expected.size());
  for (std::size_t i = 0; i < params.size(); ++i) {
    EXPECT_EQ(params[i].catalogueIndex, expected[i].first) << i;
    EXPECT_EQ(params[i].frei0rType, expected[i].second) << i;
    EXPECT_EQ(params[i].name, ParamSpecAt(expected[i].first).identifier);
    EXPECT_EQ(FindPluginParam(params[i].name), static_cast<int>(i));
    EXPECT_FALSE(params[i].explanation.empty());
  }
  EXPECT_EQ(FindPluginParam("NoSuchParameter"), -1);
  EXPECT_EQ(FindPluginParam("kParamMasterSaturation"), -1);
}

TEST(Frei0rParams, PickersAndButtonsComeBeforeTheValuesTheyWrite) {
  // A host that sets every parameter per frame in list order must apply an explicit value of a
  // written parameter after the picker or button that writes it.
  const std::pair<const char*, const char*> writes[] = {
      {"BlackBalance", "ShadowBalanceAngle"},       {"GrayBalance", "MidtoneBalanceMagnitude"},
      {"WhiteBalance", "HighlightBalanceAngle"},    {"AutoBlackLevel", "MasterInputBlackLevel"},
      {"AutoContrast", "MasterInputWhiteLevel"},    {"AutoWhiteLevel", "MasterInputWhiteLevel"},
      {"BlackLevel", "MasterInputBlackLevel"},      {"GrayLevel", "MasterInputGrayLevel"},
      {"WhiteLevel", "MasterInputWhiteLevel"}};
  for (const auto& [picker, written] : writes) {
    ASSERT_GE(FindPluginParam(picker), 0) << picker;
    EXPECT_LT(FindPluginParam(picker), FindPluginParam(written)) << picker;
  }
}

TEST(Frei0rParams, DefaultsRoundTripExactly) {
  for (const PluginParam& p : PluginParams()) {
    const threeway::ParamSpec& row = ParamSpecAt(p.catalogueIndex);
    switch (p.kind) {
      case Kind::Slider: {
        const double unit = SliderToUnit(row.slider, row.slider.defaultValue);
        EXPECT_GE(unit, 0.0) << p.name;
        EXPECT_LE(unit, 1.0) << p.name;
        EXPECT_EQ(UnitToSlider(row.slider, unit), static_cast<double>(row.slider.defaultValue)) << p.name;
        // The printed 0..1 value (nine digits, as the README shows it) also comes back exactly.
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", unit);
        EXPECT_EQ(UnitToSlider(row.slider, std::strtod(text, nullptr)),
                  static_cast<double>(row.slider.defaultValue))
            << p.name << " " << text;
        break;
      }
      case Kind::Popup:
        EXPECT_EQ(UnitToPopup(PopupToUnit(row.popup.defaultChoice, row.popup.choiceCount), row.popup.choiceCount),
                  row.popup.defaultChoice)
            << p.name;
        break;
      // Every colour channel and angle 0 round-trip: ColourChannelsAndBools, AnglesSpanMinus180To180.
      case Kind::Angle:
      case Kind::Color:
      case Kind::CheckBox:
      case Kind::Button: break;
    }
  }
  // The gamma slider's default sits at (1 - 0.1f) / (9.97f - 0.1f), not at a round number.
  const threeway::SliderSpec& gray = ParamSpecAt(threeway::kParamMasterInputGrayLevel).slider;
  EXPECT_NEAR(SliderToUnit(gray, 1.0), 0.9 / 9.87, 1e-8);
}

TEST(Frei0rParams, SliderEndsAndClamping) {
  struct Case {
    std::int32_t index;
    double unit;
    double expected;
  };
  const Case cases[] = {
      {threeway::kParamMasterSaturation, 0.0, 0.0},     {threeway::kParamMasterSaturation, 1.0, 200.0},
      {threeway::kParamMasterSaturation, 0.25, 50.0},   {threeway::kParamMasterSaturation, -3.0, 0.0},
      {threeway::kParamMasterSaturation, 7.0, 200.0},   {threeway::kParamEdgeThinning, 0.0, -100.0},
      {threeway::kParamEdgeThinning, 0.5, 0.0},         {threeway::kParamEdgeThinning, 1.0, 100.0},
      {threeway::kParamMasterBalanceGain, 0.0, 1.0},    {threeway::kParamMasterBalanceGain, 1.0, 100.0},
      {threeway::kParamMasterInputGrayLevel, 0.0, 0.1f}, {threeway::kParamMasterInputGrayLevel, 1.0, 9.97f},
      {threeway::kParamMasterInputWhiteLevel, 1.0, 255.0}, {threeway::kParamMasterInputWhiteLevel, 0.0, 2.0},
      // Values land on the float grid the renderer reads: 1/3 of 0..255 is 85 exactly.
      {threeway::kParamShadowThreshold, 1.0 / 3.0, 85.0},
  };
  for (const Case& c : cases) {
    const threeway::SliderSpec& s = ParamSpecAt(c.index).slider;
    EXPECT_EQ(UnitToSlider(s, c.unit), c.expected) << ParamSpecAt(c.index).identifier << " " << c.unit;
  }
  // A value beyond the range (a colour pick writes one) reads back beyond 1.
  const threeway::SliderSpec& magnitude = ParamSpecAt(threeway::kParamHighlightBalanceMagnitude).slider;
  EXPECT_DOUBLE_EQ(SliderToUnit(magnitude, 117.5), 1.175);
}

TEST(Frei0rParams, PopupChoicesEvenlySpacedAndReadToTheNearest) {
  struct Case {
    double unit;
    std::int32_t count;
    std::int32_t choice;
  };
  const Case cases[] = {{0.0, 2, 1}, {0.49, 2, 1}, {0.5, 2, 2},  {1.0, 2, 2},  {0.0, 3, 1},
                        {0.24, 3, 1}, {0.26, 3, 2}, {0.5, 3, 2}, {0.74, 3, 2}, {0.76, 3, 3},
                        {1.0, 3, 3},  {-1.0, 3, 1}, {9.0, 3, 3}, {0.7, 1, 1}};
  for (const Case& c : cases) EXPECT_EQ(UnitToPopup(c.unit, c.count), c.choice) << c.unit << " of " << c.count;
  // (choice, count) -> unit; a stored value beyond the choices (7 of 3) reads as the last.
  for (const auto& [k, n, unit] : {std::tuple{1, 3, 0.0}, {2, 3, 0.5}, {3, 3, 1.0}, {2, 2, 1.0}, {7, 3, 1.0}}) {
    EXPECT_EQ(PopupToUnit(k, n), unit) << k << " of " << n;
  }
  for (std::int32_t n = 2; n <= 5; ++n) {
    for (std::int32_t k = 1; k <= n; ++k) EXPECT_EQ(UnitToPopup(PopupToUnit(k, n), n), k);
  }
}

TEST(Frei0rParams, AnglesSpanMinus180To180) {
  constexpr std::int32_t kDegree = 65536;
  struct Case {
    double unit;
    std::int32_t fixed;
  };
  const Case cases[] = {{0.0, -180 * kDegree}, {0.25, -90 * kDegree}, {0.5, 0},
                        {0.75, 90 * kDegree},  {1.0, 180 * kDegree},  {1.5, 180 * kDegree},
                        {-0.5, -180 * kDegree},
                        // 1/360 of a turn above the middle is one degree
                        {0.5 + 1.0 / 360.0, kDegree}};
  for (const Case& c : cases) EXPECT_EQ(UnitToAngle(c.unit), c.fixed) << c.unit;
  // Reading wraps into -180..180: a pick's 270 degrees is -90.
  for (const auto& [degrees, unit] : {std::pair{270, 0.25}, {-90, 0.25}, {90, 0.75}, {720, 0.5}, {0, 0.5}}) {
    EXPECT_DOUBLE_EQ(AngleToUnit(degrees * kDegree), unit) << degrees;
  }
  // A fraction of a degree survives the round trip to the 16.16 step.
  EXPECT_EQ(UnitToAngle(AngleToUnit(12345)), 12345);
}

TEST(Frei0rParams, ColourChannelsAndBools) {
  struct Case {
    float unit;
    std::uint8_t channel;
  };
  const Case cases[] = {{0.0f, 0},   {1.0f, 255},   {0.5f, 128},   {0.499f, 127}, {-0.2f, 0},
                        {1.7f, 255}, {NAN, 0},      {INFINITY, 255}, {1.0f / 255.0f, 1}};
  for (const Case& c : cases) EXPECT_EQ(UnitToChannel(c.unit), c.channel) << c.unit;
  for (int v = 0; v < 256; ++v) EXPECT_EQ(UnitToChannel(ChannelToUnit(static_cast<std::uint8_t>(v))), v);
  for (const auto& [unit, on] : {std::pair{0.0, false}, {0.4999, false}, {0.5, true}, {1.0, true}}) EXPECT_EQ(UnitToBool(unit), on) << unit;
}

TEST(Frei0rReadme, ParameterTableMatchesTheCatalogue) {
  const std::string readme = threeway::test::ReadAll(std::string(THREEWAY_SOURCE_DIR) + "/frei0r/README.md");
  ASSERT_FALSE(readme.empty()) << "frei0r/README.md";
  const std::string begin = "<!-- parameter table: generated by threeway-frei0r-table -->\n";
  const std::string end = "<!-- end of parameter table -->";
  const std::size_t from = readme.find(begin);
  const std::size_t to = readme.find(end);
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), MarkdownTable())
      << "regenerate the table with build/bin/threeway-frei0r-table";
}

TEST(Frei0rPixels, SwapRedBlueExchangesBytesZeroAndTwo) {
  std::mt19937 rng(7);
  std::vector<std::uint32_t> src(1031);
  for (auto& p : src) p = static_cast<std::uint32_t>(rng());
  std::vector<std::uint32_t> dst(src.size());
  SwapRedBlue(src.data(), dst.data(), src.size());
  for (std::size_t i = 0; i < src.size(); ++i) {
    // Bytes 0 and 2 of the little-endian word are its low and third bytes; 1 and 3 stay.
    const std::uint32_t p = src[i];
    ASSERT_EQ(dst[i], (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16)) << i;
  }
  std::vector<std::uint32_t> inPlace = src;
  SwapRedBlue(inPlace.data(), inPlace.data(), inPlace.size());
  EXPECT_EQ(inPlace, dst);
  SwapRedBlue(inPlace.data(), inPlace.data(), inPlace.size());
  EXPECT_EQ(inPlace, src);

  // The streaming swap gives the same words from any destination offset (the words before the
  // first 32-byte boundary go one at a time) and for any count, and writes nothing past them.
  for (std::size_t offset = 0; offset < 9; ++offset) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8},
                                     std::size_t{9}, std::size_t{17}, src.size()}) {
      std::vector<std::uint32_t> streamed(src.size() + 16, 0xDEADBEEFu);
      SwapRedBlueStreaming(src.data(), streamed.data() + offset, count);
      for (std::size_t i = 0; i < streamed.size(); ++i) {
        const bool written = i >= offset && i < offset + count;
        ASSERT_EQ(streamed[i], written ? dst[i - offset] : 0xDEADBEEFu) << offset << " " << count << " " << i;
      }
    }
  }
}

}  // namespace
