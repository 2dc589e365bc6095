// The built-in test picture (threeway testcard, the demo's sample and the tests' fixed input).
#pragma once

#include "cli/media/picture.h"

namespace threeway::cli {

// The card, width x height, in 16-bit ARGB. Bands from the top: hues across, black to full colour
// to white downwards; a smooth grey ramp; an eleven-step grey scale; BT.601 colour bars at 75 %;
// the 100 % primaries and secondaries with two skin tones; fine detail (one-pixel line pairs both
// ways, a checkerboard, a zone plate reaching half the sampling rate).
Picture MakeTestCard(int width, int height);

}  // namespace threeway::cli
