// Every option value parser of the tool on any text, and every command's command line: the input's
// lines are the arguments. Only ToolError may leave a parser (a usage error, or a --preset file that
// cannot be read), no message quotes a long value whole, and what a parser accepts is what its help
// says it takes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/frame_at.h"
#include "cli/media/picture.h"
#include "cli/panel/panel.h"
#include "tests/fuzz/fuzz.h"

namespace {

using namespace threeway::cli;
using threeway::fuzz::Require;
using threeway::fuzz::RequireShortMessage;

bool Digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The longest message a value may get: the reason, a short quote, and at most the list of the
// settable names.
const std::size_t kLongestMessage = 256 + SettableNames().size();

// Runs `parse`; a usage error (or a failure, where files are read) is an answer, anything else a
// fault. A message about a value stays short (one about a file may name the file whole).
template <typename Parse>
void Refusable(bool readsFiles, Parse parse) {
  try {
    parse();
  } catch (const ToolError& error) {
    Require(error.exitCode() == kExitUsage || (readsFiles && error.exitCode() == kExitFailure),
            "an option error is a usage error", error.what());
    if (!readsFiles) RequireShortMessage(error.what(), kLongestMessage);
  }
}

// Each value parser on one argument, with what it accepts checked against its documented form.
void ParseValue(const std::string& text) {
  Refusable(false, [&] {
    const auto size = ParseSize(text, 1, 1, kMaxRawSide);
    if (!size) return;
    const std::size_t x = text.find('x');
    Require(x != std::string::npos && Digits(text.substr(0, x)) && Digits(text.substr(x + 1)),
            "a size is digits x digits", text);
    Require(std::stoll(text.substr(0, x)) == size->first && std::stoll(text.substr(x + 1)) == size->second,
            "a size reads as written", text);
  });
  Refusable(false, [&] {
    const std::uint32_t code = FormatArgument("--format", text);
    Require(FormatCodeText(code) == text, "a format is one of the nine codes", text);
  });
  Refusable(false, [&] {
    const FramePosition position = ParseFramePosition(text);
    Require(position.isTime ? std::isfinite(position.seconds) && position.seconds >= 0 : Digits(text),
            "a position is a frame number or a time", text);
  });
  Refusable(false, [&] {
    SourceRequest input;
    FramesArgument("--frames", text, input);
    Require(input.firstFrame >= 0 && (input.lastFrame == -1 || input.lastFrame >= input.firstFrame),
            "a frame range runs forward", text);
  });
  Refusable(false, [&] {
    const std::int64_t bitrate = BitrateArgument("--bitrate", text);
    Require(bitrate >= 1000 && bitrate <= 10000000000, "a bit rate is 1000 .. 1e10", text);
  });
  Refusable(false, [&] { Require(ThreadsArgument(text) >= 1 && ThreadsArgument(text) <= 256, "threads 1 .. 256"); });
  Refusable(false, [&] { Require(CrfArgument("--crf", text) <= 63, "crf 0 .. 63", text); });
  Refusable(false, [&] { Require(LutSizeArgument("--size", text) >= 17, "lut size 17 .. 129", text); });
  Refusable(false, [&] {
    const auto [min, max] = DomainArgument("--domain", std::vector<std::string>{text, text});
    Require(min <= 0 && max >= 1, "a domain holds 0 .. 1", text);
  });
  Refusable(false, [&] { ParseSetOption(text); });
  Refusable(false, [&] { ParsePressOption(text); });
  Refusable(false, [&] { ParsePickOption(text); });
  Refusable(false, [&] {
    const PanelStep step = ParseRatioOption(PanelStep::Kind::kRenderScale, "--render-scale", text);
    Require(step.numerator > 0 && step.denominator > 0, "a ratio is positive", text);
  });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // "--preset -" reads standard input: give it an empty one, so no run waits on a terminal.
  const int empty = ::open("/dev/null", O_RDONLY);
  if (empty >= 0) ::dup2(empty, STDIN_FILENO);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    arguments.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  // Every parser on the first few lines (more lines add length, not new paths, and slow the run).
  for (std::size_t i = 0; i < std::min<std::size_t>(arguments.size(), 8); ++i) ParseValue(arguments[i]);
  for (const Command* command : {&InfoCommand(), &ParamsCommand(), &GradeCommand(), &LutCommand(),
                                 &TestcardCommand(), &ScopesCommand(), &StudioCommand()}) {
    Refusable(true, [&] { command->parse(arguments); });
  }
  return 0;
}
