// The scope pictures: layouts, graticules and the traces drawn on the canvas.
#include "cli/scopes/scopes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "cli/scopes/canvas.h"

namespace threeway::cli {

using namespace canvas;

namespace {

// Brightness of a trace cell holding `count` pixels: any pixel shows (at least `floor`), and the
// cell saturates as the count passes a few times `reference`.
float Brightness(std::uint32_t count, double reference, float floor) {
  if (count == 0) return 0.0f;
  return floor + (1.0f - floor) * static_cast<float>(1.0 - std::exp(-static_cast<double>(count) / reference));
}

// Draws a column trace into `area`: each column's brightness measured against that column's total,
// so a stretched or shared column looks the same as any other.
void DrawColumnTrace(Picture& picture, const PlotArea& area, const ScopeTrace& trace, Tint tint) {
  for (int x = 0; x < trace.width; ++x) {
    std::uint64_t total = 0;
    for (int y = 0; y < trace.height; ++y) total += trace.At(x, y);
    if (total == 0) continue;
    // A column spread evenly over every row sits at about a third of full brightness.
    const double reference = static_cast<double>(total) / trace.height * 4.0;
    for (int y = 0; y < trace.height; ++y) {
      const std::uint32_t count = trace.At(x, y);
      if (count != 0) Add(picture, area.left + x, area.top + y, tint, Brightness(count, reference, 0.2f));
    }
  }
}

// The graticule of a waveform-like plot: lines at 0, 25, 50, 75 and 100 % and, when `labels`,
// their numbers right-aligned left of the plot.
void DrawLevelGraticule(Picture& picture, const PlotArea& area, int scale, bool labels) {
  Outline(picture, area.left - 1, area.top - 1, area.width + 2, area.height + 2, kFrameLine);
  for (int percent = 0; percent <= 100; percent += 25) {
    const int y = area.top + LevelRow(static_cast<float>(percent) / 100.0f, area.height);
    HLine(picture, area.left, area.left + area.width - 1, y, kGraticule, percent % 50 == 0 ? 0 : 3 * scale);
    if (labels) {
      const std::string text = std::to_string(percent);
      DrawText(picture, area.left - 3 * scale - TextWidth(text, scale), y - 3 * scale, text, scale, kGraticuleText);
    }
  }
}

// The left margin that holds the level numbers.
int LevelLabelMargin(int scale) { return TextWidth("100", scale) + 5 * scale; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Layouts

PlotArea WaveformArea(int width, int height) {
  const int scale = TextScale(width, height);
  const int left = LevelLabelMargin(scale), margin = 4 * scale;
  return {left, margin, std::max(1, width - left - margin), std::max(1, height - 2 * margin)};
}

std::array<PlotArea, 3> ParadeAreas(int width, int height) {
  const PlotArea whole = WaveformArea(width, height);
  const int scale = TextScale(width, height);
  const int gap = 6 * scale;
  const int panel = std::max(1, (whole.width - 2 * gap) / 3);
  std::array<PlotArea, 3> areas{};
  for (int i = 0; i < 3; ++i) areas[static_cast<std::size_t>(i)] = {whole.left + i * (panel + gap), whole.top, panel, whole.height};
  return areas;
}

PlotArea HistogramArea(int width, int height) {
  const int scale = TextScale(width, height);
  const int left = TextWidth("1.0", scale) + 5 * scale, right = 4 * scale;
  const int top = kLineHeight * scale + 6 * scale, bottom = kLineHeight * scale + 6 * scale;
  return {left, top, std::max(1, width - left - right), std::max(1, height - top - bottom)};
}

// ---------------------------------------------------------------------------------------------
// Pictures

Picture DrawWaveform(const Picture& frame, int width, int height) {
  CheckSize(width, height);
  Picture picture = Canvas(width, height);
  const PlotArea area = WaveformArea(width, height);
  const int scale = TextScale(width, height);
  DrawLevelGraticule(picture, area, scale, true);
  DrawColumnTrace(picture, area, WaveformTrace(frame, area.width, area.height), kLumaTint);
  DrawText(picture, area.left + 3 * scale, area.top + 2 * scale, "Y", scale, kGraticuleText);
  return picture;
}

Picture DrawParade(const Picture& frame, int width, int height) {
  CheckSize(width, height);
  Picture picture = Canvas(width, height);
  Picture holder;
  const Picture& rgb = InFormat(frame, zkfx::kPixelFormatBGRA32f, holder);
  const int scale = TextScale(width, height);
  const std::array<PlotArea, 3> areas = ParadeAreas(width, height);
  constexpr std::string_view kNames[3] = {"R", "G", "B"};
  for (int i = 0; i < 3; ++i) {
    const PlotArea& area = areas[static_cast<std::size_t>(i)];
    DrawLevelGraticule(picture, area, scale, i == 0);
    DrawColumnTrace(picture, area, ParadeTrace(rgb, i, area.width, area.height), kParadeTints[i]);
    const Tint t = kParadeTints[i];
    DrawText(picture, area.left + 3 * scale, area.top + 2 * scale, kNames[i], scale,
             Rgb8{static_cast<std::uint8_t>(t.r * 220), static_cast<std::uint8_t>(t.g * 220), static_cast<std::uint8_t>(t.b * 220)});
  }
  return picture;
}

Picture DrawVectorscope(const Picture& frame, int size) {
  CheckSize(size, size);
  Picture picture = Canvas(size, size);
  const int scale = TextScale(size, size);
  // Pixel position of a chroma value, as VectorscopeCell places it (before rounding).
  const double perUnit = (size - 1) / (2.0 * kChromaExtent);
  const auto px = [&](double u) { return (u + kChromaExtent) * perUnit; };
  const auto py = [&](double v) { return (kChromaExtent - v) * perUnit; };
  const double cx = px(0.0), cy = py(0.0);

  // Axes, the nominal span (radius 0.5) and half of it.
  Line(picture, px(-0.5), cy, px(0.5), cy, kFrameLine);
  Line(picture, cx, py(-0.5), cx, py(0.5), kFrameLine);
  Circle(picture, cx, cy, 0.5 * perUnit, kGraticule);
  Circle(picture, cx, cy, 0.25 * perUnit, kFrameLine, 4 * scale);
  // The skin-tone line: skin of every complexion lies near this hue, 123 degrees from +U.
  const double skin = 123.0 * std::numbers::pi / 180.0;
  Line(picture, cx, cy, cx + 0.5 * perUnit * std::cos(skin), cy - 0.5 * perUnit * std::sin(skin), Rgb8{110, 84, 60},
       3 * scale);

  for (const ChromaTarget& target : ChromaTargets()) {
    // 75 % bars: a small box; 100 %: a larger box and the label, placed outwards. The boxes are
    // centred on the cells where the trace counts those colours.
    const Cell at75 = VectorscopeCell(static_cast<float>(0.75 * target.u), static_cast<float>(0.75 * target.v), size);
    const int small = 2 * scale;
    Outline(picture, at75.x - small, at75.y - small, 2 * small + 1, 2 * small + 1, kGraticule);
    const Cell at = VectorscopeCell(static_cast<float>(target.u), static_cast<float>(target.v), size);
    const int half = 4 * scale;
    Outline(picture, at.x - half, at.y - half, 2 * half + 1, 2 * half + 1, kGraticuleText);
    const double length = std::hypot(target.u, target.v);
    const double away = half + 7.0 * scale;
    const double lx = at.x + target.u / length * away, ly = at.y - target.v / length * away;
    const int textWidth = TextWidth(target.label, scale);
    const Rgb8 tint{static_cast<std::uint8_t>(120 + 120 * target.r), static_cast<std::uint8_t>(120 + 120 * target.g),
                    static_cast<std::uint8_t>(120 + 120 * target.b)};
    DrawText(picture, static_cast<int>(std::lround(lx)) - textWidth / 2,
             static_cast<int>(std::lround(ly)) - 7 * scale / 2, target.label, scale, tint);
  }

  // The trace, on a logarithmic scale: a single pixel shows dimly, a cell holding 1/64 of the frame
  // (a flat patch) at full brightness, so patches stand out from a spread of colours; bright cells
  // turn from green towards white. On large scopes each cell is drawn as a spot (the brightest cell
  // within VectorscopeSpot pixels wins), so a patch is a dot one can see, not a lone pixel.
  const ScopeTrace trace = VectorscopeTrace(frame, size);
  const double full = std::log1p(std::max(1.0, static_cast<double>(frame.width) * frame.height / 64.0));
  std::vector<float> level(static_cast<std::size_t>(size) * size, 0.0f);
  for (std::size_t i = 0; i < level.size(); ++i) {
    if (trace.counts[i] == 0) continue;
    level[i] = std::min(1.0f, 0.12f + 0.88f * static_cast<float>(std::log1p(static_cast<double>(trace.counts[i])) / full));
  }
  const int spot = VectorscopeSpot(size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      float b = 0.0f;
      for (int j = std::max(0, y - spot); j <= std::min(size - 1, y + spot); ++j) {
        for (int i = std::max(0, x - spot); i <= std::min(size - 1, x + spot); ++i) {
          b = std::max(b, level[static_cast<std::size_t>(j) * size + static_cast<std::size_t>(i)]);
        }
      }
      if (b == 0.0f) continue;
      const float white = b * b * b;
      Add(picture, x, y, Tint{kLumaTint.r + (1.0f - kLumaTint.r) * white, 1.0f, kLumaTint.b + (1.0f - kLumaTint.b) * white}, b);
    }
  }
  DrawText(picture, 3 * scale, 3 * scale, "BT.601 U/V", scale, kGraticuleText);
  return picture;
}

Picture DrawHistogram(const zkfx::LumaHistogram& histogram, int width, int height) {
  CheckSize(width, height);
  Picture picture = Canvas(width, height);
  const PlotArea area = HistogramArea(width, height);
  const int scale = TextScale(width, height);
  const int bottom = area.top + area.height;  // one below the plot's last row
  const auto binLeft = [&](int bin) { return area.left + static_cast<int>(std::int64_t{bin} * area.width / 256); };
  const auto binRight = [&](int bin) { return std::max(binLeft(bin) + 1, binLeft(bin + 1)); };  // exclusive

  Outline(picture, area.left - 1, area.top - 1, area.width + 2, area.height + 2, kFrameLine);
  for (int quarter = 1; quarter <= 4; ++quarter) {
    const int y = bottom - static_cast<int>(std::lround(quarter / 4.0 * area.height));
    HLine(picture, area.left, area.left + area.width - 1, y, kGraticule, quarter % 2 == 0 ? 0 : 3 * scale);
  }
  DrawText(picture, area.left - 3 * scale - TextWidth("1.0", scale), area.top - 3 * scale, "1.0", scale, kGraticuleText);
  DrawText(picture, area.left - 3 * scale - TextWidth("0", scale), bottom - 4 * scale, "0", scale, kGraticuleText);
  for (int bin : {0, 64, 128, 192, 255}) {
    const int x = (binLeft(bin) + binRight(bin) - 1) / 2;
    VLine(picture, x, bottom, bottom + 2 * scale, kGraticuleText);
    const std::string text = std::to_string(bin);
    const int w = TextWidth(text, scale);
    DrawText(picture, std::clamp(x - w / 2, 0, width - w), bottom + 4 * scale, text, scale, kGraticuleText);
  }

  // Bars: bin i fills its columns from the bottom up to round(normalized[i] x plot height).
  for (int bin = 0; bin < 256; ++bin) {
    const float n = std::clamp(histogram.normalized[bin], 0.0f, 1.0f);  // NaN stays NaN: no bar
    const long bar = n > 0.0f ? std::lround(n * static_cast<float>(area.height)) : 0;
    FillRect(picture, binLeft(bin), bottom - static_cast<int>(bar), binRight(bin) - binLeft(bin), static_cast<int>(bar),
             Rgb8{205, 205, 200});
  }

  // The threshold the buttons compare with, and the bins they would pick.
  const int threshold = bottom - static_cast<int>(std::lround(kAutoLevelThreshold * area.height)) - 1;
  HLine(picture, area.left, area.left + area.width - 1, threshold, Rgb8{150, 60, 60}, 2 * scale);
  const AutoLevelBins picks = AutoLevelPicks(histogram);
  constexpr Rgb8 kBlackMark{90, 200, 255}, kWhiteMark{255, 170, 60};
  for (const auto& [bin, colour] : {std::pair{picks.black, kBlackMark}, std::pair{picks.white, kWhiteMark}}) {
    const int x = (binLeft(bin) + binRight(bin) - 1) / 2;
    VLine(picture, x, area.top, bottom - 1, colour, 2 * scale);
  }
  const std::string black = "Auto Black " + std::to_string(picks.black);
  const std::string white = "Auto White " + std::to_string(picks.white);
  const int textTop = 3 * scale;
  DrawText(picture, area.left, textTop, black, scale, kBlackMark);
  DrawText(picture, area.left + area.width - TextWidth(white, scale), textTop, white, scale, kWhiteMark);
  if (!picks.found) {
    const std::string none = "no bin above 0.005";
    DrawText(picture, area.left + (area.width - TextWidth(none, scale)) / 2, textTop, none, scale, kGraticuleText);
  }
  return picture;
}

}  // namespace threeway::cli
