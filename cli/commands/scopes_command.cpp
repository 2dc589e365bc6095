// threeway scopes: pictures of a frame's levels and colours (waveform, RGB parade, vectorscope)
// and of the luma histogram the effect keeps for its auto-level buttons.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/frame_at.h"
#include "cli/media/frame_io.h"
#include "cli/engine/grader.h"
#include "cli/engine/interrupt.h"
#include "cli/panel/panel.h"
#include "cli/media/picture.h"
#include "cli/scopes/scopes.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

struct ScopesRequest {
  SourceRequest input;
  std::optional<std::uint32_t> hostFormat;
  std::vector<PanelStep> steps;
  std::optional<FramePosition> at;
  std::string outDir;
  std::string prefix;
  int width = 1024;
  int height = 512;
  Overwrite overwrite = Overwrite::kRefuse;
};

// The four pictures, by the suffix their file names end in.
constexpr const char* kSuffixes[4] = {"-waveform.png", "-parade.png", "-vectorscope.png", "-histogram.png"};

using Values = std::span<const std::string>;

// scopes' options, applying to `request`.
std::vector<Option> ScopesOptions(ScopesRequest& request) {
  std::vector<Option> options = {
      {"", "--at", "FRAME|TIME",
       "the frame to measure (default the first): a frame number counting from 0, or for sources with a frame rate "
       "a time (2.5, 3s, 1:02.5), as for threeway grade.",
       [&](const std::string&, Values v) { request.at = ParseFramePosition(v[0]); }},
      {"", "--prefix", "PATH", "the files are PATH-waveform.png and so on.",
       [&](const std::string&, Values v) { request.prefix = v[0]; }},
      {"", "--out-dir", "DIR",
       "the files are DIR/NAME-waveform.png ..., NAME the input's name without its extension (an existing "
       "directory). Default: beside the input.",
       [&](const std::string&, Values v) { request.outDir = v[0]; }},
      {"", "--size", "WxH",
       "size of the waveform, parade and histogram pictures; the vectorscope is HxH (default 1024x512; 192x128 to "
       "8192x8192).",
       [&](const std::string&, Values v) {
         const auto size = ParseSize(v[0], kScopeMinWidth, kScopeMinHeight, kScopeMaxSide);
         if (!size) {
           throw UsageError("--size needs WxH between " + std::to_string(kScopeMinWidth) + "x" +
                            std::to_string(kScopeMinHeight) + " and " + std::to_string(kScopeMaxSide) + "x" +
                            std::to_string(kScopeMaxSide) + ", got " + Quoted(v[0]));
         }
         std::tie(request.width, request.height) = *size;
       }},
      {"", "--raw-in", "CODE WxH",
       "INPUT is raw frames in a host format (see threeway help grade); \"-\" reads standard input (then --prefix or "
       "--out-dir is needed).",
       [&](const std::string& o, Values v) { RawInputArgument(o, v, request.input); }},
      {"", "--format", "CODE", "the host format the effect is handed (default as for threeway grade).",
       [&](const std::string& o, Values v) { request.hostFormat = FormatArgument(o, v[0]); }},
  };
  for (Option& option : OverwriteOptions(request.overwrite, "")) options.push_back(std::move(option));
  for (Option& option : PanelOptions(request.steps, "Panel (as for threeway grade)")) {
    options.push_back(std::move(option));
  }
  return options;
}

// The declared options, written by `write` (the usage text or the Markdown table); none is applied.
std::string DescribeScopesOptions(std::string (*write)(const std::vector<Option>&)) {
  ScopesRequest unused;
  return write(ScopesOptions(unused));
}

ScopesRequest ParseArguments(std::span<const std::string> arguments) {
  ScopesRequest request;
  const std::vector<std::string> positional = ParseOptions(arguments, ScopesOptions(request), "scopes");
  if (positional.size() != 1) {
    throw UsageError("needs one INPUT (got " + std::to_string(positional.size()) +
                     " file names; see threeway help scopes)");
  }
  request.input.path = positional[0];
  if (!request.outDir.empty() && !request.prefix.empty()) throw UsageError("give --out-dir or --prefix, not both");
  if (request.input.path == "-" && request.outDir.empty() && request.prefix.empty()) {
    throw UsageError("standard input needs --prefix PATH or --out-dir DIR");
  }
  return request;
}

// The common start of the four file names: --prefix as given; else the input's name without its
// extension, in --out-dir or beside the input.
std::string OutputPrefix(const ScopesRequest& request) {
  if (!request.prefix.empty()) return request.prefix;
  const fs::path input(request.input.path);
  const std::string stem = request.input.path == "-" ? "stdin" : input.stem().string();
  if (!request.outDir.empty()) return (fs::path(request.outDir) / stem).string();
  return (input.parent_path() / stem).string();
}

