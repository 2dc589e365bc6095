#include "cli/scopes/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "cli/tool_error.h"

namespace threeway::cli::canvas {
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


const char* GlyphRows(char c) {
  for (const Glyph& glyph : kFont) {
    if (glyph.character == c) return glyph.rows;
  }
  return nullptr;
}


}  // namespace

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

void HLine(Picture& picture, int x0, int x1, int y, Rgb8 c, int dash) {
  for (int x = x0; x <= x1; ++x) {
    if (dash == 0 || ((x - x0) / dash) % 2 == 0) Put(picture, x, y, c);
  }
}

void VLine(Picture& picture, int x, int y0, int y1, Rgb8 c, int dash) {
  for (int y = y0; y <= y1; ++y) {
    if (dash == 0 || ((y - y0) / dash) % 2 == 0) Put(picture, x, y, c);
  }
}

void Outline(Picture& picture, int x, int y, int width, int height, Rgb8 c, int thickness) {
  for (int t = 0; t < thickness; ++t) {
    HLine(picture, x, x + width - 1, y + t, c);
    HLine(picture, x, x + width - 1, y + height - 1 - t, c);
    VLine(picture, x + t, y, y + height - 1, c);
    VLine(picture, x + width - 1 - t, y, y + height - 1, c);
  }
}

// A line from (x0, y0) to (x1, y1), dashed every `dash` pixels of its length when dash > 0.
void Line(Picture& picture, double x0, double y0, double x1, double y1, Rgb8 c, int dash) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  const int steps = std::max(1, static_cast<int>(std::ceil(length)));
  for (int i = 0; i <= steps; ++i) {
    if (dash > 0 && (i / dash) % 2 != 0) continue;
    const double t = static_cast<double>(i) / steps;
    Put(picture, static_cast<int>(std::lround(x0 + (x1 - x0) * t)), static_cast<int>(std::lround(y0 + (y1 - y0) * t)), c);
  }
}

void Circle(Picture& picture, double cx, double cy, double radius, Rgb8 c, int dash) {
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
  // std::lround, halves away from zero, without a library call per pixel: for 0 <= t < n - 1 the
  // fraction t - floor(t) is exact in single precision.
  const int whole = static_cast<int>(t);
  return t - static_cast<float>(whole) >= 0.5f ? whole + 1 : whole;
}

}  // namespace threeway::cli::canvas

namespace threeway::cli {

using namespace canvas;

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

}  // namespace threeway::cli
