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
#include "cli/engine/interrupt.h"
#include "cli/engine/lut_bake.h"
#include "cli/media/pending_file.h"
#include "cli/panel/panel.h"

namespace threeway::cli {
namespace {

struct LutRequest {
  std::vector<PanelStep> steps;
  std::string output;
  LutSettings lut;
  bool ocio = false;
  Overwrite overwrite = Overwrite::kRefuse;
};

// A number in its shortest form that reads back to the same double.
std::string ShortNumber(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

int LutSizeArgument(const std::string& option, const std::string& text) {
  int size = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || size < kMinLutSize || size > kMaxLutSize) {
    throw UsageError(option + " needs a whole number of points a side, " + std::to_string(kMinLutSize) + " to " +
                     std::to_string(kMaxLutSize) + ", got " + Quoted(text));
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
    throw UsageError(option + " widens the input range 0..1: MIN at most 0, MAX at least 1, got " +
                     ShortNumber(bounds[0]) + " " + ShortNumber(bounds[1]));
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
       [&](const std::string& o, Values v) { request.lut.size = LutSizeArgument(o, v[0]); }},
      {"LUT", "--domain", "MIN MAX",
       "the input range on each channel, for float footage beyond 0..1 (MIN at most 0, MAX at least 1; default 0 "
       "1): the lattice spans it evenly and the file says so with DOMAIN_MIN and DOMAIN_MAX. OpenColorIO reads "
       "both; ffmpeg's lut3d (5.1) reads DOMAIN_MAX and takes DOMAIN_MIN as 0, so keep MIN at 0 for ffmpeg.",
       [&](const std::string& o, Values v) {
         std::tie(request.lut.min, request.lut.max) = DomainArgument(o, v);
         request.lut.domain = true;
       }},
      {"LUT", "--strict", "",
       "refuse (exit 1, nothing written) when the panel has anything the LUT cannot hold, instead of leaving it "
       "out with a warning.",
       [&](const std::string&, Values) { request.lut.strict = true; }},
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
    throw UsageError("OUTPUT is a .cube file, got " + Quoted(request.output));
  }
  return request;
}

int RunLut(const Options& options, std::span<const std::string> arguments) {
  namespace fs = std::filesystem;
  const LutRequest request = ParseArguments(arguments);

  const fs::path output(request.output);
  const std::string look = output.stem().string();
  std::string title = look;
  for (char& c : title) c = c == '"' ? '\'' : c;  // TITLE "..." has no escapes
  const BakedLut baked = BakeLut(options, request.steps, request.lut, title);
  PendingFile cube(request.output, request.overwrite);
  cube.WriteAll(baked.cube);
  std::unique_ptr<PendingFile> ocio;
  if (request.ocio) {
    ocio = std::make_unique<PendingFile>(fs::path(output).replace_extension(".ocio").string(), request.overwrite);
    ocio->WriteAll(OcioLookText(look, output.filename().string(), request.lut));
  }
  if (!baked.leftOut.empty()) PrintError("warning: left out of the LUT: " + JoinNames(baked.leftOut));
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
