// threeway testcard: writes the built-in test picture, the sample the demo grades.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "cli/commands/command.h"
#include "cli/media/frame_io.h"
#include "cli/media/picture.h"

namespace threeway::cli {
namespace {

struct Rgb {
  double r, g, b;
};

// Fully saturated colour of a hue in turns (0 red, 1/3 green, 2/3 blue).
Rgb Hue(double turns) {
  const auto channel = [turns](double offset) {
    double h = std::fmod(turns + offset, 1.0) * 6.0;
    if (h < 0) h += 6.0;
    return std::clamp(std::fabs(h - 3.0) - 1.0, 0.0, 1.0);
  };
  return {channel(0.0), channel(2.0 / 3.0), channel(1.0 / 3.0)};
}

Rgb Grey(double v) { return {v, v, v}; }

// BT.601 colour bars at 75 % amplitude (white, yellow, cyan, green, magenta, red, blue, black) and,
// below them, the 100 % primaries and secondaries with two skin tones.
constexpr Rgb kBars75[8] = {{0.75, 0.75, 0.75}, {0.75, 0.75, 0}, {0, 0.75, 0.75}, {0, 0.75, 0},
                            {0.75, 0, 0.75},    {0.75, 0, 0},    {0, 0, 0.75},    {0, 0, 0}};
constexpr Rgb kFull[8] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0},
                          {0.88, 0.67, 0.55}, {0.55, 0.33, 0.14}};

// The card at pixel x, y of a width x height picture. Bands from the top: hues across, black to
// full colour to white downwards; a smooth grey ramp; an eleven-step grey scale; the two rows of
// patches; fine detail (one-pixel line pairs both ways, a checkerboard and a zone plate).
Rgb CardPixel(int x, int y, int width, int height) {
  const double u = (x + 0.5) / width;
  const double v = (y + 0.5) / height;
  if (v < 0.40) {
    const Rgb c = Hue(u);
    const double t = v / 0.40 * 2.0;
    if (t < 1.0) return {c.r * t, c.g * t, c.b * t};
    const double w = t - 1.0;
    return {c.r + (1 - c.r) * w, c.g + (1 - c.g) * w, c.b + (1 - c.b) * w};
  }
  if (v < 0.50) return Grey(static_cast<double>(x) / std::max(1, width - 1));
  if (v < 0.55) return Grey(std::min(10, x * 11 / width) / 10.0);
  if (v < 0.75) {
    const int patch = std::min(7, x * 8 / width);
    return v < 0.65 ? kBars75[patch] : kFull[patch];
  }
  const int zone = std::min(3, x * 4 / width);
  const int zoneLeft = zone * width / 4, zoneWidth = (zone + 1) * width / 4 - zoneLeft;
  const int top = static_cast<int>(0.75 * height);
  switch (zone) {
    case 0: return Grey(x % 2 ? 0.9 : 0.1);
    case 1: return Grey(y % 2 ? 0.9 : 0.1);
    case 2: return Grey(((x / 4) + (y / 4)) % 2 ? 0.8 : 0.2);
    default: {
      // Zone plate: cos(k r^2), the frequency reaching half the sampling rate at the zone's edge.
      const double cx = zoneLeft + zoneWidth / 2.0, cy = top + (height - top) / 2.0;
      const double radius = std::max(1.0, std::min(zoneWidth, height - top) / 2.0);
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      const double k = std::numbers::pi / (2.0 * radius);
      return Grey(0.5 + 0.45 * std::cos(k * (dx * dx + dy * dy)));
    }
  }
}

Picture MakeTestCard(int width, int height) {
  Picture card = Picture::Blank(width, height, zkfx::kPixelFormatARGB16);
  const auto code = [](double c) { return static_cast<std::uint16_t>(std::lround(std::clamp(c, 0.0, 1.0) * 65535.0)); };
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint16_t*>(card.Row(y));
    for (int x = 0; x < width; ++x, row += 4) {
      const Rgb c = CardPixel(x, y, width, height);
      row[0] = 65535, row[1] = code(c.r), row[2] = code(c.g), row[3] = code(c.b);
    }
  }
  return card;
}

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