int RunScopes(const Options& options, std::span<const std::string> arguments) {
  const ScopesRequest request = ParseArguments(arguments);
  const std::string prefix = OutputPrefix(request);
  std::string paths[4];
  for (int i = 0; i < 4; ++i) {
    paths[i] = prefix + kSuffixes[i];
    RefuseToOverwriteInput(request.input.path, paths[i]);
  }
  const fs::path directory = fs::path(paths[0]).parent_path();
  std::error_code error;
  if (!directory.empty() && !fs::is_directory(directory, error)) {
    throw ToolError("cannot write the scopes into " + directory.string() + ": no such directory");
  }

  std::unique_ptr<FrameSource> source = OpenFrameSource(request.input);
  const FrameInfo& info = source->info();
  const std::string name = request.input.path == "-" ? "standard input" : request.input.path;
  const std::int64_t target = request.at ? ResolveFramePosition(*request.at, info, name) : 0;
  Picture frame;
  for (std::int64_t index = 0; index <= target; ++index) {
    if (!source->Next(frame)) {
      if (index == 0) throw ToolError(name + " holds no frame");
      throw ToolError("--at " + request.at->text + ": " + name + " ends after " + std::to_string(index) + " frame" +
                      (index == 1 ? "" : "s") + " (the first is frame 0)");
    }
  }

  // One render through the effect: it grades the frame and leaves its histogram of the frame it
  // received in the sequence record, as it does for the auto-level buttons.
  const std::uint32_t hostFormat = request.hostFormat.value_or(
      request.input.rawFormat ? *request.input.rawFormat : DefaultHostFormat(DepthOf(info.format)));
  Grader grader(options, info.width, info.height, hostFormat);
  grader.ApplyPanel(request.steps, frame);
  Picture graded = Picture::Blank(info.width, info.height, hostFormat);
  grader.Grade(frame, graded);
  const zkfx::MemHandle handle = grader.host().sequenceData();
  if (handle == nullptr || *handle == nullptr || grader.host().HandleSize(handle) < zkfx::kLumaHistogramSize) {
    throw ToolError("the effect left no luma histogram in its sequence record");
  }
  const zkfx::LumaHistogram histogram = *static_cast<const zkfx::LumaHistogram*>(*handle);

  // Without panel options the scopes show the frame as the effect receives it (in the host
  // format), with them the graded frame.
  Picture shown = request.steps.empty() ? ConvertPicture(frame, hostFormat) : std::move(graded);
  graded = Picture(), frame = Picture();  // no longer needed: a UHD float frame is large
  const Picture working = ConvertPicture(shown, zkfx::kPixelFormatVUYA32f);
  const Picture rgb = ConvertPicture(shown, zkfx::kPixelFormatBGRA32f);
  const Picture pictures[4] = {DrawWaveform(working, request.width, request.height),
                               DrawParade(rgb, request.width, request.height),
                               DrawVectorscope(working, request.height),
                               DrawHistogram(histogram, request.width, request.height)};

  std::unique_ptr<FrameSink> sinks[4];
  for (int i = 0; i < 4; ++i) {
    FrameInfo like;
    like.width = pictures[i].width, like.height = pictures[i].height, like.format = kScopeFormat;
    like.storage = Storage::k8, like.hasAlpha = false, like.channels = 3;
    SinkRequest output;
    output.path = paths[i];
    output.overwrite = request.overwrite;
    sinks[i] = OpenFrameSink(output, like);
    sinks[i]->Write(sinks[i]->format() == kScopeFormat ? pictures[i] : ConvertPicture(pictures[i], sinks[i]->format()));
    sinks[i]->Finish();
  }
  // All four are complete: only now do they get their names.
  ThrowIfInterrupted();
  for (auto& sink : sinks) sink->Commit();
  return kExitOk;
}

std::string ScopesHelp() {
  return R"(usage: threeway [--module PATH] scopes INPUT [--at FRAME|TIME] [--out-dir DIR | --prefix PATH]
                         [--size WxH] [panel options] [--raw-in CODE WxH] [--format CODE]

Writes four PNG pictures of one frame of INPUT:
  PREFIX-waveform.png     luma waveform, WxH: across, the picture's columns; up, luma (BT.601 Y)
                          from -10 % to 110 %; brightness, how many pixels land there. Lines at
                          0, 25, 50, 75 and 100 %.
  PREFIX-parade.png       RGB parade, WxH: waveforms of red, green and blue side by side.
  PREFIX-vectorscope.png  vectorscope, HxH: BT.601 U to the right, V up, -0.6 to 0.6 across; the
                          circle is the nominal chroma span (0.5); labelled boxes mark where 100 %
                          colour bars land (R, Mg, B, Cy, G, Yl), small boxes 75 % bars; the
                          dashed line from the centre is the skin-tone line.
  PREFIX-histogram.png    the effect's own 256-bin luma histogram (what the Auto Black, Auto
                          Contrast and Auto White buttons read), WxH: bar i is the bin's
                          normalized value (count / largest count); the marked bins are the ones
                          Auto Black and Auto White would pick (lowest and highest bin above
                          0.005; 0 and 255 when none is).

Without panel options the waveform, parade and vectorscope show the frame as the effect receives
it; with panel options (--set, --press, --pick, --preset, --render-scale, --pixel-aspect, as for
threeway grade) they show the graded frame. The histogram is always the effect's, of the frame
it receives (the buttons see the source, not the grade), from one render through the module.
Luma and chroma are the module's working values (the host's image library converts the frame to
'VUya'), red, green and blue its 'BGra'.

)" + DescribeScopesOptions(OptionsUsage) + R"(
The four files are written whole or not at all (temporary files, renamed once all four are
complete), never over the input.

Examples:
  threeway testcard card.png && threeway scopes card.png
  threeway scopes shot.tif --out-dir scopes --set MasterSaturation=140 --preset look.json
  threeway scopes clip.raw --raw-in Bgra 1920x1080 --at 48 --prefix frame48
)";
}

}  // namespace

const Command& ScopesCommand() {
  static const Command command{"scopes", "write waveform, parade, vectorscope and histogram pictures of a frame",
                               ScopesHelp, [] { return DescribeScopesOptions(OptionsMarkdown); }, RunScopes,
                               [](std::span<const std::string> arguments) { ParseArguments(arguments); }};
  return command;
}

}  // namespace threeway::cli
