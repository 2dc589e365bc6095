// The frame pass, which takes the AVX2 row path where the processor has it, against the reference
// written out here: ProcessPixel over every pixel in order under the pass's floating-point state.
// Frames and histograms must match bit for bit, and the dither generator must end in the same state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernels/correct_pixel.h"
#include "kernels/derived_values.h"
#include "kernels/dither_random.h"
#include "kernels/process_row.h"
#include "kernels/qualifier.h"
#include "render/frame_desc.h"
#include "render/frame_pass.h"
#include "render/renderer.h"

namespace {

using namespace threeway;

// A moved grade: levels with gammas in every group (so a working-format source is dithered),
// balance, rotation and saturation in every range.
RendererSettings MovedGrade() {
  ColorCorrectorThreeWayFilterRenderer renderer;
  RendererSettings s = renderer.settings;
  RangeBalance* groups[] = {&s.master, &s.shadow, &s.midtone, &s.highlight};
  RangeLevels* levels[] = {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels};
  for (int g = 0; g < 4; ++g) {
    const float k = static_cast<float>(g);
    groups[g]->hueAngle = 0.3f * (k + 1.0f);
    groups[g]->saturation = 1.3f - 0.2f * k;
    groups[g]->balanceMagnitude = 0.1f * (k + 1.0f);
    groups[g]->balanceAngle = k;
    groups[g]->balanceX = groups[g]->balanceMagnitude * std::cos(groups[g]->balanceAngle);
    groups[g]->balanceY = groups[g]->balanceMagnitude * std::sin(groups[g]->balanceAngle);
    *levels[g] = {0.05f * k, 0.9f, 0.6f + 0.5f * k, 0.03f, 0.97f};
  }
  ComputeDerivedValues(s);
  return s;
}

QualifierBlock LumaQualifier() {
  QualifierBlock q{};
  q.satEndThreshold = 1.0f;
  q.lumaStartThreshold = 0.3f;
  q.lumaStartSoftness = 0.1f;
  q.lumaEndThreshold = 0.8f;
  q.lumaEndSoftness = 0.1f;
  q.hueUnrestricted = 1;
  q.invertMode = kInvertNone;
  return q;
}

TEST(VectorFramePass, PassEqualsPerPixelReferenceBitForBit) {
  constexpr std::int32_t kWidth = 37;  // four vector blocks and a scalar tail
  constexpr std::uint32_t kRows = 5;
  constexpr std::uint32_t kFirstRow = 2;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> luma(-0.2f, 1.3f), chroma(-0.7f, 0.7f), mask(0.0f, 1.0f);
  std::vector<WorkingPixel> source(static_cast<std::size_t>(kWidth) * kRows);
  for (WorkingPixel& p : source) p = {chroma(rng), chroma(rng), luma(rng), mask(rng)};
  source[3].y = std::numeric_limits<float>::quiet_NaN();
  source[40].y = std::numeric_limits<float>::infinity();
  source[41].y = 1e-40f;
  std::vector<float> plane(static_cast<std::size_t>(kWidth) * (kRows + kFirstRow));
  for (float& m : plane) m = mask(rng);

  const RendererSettings s = MovedGrade();
  const PassConstants pc = ComputePassConstants(s);
  ASSERT_TRUE(pc.levelsActive);
  const QualifierBlock q = LumaQualifier();
  ASSERT_NE(SelectQualifierKernel(q), kQualifierKernels[56]);

  for (const std::int32_t view : {kViewVideo, kViewLuma, kViewMask}) {
    for (const bool withPlane : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "view " << view << " mask plane " << withPlane);
      std::vector<WorkingPixel> pass(source.size()), reference(source.size());
      zkfx::LumaHistogram passHistogram{}, referenceHistogram{};

      SeedDither(5);
      PassRecord record;
      BuildPassRecord(&record, kRows, kFirstRow, kWidth, source.data(), kWidth * 16, kWorkingFormat,
                      pass.data(), kWidth * 16, kWorkingFormat, withPlane, plane.data(), &q,
                      &passHistogram, view, &s);
      RunPass(&record);
      const std::int32_t passNext = DitherRand();

      SeedDither(5);
      {
        const PassFloatingPointScope floatingPoint;
        const QualifierKernel kernel = SelectQualifierKernel(q);
        for (std::uint32_t k = 0; k < kRows; ++k) {
          for (std::int32_t x = 0; x < kWidth; ++x) {
            const WorkingPixel& p = source[k * kWidth + static_cast<std::uint32_t>(x)];
            reference[k * kWidth + static_cast<std::uint32_t>(x)] =
                ProcessPixel(p.v, p.u, p.y, p.a, x, k, kFirstRow, kWidth, withPlane, plane.data(),
                             kernel, q, view, kWorkingFormat, s, pc, &referenceHistogram);
          }
        }
      }
      const std::int32_t referenceNext = DitherRand();

      EXPECT_EQ(0, std::memcmp(pass.data(), reference.data(), pass.size() * sizeof(WorkingPixel)));
      EXPECT_EQ(0, std::memcmp(&passHistogram, &referenceHistogram, sizeof passHistogram));
      EXPECT_EQ(passNext, referenceNext);
    }
  }
}

}  // namespace
