// threeway lut: bakes a panel into a 3D LUT (.cube), and optionally an OpenColorIO look that applies
// it. The effect renders a lattice of colours through the host (cli/engine/lattice.h), so every
// entry is the effect's own arithmetic; what a LUT cannot hold is left out and named.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <tuple>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/grader.h"
#include "cli/engine/interrupt.h"
#include "cli/engine/lattice.h"
#include "cli/media/pending_file.h"
#include "cli/panel/panel.h"

namespace threeway::cli {
namespace {

constexpr int kMinSize = 17, kMaxSize = 129, kDefaultSize = 33;

struct LutRequest {
  std::vector<PanelStep> steps;
  std::string output;
  int size = kDefaultSize;
  double min = 0.0, max = 1.0;
  bool domain = false;  // --domain given: the file names its input range
  bool strict = false;
  bool ocio = false;
  Overwrite overwrite = Overwrite::kRefuse;
};

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

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
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
std::string CubeText(const LatticeGrade& grade, const LutRequest& request, const std::string& title,
                     const std::vector<std::string>& leftOut) {
  std::string text = "# ThreeWayColorCorrector grade baked by threeway lut: each entry is the effect's render of the\n"
                     "# lattice colour.\n";
  if (!leftOut.empty()) text += "# Left out: " + Join(leftOut) + ".\n";
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

// An OpenColorIO config holding one look that applies the .cube (tetrahedral), with one colour
// space for the video as the effect grades it. Usable as it is, and a fragment to copy into a
// studio config (its comment says how).
std::string OcioText(const std::string& look, const std::string& cubeName, const LutRequest& request) {
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

}  // namespace

int LutSizeArgument(const std::string& option, const std::string& text) {
  int size = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || size < kMinSize || size > kMaxSize) {
    throw UsageError(option + " needs a whole number of points a side, " + std::to_string(kMinSize) + " to " +
                     std::to_string(kMaxSize) + ", got " + Quoted(text));
  }
  return size;
}

std::pair<double, double> DomainArgument(const std::string& option, std::span<const std::string> values) {
  double bounds[2];
  for (int i = 0; i < 2; ++i) {
    const std::string& text = values[static_cast<std::size_t>(i)];
    char* end = nullptr;
    bounds[i] = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(bounds[i])) {
      throw UsageError(option + " needs two numbers MIN MAX, got " + Quoted(text));
    }
  }
  if (!(bounds[0] <= 0.0 && bounds[1] >= 1.0)) {
    // The numbers as read (shortest form), not the text: a text may be of any length.
    throw UsageError(option + " widens the input range 0..1: MIN at most 0, MAX at least 1, got " + Number(bounds[0]) +
                     " " + Number(bounds[1]));
  }
  return {bounds[0], bounds[1]};
}

namespace {

using Values = std::span<const std::string>;

std::vector<Option> LutOptions(LutRequest& request) {
  std::vector<Option> options;
  // The panel as grade sets it; presses and picks need a picture (see the help).
  for (Option& option : PanelOptions(request.steps, "Panel (in the order given)")) {
    if (option.name == "--set" || option.name == "--preset") options.push_back(std::move(option));
  }
  const std::vector<Option> own = {
      {"LUT", "--size", "N",
       "points a side of the lattice, 17 to 129 (default 33): the file holds N^3 colours, red varying fastest.",
       [&](const std::string& o, Values v) { request.size = LutSizeArgument(o, v[0]); }},
      {"LUT", "--domain", "MIN MAX",
       "the input range on each channel, for float footage beyond 0..1 (MIN at most 0, MAX at least 1; default 0 "
       "1): the lattice spans it evenly and the file says so with DOMAIN_MIN and DOMAIN_MAX. OpenColorIO reads "
       "both; ffmpeg's lut3d (5.1) reads DOMAIN_MAX and takes DOMAIN_MIN as 0, so keep MIN at 0 for ffmpeg.",
       [&](const std::string& o, Values v) {
         std::tie(request.min, request.max) = DomainArgument(o, v);
         request.domain = true;
       }},
      {"LUT", "--strict", "",
       "refuse (exit 1, nothing written) when the panel has anything the LUT cannot hold, instead of leaving it "
       "out with a warning.",
       [&](const std::string&, Values) { request.strict = true; }},
      {"LUT", "--ocio", "",
       "also write an OpenColorIO config beside OUTPUT (NAME.ocio for NAME.cube) with a look NAME that applies "
       "the LUT.",
       [&](const std::string&, Values) { request.ocio = true; }},
  };
  options.insert(options.end(), own.begin(), own.end());
  for (Option& option : OverwriteOptions(request.overwrite, "LUT")) options.push_back(std::move(option));
  return options;
}

bool EndsWithCube(const std::string& path) {
  if (path.size() < 5) return false;
  std::string ending = path.substr(path.size() - 5);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".cube";
}

LutRequest ParseArguments(std::span<const std::string> arguments) {
  LutRequest request;
  const std::vector<std::string> positional = ParseOptions(arguments, LutOptions(request), "lut");
  if (positional.size() != 1) {
    throw UsageError("needs one OUTPUT (got " + std::to_string(positional.size()) +
                     " file names; see threeway help lut)");
  }
  request.output = positional[0];
  if (!EndsWithCube(request.output) || std::filesystem::path(request.output).stem().empty()) {
    throw UsageError("OUTPUT is a .cube file, got \"" + request.output + "\"");
  }
  return request;
}

int RunLut(const Options& options, std::span<const std::string> arguments) {
  namespace fs = std::filesystem;
  const LutRequest request = ParseArguments(arguments);

  Grader grader(options, LatticeWidth(request.size), LatticeHeight(request.size), zkfx::kPixelFormatBGRA32f);
  grader.ApplyPanel(request.steps, Picture{});
  std::vector<std::string> leftOut = LeaveOut(grader);
  const auto refuse = [&] {
    if (request.strict && !leftOut.empty()) {
      throw ToolError("--strict: the LUT cannot hold " + Join(leftOut) + "; nothing written");
    }
  };
  refuse();
  // Under --strict two renders tell whether the levels dither; averaging is for the bake.
  const LatticeGrade grade = GradeLattice(grader, request.size, request.min, request.max,
                                          request.strict ? 2 : kDitherPasses);
  if (grade.dithered) {
    const std::string averaged = " (averaged over " + std::to_string(grade.passes) + " renders)";
    leftOut.insert(leftOut.begin(), "the levels' dither" + (request.strict ? std::string() : averaged));
  }
  refuse();

  const fs::path output(request.output);
  const std::string look = output.stem().string();
  std::string title = look;
  for (char& c : title) c = c == '"' ? '\'' : c;  // TITLE "..." has no escapes
  PendingFile cube(request.output, request.overwrite);
  cube.WriteAll(CubeText(grade, request, title, leftOut));
  std::unique_ptr<PendingFile> ocio;
  if (request.ocio) {
    ocio = std::make_unique<PendingFile>(fs::path(output).replace_extension(".ocio").string(), request.overwrite);
    ocio->WriteAll(OcioText(look, output.filename().string(), request));
  }
  if (!leftOut.empty()) PrintError("warning: left out of the LUT: " + Join(leftOut));
  ThrowIfInterrupted();
  cube.Commit();
  if (ocio) ocio->Commit();
  return kExitOk;
}

// The declared options, written by `write` (the usage text or the Markdown table); none is applied.
std::string DescribeLutOptions(std::string (*write)(const std::vector<Option>&)) {
  LutRequest unused;
  return write(LutOptions(unused));
}

std::string LutHelp() {
  return R"(usage: threeway [--module PATH] lut OUTPUT.cube [options]

Bakes the panel (set as for grade) into a 3D LUT in the .cube format, which ffmpeg (lut3d),
OpenColorIO, OpenImageIO, editors and monitors read. The effect renders a lattice of N^3 colours
through the host as one float frame (BGra: nothing rounded on the way in or out), so each entry
is the effect's own grade of that colour; players interpolate between them.

The LUT holds what is a function of the pixel's own colour: the primary grade and the qualifier,
unsoftened. Left out, and named in one warning line on stderr: the split view, Soften, the mask
and tonal range views, the luma-only output, and the dither that moved levels add (the entries
are then the mean of 64 renders, each colour drawing 64 dither values). --strict refuses instead.
A panel that leaves the grade alone writes the identity LUT (on 0..1: the effect takes luma
below 0 to black). Values are written with six decimals and are not clamped (float footage keeps
what the effect gives beyond 0..1); one that is not a number is written as 0, an infinity as 0
or 1.

Presses and picks act on a picture: grade one with --save-preset FILE, then bake with
--preset FILE.

)" + DescribeLutOptions(OptionsUsage) +
         R"(
The files appear whole or not at all (written under a temporary name, renamed when complete); an
existing file is replaced only with -y.
Errors: one line on stderr, "threeway lut: ..."; exit 1, or 2 for a wrong command line.

Examples:
  threeway lut warm.cube --preset warm.json
  threeway lut teal.cube --set MasterSaturation=130 --set ShadowBalanceAngle=200 \
      --set ShadowBalanceMagnitude=30 --size 65 --ocio
  ffmpeg -i in.png -vf lut3d=file=warm.cube:interp=tetrahedral out.png
  oiiotool --colorconfig teal.ocio in.exr --ociolook:from=video:to=video teal -o out.exr
  threeway lut float.cube --preset warm.json --domain 0 4
)";
}

}  // namespace

const Command& LutCommand() {
  static const Command command{"lut", "bake the panel into a 3D LUT (.cube)", LutHelp,
                               [] { return DescribeLutOptions(OptionsMarkdown); }, RunLut,
                               [](std::span<const std::string> arguments) { ParseArguments(arguments); }};
  return command;
}

}  // namespace threeway::cli
