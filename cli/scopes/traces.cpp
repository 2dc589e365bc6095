// The scopes' traces: how many pixels land in each cell of a waveform, parade or vectorscope.
#include "cli/scopes/scopes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "cli/scopes/canvas.h"
#include "entry/auto_levels.h"
#include "pixmill/bt601.h"

namespace threeway::cli {

using namespace canvas;

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
  // The grid columns each picture column feeds, worked out once; the picture is then read row by
  // row, in the order it lies in memory.
  const std::int64_t width = frame.width;
  std::vector<std::pair<int, int>> feeds(static_cast<std::size_t>(frame.width));
  for (int x = 0; x < frame.width; ++x) {
    const int first = static_cast<int>(x * std::int64_t{columns} / width);
    feeds[static_cast<std::size_t>(x)] = {first, std::max(first + 1, static_cast<int>((x + 1) * std::int64_t{columns} / width))};
  }
  for (int y = 0; y < frame.height; ++y) {
    const std::uint8_t* pixels = frame.Row(y);
    for (int x = 0; x < frame.width; ++x) {
      float value;
      std::memcpy(&value, pixels + (static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(channel)) * sizeof(float),
                  sizeof value);
      const std::size_t row = static_cast<std::size_t>(LevelRow(value, rows)) * static_cast<std::size_t>(columns);
      const auto [first, last] = feeds[static_cast<std::size_t>(x)];
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
      const double y = bt601::kLumaRed * c.r + bt601::kLumaGreen * c.g + bt601::kLumaBlue * c.b;
      result[static_cast<std::size_t>(i)] = {c.label, c.r, c.g, c.b, (c.b - y) / bt601::kBlueDifferenceScale,
                                             (c.r - y) / bt601::kRedDifferenceScale};
    }
    return result;
  }();
  return targets;
}

AutoLevelBins AutoLevelPicks(const zkfx::LumaHistogram& histogram) {
  AutoLevelBins bins;
  bins.black = AutoBlackLevel(&histogram);
  bins.white = AutoWhiteLevel(&histogram);
  bins.found = histogram.normalized[bins.black] > kAutoLevelThreshold;
  return bins;
}

}  // namespace threeway::cli
