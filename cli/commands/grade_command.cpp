// threeway grade: grades a picture (or a stream of raw frames) with the effect, as a host does.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/frame_at.h"
#include "cli/media/frame_io.h"
#include "cli/engine/grader.h"
#include "cli/engine/interrupt.h"
#include "cli/panel/panel.h"
#include "cli/scopes/scopes.h"
#include "cli/media/picture.h"
#include "cli/engine/progress.h"
#include "cli/engine/worker_pool.h"

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

// --bitrate 8M, 2500k or 800000 (bits per second).
std::int64_t BitrateArgument(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  double scale = 1;
  const std::string suffix = end ? std::string(end) : std::string();
  if (suffix == "k" || suffix == "K") scale = 1e3;
  else if (suffix == "M" || suffix == "m") scale = 1e6;
  else if (!suffix.empty()) scale = 0;
  if (end == text.c_str() || scale == 0 || !(value * scale >= 1000) || value * scale > 1e10) {
    throw UsageError(option + " needs a bit rate of at least 1000 bits per second (e.g. 8M, 2500k), got " +
                     Quoted(text));
  }
  return static_cast<std::int64_t>(value * scale + 0.5);
}

int ThreadsArgument(const std::string& text) {
  char* end = nullptr;
  const long threads = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || threads < 1 || threads > 256) {
    throw UsageError("--threads needs a number of worker threads 1 .. 256, got " + Quoted(text));
  }
  return static_cast<int>(threads);
}

int CrfArgument(const std::string& option, const std::string& text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > 63) {
    throw UsageError(option + " needs a whole number from 0 to 63 (the codec's constant-quality scale), got " +
                     Quoted(text));
  }
  return std::stoi(text);
}

namespace {

struct GradeRequest {
  SourceRequest input;
  SinkRequest output;
  std::optional<std::uint32_t> hostFormat;
  std::vector<PanelStep> steps;
  std::string savePreset;
  std::string compare;
  int threads = 0;                   // 0: one per core
  std::optional<FramePosition> at;   // the frame presses and picks act on (default the first)
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
       [&](const std::string& o, Values v) { RawInputArgument(o, v, request.input); }},
      {"Files", "--raw-out", "CODE", "OUTPUT is raw frames in CODE. \"-\" writes standard output.",
       [&](const std::string& o, Values v) { request.output.rawFormat = FormatArgument(o, v[0]); }},
      {"Files", "--format", "CODE",
       "the host format the effect is handed (default: bgra for 8-bit input, Bgra for 16-bit, BGra for float; a raw "
       "input's own code).",
       [&](const std::string& o, Values v) { request.hostFormat = FormatArgument(o, v[0]); }},
      {"Files", "--compare", "FILE",
       "also write FILE: the input (left) and the graded picture (right) side by side, for the first frame, with a "
       "thin divider and \"before\" / \"after\" labels.",
       [&](const std::string&, Values v) { request.compare = v[0]; }},
      {"Video", "--frames", "A-B",
       "grade frames A to B only (numbers from 0, both included; A- to the end, -B from the start). The output starts "
       "at time 0, with a key frame, and carries the audio of the frames' span.",
       [&](const std::string& o, Values v) { FramesArgument(o, v[0], request.input); }},
      {"Video", "--codec", "NAME", "an FFmpeg video encoder (ffmpeg -encoders), e.g. libx265, prores_ks, ffv1.",
       [&](const std::string&, Values v) { request.output.codec = v[0]; }},
      {"Video", "--crf", "N", "constant quality (libx264, libx265, libvpx-vp9; lower is better).",
       [&](const std::string& o, Values v) { request.output.crf = CrfArgument(o, v[0]); }},
      {"Video", "--bitrate", "RATE", "target bit rate, e.g. 8M or 2500k (instead of constant quality).",
       [&](const std::string& o, Values v) { request.output.bitrate = BitrateArgument(o, v[0]); }},
      {"Video", "--no-audio", "", "leave the source's audio out.",
       [&](const std::string&, Values) { request.output.audio = false; }},
      {"Frames", "--threads", "N",
       "grade frames on N worker threads, each with its own effect instance (default: one per core); frames are "
       "written in order and the output is the same for every N. 1 grades on the main thread. The frames in flight stay "
       "within 1 GiB, so large frames may get fewer workers than N.",
       [&](const std::string&, Values v) { request.threads = ThreadsArgument(v[0]); }},
      {"Frames", "--at", "FRAME|TIME",
       "the frame presses and picks act on (default the first): a frame number counted from 0, or a time for sources "
       "with a frame rate: seconds with a point or an \"s\" (2.5, 3s) or M:SS / H:MM:SS with fractions (1:02.5). The "
       "values they give then grade every frame. Without presses or picks it changes nothing.",
       [&](const std::string&, Values v) { request.at = ParseFramePosition(v[0]); }},
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
  for (Option& option : OverwriteOptions(request.output.overwrite, "Files")) options.push_back(std::move(option));
  for (Option& option : PanelOptions(request.steps, "Panel (in the order given)")) options.push_back(std::move(option));
  options.push_back({"Panel (in the order given)", "--save-preset", "FILE",
                     "after everything else, writes every valued parameter as JSON: floats and angles (degrees) as "
                     "numbers, check boxes true/false, popups the choice text, colours [R, G, B]. A preset restores "
                     "values as saved, also ones outside a slider's range that the effect itself wrote.",
                     [&](const std::string&, Values v) { request.savePreset = v[0]; }});
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
    if (positional.size() > 1 && !request.savePreset.empty()) {
      throw UsageError("--save-preset with several inputs: presses and picks give each input its own values; "
                       "save the preset from one input");
    }
    if (positional.size() > 1 && !request.compare.empty()) {
      throw UsageError("--compare writes one picture: give it with a single input");
    }
    request.inputs = positional;
    return request;
  }
  if (positional.size() != 2) {
    throw UsageError("needs INPUT and OUTPUT, or --output-dir DIR and INPUT... (got " +
                     std::to_string(positional.size()) + " file names; see threeway help grade)");
  }
  request.input.path = positional[0];
  request.output.path = positional[1];
  if (request.output.crf && request.output.bitrate) throw UsageError("--crf and --bitrate exclude each other");
  return request;
}

