// A panel baked into a 3D LUT: the .cube text (the format ffmpeg, OpenColorIO and editors read) and
// an OpenColorIO config with a look that applies it. The effect renders a lattice of colours
// through the host (lattice.h), so every entry is the effect's own arithmetic; what a LUT cannot
// hold is left out and named. `threeway lut` writes the files; `threeway studio` exports its panel.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli/engine/session.h"
#include "cli/panel/panel.h"

namespace threeway::cli {

inline constexpr int kMinLutSize = 17, kMaxLutSize = 129, kDefaultLutSize = 33;

struct LutSettings {
  int size = kDefaultLutSize;  // points a side
  double min = 0.0, max = 1.0;  // the input range on each channel
  bool domain = false;          // the file names its input range (DOMAIN_MIN, DOMAIN_MAX)
  bool strict = false;          // refuse a panel with parts a LUT cannot hold instead of leaving them out
};

struct BakedLut {
  std::string cube;                   // the .cube text
  std::vector<std::string> leftOut;   // what the LUT does not hold, as the warning names it
};

// Sets the panel (`steps`: --set and preset values; no presses or picks, which need a picture),
// returns what a LUT cannot hold to its neutral value and bakes the lattice. `title` is the .cube's
// TITLE. Throws ToolError when the module fails, and under `strict` when anything is left out.
BakedLut BakeLut(const Options& options, std::span<const PanelStep> steps, const LutSettings& settings,
                 const std::string& title);

// An OpenColorIO config holding one look `look` that applies `cubeName` (tetrahedral), with one
// colour space for the video as the effect grades it; usable as it is, and a fragment to copy into
// a studio config (its comment says how).
std::string OcioLookText(const std::string& look, const std::string& cubeName, const LutSettings& settings);

// The items comma-separated, as the warning lists them.
std::string JoinNames(const std::vector<std::string>& items);

}  // namespace threeway::cli
