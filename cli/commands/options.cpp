#include "cli/commands/options.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "cli/media/picture.h"
#include "cli/panel/panel.h"
#include "cli/tool_error.h"

namespace threeway::cli {

std::optional<std::pair<int, int>> ParseSize(const std::string& text, int minWidth, int minHeight, int max) {
  // Digits only on both sides of the 'x': no sign, no space, nothing after (a NUL included).
  const auto side = [](std::string_view digits, int& value) {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
    const auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return status == std::errc() && end == digits.data() + digits.size();
  };
  const std::string_view all(text);
  const std::size_t x = all.find('x');
  int w = 0, h = 0;
  if (x == std::string_view::npos || !side(all.substr(0, x), w) || !side(all.substr(x + 1), h)) return std::nullopt;
  if (w < minWidth || h < minHeight || w > max || h > max) return std::nullopt;
  return std::pair{w, h};
}

void RawSizeArgument(const std::string& option, const std::string& text, int& width, int& height) {
  const auto size = ParseSize(text, 1, 1, kMaxRawSide);
  if (!size) throw UsageError(option + " needs a size WxH (e.g. 1920x1080), got " + Quoted(text));
  std::tie(width, height) = *size;
}

void RawInputArgument(const std::string& option, std::span<const std::string> values, SourceRequest& input) {
  input.rawFormat = FormatArgument(option, values[0]);
  RawSizeArgument(option, values[1], input.rawWidth, input.rawHeight);
}

std::uint32_t FormatArgument(const std::string& option, const std::string& text) {
  const std::optional<std::uint32_t> code = ParseFormatCode(text);
  if (!code) throw UsageError(option + ": " + Quoted(text) + " is not a host format; formats: " + FormatCodeList());
  return *code;
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
    throw UsageError(option + " needs a bit rate of at least 1000 bits per second (e.g. 8M, 2500k), got " + Quoted(text));
  }
  return static_cast<std::int64_t>(value * scale + 0.5);
}

int CrfArgument(const std::string& option, const std::string& text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > 63) {
    throw UsageError(option + " needs a whole number from 0 to 63 (the codec's constant-quality scale), got " +
                     Quoted(text));
  }
  return std::stoi(text);
}


int ThreadsArgument(const std::string& text) {
  char* end = nullptr;
  const long threads = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || threads < 1 || threads > 256) {
    throw UsageError("--threads needs a number of worker threads 1 .. 256, got " + Quoted(text));
  }
  return static_cast<int>(threads);
}

std::vector<Option> VideoOutputOptions(SinkRequest& output, std::string_view group) {
  using Values = std::span<const std::string>;
  return {
      {group, "--codec", "NAME", "an FFmpeg video encoder (ffmpeg -encoders), e.g. libx265, prores_ks, ffv1.",
       [&output](const std::string&, Values v) { output.codec = v[0]; }},
      {group, "--crf", "N", "constant quality (libx264, libx265, libvpx-vp9; lower is better).",
       [&output](const std::string& o, Values v) { output.crf = CrfArgument(o, v[0]); }},
      {group, "--bitrate", "RATE", "target bit rate, e.g. 8M or 2500k (instead of constant quality).",
       [&output](const std::string& o, Values v) { output.bitrate = BitrateArgument(o, v[0]); }},
      {group, "--no-audio", "", "leave the source's audio out.",
       [&output](const std::string&, Values) { output.audio = false; }},
  };
}

std::vector<Option> OverwriteOptions(Overwrite& overwrite, std::string_view group) {
  return {
      {group, "--overwrite", "",
       "replace outputs that already exist (keeping their permissions; a symbolic link is written through to its "
       "target). Without it an existing file is refused; devices, pipes and sockets are always written in place.",
       [&overwrite](const std::string&, std::span<const std::string>) { overwrite = Overwrite::kReplace; }, "-y"},
      {group, "--no-overwrite", "", "never replace an existing output (the default; the last of -y and -n counts).",
       [&overwrite](const std::string&, std::span<const std::string>) { overwrite = Overwrite::kRefuse; }, "-n"},
  };
}

namespace {

std::size_t ValueCount(std::string_view values) {
  if (values.empty()) return 0;
  std::size_t count = 1;
  for (char c : values) count += c == ' ';
  return count;
}

std::string Heading(const Option& option) {
  std::string text = option.shortName.empty() ? std::string(option.name)
                                              : std::string(option.shortName) + ", " + std::string(option.name);
  if (!option.values.empty()) text += " " + std::string(option.values);
  return text;
}

}  // namespace

