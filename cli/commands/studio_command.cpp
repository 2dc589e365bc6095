// threeway studio: grading by eye. A local web page with the effect's panel (colour wheels, the
// sliders, the views, the auto buttons and eyedroppers), the graded picture and its scopes, served
// on the loopback interface to the user who started it (cli/studio/).
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/interrupt.h"
#include "cli/studio/studio_server.h"
#include "cli/studio/studio_session.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

struct StudioRequest {
  StudioSettings settings;
  int port = 0;
};

int PortArgument(const std::string& option, const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(text) < 1 || std::stoi(text) > 65535) {
    throw UsageError(option + " needs a port number 1 .. 65535, got " + Quoted(text));
  }
  return std::stoi(text);
}

using Values = std::span<const std::string>;

std::vector<Option> StudioOptions(StudioRequest& request) {
  StudioSettings& settings = request.settings;
  std::vector<Option> options = {
      {"Studio", "--port", "N",
       "serve on 127.0.0.1:N (default: a free port the system chooses). The address is printed with its access "
       "token.",
       [&](const std::string& o, Values v) { request.port = PortArgument(o, v[0]); }},
      {"Studio", "--at", "FRAME|TIME",
       "the frame shown first (default the first): a frame number counted from 0, or a time (2.5, 3s, 1:02.5) as for "
       "threeway grade. The page's frame slider chooses others.",
       [&](const std::string&, Values v) { settings.at = ParseFramePosition(v[0]); }},
      {"Files", "--output", "FILE",
       "where the page's Render writes the whole graded input (default: INPUT's name with \"_graded\" before its "
       "extension, beside it).",
       [&](const std::string&, Values v) { settings.output.path = v[0]; }},
      {"Files", "--save-preset", "FILE",
       "where the page's Save preset writes the panel (default: INPUT's name with \"_look.json\" in place of its "
       "extension, beside it).",
       [&](const std::string&, Values v) { settings.presetPath = v[0]; }},
      {"Files", "--lut", "FILE",
       "where the page's Export LUT writes the .cube (default: INPUT's name with \"_look.cube\" in place of its "
       "extension, beside it).",
       [&](const std::string&, Values v) { settings.lutPath = v[0]; }},
      {"Files", "--raw-in", "CODE WxH", "INPUT is raw frames in a host format (see threeway help grade).",
       [&](const std::string& o, Values v) { RawInputArgument(o, v, settings.input); }},
      {"Files", "--raw-out", "CODE", "the render writes raw frames in CODE (default for raw input: its own code).",
       [&](const std::string& o, Values v) { settings.output.rawFormat = FormatArgument(o, v[0]); }},
      {"Files", "--format", "CODE", "the host format the effect is handed (default as for threeway grade).",
       [&](const std::string& o, Values v) { settings.hostFormat = FormatArgument(o, v[0]); }},
      {"Files", "--threads", "N", "the render's worker threads (default: one per core), as for threeway grade.",
       [&](const std::string&, Values v) { settings.threads = ThreadsArgument(v[0]); }},
  };
  for (Option& option : OverwriteOptions(settings.output.overwrite, "Files")) options.push_back(std::move(option));
  for (Option& option : VideoOutputOptions(settings.output, "Video")) options.push_back(std::move(option));
  // The panel to start from; presses and picks are the page's.
  for (Option& option : PanelOptions(settings.steps, "Panel (to start from)")) {
    if (option.name == "--set" || option.name == "--preset") options.push_back(std::move(option));
  }
  return options;
}

// INPUT's path with its extension replaced by `ending` ("dir/shot.png", "_graded.png").
std::string Beside(const std::string& input, const std::string& ending) {
  const fs::path path(input);
  return (path.parent_path() / (path.stem().string() + ending)).string();
}

StudioRequest ParseArguments(std::span<const std::string> arguments) {
  StudioRequest request;
  const std::vector<std::string> positional = ParseOptions(arguments, StudioOptions(request), "studio");
  if (positional.size() != 1) {
    throw UsageError("needs one INPUT (got " + std::to_string(positional.size()) +
                     " file names; see threeway help studio)");
  }
  StudioSettings& settings = request.settings;
  settings.input.path = positional[0];
  if (settings.input.path == "-") {
    throw UsageError("the studio reads its input again for every render: give a file, not standard input");
  }
  const std::string extension = fs::path(settings.input.path).extension().string();
  if (settings.output.path.empty()) settings.output.path = Beside(settings.input.path, "_graded" + extension);
  if (settings.presetPath.empty()) settings.presetPath = Beside(settings.input.path, "_look.json");
  if (settings.lutPath.empty()) settings.lutPath = Beside(settings.input.path, "_look.cube");
  if (settings.input.rawFormat && !settings.output.rawFormat) settings.output.rawFormat = settings.input.rawFormat;
  if (settings.output.crf && settings.output.bitrate) throw UsageError("--crf and --bitrate exclude each other");
  // Nothing the page writes may replace the input, and no two of its files may be one.
  const std::string outputs[] = {settings.output.path, settings.presetPath, settings.lutPath};
  for (std::size_t i = 0; i < 3; ++i) {
    RefuseToOverwriteInput(settings.input.path, outputs[i]);
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(outputs[i], outputs[j])) throw UsageError("two outputs are the same file: " + outputs[i]);
    }
  }
  return request;
}

