// threeway grade: grades a picture (or a stream of raw frames) with the effect, as a host does.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/frame_at.h"
#include "cli/engine/grade_file.h"
#include "cli/engine/interrupt.h"
#include "cli/media/frame_io.h"
#include "cli/panel/panel.h"

namespace threeway::cli {

// --frames A-B, A- or -B: frame numbers from 0, both ends included.
void FramesArgument(const std::string& option, const std::string& text, SourceRequest& input) {
  const std::size_t dash = text.find('-');
  const auto number = [&](const std::string& part, std::int64_t& value) {
    if (part.empty()) return true;
    if (part.size() > 12 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoll(part);
    return true;
  };
  std::int64_t first = 0, last = -1;
  if (dash == std::string::npos || text == "-" || !number(text.substr(0, dash), first) ||
      !number(text.substr(dash + 1), last) || (last >= 0 && last < first)) {
    throw UsageError(option + " needs a frame range A-B, A- or -B (frame numbers from 0, both ends included), got " +
                     Quoted(text));
  }
  input.firstFrame = first;
  input.lastFrame = last;
}

namespace {

struct GradeRequest {
  GradeJob job;
  std::string outputDir;             // batch: every positional argument is an input
  std::vector<std::string> inputs;   // batch inputs
};

using Values = std::span<const std::string>;

// grade's options, applying to `request`.
std::vector<Option> GradeOptions(GradeRequest& request) {
  std::vector<Option> options = {
      {"Files", "--raw-in", "CODE WxH",
       "INPUT is raw frames: rows tightly packed, in one of the host formats vuya Vuya VUya bgra Bgra BGra argb Argb "
       "ARgb (8-bit, 16-bit little-endian, 32-bit float), one frame after another; each frame is graded. A frame cut "
       "short is an error. \"-\" reads standard input.",
       [&](const std::string& o, Values v) { RawInputArgument(o, v, request.job.input); }},
      {"Files", "--raw-out", "CODE", "OUTPUT is raw frames in CODE. \"-\" writes standard output.",
       [&](const std::string& o, Values v) { request.job.output.rawFormat = FormatArgument(o, v[0]); }},
      {"Files", "--format", "CODE",
       "the host format the effect is handed (default: bgra for 8-bit input, Bgra for 16-bit, BGra for float; a raw "
       "input's own code).",
       [&](const std::string& o, Values v) { request.job.hostFormat = FormatArgument(o, v[0]); }},
      {"Files", "--compare", "FILE",
       "also write FILE: the input (left) and the graded picture (right) side by side, for the first frame, with a "
       "thin divider and \"before\" / \"after\" labels.",
       [&](const std::string&, Values v) { request.job.compare = v[0]; }},
      {"Video", "--frames", "A-B",
       "grade frames A to B only (numbers from 0, both included; A- to the end, -B from the start). The output starts "
       "at time 0, with a key frame, and carries the audio of the frames' span.",
       [&](const std::string& o, Values v) { FramesArgument(o, v[0], request.job.input); }},
      {"Frames", "--threads", "N",
       "grade frames on N worker threads, each with its own effect instance (default: one per core); frames are "
       "written in order and the output is the same for every N. 1 grades on the main thread. The frames in flight stay "
       "within 1 GiB, so large frames may get fewer workers than N.",
       [&](const std::string&, Values v) { request.job.threads = ThreadsArgument(v[0]); }},
      {"Frames", "--at", "FRAME|TIME",
       "the frame presses and picks act on (default the first): a frame number counted from 0, or a time for sources "
       "with a frame rate: seconds with a point or an \"s\" (2.5, 3s) or M:SS / H:MM:SS with fractions (1:02.5). The "
       "values they give then grade every frame. Without presses or picks it changes nothing.",
       [&](const std::string&, Values v) { request.job.at = ParseFramePosition(v[0]); }},
      {"Batch", "--output-dir", "DIR",
       "every file name given is an INPUT, graded with the same options into DIR under its own file name (DIR is "
       "created when missing). Presses and picks are evaluated on each input's own --at frame. An input that fails is "
       "reported and the others are still graded; exit 1 if any failed. Refused before anything is graded: an output "
       "that would replace any input, two inputs with one file name, standard input, and --save-preset or --compare "
       "with more than one input.",
       [&](const std::string&, Values v) {
         request.outputDir = v[0];
         if (request.outputDir.empty()) throw UsageError("--output-dir needs a directory");
       }},
  };
  // The encoder's options follow --frames, under the same heading.
  std::vector<Option> video = VideoOutputOptions(request.job.output, "Video");
  const auto frames = std::find_if(options.begin(), options.end(), [](const Option& o) { return o.name == "--frames"; });
  options.insert(frames + 1, std::make_move_iterator(video.begin()), std::make_move_iterator(video.end()));
  for (Option& option : OverwriteOptions(request.job.output.overwrite, "Files")) options.push_back(std::move(option));
  for (Option& option : PanelOptions(request.job.steps, "Panel (in the order given)")) options.push_back(std::move(option));
  options.push_back({"Panel (in the order given)", "--save-preset", "FILE",
                     "after everything else, writes every valued parameter as JSON: floats and angles (degrees) as "
                     "numbers, check boxes true/false, popups the choice text, colours [R, G, B]. A preset restores "
                     "values as saved, also ones outside a slider's range that the effect itself wrote.",
                     [&](const std::string&, Values v) { request.job.savePreset = v[0]; }});
  return options;
}

GradeRequest ParseArguments(std::span<const std::string> arguments) {
  GradeRequest request;
  const std::vector<std::string> positional = ParseOptions(arguments, GradeOptions(request), "grade");
  if (!request.outputDir.empty()) {
    if (positional.empty()) throw UsageError("--output-dir DIR needs at least one INPUT (see threeway help grade)");
    for (const std::string& input : positional) {
      if (input == "-") throw UsageError("--output-dir grades files; standard input cannot be one of the inputs");
    }
    if (positional.size() > 1 && !request.job.savePreset.empty()) {
      throw UsageError("--save-preset with several inputs: presses and picks give each input its own values; "
                       "save the preset from one input");
    }
    if (positional.size() > 1 && !request.job.compare.empty()) {
      throw UsageError("--compare writes one picture: give it with a single input");
    }
    request.inputs = positional;
    return request;
  }
  if (positional.size() != 2) {
    throw UsageError("needs INPUT and OUTPUT, or --output-dir DIR and INPUT... (got " +
                     std::to_string(positional.size()) + " file names; see threeway help grade)");
  }
  request.job.input.path = positional[0];
  request.job.output.path = positional[1];
  if (request.job.output.crf && request.job.output.bitrate) throw UsageError("--crf and --bitrate exclude each other");
  return request;
}

// --output-dir: each input graded into DIR under its own file name, with the same panel. A failing
// input is reported and the others are still graded.
int RunBatch(const Options& options, const GradeRequest& request) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(request.outputDir, error);
  if (error || !fs::is_directory(request.outputDir)) {
    throw ToolError("cannot use " + request.outputDir + " as the output directory: " +
                    (error ? error.message() : "it is not a directory"));
  }
  std::vector<std::string> outputs;
  for (const std::string& input : request.inputs) {
    const fs::path name = fs::path(input).filename();
    if (name.empty() || name == "." || name == "..") throw UsageError("--output-dir: \"" + input + "\" names no file");
    outputs.push_back((fs::path(request.outputDir) / name).string());
  }
  // Checked for every input before any is graded: no output may land on any input, and no two
  // inputs may share a file name (their outputs would).
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = 0; j < request.inputs.size(); ++j) {
      RefuseToOverwriteInput(request.inputs[j], outputs[i], "choose another --output-dir");
      if (j < i && SameFile(outputs[i], outputs[j])) {
        throw UsageError("--output-dir: " + request.inputs[j] + " and " + request.inputs[i] + " would both write " +
                         outputs[i]);
      }
    }
  }
  int failed = 0;
  for (std::size_t i = 0; i < request.inputs.size(); ++i) {
    GradeRequest one = request;
    one.job.input.path = request.inputs[i];
    one.job.output.path = outputs[i];
    try {
      CheckOutputs(one.job);
      GradeFile(options, one.job,
                "[" + std::to_string(i + 1) + "/" + std::to_string(request.inputs.size()) + "] " + one.job.input.path);
    } catch (const ToolError& failure) {
      if (InterruptSignal() != 0) throw InterruptError(InterruptSignal());
      const std::string text = failure.what();
      if (!text.empty()) PrintError(text.find(one.job.input.path) == std::string::npos ? one.job.input.path + ": " + text : text);
      ++failed;
    }
  }
  if (failed == 0) return kExitOk;
  throw ToolError(std::to_string(failed) + " of " + std::to_string(request.inputs.size()) +
                  " inputs failed; the others are in " + request.outputDir);
}

