// Scopes: pictures of a frame's levels and colours, as a colourist reads them. Each drawing is a
// pure function from a Picture to an opaque 8-bit ARGB Picture (kScopeFormat), so it can be
// written by any image sink and checked without files.
//
// The scopes measure the frame in the effect's own colour conventions: luma and chroma are the
// working format's Y, U and V (BT.601, Y 0..1 with white at 1, U and V centred on 0 with a
// nominal span of -0.5..+0.5), obtained by the host's image library converting the frame to 'VUya';
// red, green and blue come from the same library's 'BGra'.
//
// Every scope first counts pixels into a trace (a grid of counts), then draws the trace over a
// graticule. The traces are public so that their positions can be checked exactly; the mappings
// from values to cells are given next to each trace function.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cli/media/picture.h"
#include "entry/auto_levels.h"
#include "entry/host_interface.h"

namespace threeway::cli {

// The format of every scope picture: 8-bit A, R, G, B, alpha 255.
inline constexpr std::uint32_t kScopeFormat = zkfx::kPixelFormatARGB8;

// The level range the waveform and the parade show, top to bottom: a tenth of the black-to-white
// span above white and below black, for values a grade or a source pushes out of range.
inline constexpr float kLevelTop = 1.1f;
inline constexpr float kLevelBottom = -0.1f;
// The chroma range of the vectorscope: U and V from -kChromaExtent to +kChromaExtent across the
// whole picture. The nominal span (radius 0.5) is drawn as a circle inside it.
inline constexpr float kChromaExtent = 0.6f;

// Smallest and largest scope pictures (width and height of the waveform, parade and histogram;
// the vectorscope is height x height).
inline constexpr int kScopeMinWidth = 192, kScopeMinHeight = 128;
inline constexpr int kScopeMaxSide = 8192;

// A rectangle of a scope picture, in pixels.
struct PlotArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Pixel counts on a grid of width x height cells, row-major, row 0 at the top.
struct ScopeTrace {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> counts;

  std::uint32_t At(int x, int y) const { return counts[static_cast<std::size_t>(y) * width + x]; }
};

// The row of a level on a grid of `rows` rows, kLevelTop on row 0 and kLevelBottom on the last:
// the nearest row to t = (kLevelTop - value) / (kLevelTop - kLevelBottom) x (rows - 1), in single
// precision (halves away from zero). Levels beyond the range land on the edge rows, NaN on the last.
int LevelRow(float value, int rows);

// Column traces (waveform, parade): picture column x feeds grid columns floor(x * columns /
// width) up to, not including, max(that + 1, floor((x + 1) * columns / width)), so a picture
// wider than the grid shares columns and a narrower one is stretched; each pixel adds one count
// at LevelRow of its value in every column it feeds. `channel` is the float channel of a 'VUya'
// (2: Y) or 'BGra' (2: R, 1: G, 0: B) pixel; `frame` must be in that float format.
ScopeTrace ColumnTrace(const Picture& frame, int channel, int columns, int rows);
// The luma waveform's trace: Y of the frame converted to 'VUya' (converted here if needed).
ScopeTrace WaveformTrace(const Picture& frame, int columns, int rows);
// One parade panel's trace: `rgbChannel` 0 red, 1 green, 2 blue of the frame in 'BGra'.
ScopeTrace ParadeTrace(const Picture& frame, int rgbChannel, int columns, int rows);

// The vectorscope's trace on a size x size grid: the pixel's U and V (frame converted to 'VUya')
// land in the column nearest to (U + kChromaExtent) / (2 kChromaExtent) x (size - 1) and the row
// nearest to (kChromaExtent - V) / (2 kChromaExtent) x (size - 1), single precision (halves away
// from zero); U grows to the right, V upwards, and colours beyond the range land on the rim (NaN on
// the last row or column). With an odd size, U = V = 0 is the exact centre.
ScopeTrace VectorscopeTrace(const Picture& frame, int size);

// Where the traces are drawn in a scope picture of the given size.
PlotArea WaveformArea(int width, int height);
std::array<PlotArea, 3> ParadeAreas(int width, int height);  // red, green, blue, left to right
PlotArea HistogramArea(int width, int height);
// The vectorscope's trace covers the whole size x size picture.

// Where a chroma value lies in a vectorscope of `size` (the cell VectorscopeTrace counts it in).
struct Cell {
  int x = 0;
  int y = 0;
};
Cell VectorscopeCell(float u, float v, int size);
// The vectorscope draws each trace cell as a square spot reaching this many pixels beyond the cell
// (0 below 512 pixels, then one more per 512), so that a flat patch shows as a visible dot.
int VectorscopeSpot(int size);

// A BT.601 colour target of the vectorscope: the chroma of a 100 % primary or secondary.
struct ChromaTarget {
  std::string_view label;  // "R", "Mg", "B", "Cy", "G", "Yl"
  float r, g, b;           // the colour, 0 or 1 per channel
  double u, v;             // its chroma: U = (B - Y) / 1.772, V = (R - Y) / 1.402, Y = 0.299 R + 0.587 G + 0.114 B
};
// The six targets in the order R, Mg, B, Cy, G, Yl (round the circle).
const std::array<ChromaTarget, 6>& ChromaTargets();

// The pictures. `frame` is in any host format (converted by the host's image library).
// Waveform: width x height, luma of every column, graticule lines at 0, 25, 50, 75 and 100 %.
Picture DrawWaveform(const Picture& frame, int width, int height);
// RGB parade: width x height, three waveforms of R, G and B side by side, tinted.
Picture DrawParade(const Picture& frame, int width, int height);
// Vectorscope: size x size; axes, the nominal-span circle, the six targets at 100 % (labelled
// boxes) and 75 % (small boxes), and the skin-tone line.
Picture DrawVectorscope(const Picture& frame, int size);
// The effect's 256-bin luma histogram as bars of height normalized[i] (0..1 of the plot height),
// with the bins Auto Black and Auto White would pick marked.
Picture DrawHistogram(const zkfx::LumaHistogram& histogram, int width, int height);

// The bins the auto-level buttons pick from a histogram, by the effect's own rule
// (entry/auto_levels.h): the lowest / highest bin whose normalized value exceeds
// kAutoLevelThreshold, 0 / 255 when none does.
struct AutoLevelBins {
  int black = 0;
  int white = 255;
  bool found = false;  // some bin exceeds the threshold
};
AutoLevelBins AutoLevelPicks(const zkfx::LumaHistogram& histogram);

// A before/after comparison picture: `before` on the left and `after` on the right (same size and
// host format; the result is twice as wide, in that format), a thin light divider over the seam
// (covering at most the outer columns of each half next to it) and small "before" / "after"
// labels on dark boxes in the top-left corner of each half (left out when a half is too small to
// hold them).
Picture BeforeAfter(const Picture& before, const Picture& after);
// Where BeforeAfter draws the divider: columns [first, first + width) of the result.
struct DividerColumns {
  int first = 0;
  int width = 0;
};
DividerColumns BeforeAfterDivider(int halfWidth, int height);

// Text in the tool's built-in 5 x 7 pixel font, each glyph cell 6 x 8 pixels at scale 1, drawn in
// opaque colour onto an 8-bit ARGB picture (clipped at its edges). Characters the font lacks are
// drawn as blanks. Returns the width drawn, in pixels.
int DrawText(Picture& picture, int x, int y, std::string_view text, int scale, std::uint8_t r, std::uint8_t g,
             std::uint8_t b);
int TextWidth(std::string_view text, int scale);

}  // namespace threeway::cli
