// threeway testcard: writes the built-in test picture, the sample the demo grades.
#include <tuple>

#include "cli/commands/command.h"
#include "cli/commands/options.h"
#include "cli/engine/interrupt.h"
#include "cli/media/frame_io.h"
#include "cli/media/picture.h"
#include "cli/media/test_card.h"

namespace threeway::cli {

namespace {

// The test card is drawn at 8x8 to 16384x16384.
constexpr int kMinCardSide = 8;
constexpr int kMaxCardSide = 16384;

struct TestcardRequest {
  SinkRequest output;
  int width = 1920, height = 1080;
};

using Values = std::span<const std::string>;

std::vector<Option> TestcardOptions(TestcardRequest& request) {
  std::vector<Option> options = {
      {"", "--size", "WxH", "the picture's size (default 1920x1080; 8x8 to 16384x16384).",
       [&](const std::string&, Values v) {
         const auto size = ParseSize(v[0], kMinCardSide, kMinCardSide, kMaxCardSide);
         if (!size) throw UsageError("--size needs WxH between 8x8 and 16384x16384, got " + Quoted(v[0]));
         std::tie(request.width, request.height) = *size;
       }},
      {"", "--raw-out", "CODE", "OUTPUT gets one raw frame in that host format (\"-\": standard output).",
       [&](const std::string& o, Values v) { request.output.rawFormat = FormatArgument(o, v[0]); }},
  };
  for (Option& option : OverwriteOptions(request.output.overwrite, "")) options.push_back(std::move(option));
  return options;
}

// The declared options, written by `write` (the usage text or the Markdown table); none is applied.
std::string DescribeTestcardOptions(std::string (*write)(const std::vector<Option>&)) {
  TestcardRequest unused;
  return write(TestcardOptions(unused));
}

TestcardRequest ParseArguments(std::span<const std::string> arguments) {
  TestcardRequest parsed;
  const std::vector<std::string> positional = ParseOptions(arguments, TestcardOptions(parsed), "testcard");
  if (positional.empty()) throw UsageError("needs OUTPUT (see threeway help testcard)");
  if (positional.size() > 1) throw UsageError("unexpected argument " + positional[1] + " (see threeway help testcard)");
  parsed.output.path = positional[0];
  return parsed;
}

int RunTestcard(const Options&, std::span<const std::string> arguments) {
  TestcardRequest parsed = ParseArguments(arguments);
  SinkRequest& request = parsed.output;
  const int width = parsed.width, height = parsed.height;
  const Picture card = MakeTestCard(width, height);
  FrameInfo info;
  info.width = width, info.height = height, info.format = card.format, info.storage = Storage::k16;
  info.hasAlpha = false, info.channels = 3;
  std::unique_ptr<FrameSink> sink = OpenFrameSink(request, info);
  sink->Write(ConvertPicture(card, sink->format()));
  sink->Finish();
  ThrowIfInterrupted();
  sink->Commit();
  return kExitOk;
}

std::string TestcardHelp() {
  return R"(usage: threeway testcard OUTPUT [--size WxH] [--raw-out CODE]

Writes the built-in test picture (default 1920x1080), 16-bit when the file format allows:
hues across the top from black through full colour to white, a smooth grey ramp, an eleven-step
grey scale, BT.601 colour bars at 75 % with the 100 % primaries, secondaries and two skin tones
below, and fine detail (one-pixel line pairs, a checkerboard, a zone plate).

)" + DescribeTestcardOptions(OptionsUsage) + R"(
Examples:
  threeway testcard sample.png
  threeway testcard card.exr --size 3840x2160
  threeway testcard - --size 64x36 --raw-out Bgra > card.raw
)";
}

}  // namespace

const Command& TestcardCommand() {
  static const Command command{"testcard", "write the built-in test picture", TestcardHelp,
                               [] { return DescribeTestcardOptions(OptionsMarkdown); }, RunTestcard,
                               [](std::span<const std::string> arguments) { ParseArguments(arguments); }};
  return command;
}

}  // namespace threeway::cli
