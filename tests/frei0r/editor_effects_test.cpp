// The Kdenlive and Shotcut descriptions the build ships (build/editors/), read back as the editors
// read them and held to the catalogue: which parameters, their kinds, ranges, defaults and groups.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "frei0r/editor_effects.h"
#include "frei0r/param_map.h"
#include "params/catalogue.h"
#include "params/string_table.h"
#include "tests/support/tool_case.h"

namespace {

using threeway::ParamSpec;

std::string Shipped(const std::string& path) { return threeway::test::ReadAll(threeway::test::BuildDir() + "/editors/" + path); }

// The rows an editor panel must show: every valued row a user sets by hand, except the Auto
// Levels group (its buttons and eyedroppers) and what the effect's panel hides.
std::vector<const ParamSpec*> ExpectedRows() {
  std::vector<const ParamSpec*> rows;
  bool inAutoLevels = false;
  for (const ParamSpec& row : threeway::ParamSpecs()) {
    if (row.index == threeway::kParamAutoLevelsGroupStart) inAutoLevels = true;
    if (row.index == threeway::kParamAutoLevelsGroupEnd) inAutoLevels = false;
    if (threeway::IsValued(row) && !inAutoLevels && (row.uiFlags & zkfx::kParamUIHidden) == 0) rows.push_back(&row);
  }
  return rows;
}

std::map<std::string, std::string> Attributes(const std::string& tag) {
  std::map<std::string, std::string> attributes;
  static const std::regex attribute(R"re((\w+)="([^"]*)")re");
  for (std::sregex_iterator it(tag.begin(), tag.end(), attribute), end; it != end; ++it) attributes[(*it)[1]] = (*it)[2];
  return attributes;
}

TEST(EditorEffects, KdenliveParametersFollowTheCatalogue) {
  const std::string xml = Shipped("kdenlive/effects/frei0r_threeway.xml");
  ASSERT_NE(xml.find("<effect tag=\"frei0r.threeway\" id=\"frei0r.threeway\">"), std::string::npos);
  static const std::regex parameter(R"re(<parameter ([^>]*)>\s*<name>([^<]*)</name>(\s*<paramlistdisplay>([^<]*)</paramlistdisplay>)?)re");
  const std::vector<const ParamSpec*> rows = ExpectedRows();
  std::size_t n = 0;
  for (std::sregex_iterator it(xml.begin(), xml.end(), parameter), end; it != end; ++it, ++n) {
    ASSERT_LT(n, rows.size());
    const ParamSpec& row = *rows[n];
    auto a = Attributes((*it)[1]);
    EXPECT_EQ(a["name"], row.identifier) << n;
    const double def = std::strtod(a["default"].c_str(), nullptr);
    switch (row.type) {
      case zkfx::kParamTypeCheckBox: EXPECT_EQ(a["type"], "bool") << row.identifier; break;
      case zkfx::kParamTypeColor: {
        char expected[16];
        std::snprintf(expected, sizeof expected, "0x%02x%02x%02xff", row.color.red, row.color.green, row.color.blue);
        EXPECT_EQ(a["type"], "color") << row.identifier;
        EXPECT_EQ(a["default"], expected) << row.identifier;
        break;
      }
      case zkfx::kParamTypePopup: {
        const std::vector<std::string> choices = threeway::PopupChoices(row);
        EXPECT_EQ(a["type"], "list") << row.identifier;
        EXPECT_EQ(std::count(a["paramlist"].begin(), a["paramlist"].end(), ';') + 1, row.popup.choiceCount);
        EXPECT_EQ((*it)[4].str(), choices[0] + "," + choices[1] + (choices.size() > 2 ? "," + choices[2] : ""));
        EXPECT_EQ(def, (row.popup.defaultChoice - 1) / (row.popup.choiceCount - 1.0)) << row.identifier;
        break;
      }
      default: {  // the control shows default x factor, from 0 when the range starts elsewhere
        const bool angle = row.type == zkfx::kParamTypeAngle;
        const double minimum = angle ? -180.0 : row.slider.minimum, maximum = angle ? 180.0 : row.slider.maximum;
        const double shownDefault = angle ? 180.0 : row.slider.defaultValue - minimum;
        EXPECT_EQ(a["type"], "constant") << row.identifier;
        EXPECT_NEAR(std::strtod(a["factor"].c_str(), nullptr), maximum - minimum, 1e-6) << row.identifier;
        EXPECT_NEAR(def * (maximum - minimum), shownDefault, 1e-6) << row.identifier;
        EXPECT_NEAR(std::strtod(a["max"].c_str(), nullptr) - std::strtod(a["min"].c_str(), nullptr), maximum - minimum, 1e-5);
        // A range from elsewhere than 0 is shown from 0, and the label says what that stands for.
        EXPECT_EQ((*it)[2].str().find(" = ") != std::string::npos, minimum != 0.0) << (*it)[2];
      }
    }
  }
  EXPECT_EQ(n, rows.size());
}

TEST(EditorEffects, ShotcutPanelFollowsTheCatalogueUnderItsGroups) {
  const std::string meta = Shipped("shotcut/filters/threeway/meta_threeway.qml");
  EXPECT_NE(meta.find("mlt_service: 'frei0r.threeway'"), std::string::npos);
  EXPECT_NE(meta.find("qml: 'ui_threeway.qml'"), std::string::npos);
  const std::string ui = Shipped("shotcut/filters/threeway/ui_threeway.qml");
  static const std::regex entry(R"re(\{kind: '(\w+)', (name: '(\w+)', )?label: '([^']*)'([^}]*)\})re");
  static const std::regex number(R"re((\w+): (-?[0-9.e+-]+))re");
  const std::vector<const ParamSpec*> rows = ExpectedRows();
  std::map<std::string, std::string> headingOf;
  std::string heading;
  std::size_t n = 0;
  for (std::sregex_iterator it(ui.begin(), ui.end(), entry), end; it != end; ++it) {
    if ((*it)[1] == "heading") {
      heading = (*it)[4];
      continue;
    }
    ASSERT_LT(n, rows.size());
    const ParamSpec& row = *rows[n++];
    EXPECT_EQ((*it)[3].str(), row.identifier);
    headingOf[std::string(row.identifier)] = heading;
    const std::string rest = (*it)[5];
    std::map<std::string, double> v;
    for (std::sregex_iterator m(rest.begin(), rest.end(), number), e; m != e; ++m) v[(*m)[1]] = std::stod((*m)[2]);
    if (row.type == zkfx::kParamTypeFloatSlider || row.type == zkfx::kParamTypeAngle) {
      const bool angle = row.type == zkfx::kParamTypeAngle;
      EXPECT_EQ((*it)[1], "slider") << row.identifier;
      EXPECT_EQ(static_cast<float>(v["min"]), angle ? -180.0f : row.slider.minimum) << row.identifier;
      EXPECT_EQ(static_cast<float>(v["max"]), angle ? 180.0f : row.slider.maximum) << row.identifier;
      EXPECT_NEAR(v["min"] + v["value"] * (v["max"] - v["min"]), angle ? 0.0 : row.slider.defaultValue, 1e-6)
          << row.identifier;
    }
  }
  EXPECT_EQ(n, rows.size());
  // The groups of the effect's panel, the range balances and levels included.
  const std::pair<const char*, const char*> groups[] = {
      {"ViewMode", ""}, {"SplitViewPercent", "Split View"}, {"BlackBalance", "Three-Way Hue Balance and Angle"},
      {"ShowMask", "Secondary Color Correction"}, {"LumaStartThreshold", "Secondary Color Correction \u2014 Luma"},
      {"Invert", "Secondary Color Correction"}, {"ShadowBalanceAngle", "Shadows"}, {"MasterInputGrayLevel", "Master Levels"}};
  for (const auto& [name, group] : groups) EXPECT_EQ(headingOf[name], group) << name;
}

}  // namespace
