#include "cli/media/test_card.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

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

}  // namespace

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

}  // namespace threeway::cli