int RunGrade(const Options& options, std::span<const std::string> arguments) {
  const GradeRequest request = ParseArguments(arguments);
  if (!request.outputDir.empty()) return RunBatch(options, request);
  CheckOutputs(request.job);
  GradeFile(options, request.job, "");
  return kExitOk;
}

// The declared options, written by `write` (the usage text or the Markdown table); none is applied.
std::string DescribeGradeOptions(std::string (*write)(const std::vector<Option>&)) {
  GradeRequest unused;
  return write(GradeOptions(unused));
}

std::string GradeHelp() {
  return R"(usage: threeway [--module PATH] grade INPUT OUTPUT [options]
       threeway [--module PATH] grade --output-dir DIR INPUT... [options]

Loads the effect as a host does, sets its panel from the options (applied in the order given),
and renders INPUT into OUTPUT. The pixels travel file layout -> host format -> effect -> host
format -> file layout; the host's image library does every conversion.

INPUT and OUTPUT are image files: PNG, JPEG, TIFF, OpenEXR and the other formats OpenImageIO
reads and writes (chosen by the extension). 8-bit, 16-bit and float (half or full) files keep
their precision when the output format can hold it (JPEG is 8-bit; PNG takes float as 16-bit).
1 to 4 channels: grey is replicated to RGB; alpha is kept when the input has it (opaque
otherwise) and written only when the input had it.

Video (.mov .mp4 .m4v .mkv .avi .webm .mxf .y4m .mpg .ts .m2ts .flv .ogv .nut .dv .3gp, through
FFmpeg): every frame is decoded, converted to RGB with the source's own matrix, range and chroma
siting (untagged: BT.709 from 1280 wide or above 576 lines, else BT.601; limited range), handed
to the effect as bgra (8-bit sources) or Bgra (deeper), converted back with the same and encoded.
Timestamps, frame rate, pixel aspect and colour tags are kept; audio streams are copied as they
are (not re-encoded). Default codecs: .mp4 .mkv .avi and 8-bit .mov: libx264 CRF 18 preset
medium, 10-bit for deeper sources; deeper .mov: ProRes 422 HQ (4444 for 4:4:4); .webm:
libvpx-vp9 CRF 30; .y4m: raw; .3gp: MPEG-4 part 2; the others their container's own (MPEG-1 for
.mpg, MPEG-2 for .ts .m2ts .mxf, Theora for .ogv, FLV1 for .flv, DV for .dv, which holds 720x576
at 25 fps or 720x480 at 29.97 only). The pixel format is the codec's nearest to the source's.

)" + DescribeGradeOptions(OptionsUsage) +
         R"(