// Nothing the run writes may replace its input, and no two outputs may be the same file.
void CheckOutputs(const GradeRequest& request) {
  const std::string outputs[] = {request.output.path, request.compare, request.savePreset};
  for (std::size_t i = 0; i < 3; ++i) {
    if (outputs[i].empty()) continue;
    RefuseToOverwriteInput(request.input.path, outputs[i]);
    for (std::size_t j = 0; j < i; ++j) {
      if (!outputs[j].empty() && SameFile(outputs[i], outputs[j])) {
        throw UsageError("two outputs are the same file: " + outputs[i]);
      }
    }
  }
}

bool ActsOnAFrame(const std::vector<PanelStep>& steps) {
  for (const PanelStep& step : steps) {
    if (step.kind == PanelStep::Kind::kPress || step.kind == PanelStep::Kind::kPick) return true;
  }
  return false;
}

// Grades one input into its output (and the comparison and preset). `label` leads the progress
// line. Throws ToolError; whatever was not committed is removed on the way out.
void GradeFile(const Options& options, const GradeRequest& request, const std::string& label) {
  // Presses and picks act on the --at frame; the whole source is graded with their result.
  OpenedInput opened = OpenInputAt(request.input, ActsOnAFrame(request.steps) ? request.at : std::nullopt);
  FrameSource& source = *opened.source;
  const FrameInfo& info = source.info();
  const std::uint32_t hostFormat = request.hostFormat.value_or(
      request.input.rawFormat ? *request.input.rawFormat : DefaultHostFormat(DepthOf(info.format)));
  Grader grader(options, info.width, info.height, hostFormat);
  grader.ApplyPanel(request.steps, opened.Reference());
  opened.reference.reset();

  // Further workers get the first grader's results, not the options again: a press or pick
  // evaluated anew could see another frame. The host's render scale and pixel aspect as the
  // options gave them, then every parameter value as a preset holds it (exactly: numbers in 17
  // digits, applied in catalogue order so the saved values win over what a colour recomputes).
  std::optional<std::vector<PanelStep>> workerSteps;
  const auto makeGrader = [&] {
    if (!workerSteps) {
      workerSteps.emplace();
      for (const PanelStep& step : request.steps) {
        if (step.kind == PanelStep::Kind::kRenderScale || step.kind == PanelStep::Kind::kPixelAspect) {
          workerSteps->push_back(step);
        }
      }
      const std::vector<PanelStep> values = ParsePreset(PresetJson(grader.host()), "the panel values");
      workerSteps->insert(workerSteps->end(), values.begin(), values.end());
    }
    auto worker = std::make_unique<Grader>(options, info.width, info.height, hostFormat);
    worker->ApplyPanel(*workerSteps, Picture{});
    return worker;
  };

  // Every output is opened before the first frame, so one that may not be written (an existing
  // file without -y, a missing directory) stops the run before any work.
  std::unique_ptr<FrameSink> sink = OpenFrameSink(request.output, info);
  std::unique_ptr<FrameSink> compareSink;
  if (!request.compare.empty()) {
    FrameInfo wide = info;
    wide.width *= 2;
    SinkRequest compareRequest;
    compareRequest.path = request.compare;
    compareRequest.overwrite = request.output.overwrite;
    compareSink = OpenFrameSink(compareRequest, wide);
  }
  std::unique_ptr<PendingFile> preset;
  if (!request.savePreset.empty()) preset = std::make_unique<PendingFile>(request.savePreset, request.output.overwrite);
  Progress progress(label, info.frameCount);
  const PoolSettings settings{request.threads > 0 ? request.threads : DefaultThreadCount(), sink->format(), makeGrader};
  GradeFrames(grader, std::move(opened.first), source, settings,
              [&](std::int64_t index, const Picture& frame, const Picture& graded) {
                sink->Write(graded);
                if (compareSink && index == 0) {
                  compareSink->Write(BeforeAfter(ConvertPicture(frame, compareSink->format()),
                                                 ConvertPicture(graded, compareSink->format())));
                }
                progress.FrameDone();
              });
  progress.Finish();

  sink->Finish();
  if (compareSink) compareSink->Finish();
  if (preset) preset->WriteAll(PresetJson(grader.host()));
  ThrowIfInterrupted();
  // Everything is complete: only now do the outputs get their names.
  sink->Commit();
  if (compareSink) compareSink->Commit();
  if (preset) preset->Commit();
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
    one.input.path = request.inputs[i];
    one.output.path = outputs[i];
    try {
      CheckOutputs(one);
      GradeFile(options, one,
                "[" + std::to_string(i + 1) + "/" + std::to_string(request.inputs.size()) + "] " + one.input.path);
    } catch (const ToolError& failure) {
      if (InterruptSignal() != 0) throw InterruptError(InterruptSignal());
      const std::string text = failure.what();
      if (!text.empty()) PrintError(text.find(one.input.path) == std::string::npos ? one.input.path + ": " + text : text);
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
  CheckOutputs(request);
  GradeFile(options, request, "");
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
libvpx-vp9 CRF 30; .y4m: raw. The pixel format is the codec's nearest to the source's.

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
