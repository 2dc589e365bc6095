#include "cli/scopes/scopes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "cli/tool_error.h"

namespace threeway::cli {
namespace {

// ---------------------------------------------------------------------------------------------
// The built-in font: 5 x 7 pixel glyphs (caps and digits sit on row 6; descenders use row 7),
// rows separated by blanks, '#' a lit pixel.

struct Glyph {
  char character;
  const char* rows;
};

constexpr Glyph kFont[] = {
    {'0', ".###. #...# #..## #.#.# ##..# #...# .###."}, {'1', "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###."},
    {'2', ".###. #...# ....# ...#. ..#.. .#... #####"}, {'3', "##### ...#. ..#.. ...#. ....# #...# .###."},
    {'4', "...#. ..##. .#.#. #..#. ##### ...#. ...#."}, {'5', "##### #.... ####. ....# ....# #...# .###."},
    {'6', "..##. .#... #.... ####. #...# #...# .###."}, {'7', "##### ....# ...#. ..#.. .#... .#... .#..."},
    {'8', ".###. #...# #...# .###. #...# #...# .###."}, {'9', ".###. #...# #...# .#### ....# ...#. .##.."},
    {'A', ".###. #...# #...# ##### #...# #...# #...#"}, {'B', "####. #...# #...# ####. #...# #...# ####."},
    {'C', ".###. #...# #.... #.... #.... #...# .###."}, {'D', "###.. #..#. #...# #...# #...# #..#. ###.."},
    {'E', "##### #.... #.... ####. #.... #.... #####"}, {'F', "##### #.... #.... ####. #.... #.... #...."},
    {'G', ".###. #...# #.... #.### #...# #...# .####"}, {'H', "#...# #...# #...# ##### #...# #...# #...#"},
    {'I', ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###."}, {'J', "..### ...#. ...#. ...#. ...#. #..#. .##.."},
    {'K', "#...# #..#. #.#.. ##... #.#.. #..#. #...#"}, {'L', "#.... #.... #.... #.... #.... #.... #####"},
    {'M', "#...# ##.## #.#.# #.#.# #...# #...# #...#"}, {'N', "#...# #...# ##..# #.#.# #..## #...# #...#"},
    {'O', ".###. #...# #...# #...# #...# #...# .###."}, {'P', "####. #...# #...# ####. #.... #.... #...."},
    {'Q', ".###. #...# #...# #...# #.#.# #..#. .##.#"}, {'R', "####. #...# #...# ####. #.#.. #..#. #...#"},
    {'S', ".#### #.... #.... .###. ....# ....# ####."}, {'T', "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#.."},
    {'U', "#...# #...# #...# #...# #...# #...# .###."}, {'V', "#...# #...# #...# #...# #...# .#.#. ..#.."},
    {'W', "#...# #...# #...# #.#.# #.#.# #.#.# .#.#."}, {'X', "#...# #...# .#.#. ..#.. .#.#. #...# #...#"},
    {'Y', "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#.."}, {'Z', "##### ....# ...#. ..#.. .#... #.... #####"},
    {'a', "..... ..... .###. ....# .#### #...# .####"}, {'b', "#.... #.... ####. #...# #...# #...# ####."},
    {'c', "..... ..... .###. #.... #.... #...# .###."}, {'d', "....# ....# .#### #...# #...# #...# .####"},
    {'e', "..... ..... .###. #...# ##### #.... .###."}, {'f', "..##. .#..# .#... ###.. .#... .#... .#..."},
    {'g', "..... ..... .#### #...# #...# .#### ....# .###."}, {'h', "#.... #.... ####. #...# #...# #...# #...#"},
    {'i', "..#.. ..... .##.. ..#.. ..#.. ..#.. .###."}, {'j', "...#. ..... ..##. ...#. ...#. ...#. #..#. .##.."},
    {'k', "#.... #.... #..#. #.#.. ##... #.#.. #..#."}, {'l', ".#... .#... .#... .#... .#... .#... ..##."},
    {'m', "..... ..... ##.#. #.#.# #.#.# #.#.# #.#.#"}, {'n', "..... ..... ####. #...# #...# #...# #...#"},
    {'o', "..... ..... .###. #...# #...# #...# .###."}, {'p', "..... ..... ####. #...# #...# ####. #.... #...."},
    {'q', "..... ..... .#### #...# #...# .#### ....# ....#"}, {'r', "..... ..... #.##. ##..# #.... #.... #...."},
    {'s', "..... ..... .#### #.... .###. ....# ####."}, {'t', ".#... .#... ###.. .#... .#... .#..# ..##."},
    {'u', "..... ..... #...# #...# #...# #..## .##.#"}, {'v', "..... ..... #...# #...# #...# .#.#. ..#.."},
    {'w', "..... ..... #...# #...# #.#.# #.#.# .#.#."}, {'x', "..... ..... #...# .#.#. ..#.. .#.#. #...#"},
    {'y', "..... ..... #...# #...# #...# .#### ....# .###."}, {'z', "..... ..... ##### ...#. ..#.. .#... #####"},
    {'%', "##... ##..# ...#. ..#.. .#... #..## ...##"}, {'.', "..... ..... ..... ..... ..... .##.. .##.."},
    {'-', "..... ..... ..... ##### ..... ..... ....."}, {',', "..... ..... ..... ..... .##.. ..#.. .#..."},
    {':', "..... .##.. .##.. ..... .##.. .##.. ....."}, {'/', "..... ....# ...#. ..#.. .#... #.... ....."},
    {'(', "...#. ..#.. .#... .#... .#... ..#.. ...#."}, {')', ".#... ..#.. ...#. ...#. ...#. ..#.. .#..."},
    {'+', "..... ..#.. ..#.. ##### ..#.. ..#.. ....."}, {'=', "..... ..... ##### ..... ##### ..... ....."},
};

constexpr int kGlyphAdvance = 6;  // 5 pixels and one of spacing
constexpr int kLineHeight = 8;    // 7 rows and the descender row

const char* GlyphRows(char c) {
  for (const Glyph& glyph : kFont) {
    if (glyph.character == c) return glyph.rows;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Drawing on 8-bit ARGB pictures

struct Rgb8 {
  std::uint8_t r, g, b;
};

constexpr Rgb8 kBackground{14, 14, 16};
constexpr Rgb8 kGraticule{72, 66, 40};      // dim amber lines
constexpr Rgb8 kGraticuleText{170, 160, 110};
constexpr Rgb8 kFrameLine{44, 44, 48};      // plot borders

// A tint as fractions of full scale, scaled by a trace's brightness and added to the picture.
struct Tint {
  float r, g, b;
};
constexpr Tint kLumaTint{0.62f, 1.0f, 0.66f};
constexpr Tint kParadeTints[3] = {{1.0f, 0.32f, 0.28f}, {0.36f, 1.0f, 0.40f}, {0.40f, 0.56f, 1.0f}};

std::uint8_t* PixelAt(Picture& picture, int x, int y) {
  return picture.Row(y) + static_cast<std::size_t>(x) * 4;
}

void Put(Picture& picture, int x, int y, Rgb8 c) {
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
  std::uint8_t* p = PixelAt(picture, x, y);
  p[0] = 255, p[1] = c.r, p[2] = c.g, p[3] = c.b;
}

// Adds a tint at `strength` (0..1), saturating at full scale.
void Add(Picture& picture, int x, int y, Tint tint, float strength) {
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
  std::uint8_t* p = PixelAt(picture, x, y);
  const float add[3] = {tint.r, tint.g, tint.b};
  for (int c = 0; c < 3; ++c) {
    const float v = static_cast<float>(p[c + 1]) + add[c] * strength * 255.0f;
    p[c + 1] = static_cast<std::uint8_t>(std::min(255.0f, v + 0.5f));
  }
}

void FillRect(Picture& picture, int x, int y, int width, int height, Rgb8 c) {
  for (int j = std::max(0, y); j < std::min(picture.height, y + height); ++j) {
    for (int i = std::max(0, x); i < std::min(picture.width, x + width); ++i) Put(picture, i, j, c);
  }
}

void HLine(Picture& picture, int x0, int x1, int y, Rgb8 c, int dash = 0) {
  for (int x = x0; x <= x1; ++x) {
    if (dash == 0 || ((x - x0) / dash) % 2 == 0) Put(picture, x, y, c);
  }
}

void VLine(Picture& picture, int x, int y0, int y1, Rgb8 c, int dash = 0) {
  for (int y = y0; y <= y1; ++y) {
    if (dash == 0 || ((y - y0) / dash) % 2 == 0) Put(picture, x, y, c);
  }
}

void Outline(Picture& picture, int x, int y, int width, int height, Rgb8 c, int thickness = 1) {
  for (int t = 0; t < thickness; ++t) {
    HLine(picture, x, x + width - 1, y + t, c);
    HLine(picture, x, x + width - 1, y + height - 1 - t, c);
    VLine(picture, x + t, y, y + height - 1, c);
    VLine(picture, x + width - 1 - t, y, y + height - 1, c);
  }
}

// A line from (x0, y0) to (x1, y1), dashed every `dash` pixels of its length when dash > 0.
void Line(Picture& picture, double x0, double y0, double x1, double y1, Rgb8 c, int dash = 0) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  const int steps = std::max(1, static_cast<int>(std::ceil(length)));
  for (int i = 0; i <= steps; ++i) {
    if (dash > 0 && (i / dash) % 2 != 0) continue;
    const double t = static_cast<double>(i) / steps;
    Put(picture, static_cast<int>(std::lround(x0 + (x1 - x0) * t)), static_cast<int>(std::lround(y0 + (y1 - y0) * t)), c);
  }
}

void Circle(Picture& picture, double cx, double cy, double radius, Rgb8 c, int dash = 0) {
  const int steps = std::max(8, static_cast<int>(std::ceil(2.0 * std::numbers::pi * radius)));
  for (int i = 0; i < steps; ++i) {
    if (dash > 0 && (i / dash) % 2 != 0) continue;
    const double a = 2.0 * std::numbers::pi * i / steps;
    Put(picture, static_cast<int>(std::lround(cx + radius * std::cos(a))),
        static_cast<int>(std::lround(cy + radius * std::sin(a))), c);
  }
}

int DrawText(Picture& picture, int x, int y, std::string_view text, int scale, Rgb8 c) {
  return DrawText(picture, x, y, text, scale, c.r, c.g, c.b);
}

// Text scale for a picture: one font pixel per 256 pixels of the shorter side, at least 1.
int TextScale(int width, int height) { return std::max(1, std::min(width, height) / 256); }

Picture Canvas(int width, int height) {
  Picture picture = Picture::Blank(width, height, kScopeFormat);
  FillRect(picture, 0, 0, width, height, kBackground);
  return picture;
}

void CheckSize(int width, int height) {
  if (width < 1 || height < 1 || width > kScopeMaxSide || height > kScopeMaxSide) {
    throw ToolError("internal: a scope of " + std::to_string(width) + "x" + std::to_string(height) + " pixels");
  }
}

// The frame in `format` (one of the float formats the scopes read): the frame itself when it is
// already in it, else a conversion held in `holder`.
const Picture& InFormat(const Picture& frame, std::uint32_t format, Picture& holder) {
  if (frame.format == format) return frame;
  holder = ConvertPicture(frame, format);
  return holder;
}

// The grid point nearest to position t on a scale whose points are 0 .. n-1: round(t) (halves
// away from zero), clamped to 0..n-1; NaN gives n-1.
int NearestPoint(float t, int n) {
  const float last = static_cast<float>(n - 1);
  if (!(t < last)) return n - 1;
  if (t < 0.0f) return 0;
  return static_cast<int>(std::lround(t));
}

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
// Text

int TextWidth(std::string_view text, int scale) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * kGlyphAdvance * scale - scale;
}

int DrawText(Picture& picture, int x, int y, std::string_view text, int scale, std::uint8_t r, std::uint8_t g,
             std::uint8_t b) {
  const Rgb8 colour{r, g, b};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* rows = GlyphRows(text[i]);
    if (rows == nullptr) continue;
    const int left = x + static_cast<int>(i) * kGlyphAdvance * scale;
    int row = 0, column = 0;
    for (const char* p = rows; *p != '\0'; ++p) {
      if (*p == ' ') {
        ++row, column = 0;
        continue;
      }
      if (*p == '#') FillRect(picture, left + column * scale, y + row * scale, scale, scale, colour);
      ++column;
    }
  }
  return TextWidth(text, scale);
}

// ---------------------------------------------------------------------------------------------
// Traces

int LevelRow(float value, int rows) {
  return NearestPoint((kLevelTop - value) / (kLevelTop - kLevelBottom) * static_cast<float>(rows - 1), rows);
}

ScopeTrace ColumnTrace(const Picture& frame, int channel, int columns, int rows) {
  CheckSize(columns, rows);
  if (frame.format != zkfx::kPixelFormatVUYA32f && frame.format != zkfx::kPixelFormatBGRA32f) {
    throw ToolError("internal: a column trace reads 'VUya' or 'BGra' pictures");
  }
  ScopeTrace trace{columns, rows, std::vector<std::uint32_t>(static_cast<std::size_t>(columns) * rows, 0)};
  const std::int64_t width = frame.width;
  for (int x = 0; x < frame.width; ++x) {
    const int first = static_cast<int>(x * std::int64_t{columns} / width);
    const int last = std::max(first + 1, static_cast<int>((x + 1) * std::int64_t{columns} / width));
    for (int y = 0; y < frame.height; ++y) {
      float value;
      std::memcpy(&value, frame.Row(y) + (static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(channel)) * sizeof(float),
                  sizeof value);
      const std::size_t row = static_cast<std::size_t>(LevelRow(value, rows)) * static_cast<std::size_t>(columns);
      for (int c = first; c < last; ++c) ++trace.counts[row + static_cast<std::size_t>(c)];
    }
  }
  return trace;
}

ScopeTrace WaveformTrace(const Picture& frame, int columns, int rows) {
  Picture holder;
  return ColumnTrace(InFormat(frame, zkfx::kPixelFormatVUYA32f, holder), 2, columns, rows);
}

ScopeTrace ParadeTrace(const Picture& frame, int rgbChannel, int columns, int rows) {
  Picture holder;
  // 'BGra' holds blue, green, red, alpha.
  return ColumnTrace(InFormat(frame, zkfx::kPixelFormatBGRA32f, holder), 2 - rgbChannel, columns, rows);
}

int VectorscopeSpot(int size) { return TextScale(size, size) / 2; }

Cell VectorscopeCell(float u, float v, int size) {
  const float span = 2.0f * kChromaExtent;
  const float last = static_cast<float>(size - 1);
  return {NearestPoint((u + kChromaExtent) / span * last, size), NearestPoint((kChromaExtent - v) / span * last, size)};
}

ScopeTrace VectorscopeTrace(const Picture& frame, int size) {
  CheckSize(size, size);
  Picture holder;
  const Picture& working = InFormat(frame, zkfx::kPixelFormatVUYA32f, holder);
  ScopeTrace trace{size, size, std::vector<std::uint32_t>(static_cast<std::size_t>(size) * size, 0)};
  for (int y = 0; y < working.height; ++y) {
    const std::uint8_t* row = working.Row(y);
    for (int x = 0; x < working.width; ++x) {
      float vu[2];  // V, U
      std::memcpy(vu, row + static_cast<std::size_t>(x) * 16, sizeof vu);
      const Cell cell = VectorscopeCell(vu[1], vu[0], size);
      ++trace.counts[static_cast<std::size_t>(cell.y) * size + static_cast<std::size_t>(cell.x)];
    }
  }
  return trace;
}

const std::array<ChromaTarget, 6>& ChromaTargets() {
  static const std::array<ChromaTarget, 6> targets = [] {
    const struct {
      std::string_view label;
      float r, g, b;
    } colours[6] = {{"R", 1, 0, 0}, {"Mg", 1, 0, 1}, {"B", 0, 0, 1}, {"Cy", 0, 1, 1}, {"G", 0, 1, 0}, {"Yl", 1, 1, 0}};
    std::array<ChromaTarget, 6> result{};
    for (int i = 0; i < 6; ++i) {
      const auto& c = colours[i];
      const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
      result[static_cast<std::size_t>(i)] = {c.label, c.r, c.g, c.b, (c.b - y) / 1.772, (c.r - y) / 1.402};
    }
    return result;
  }();
  return targets;
}

AutoLevelBins AutoLevelPicks(const zkfx::LumaHistogram& histogram) {
  AutoLevelBins bins;
  for (int i = 0; i < 256; ++i) {
    if (histogram.normalized[i] > kAutoLevelThreshold) {
      if (!bins.found) bins.black = i;
      bins.white = i;
      bins.found = true;
    }
  }
  return bins;
}

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

// ---------------------------------------------------------------------------------------------
// Before and after

namespace {

// Copies `overlay` (8-bit ARGB) into `target` at x, y, converted to the target's format by the
// host's image library; the part outside the target is left out.
void Paste(Picture& target, int x, int y, const Picture& overlay) {
  if (x < 0 || y < 0 || x + overlay.width > target.width || y + overlay.height > target.height) return;
  const Picture converted = ConvertPicture(overlay, target.format);
  const std::size_t bytesPerPixel = static_cast<std::size_t>(target.rowBytes() / target.width);
  for (int row = 0; row < converted.height; ++row) {
    std::memcpy(target.Row(y + row) + static_cast<std::size_t>(x) * bytesPerPixel, converted.Row(row),
                static_cast<std::size_t>(converted.rowBytes()));
  }
}

// Label text scale for a comparison half: one font pixel per 360 pixels of the shorter side.
int LabelScale(int width, int height) { return std::max(1, std::min(width, height) / 360); }

}  // namespace

DividerColumns BeforeAfterDivider(int halfWidth, int height) {
  const int width = std::min(halfWidth, 2 * LabelScale(halfWidth, height));
  return {halfWidth - width / 2, width};
}

Picture BeforeAfter(const Picture& before, const Picture& after) {
  Picture both = SideBySide(before, after);
  const int half = before.width, height = before.height;
  const DividerColumns divider = BeforeAfterDivider(half, height);
  Picture line = Canvas(divider.width, height);
  FillRect(line, 0, 0, divider.width, height, Rgb8{215, 215, 215});
  Paste(both, divider.first, 0, line);

  const int scale = LabelScale(half, height);
  const int pad = 2 * scale, margin = 4 * scale;
  for (const auto& [text, left] : {std::pair{std::string_view("before"), 0}, std::pair{std::string_view("after"), half}}) {
    const int boxWidth = TextWidth(text, scale) + 2 * pad, boxHeight = 7 * scale + 2 * pad;
    if (boxWidth + 2 * margin + divider.width > half || boxHeight + margin > height) continue;
    Picture label = Canvas(boxWidth, boxHeight);
    FillRect(label, 0, 0, boxWidth, boxHeight, Rgb8{20, 20, 20});
    DrawText(label, pad, pad, text, scale, Rgb8{235, 235, 235});
    Paste(both, left + margin + (left == 0 ? 0 : divider.width), margin, label);
  }
  return both;
}

}  // namespace threeway::cli