// A browser that goes away in the middle of a response must not end the server: writes to its
// closed connection fail (EPIPE) instead of raising SIGPIPE, for as long as the studio runs.
class BrokenPipesIgnored {
 public:
  BrokenPipesIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_);
  }
  ~BrokenPipesIgnored() { sigaction(SIGPIPE, &previous_, nullptr); }
  BrokenPipesIgnored(const BrokenPipesIgnored&) = delete;
  BrokenPipesIgnored& operator=(const BrokenPipesIgnored&) = delete;

 private:
  struct sigaction previous_ {};
};

int RunStudio(const Options& options, std::span<const std::string> arguments) {
  StudioRequest request = ParseArguments(arguments);
  const BrokenPipesIgnored brokenPipes;
  const StudioSettings settings = request.settings;
  StudioSession session(options, std::move(request.settings));
  StudioServer server(session, request.port);
  std::printf("%s\n", server.address().c_str());
  std::printf("threeway studio: %s; renders to %s, presets to %s, LUTs to %s; Ctrl-C stops\n",
              settings.input.path.c_str(), settings.output.path.c_str(), settings.presetPath.c_str(),
              settings.lutPath.c_str());
  std::fflush(stdout);

  // The server's threads (and the renders they start) keep the stop signals blocked, so a signal
  // reaches this thread, which watches for it and stops the server.
  std::atomic<bool> finished{false};
  bool served = false;
  std::thread serving;
  {
    const SignalsBlocked blocked;
    serving = std::thread([&] {
      served = server.Run();
      finished = true;
    });
  }
  while (InterruptSignal() == 0 && !finished) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server.Stop();
  serving.join();
  ThrowIfInterrupted();
  if (!served) throw ToolError("the server stopped serving");
  return kExitOk;
}

std::string DescribeStudioOptions(std::string (*write)(const std::vector<Option>&)) {
  StudioRequest unused;
  return write(StudioOptions(unused));
}

std::string StudioHelp() {
  return R"(usage: threeway [--module PATH] studio INPUT [options]

Serves a page for grading INPUT by eye on this machine's loopback interface and prints its
address, with a random access token, on standard output:

  http://127.0.0.1:PORT/?token=TOKEN

Open it in a browser on this machine. The page has the effect's whole panel, built from the
panel the effect declares: four colour wheels (master, shadows, midtones, highlights; drag the
point for the balance angle and magnitude, the sliders below for the gain and the hue rotation),
the saturations, the tonal ranges, the master levels, the qualifier, the views (split,
tonal range, mask, luma), the auto level buttons and the eyedroppers (click one, then the
picture). Arrow keys nudge the focused control (Shift: ten times as far), Delete resets it, each
group has a reset; Ctrl+Z undoes and Ctrl+Shift+Z (or Ctrl+Y) redoes. The picture is graded at
the size it is shown while you work (full resolution on demand), B shows the source, and the
waveform, RGB parade, vectorscope and the effect's histogram follow the picture (while you work,
of the picture at that size).

INPUT is anything grade reads: an image file, raw frames (--raw-in), or a video (a frame slider
chooses the frame). The page keeps its work in files named on the command line, never in files a
request names: Save preset writes --save-preset (the same JSON as grade --save-preset), Export
LUT writes --lut (as threeway lut), and Render grades the whole input into --output with the
panel as it stands, as grade does (whole or not at all, with a progress bar). A file that
existed before the studio started is replaced only with -y; one the studio wrote itself is
replaced by its next save.

Only the user who started the studio can use it: it listens on 127.0.0.1 only, refuses requests
without the token (the first visit sets a cookie for it) and requests whose Host header is not
127.0.0.1:PORT or localhost:PORT. Ctrl-C (or SIGTERM) stops it; a render in progress is then not
written.

)" + DescribeStudioOptions(OptionsUsage) +
         R"(
Examples:
  threeway studio shot.png
  threeway studio clip.mov --at 2.5 --preset look.json --output clip_graded.mp4 --crf 16
  threeway studio frames.raw --raw-in Bgra 1920x1080 --port 8123 -y
)";
}

}  // namespace

const Command& StudioCommand() {
  static const Command command{"studio", "grade by eye in a local web page: wheels, live picture and scopes",
                               StudioHelp, [] { return DescribeStudioOptions(OptionsMarkdown); }, RunStudio,
                               [](std::span<const std::string> arguments) { ParseArguments(arguments); }};
  return command;
}

}  // namespace threeway::cli
