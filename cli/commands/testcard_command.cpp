// threeway testcard: writes the built-in test picture, the sample the demo grades.
#include "cli/commands/command.h"
#include "cli/media/frame_io.h"
#include "cli/media/picture.h"
#include "cli/media/test_card.h"

namespace threeway::cli {
namespace {

int RunTestcard(const Options&, std::span<const std::string> arguments) {
  SinkRequest request;
  int width = 1920, height = 1080;
  bool havePath = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if ((argument == "--size" || argument == "--raw-out") && i + 1 >= arguments.size()) {
      throw UsageError(argument + " needs a value (see threeway help testcard)");
    }
    if (argument == "--size") {
      const std::string& text = arguments[++i];
      unsigned long w = 0, h = 0;
      char tail = 0;
      if (std::sscanf(text.c_str(), "%lux%lu%c", &w, &h, &tail) != 2 || text[0] == '-' || w < 8 || h < 8 ||
          w > 16384 || h > 16384) {
        throw UsageError("--size needs WxH between 8x8 and 16384x16384, got \"" + text + "\"");
      }
      width = static_cast<int>(w), height = static_cast<int>(h);
    } else if (argument == "--raw-out") {
      const std::string& text = arguments[++i];
      request.rawFormat = ParseFormatCode(text);
      if (!request.rawFormat) throw UsageError("--raw-out: \"" + text + "\" is not a host format; formats: " + FormatCodeList());
    } else if ((argument == "-" || argument[0] != '-') && !havePath) {
      request.path = argument;
      havePath = true;
    } else {
      throw UsageError("unexpected argument " + argument + " (see threeway help testcard)");
    }
  }
  if (!havePath) throw UsageError("needs OUTPUT (see threeway help testcard)");
  const Picture card = MakeTestCard(width, height);
  FrameInfo info;
  info.width = width, info.height = height, info.format = card.format, info.storage = Storage::k16;
  info.hasAlpha = false, info.channels = 3;
  std::unique_ptr<FrameSink> sink = OpenFrameSink(request, info);
  sink->Write(ConvertPicture(card, sink->format()));
  sink->Finish();
  sink->Commit();
  return kExitOk;
}

}  // namespace

const Command& TestcardCommand() {
  static const Command command{
      "testcard", "write the built-in test picture",
      R"(usage: threeway testcard OUTPUT [--size WxH] [--raw-out CODE]

Writes the built-in test picture (default 1920x1080), 16-bit when the file format allows:
hues across the top from black through full colour to white, a smooth grey ramp, an eleven-step
grey scale, BT.601 colour bars at 75 % with the 100 % primaries, secondaries and two skin tones
below, and fine detail (one-pixel line pairs, a checkerboard, a zone plate).
With --raw-out CODE, OUTPUT gets one raw frame in that host format ("-": standard output).

Examples:
  threeway testcard sample.png
  threeway testcard card.exr --size 3840x2160
  threeway testcard - --size 64x36 --raw-out Bgra > card.raw
)",
      RunTestcard};
  return command;
}

}  // namespace threeway::cli