Outputs are written whole or not at all (a temporary file, synced and renamed when everything
succeeded; a full disk is an error and the previous file stays). An existing output file is
replaced only with -y, keeping its permissions; a symbolic link is written through to its target;
a device, pipe or socket is written in place. The tool never overwrites its input. On a terminal a progress line on stderr shows the frames
done, frames per second and (when the total is known) the time left; elsewhere nothing is printed.
Ctrl-C (SIGINT), SIGTERM, SIGHUP or SIGQUIT stops after the frame in hand, removes unfinished
outputs and exits with 128 + the signal's number (130 for Ctrl-C). Errors: one line on stderr, "threeway grade: ..."; exit 1, or 2 for a wrong
command line.

Examples:
  threeway grade in.png out.png --set MasterSaturation=130 --set ShadowBalanceAngle=200 \
      --set ShadowBalanceMagnitude=30
  threeway grade in.tif out.tif --press AutoContrast --save-preset look.json
  threeway grade other.tif other_graded.tif --preset look.json
  threeway grade in.exr out.exr --pick GrayBalance=812,400 --set ShowSplitView=on \
      --set SplitViewLayout=Vertical
  threeway grade clip.raw graded.raw --raw-in bgra 1920x1080 --raw-out bgra --threads 2 \
      --press AutoContrast --at 48
  threeway grade --output-dir graded shots/*.tif --preset look.json
  threeway grade - - --raw-in Vuya 1920x1080 --raw-out Vuya --set MasterSaturation=0 <in.raw >out.raw
  threeway grade clip.mov graded.mp4 --preset look.json --crf 16
  threeway grade clip.mov part3.mp4 --frames 200-299 --preset look.json --no-audio
)";
}

}  // namespace

const Command& GradeCommand() {
  static const Command command{"grade", "grade a picture or raw frames with the effect", GradeHelp,
                               [] { return DescribeGradeOptions(OptionsMarkdown); }, RunGrade,
                               [](std::span<const std::string> arguments) { ParseArguments(arguments); }};
  return command;
}

}  // namespace threeway::cli
