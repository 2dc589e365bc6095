// The AVX2 row path against the scalar reference (ProcessPixel per pixel, in order): for random
// rows and random settings, the rows written, the histogram counts and the dither generator's
// state afterwards must be identical bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <xmmintrin.h>

#include "kernels/dither_random.h"
#include "kernels/process_row.h"
#include "kernels/qualifier.h"
#include "render/frame_desc.h"
#include "tests/kernels/test_settings.h"
#include "tests/qualifier/qualifier_reference.h"

namespace threeway {
namespace {

constexpr std::uint32_t kUnditheredFormat = zkfx::FourCC("r210");

// Luma from -0.2 to 1.3 with the awkward values mixed in; chroma within +-0.7. In runs, the luma
// stays near one level for 1 to 40 pixels at a time, as in pictures, so that whole sets of lanes
// lie in one tonal range (or two) and the paths that skip the other ranges run.
std::vector<WorkingPixel> RandomRow(std::mt19937& rng, std::int32_t width,
                                    const RendererSettings& s, bool inRuns) {
  std::uniform_real_distribution<float> luma(-0.2f, 1.3f), chroma(-0.7f, 0.7f), alpha(0.0f, 1.0f);
  std::uniform_int_distribution<int> pick(0, 15);
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float specials[] = {std::nanf(""), kInf, -kInf, 1e-40f, -1e-40f, 0.0f, -0.0f, 1.0f,
                            1.0f / 255.0f, s.shadowThreshold, s.shadowBlendEnd,
                            s.highlightBlendStart, s.highlightThreshold, 3.0e38f, -3.0e38f, 0.5f};
  std::uniform_int_distribution<int> runLength(1, 40);
  std::uniform_real_distribution<float> nearby(-0.02f, 0.02f);
  std::vector<WorkingPixel> row(static_cast<std::size_t>(width));
  int left = 0;
  float level = 0.0f;
  for (WorkingPixel& p : row) {
    p = {chroma(rng), chroma(rng), luma(rng), alpha(rng)};
    if (inRuns) {
      if (left-- == 0) {
        left = runLength(rng);
        level = luma(rng);
      }
      p.y = level + nearby(rng);
    }
    if (pick(rng) < 3 && (!inRuns || pick(rng) < 2)) p.y = specials[pick(rng)];  // rarer in runs
  }
  return row;
}

// Random grades: thresholds (softness sometimes zero, thresholds sometimes equal), levels (identity
// or moved, gamma 1, near 1, far from 1, zero), balance, rotation and saturation in every range.
RendererSettings RandomSettings(std::mt19937& rng) {
  RendererSettings s = testing::NeutralSettings();
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), signedUnit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> pick(0, 5);
  s.shadowThreshold = unit(rng) * 0.5f;
  s.highlightThreshold = pick(rng) == 0 ? s.shadowThreshold : 0.5f + unit(rng) * 0.5f;
  s.shadowSoftness = pick(rng) < 2 ? 0.0f : unit(rng) * 0.3f;
  s.highlightSoftness = pick(rng) < 2 ? 0.0f : unit(rng) * 0.3f;
  for (RangeBalance* g : {&s.master, &s.shadow, &s.midtone, &s.highlight}) {
    *g = RangeBalance{signedUnit(rng) * 3.0f, unit(rng), unit(rng), 0.0f, 0.0f,
                      signedUnit(rng) * 3.0f, unit(rng) * 2.0f};
    g->balanceX = g->balanceMagnitude * std::cos(g->balanceAngle);
    g->balanceY = g->balanceMagnitude * std::sin(g->balanceAngle);
  }
  const bool identityLevels = pick(rng) < 2;
  for (RangeLevels* g : {&s.masterLevels, &s.shadowLevels, &s.midtoneLevels, &s.highlightLevels}) {
    const float gammas[] = {1.0f, 1.000001f, 0.2f + unit(rng) * 3.0f, 0.0f, 0.001f, 1000.0f};
    *g = identityLevels ? RangeLevels{0.0f, 1.0f, 1.0f, 0.0f, 1.0f}
                        : RangeLevels{unit(rng) * 0.3f, 0.7f + unit(rng) * 0.3f, gammas[pick(rng)],
                                      unit(rng) * 0.2f, 0.8f + unit(rng) * 0.2f};
  }
  if (pick(rng) == 0) s.masterLevels.inputGray = 0.5f;  // gamma only: levels still inactive
  ComputeDerivedValues(s);
  return s;
}

struct RowResult {
  std::vector<WorkingPixel> pixels;
  zkfx::LumaHistogram histogram;
  std::int32_t nextDraw;
};

RowResult RunRow(RowProcessor process, RowContext c, std::uint32_t k,
              const std::vector<WorkingPixel>& source, std::uint32_t seed, bool inPlace) {
  RowResult r{};
  r.histogram.count[7] = 3;  // counts add to what is there
  if (c.histogram != nullptr) c.histogram = &r.histogram;
  SeedDither(seed);
  r.pixels = source;
  if (inPlace) {
    process(c, k, r.pixels.data(), r.pixels.data());
  } else {
    r.pixels.assign(source.size(), WorkingPixel{-5.0f, -5.0f, -5.0f, -5.0f});
    process(c, k, source.data(), r.pixels.data());
  }
  r.nextDraw = DitherRand();
  return r;
}

// Every vector path this processor runs.
struct VectorPath {
  const char* name;
  RowProcessor process;
};
std::vector<VectorPath> VectorPaths() {
  std::vector<VectorPath> paths;
  if (VectorRowPathAvailable()) paths.push_back({"avx2", &ProcessRowAvx2});
  if (Avx512RowPathAvailable()) paths.push_back({"avx512", &ProcessRowAvx512});
  return paths;
}

class ProcessRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!VectorRowPathAvailable()) GTEST_SKIP() << "the processor has no AVX2";
  }
};

