#include "cli/engine/lut_bake.h"

#include <charconv>
#include <cmath>

#include "cli/engine/grader.h"
#include "cli/engine/lattice.h"

namespace threeway::cli {
namespace {

// What a LUT cannot hold, each with the value the bake gives it: the split view is a place in the
// frame and Soften blurs the qualifier's mask across neighbouring pixels (the qualifier itself is
// a function of the colour and is baked, unsoftened); the three views show something other than
// the grade. The levels' dither, the one random part, is found by rendering (GradeLattice).
struct LeftOut {
  const char* neutral;  // as --set takes it
  const char* what;     // as the warning names it
};
constexpr LeftOut kLeftOut[] = {
    {"ShowSplitView=off", "the split view"},
    {"Soften=0", "Soften (the qualifier is baked unsoftened)"},
    {"ShowMask=off", "the mask view"},
    {"ShowTonalRange=off", "the tonal range view"},
    {"ViewMode=Video", "the luma-only output"},
};

bool Holds(const zkfx::ParamRecord& record, const PanelStep& step) {
  switch (step.type) {
    case zkfx::kParamTypeCheckBox: return (record.value.checkBox.current != 0) == (step.intValue != 0);
    case zkfx::kParamTypePopup: return record.value.popup.current == step.intValue;
    default: return record.value.floatSlider.current == step.floatValue;
  }
}

// Returns every setting of kLeftOut to its neutral value and names those that were not.
std::vector<std::string> LeaveOut(Grader& grader) {
  std::vector<std::string> named;
  std::vector<PanelStep> neutral;
  for (const LeftOut& item : kLeftOut) {
    neutral.push_back(ParseSetOption(item.neutral));
    const threeway::host::StoredParam* param = grader.host().Param(neutral.back().index);
    if (param != nullptr && !Holds(param->current, neutral.back())) named.emplace_back(item.what);
  }
  grader.ApplyPanel(neutral, Picture{});
  return named;
}

// One value of the file: six decimals (a 16-bit code is 1.5e-5). A value that is not finite (a
// panel dividing by zero, input black equal to input white) is written as a 16-bit output holds
// it: NaN as 0, infinities as the nearer end of 0..1; .cube readers take numbers only.
void AppendValue(std::string& text, float value) {
  double v = std::isnan(value) ? 0.0 : std::isinf(value) ? (value > 0 ? 1.0 : 0.0) : value;
  if (std::fabs(v) < 5e-7) v = 0.0;  // no "-0.000000"
  char digits[64];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, 6);
  text.append(digits, error == std::errc() ? end : digits);
}

std::string Number(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// The .cube text (the format ffmpeg, OpenColorIO and editors read): size and domain keywords,
// then one "R G B" line per lattice colour, red varying fastest.
std::string CubeText(const LatticeGrade& grade, const LutSettings& request, const std::string& title,
                     const std::vector<std::string>& leftOut) {
  std::string text = "# ThreeWayColorCorrector grade baked by threeway lut: each entry is the effect's render of the\n"
                     "# lattice colour.\n";
  if (!leftOut.empty()) text += "# Left out: " + JoinNames(leftOut) + ".\n";
  text += "TITLE \"" + title + "\"\nLUT_3D_SIZE " + std::to_string(grade.size) + "\n";
  if (request.domain) {
    const std::string min = Number(request.min), max = Number(request.max);
    text += "DOMAIN_MIN " + min + " " + min + " " + min + "\nDOMAIN_MAX " + max + " " + max + " " + max + "\n";
  }
  text.reserve(text.size() + grade.rgb.size() * 10);
  for (std::size_t i = 0; i < grade.rgb.size(); i += 3) {
    AppendValue(text, grade.rgb[i]);
    text += ' ';
    AppendValue(text, grade.rgb[i + 1]);
    text += ' ';
    AppendValue(text, grade.rgb[i + 2]);
    text += '\n';
  }
  return text;
}

std::string YamlString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string JoinNames(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

BakedLut BakeLut(const Options& options, std::span<const PanelStep> steps, const LutSettings& settings,
                 const std::string& title) {
  Grader grader(options, LatticeWidth(settings.size), LatticeHeight(settings.size), zkfx::kPixelFormatBGRA32f);
  grader.ApplyPanel(steps, Picture{});
  BakedLut baked;
  baked.leftOut = LeaveOut(grader);
  const auto refuse = [&] {
    if (settings.strict && !baked.leftOut.empty()) {
      throw ToolError("--strict: the LUT cannot hold " + JoinNames(baked.leftOut) + "; nothing written");
    }
  };
  refuse();
  // Under --strict two renders tell whether the levels dither; averaging is for the bake.
  const LatticeGrade grade =
      GradeLattice(grader, settings.size, settings.min, settings.max, settings.strict ? 2 : kDitherPasses);
  if (grade.dithered) {
    const std::string averaged = " (averaged over " + std::to_string(grade.passes) + " renders)";
    baked.leftOut.insert(baked.leftOut.begin(), "the levels' dither" + (settings.strict ? std::string() : averaged));
  }
  refuse();
  baked.cube = CubeText(grade, settings, title, baked.leftOut);
  return baked;
}

std::string OcioLookText(const std::string& look, const std::string& cubeName, const LutSettings& request) {
  const std::string name = YamlString(look);
  return "# OpenColorIO look " + name + ": the ThreeWayColorCorrector grade in " + cubeName +
         ", written by threeway lut.\n"
         "# Use it as it is (oiiotool --colorconfig THIS_FILE IN --ociolook:from=video:to=video " + name +
         " -o OUT),\n"
         "# or copy the look below into your own config: set its process_space to the colour space of the\n"
         "# video the grade was made on (the effect grades the R'G'B' code values as they are) and put\n"
         "# " + cubeName + " on that config's search_path.\n"
         "ocio_profile_version: 1\n"
         "search_path: \".\"\n"
         "strictparsing: true\n"
         "luma: [0.299, 0.587, 0.114]\n"
         "roles:\n"
         "  default: video\n"
         "  reference: video\n"
         "  scene_linear: video\n"
         "  color_picking: video\n"
         "  color_timing: video\n"
         "  compositing_log: video\n"
         "  data: video\n"
         "  matte_paint: video\n"
         "  texture_paint: video\n"
         "displays:\n"
         "  video:\n"
         "    - !<View> {name: graded, colorspace: video, looks: " + name + "}\n"
         "    - !<View> {name: ungraded, colorspace: video}\n"
         "active_displays: []\n"
         "active_views: []\n"
         "looks:\n"
         "  - !<Look>\n"
         "    name: " + name + "\n"
         "    process_space: video\n"
         "    transform: !<FileTransform> {src: " + YamlString(cubeName) + ", interpolation: tetrahedral}\n"
         "colorspaces:\n"
         "  - !<ColorSpace>\n"
         "    name: video\n"
         "    family: \"\"\n"
         "    equalitygroup: \"\"\n"
         "    bitdepth: 32f\n"
         "    description: R'G'B' code values as the effect grades them\n"
         "    isdata: false\n"
         "    allocation: uniform\n"
         "    allocationvars: [" + Number(request.min) + ", " + Number(request.max) + "]\n";
}

}  // namespace threeway::cli
