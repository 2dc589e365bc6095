// The before/after comparison picture of grade --compare.
#include "cli/scopes/scopes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "cli/scopes/canvas.h"

namespace threeway::cli {

using namespace canvas;

// ---------------------------------------------------------------------------------------------
// Before and after

namespace {

// Copies `overlay` (8-bit ARGB) into `target` at x, y, converted to the target's format by the
// host's image library; an overlay that does not fit wholly is left out.
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