std::vector<std::string> ParseOptions(std::span<const std::string> arguments, const std::vector<Option>& options,
                                      std::string_view command) {
  const std::string seeHelp = " (see threeway help " + std::string(command) + ")";
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-" || argument.empty() || argument[0] != '-') {
      positional.push_back(argument);
      continue;
    }
    const Option* found = nullptr;
    for (const Option& option : options) {
      if (option.name == argument || option.shortName == argument) found = &option;
    }
    if (found == nullptr) throw UsageError("unknown option " + argument + seeHelp);
    const std::size_t count = ValueCount(found->values);
    if (arguments.size() - i - 1 < count) {
      throw UsageError(argument + " needs " + (count == 1 ? "a value" : std::to_string(count) + " values") + seeHelp);
    }
    found->apply(argument, arguments.subspan(i + 1, count));
    i += count;
  }
  return positional;
}

std::vector<Option> PanelOptions(std::vector<PanelStep>& steps, std::string_view group) {
  using Values = std::span<const std::string>;
  return {
      {group, "--set", "NAME=VALUE",
       "set a parameter by its identifier (threeway params shows them; case is ignored): float sliders a number "
       "inside the slider's range; check boxes on/off, true/false, yes/no or 1/0; popups the choice text or number; "
       "angles in degrees; colours R,G,B (0..255). Buttons are pressed, not set.",
       [&steps](const std::string&, Values v) { steps.push_back(ParseSetOption(v[0])); }},
      {group, "--press", "NAME",
       "AutoBlackLevel, AutoContrast or AutoWhiteLevel: renders the input once with the values so far and presses "
       "the button (the effect writes the new levels from that render's histogram); later renders use them.",
       [&steps](const std::string&, Values v) { steps.push_back(ParsePressOption(v[0])); }},
      {group, "--pick", "NAME=X,Y",
       "sets a colour parameter to the input pixel at X,Y (its 8-bit R,G,B; deeper pixels converted to 8 bits by "
       "the host's image library), as the eyedropper does: the balance pickers (BlackBalance, GrayBalance, "
       "WhiteBalance) and level pickers (BlackLevel, GrayLevel, WhiteLevel) set the values they drive.",
       [&steps](const std::string&, Values v) { steps.push_back(ParsePickOption(v[0])); }},
      {group, "--preset", "FILE", "sets the parameters a preset file holds (as --save-preset writes it), in catalogue order.",
       [&steps](const std::string&, Values v) {
         const std::vector<PanelStep> preset = LoadPreset(v[0]);
         steps.insert(steps.end(), preset.begin(), preset.end());
       }},
      {group, "--render-scale", "R", "the render scale a host passes (N/D or a decimal, e.g. 1/2 or 0.5).",
       [&steps](const std::string& o, Values v) {
         steps.push_back(ParseRatioOption(PanelStep::Kind::kRenderScale, o, v[0]));
       }},
      {group, "--pixel-aspect", "R", "the pixel aspect ratio (e.g. 10/11). Both change the Soften blur size.",
       [&steps](const std::string& o, Values v) {
         steps.push_back(ParseRatioOption(PanelStep::Kind::kPixelAspect, o, v[0]));
       }},
  };
}

std::string OptionsUsage(const std::vector<Option>& options) {
  constexpr std::size_t kIndent = 25, kWidth = 100;
  std::string text;
  std::string_view group = "\x01";
  for (const Option& option : options) {
    if (option.group != group) {
      group = option.group;
      text += (text.empty() ? "" : "\n") + (group.empty() ? std::string("Options") : std::string(group)) + ":\n";
    }
    std::string line = "  " + Heading(option);
    line += line.size() + 1 < kIndent ? std::string(kIndent - line.size(), ' ') : "\n" + std::string(kIndent, ' ');
    std::size_t column = line.size() - line.rfind('\n') - 1;
    std::istringstream words{std::string(option.help)};
    bool first = true;
    for (std::string word; words >> word;) {
      if (!first && column + 1 + word.size() > kWidth) {
        line += "\n" + std::string(kIndent, ' ');
        column = kIndent;
      } else if (!first) {
        line += ' ';
        ++column;
      }
      line += word;
      column += word.size();
      first = false;
    }
    text += line + "\n";
  }
  return text;
}

std::string OptionsMarkdown(const std::vector<Option>& options) {
  std::string text = "| option | meaning |\n|---|---|\n";
  for (const Option& option : options) {
    std::string help(option.help);
    for (std::size_t at = 0; (at = help.find('|', at)) != std::string::npos; at += 2) help.replace(at, 1, "\\|");
    std::string heading = Heading(option);
    for (std::size_t at = 0; (at = heading.find('|', at)) != std::string::npos; at += 2) heading.replace(at, 1, "\\|");
    text += "| `" + heading + "` | " + help + " |\n";
  }
  return text;
}

}  // namespace threeway::cli
