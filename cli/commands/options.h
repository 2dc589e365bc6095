// A command's options, declared once: the declaration parses the command line (options applied in
// the order given, so panel options interleave), writes the options part of the command's usage
// text, and writes the option table cli/README.md holds (a test keeps the two equal).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/media/frame_io.h"
#include "cli/panel/panel.h"

namespace threeway::cli {

struct Option {
  std::string_view group;   // the heading it is listed under in the usage text ("" for none)
  std::string_view name;    // "--raw-in"
  std::string_view values;  // "CODE WxH": one word per value it takes; empty for a flag
  std::string_view help;    // one paragraph
  // Applies the option with its values (as many as `values` has words) to the command's request.
  std::function<void(const std::string& option, std::span<const std::string> values)> apply;
  std::string_view shortName = {};  // "-y": a one-letter spelling of the same option, or empty
};

// Applies the options in the order given and returns the other arguments (file names, and "-"):
// refuses an unknown option and one given too few values (exit 2, naming `command`'s help).
std::vector<std::string> ParseOptions(std::span<const std::string> arguments, const std::vector<Option>& options,
                                      std::string_view command);

// The panel options grade and scopes share (--set, --press, --pick, --preset, --render-scale,
// --pixel-aspect), adding their steps to `steps` in the order given.
std::vector<Option> PanelOptions(std::vector<PanelStep>& steps, std::string_view group);

// -y/--overwrite and -n/--no-overwrite: whether outputs that exist as regular files are replaced
// (see PendingFile), for every command that writes files.
std::vector<Option> OverwriteOptions(Overwrite& overwrite, std::string_view group);

// The encoder's options of a video output (--codec, --crf, --bitrate, --no-audio), into `output`.
std::vector<Option> VideoOutputOptions(SinkRequest& output, std::string_view group);

// Option values the commands share. A picture size "WxH" (decimal, no sign, nothing after it) with
// the width in minWidth..max and the height in minHeight..max; nullopt for anything else.
std::optional<std::pair<int, int>> ParseSize(const std::string& text, int minWidth, int minHeight, int max);
// Raw frames may be up to this many pixels a side.
inline constexpr int kMaxRawSide = 1000000;
// The size of raw frames ("--raw-in CODE WxH"): a usage error naming `option` unless ParseSize
// accepts it with sides 1..kMaxRawSide.
void RawSizeArgument(const std::string& option, const std::string& text, int& width, int& height);
// "--raw-in CODE WxH": the raw frames' host format and size into `input`.
void RawInputArgument(const std::string& option, std::span<const std::string> values, SourceRequest& input);
// A host pixel-format code; a usage error naming `option` and the formats otherwise.
std::uint32_t FormatArgument(const std::string& option, const std::string& text);

// The video encoder's and the worker pool's values (grade, studio). Each throws a usage error
// naming `option`. --bitrate 8M, 2500k or 800000: bits per second, 1000 .. 1e10.
std::int64_t BitrateArgument(const std::string& option, const std::string& text);
// --threads N: 1 .. 256 worker threads.
int ThreadsArgument(const std::string& text);
// --crf N: 0 .. 63.
int CrfArgument(const std::string& option, const std::string& text);

// Option values of single commands, defined beside their command (declared here so that each can
// be driven on its own, as the fuzzing targets do). Each throws a usage error naming `option`.
// grade --frames A-B, A- or -B: the first and last frame into `input` (last -1: to the end).
void FramesArgument(const std::string& option, const std::string& text, SourceRequest& input);
// lut --size N: points a side, 17 .. 129.
int LutSizeArgument(const std::string& option, const std::string& text);
// lut --domain MIN MAX: finite, MIN at most 0 and MAX at least 1.
std::pair<double, double> DomainArgument(const std::string& option, std::span<const std::string> values);

// The options as the usage text lists them, under their group headings, wrapped to 100 columns.
std::string OptionsUsage(const std::vector<Option>& options);

// The options as a Markdown table (option, meaning), as cli/README.md holds it.
std::string OptionsMarkdown(const std::vector<Option>& options);

}  // namespace threeway::cli
