// threeway grade: grades a picture (or a stream of raw frames) with the effect, as a host does.
#include <cstring>
#include <optional>

#include "cli/command.h"
#include "cli/frame_io.h"
#include "cli/grader.h"
#include "cli/panel.h"
#include "cli/picture.h"

namespace threeway::cli {
namespace {

struct GradeRequest {
  SourceRequest input;
  SinkRequest output;
  std::optional<std::uint32_t> hostFormat;
  std::vector<PanelStep> steps;
  std::string savePreset;
  std::string compare;
};

std::uint32_t FormatArgument(const std::string& option, const std::string& text) {
  const std::optional<std::uint32_t> code = ParseFormatCode(text);
  if (!code) throw UsageError(option + ": \"" + text + "\" is not a host format; formats: " + FormatCodeList());
  return *code;
}

void SizeArgument(const std::string& option, const std::string& text, int& width, int& height) {
  unsigned long w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%lux%lu%c", &w, &h, &tail) != 2 || text[0] == '-' || w == 0 || h == 0 ||
      w > 1000000 || h > 1000000) {
    throw UsageError(option + " needs a size WxH (e.g. 1920x1080), got \"" + text + "\"");
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
}

GradeRequest ParseArguments(std::span<const std::string> arguments) {
  GradeRequest request;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    const auto value = [&](int n = 1) -> const std::string& {
      if (i + static_cast<std::size_t>(n) >= arguments.size()) {
        throw UsageError(option + " needs " + (n == 1 ? "a value" : std::to_string(n) + " values") +
                         " (see threeway help grade)");
      }
      return arguments[++i];
    };
    if (option == "-" || option.empty() || option[0] != '-') {
      positional.push_back(option);
    } else if (option == "--set") {
      request.steps.push_back(ParseSetOption(value()));
    } else if (option == "--press") {
      request.steps.push_back(ParsePressOption(value()));
    } else if (option == "--pick") {
      request.steps.push_back(ParsePickOption(value()));
    } else if (option == "--preset") {
      const std::vector<PanelStep> preset = LoadPreset(value());
      request.steps.insert(request.steps.end(), preset.begin(), preset.end());
    } else if (option == "--save-preset") {
      request.savePreset = value();
    } else if (option == "--render-scale") {
      request.steps.push_back(ParseRatioOption(PanelStep::Kind::kRenderScale, option, value()));
    } else if (option == "--pixel-aspect") {
      request.steps.push_back(ParseRatioOption(PanelStep::Kind::kPixelAspect, option, value()));
    } else if (option == "--format") {
      request.hostFormat = FormatArgument(option, value());
    } else if (option == "--raw-in") {
      request.input.rawFormat = FormatArgument(option, value(2));
      SizeArgument(option, value(), request.input.rawWidth, request.input.rawHeight);
    } else if (option == "--raw-out") {
      request.output.rawFormat = FormatArgument(option, value());
    } else if (option == "--compare") {
      request.compare = value();
    } else {
      throw UsageError("grade: unknown option " + option + " (see threeway help grade)");
    }
  }
  if (positional.size() != 2) {
    throw UsageError("grade needs INPUT and OUTPUT (got " + std::to_string(positional.size()) +
                     " file names; see threeway help grade)");
  }
  request.input.path = positional[0];
  request.output.path = positional[1];
  return request;
}

// Nothing the run writes may replace its input, and no two outputs may be the same file.
void CheckOutputs(const GradeRequest& request) {
  const std::string outputs[] = {request.output.path, request.compare, request.savePreset};
  for (std::size_t i = 0; i < 3; ++i) {
    if (outputs[i].empty()) continue;
    if (SameFile(outputs[i], request.input.path)) {
      throw ToolError("refusing to overwrite the input " + request.input.path + " with " + outputs[i]);
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (!outputs[j].empty() && SameFile(outputs[i], outputs[j])) {
        throw UsageError("two outputs are the same file: " + outputs[i]);
      }
    }
  }
}

int RunGrade(const Options& options, std::span<const std::string> arguments) {
  try {
    const GradeRequest request = ParseArguments(arguments);
    CheckOutputs(request);
    std::unique_ptr<FrameSource> source = OpenFrameSource(request.input);
    const FrameInfo& info = source->info();
    Picture frame;
    if (!source->Next(frame)) throw ToolError(request.input.path + " holds no frame");

    const std::uint32_t hostFormat = request.hostFormat.value_or(
        request.input.rawFormat ? *request.input.rawFormat : DefaultHostFormat(DepthOf(info.format)));
    Grader grader(options, info.width, info.height, hostFormat);
    grader.ApplyPanel(request.steps, frame);

    std::unique_ptr<FrameSink> sink = OpenFrameSink(request.output, info);
    Picture graded = Picture::Blank(info.width, info.height, sink->format());
    std::unique_ptr<FrameSink> compareSink;
    int frames = 0;
    do {
      grader.Grade(frame, graded);
      sink->Write(graded);
      if (!request.compare.empty() && frames == 0) {
        FrameInfo wide = info;
        wide.width *= 2;
        compareSink = OpenFrameSink({request.compare, std::nullopt}, wide);
        compareSink->Write(SideBySide(ConvertPicture(frame, compareSink->format()),
                                      ConvertPicture(graded, compareSink->format())));
      }
      ++frames;
    } while (source->Next(frame));

    sink->Finish();
    if (compareSink) compareSink->Finish();
    std::unique_ptr<PendingFile> preset;
    if (!request.savePreset.empty()) {
      preset = std::make_unique<PendingFile>(request.savePreset);
      preset->WriteAll(PresetJson(grader.host()));
    }
    // Everything is complete: only now do the outputs get their names.
    sink->Commit();
    if (compareSink) compareSink->Commit();
    if (preset) preset->Commit();
    return kExitOk;
  } catch (const ToolError& error) {
    if (error.what()[0] != '\0') PrintError(error.what());
    return error.exitCode();
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
    return kExitFailure;
  }
}

}  // namespace

