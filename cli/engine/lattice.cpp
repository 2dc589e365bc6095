#include "cli/engine/lattice.h"

#include <cstring>

namespace threeway::cli {

LatticeGrade GradeLattice(Grader& grader, int size, double min, double max, int maxPasses) {
  const std::size_t side = static_cast<std::size_t>(size), count = side * side * side;
  std::vector<float> steps(side);
  for (std::size_t i = 0; i < side; ++i) {
    steps[i] = static_cast<float>(min + (max - min) * static_cast<double>(i) / static_cast<double>(side - 1));
  }
  Picture input = Picture::Blank(LatticeWidth(size), LatticeHeight(size), zkfx::kPixelFormatBGRA32f);
  Picture output = input;

  // One render with colour p at pixel (p + shift) mod count; the graded colours come back in
  // lattice order. The frame is B, G, R, A floats, rows packed.
  const auto render = [&](std::size_t shift, std::vector<float>& rgb) {
    for (std::size_t p = 0; p < count; ++p) {
      const float bgra[4] = {steps[p / (side * side)], steps[p / side % side], steps[p % side], 1.0f};
      std::memcpy(input.bytes.data() + 16 * ((p + shift) % count), bgra, sizeof bgra);
    }
    grader.Grade(input, output);
    for (std::size_t p = 0; p < count; ++p) {
      float bgra[4];
      std::memcpy(bgra, output.bytes.data() + 16 * ((p + shift) % count), sizeof bgra);
      rgb[3 * p] = bgra[2], rgb[3 * p + 1] = bgra[1], rgb[3 * p + 2] = bgra[0];
    }
  };

  LatticeGrade grade;
  grade.size = size;
  grade.rgb.resize(3 * count);
  render(0, grade.rgb);
  grade.passes = 1;
  if (maxPasses < 2) return grade;
  std::vector<float> next(3 * count);
  render(1, next);
  // Bit for bit: a render without dither repeats every value exactly, NaN included.
  grade.dithered = std::memcmp(next.data(), grade.rgb.data(), next.size() * sizeof(float)) != 0;
  if (!grade.dithered) return grade;

  std::vector<double> sum(grade.rgb.begin(), grade.rgb.end());
  for (int pass = 1;; ++pass) {
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += next[i];
    if (pass + 1 == maxPasses) break;
    render(static_cast<std::size_t>(pass + 1), next);
  }
  for (std::size_t i = 0; i < sum.size(); ++i) grade.rgb[i] = static_cast<float>(sum[i] / maxPasses);
  grade.passes = maxPasses;
  return grade;
}

}  // namespace threeway::cli