TEST_F(ProcessRowTest, VectorRowMatchesScalarBitForBit) {
  std::mt19937 rng(20261206);
  // Around both lane counts and their pairs (a row is worked two sets at a time, then one set, then
  // pixel by pixel: 24, 40 and 95 take every stage on AVX2, 48, 80 and 95 on AVX-512), and 300 and
  // 600 for the mask chunks, which restart where the single sets begin.
  const std::int32_t widths[] = {0, 1, 7, 8, 9, 15, 16, 17, 24, 31, 33, 40, 47, 48, 64, 69, 80, 95, 300, 600};
  const std::int32_t views[] = {kViewVideo, kViewLuma, kViewMask, kViewTonalRange, 0, 7};
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_real_distribution<float> maskValue(-0.1f, 1.1f);
  int dithered = 0;
  for (int trial = 0; trial < 600; ++trial) {
    RendererSettings s = RandomSettings(rng);
    if (trial % 7 == 3) s.fullScale = 0.75f;  // a white other than 1: the luma is then normalised
    const PassConstants pc = ComputePassConstants(s);
    const QualifierBlock q = qualifier_reference::RandomBlock(rng);
    const std::int32_t width = widths[trial % std::size(widths)];
    const std::uint32_t rows = 3;
    const std::uint32_t k = static_cast<std::uint32_t>(pick(rng) % 2);
    std::vector<float> plane(static_cast<std::size_t>(width) * rows);
    for (float& m : plane) m = maskValue(rng);

    zkfx::LumaHistogram unused{};
    const bool useMask = pick(rng) < 30;
    const RowContext c{width, 1, useMask, useMask ? plane.data() : nullptr,
                       pick(rng) < 50 ? kQualifierKernels[56] : SelectQualifierKernel(q), &q,
                       views[pick(rng) % std::size(views)],
                       pick(rng) < 60 ? kWorkingFormat : kUnditheredFormat, &s, &pc,
                       pick(rng) < 80 ? &unused : nullptr};
    const bool inPlace = pick(rng) < 20;
    const std::uint32_t seed = static_cast<std::uint32_t>(rng());

    const std::vector<WorkingPixel> source = RandomRow(rng, width, s, trial % 3 != 0);
    const unsigned saved = _mm_getcsr();
    if (trial % 2 == 1) _mm_setcsr(saved | 0x8000);  // flush-to-zero, as during a frame pass
    const RowResult scalar = RunRow(&ProcessRowScalar, c, k, source, seed, inPlace);
    for (const VectorPath& path : VectorPaths()) {
      const RowResult vector = RunRow(path.process, c, k, source, seed, inPlace);
      SCOPED_TRACE(::testing::Message() << path.name << " trial " << trial << " width " << width << " view "
                                        << c.viewMode << " mask plane " << c.useMask);
      // memcmp compares the bits (NaN payloads included); an empty row has no data pointer for it.
      ASSERT_TRUE(source.empty() || std::memcmp(scalar.pixels.data(), vector.pixels.data(),
                                                source.size() * sizeof(WorkingPixel)) == 0);
      ASSERT_EQ(0, std::memcmp(&scalar.histogram, &vector.histogram, sizeof scalar.histogram));
      ASSERT_EQ(scalar.nextDraw, vector.nextDraw);
    }
    _mm_setcsr(saved);
    if (pc.levelsActive && c.sourceFormat == kWorkingFormat) ++dithered;
  }
  EXPECT_GT(dithered, 100);  // the dither path is exercised, not just the undithered one
}

// The switch narrows the path and never widens it past the processor; a value it does not know
// means the reference path.
TEST(ProcessRowSelection, TheSwitchNarrowsThePath) {
  using vector_switch::Path;
  struct Case {
    const char* value;
    Path widest;  // what the processor has
    Path path;
  };
  for (const Case& c :
       {Case{nullptr, Path::kAvx512, Path::kAvx512}, Case{"", Path::kAvx2, Path::kAvx2},
        Case{"auto", Path::kAvx512, Path::kAvx512}, Case{"avx2", Path::kAvx512, Path::kAvx2},
        Case{"avx2", Path::kAvx2, Path::kAvx2}, Case{"avx512", Path::kAvx512, Path::kAvx512},
        Case{"avx512", Path::kAvx2, Path::kAvx2}, Case{"avx512", Path::kScalar, Path::kScalar},
        Case{"avx2", Path::kScalar, Path::kScalar}, Case{nullptr, Path::kScalar, Path::kScalar},
        Case{"scalar", Path::kAvx512, Path::kScalar}, Case{"AVX2", Path::kAvx2, Path::kScalar},
        Case{"avx", Path::kAvx512, Path::kScalar}, Case{"avx5120", Path::kAvx512, Path::kScalar}}) {
    EXPECT_EQ(vector_switch::PathFor(c.value, c.widest), c.path)
        << (c.value ? c.value : "unset") << " widest " << static_cast<int>(c.widest);
  }
  EXPECT_EQ(RowProcessorOf(Path::kScalar), &ProcessRowScalar);
  EXPECT_EQ(RowProcessorOf(Path::kAvx2), &ProcessRowAvx2);
  EXPECT_EQ(RowProcessorOf(Path::kAvx512), &ProcessRowAvx512);
  EXPECT_EQ(SelectedPath(), vector_switch::PathFor(std::getenv(vector_switch::kVariable), vector_switch::WidestPath()));
  EXPECT_EQ(SelectRowProcessor(), RowProcessorOf(SelectedPath()));
  EXPECT_EQ(VectorPathChosen(), SelectedPath() != Path::kScalar);
}

}  // namespace
}  // namespace threeway