const Command& GradeCommand() {
  static const Command command{
      "grade", "grade a picture or raw frames with the effect",
      R"(usage: threeway [--module PATH] grade INPUT OUTPUT [options]

Loads the effect as a host does, sets its panel from the options (applied in the order given),
and renders INPUT into OUTPUT. The pixels travel file layout -> host format -> effect -> host
format -> file layout; the host's image library does every conversion.

Files:
  INPUT, OUTPUT          image files: PNG, JPEG, TIFF, OpenEXR and the other formats OpenImageIO
                         reads and writes (chosen by the extension). 8-bit, 16-bit and float
                         (half or full) files keep their precision when the output format can
                         hold it (JPEG is 8-bit; PNG takes float as 16-bit). 1 to 4 channels:
                         grey is replicated to RGB; alpha is kept when the input has it (opaque
                         otherwise) and written only when the input had it.
  --raw-in CODE WxH      INPUT is raw frames: rows tightly packed, in one of the host formats
                         vuya Vuya VUya bgra Bgra BGra argb Argb ARgb (8-bit, 16-bit
                         little-endian, 32-bit float), one frame after another; each frame is
                         graded. A frame cut short is an error. "-" reads standard input.
  --raw-out CODE         OUTPUT is raw frames in CODE. "-" writes standard output.
  --format CODE          the host format the effect is handed (default: bgra for 8-bit input,
                         Bgra for 16-bit, BGra for float; a raw input's own code).
  --compare FILE         also write FILE: the input (left) and the graded picture (right) side by
                         side, for the first frame.

Panel (in the order given):
  --set NAME=VALUE       set a parameter by its identifier (see threeway params): float sliders
                         a number inside the slider's range; check boxes on/off, true/false,
                         yes/no or 1/0; popups the choice text or number; angles in degrees;
                         colours R,G,B (0..255). Buttons are pressed, not set.
  --press NAME           AutoBlackLevel, AutoContrast or AutoWhiteLevel: renders the input once
                         with the current values, presses the button (the effect writes the new
                         levels from that render's histogram); later renders use them.
  --pick NAME=X,Y        sets a colour parameter to the input pixel at X,Y (8-bit R,G,B of the
                         pixel; deeper pixels converted to 8 bits), as the eyedropper does: the
                         balance pickers (BlackBalance, GrayBalance, WhiteBalance) and level
                         pickers (BlackLevel, GrayLevel, WhiteLevel) set the values they drive.
  --preset FILE          sets the parameters a preset file holds (as --save-preset writes it).
  --render-scale R       the render scale a host passes (N/D or a decimal, e.g. 1/2 or 0.5).
  --pixel-aspect R       the pixel aspect ratio (e.g. 10/11). Both change the Soften blur size.
  --save-preset FILE     after everything else, writes every valued parameter as JSON:
                         {"MasterSaturation": 150, "ShowSplitView": false, "SplitViewLayout":
                         "Horizontal", "MasterHueAngle": 12.5, "WhiteBalance": [255, 255, 255],
                         ...}: floats and angles (degrees) as numbers, check boxes true/false,
                         popups the choice text, colours [R, G, B]. A preset restores values as
                         saved, also ones outside a slider's range that the effect itself wrote.

Outputs are written whole or not at all (a temporary file, renamed when everything succeeded);
the tool refuses to overwrite its input. Errors: one line on stderr; exit 1, or 2 for a wrong
command line.

Examples:
  threeway grade in.png out.png --set MasterSaturation=130 --set ShadowBalanceAngle=200 \
      --set ShadowBalanceMagnitude=30
  threeway grade in.tif out.tif --press AutoContrast --save-preset look.json
  threeway grade other.tif other_graded.tif --preset look.json
  threeway grade in.exr out.exr --pick GrayBalance=812,400 --set ShowSplitView=on \
      --set SplitViewLayout=Vertical
  threeway grade - - --raw-in Vuya 1920x1080 --raw-out Vuya --set MasterSaturation=0 <in.raw >out.raw
)",
      RunGrade};
  return command;
}

}  // namespace threeway::cli
