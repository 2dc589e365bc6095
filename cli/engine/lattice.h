// The effect's grade of a cube of colours, the body of a 3D LUT: every colour of the lattice is a
// pixel of a frame that the effect renders through the host as it renders any frame, so each
// entry is the effect's own arithmetic.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/engine/grader.h"

namespace threeway::cli {

// How many renders the dither is averaged over (see GradeLattice).
inline constexpr int kDitherPasses = 64;

struct LatticeGrade {
  int size = 0;
  // size^3 graded colours, red varying fastest, then green, then blue (the order of a .cube file).
  std::vector<float> rgb;
  // Two renders of the same colours differed: moved levels dither the luma, from a generator the
  // effect seeds from the clock. `rgb` then holds the mean of `passes` renders.
  bool dithered = false;
  int passes = 0;
};

// A lattice frame: size^2 pixels wide, size rows; the pixel at x + y * size^2 is the colour of
// index x + y * size^2 (red index + green index x size + blue index x size^2). The grader must be
// made for this size and the float host format kPixelFormatBGRA32f (no rounding on the way in or
// out).
inline int LatticeWidth(int size) { return size * size; }
inline int LatticeHeight(int size) { return size; }

// Renders the lattice whose channels run from `min` to `max` in `size` even steps. The effect
// has no switch for its dither: when a second render of the lattice, shifted by one pixel so
// that every colour draws another random number, differs from the first, the grade is the mean
// of up to `maxPasses` renders, each shifted by one pixel more (a colour's dither then averages
// over that many draws; their mean is 0). Otherwise the first render is the result, exactly.
// Throws ToolError when a render fails.
LatticeGrade GradeLattice(Grader& grader, int size, double min, double max, int maxPasses);

}  // namespace threeway::cli
