// The scopes' canvas: 8-bit ARGB pictures drawn with lines, boxes, circles and the built-in 5x7
// font, and the small helpers every scope picture shares. Internal to the scopes.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/media/picture.h"
#include "cli/scopes/scopes.h"
#include "cli/tool_error.h"

namespace threeway::cli::canvas {

// The built-in font's metrics, in font pixels.
inline constexpr int kGlyphAdvance = 6;  // 5 pixels and one of spacing
inline constexpr int kLineHeight = 8;    // 7 rows and the descender row


struct Rgb8 {
  std::uint8_t r, g, b;
};

inline constexpr Rgb8 kBackground{14, 14, 16};
inline constexpr Rgb8 kGraticule{72, 66, 40};      // dim amber lines
inline constexpr Rgb8 kGraticuleText{170, 160, 110};
inline constexpr Rgb8 kFrameLine{44, 44, 48};      // plot borders

// A tint as fractions of full scale, scaled by a trace's brightness and added to the picture.
struct Tint {
  float r, g, b;
};
inline constexpr Tint kLumaTint{0.62f, 1.0f, 0.66f};
inline constexpr Tint kParadeTints[3] = {{1.0f, 0.32f, 0.28f}, {0.36f, 1.0f, 0.40f}, {0.40f, 0.56f, 1.0f}};


std::uint8_t* PixelAt(Picture& picture, int x, int y);
void Put(Picture& picture, int x, int y, Rgb8 c);
// Adds a tint at `strength` (0..1), saturating at full scale.
void Add(Picture& picture, int x, int y, Tint tint, float strength);
void FillRect(Picture& picture, int x, int y, int width, int height, Rgb8 c);
void HLine(Picture& picture, int x0, int x1, int y, Rgb8 c, int dash = 0);
void VLine(Picture& picture, int x, int y0, int y1, Rgb8 c, int dash = 0);
void Outline(Picture& picture, int x, int y, int width, int height, Rgb8 c, int thickness = 1);
// A line from (x0, y0) to (x1, y1), dashed every `dash` pixels of its length when dash > 0.
void Line(Picture& picture, double x0, double y0, double x1, double y1, Rgb8 c, int dash = 0);
void Circle(Picture& picture, double cx, double cy, double radius, Rgb8 c, int dash = 0);
int DrawText(Picture& picture, int x, int y, std::string_view text, int scale, Rgb8 c);
// Text scale for a picture: one font pixel per 256 pixels of the shorter side, at least 1.
int TextScale(int width, int height);
// A picture of the scopes' format filled with the background.
Picture Canvas(int width, int height);
// Refuses (as an internal error) a scope picture of an impossible size.
void CheckSize(int width, int height);
// The frame in `format` (one of the float formats the scopes read): the frame itself when it is
// already in it, else a conversion held in `holder`.
const Picture& InFormat(const Picture& frame, std::uint32_t format, Picture& holder);
// The grid point nearest to position t on a scale whose points are 0 .. n-1: round(t) (halves
// away from zero), clamped to 0..n-1; NaN gives n-1.
int NearestPoint(float t, int n);

}  // namespace threeway::cli::canvas
