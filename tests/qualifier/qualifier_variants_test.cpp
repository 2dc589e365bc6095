// The 64 specialised qualifier kernels and their selection: each entry against the reference
// kernel with its skipped weights forced to 1, and each entry's vector twin against the entry, over
// random pixels and random blocks, bit for bit; the selection's edge cases.
#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include "kernels/arc_tangent.h"
#include "kernels/qualifier.h"
#include "tests/qualifier/qualifier_reference.h"

namespace threeway {
namespace {

namespace ref = qualifier_reference;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Pixel {
  float y, u, v;
};

// Pixels over and beyond the nominal ranges: luma below 0 and above 1, chroma past the corners,
// grey pixels with both zero signs, the primaries, and a few non-finite values.
std::vector<Pixel> RandomPixels(std::mt19937& rng, int count) {
  std::uniform_real_distribution<float> luma(-0.25f, 1.25f), chroma(-0.6f, 0.6f), wide(-4, 4);
  std::vector<Pixel> px = {
      {0.0f, 0.0f, 0.0f},         {1.0f, -0.0f, -0.0f},    {0.5f, -0.0f, 0.0f},
      {0.5f, 0.0f, -0.0f},        {1.5f, 0.5f, 0.5f},      {-0.5f, -0.5f, -0.5f},
      {0.299f, -0.168736f, 0.5f}, {0.587f, -0.331264f, -0.418688f},
      {0.114f, 0.5f, -0.081312f}, {kNaN, 0.1f, 0.1f},      {0.5f, kNaN, 0.1f},
      {0.5f, 0.1f, kInf},         {-kInf, -kInf, kInf},    {1e30f, 1e30f, -1e30f},
      {1e-40f, -1e-40f, 1e-40f},  {0.5f, 1e-39f, -0.0f},   {0.5f, 0.0f, -1e-45f},
      // Just above 0: below an end threshold, the wrapped distance to it lies just past 1 - end.
      {0.0005f, 0.0003f, -0.0002f}, {1e-6f, 1e-6f, 0.0f},
      // Luma and saturation inside a range that starts 1e-6 above where it ends.
      {5e-7f, 3e-7f, 0.0f}};
  while (static_cast<int>(px.size()) < count) {
    const unsigned kind = rng() % 8;  // 1 in 8 beyond the corners, 1 in 8 grey
    px.push_back(kind == 0   ? Pixel{luma(rng), wide(rng), wide(rng)}
                 : kind == 1 ? Pixel{luma(rng), 0.0f, 0.0f}
                             : Pixel{luma(rng), chroma(rng), chroma(rng)});
  }
  return px;
}

// Every entry computes the documented final step of its index on the product of the weights its
// index does not skip, bit for bit, and every result lies in 0..1. The general kernel follows the
// documented invert modes; the selected entry equals the general kernel with the weights its bits
// skip forced to 1 (so the general kernel itself when it skips nothing).
TEST(QualifierVariants, EveryEntryAndTheSelectedOneMatchTheReference) {
  std::mt19937 rng(20240611);
  std::vector<QualifierBlock> blocks(400);
  for (QualifierBlock& q : blocks) q = ref::RandomBlock(rng);
  const auto pixels = RandomPixels(rng, 128);
  long mismatches = 0, outOfRange = 0, fractional = 0, total = 0;
  auto check = [&](bool same, const char* what, unsigned i, const Pixel& p) {
    if (!same && ++mismatches <= 10) {
      ADD_FAILURE() << what << " " << i << " pixel (" << p.y << ", " << p.u << ", " << p.v << ")";
    }
  };
  for (const QualifierBlock& q : blocks) {
    const unsigned index = QualifierKernelIndex(&q);
    ASSERT_EQ(SelectQualifierKernel(&q), kQualifierKernels[index]);
    ASSERT_EQ(SelectQualifierKernel(q), kQualifierKernels[index]);
    for (const Pixel& p : pixels) {
      const float general = GeneralQualifierKernel(&p.y, &p.u, &p.v, &q);
      check(ref::Bits(general) == ref::Bits(ref::General(p.y, p.u, p.v, q)), "general", 0, p);
      const float selected = kQualifierKernels[index](&p.y, &p.u, &p.v, &q);
      check(ref::Bits(selected) ==
                ref::Bits(ref::General(p.y, p.u, p.v, q, ref::ForcedBy(index))), "selected",
            index, p);
      for (unsigned i = 0; i < kQualifierKernelCount; ++i) {
        const float got = kQualifierKernels[i](&p.y, &p.u, &p.v, &q);
        check(ref::Bits(got) == ref::Bits(ref::Variant(i, p.y, p.u, p.v, q)), "entry", i, p);
        if (!(got >= 0.0f && got <= 1.0f)) ++outOfRange;
        if (got > 0.0f && got < 1.0f) ++fractional;
        ++total;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(outOfRange, 0);
  // The random blocks reach the soft edges and the thinning, not only 0 and 1.
  EXPECT_GT(fractional, total / 10) << fractional << " of " << total;
}

// The vector twin of every entry on every path the processor has, on either arc tangent: each
// pixel's mask equal to the scalar entry's, bit for bit, with flush-to-zero off and on and under
// upward rounding (155 pixels: a hue chunk of 128 in pairs of sets, then on AVX2 a pair, a set of
// eight and a tail of three, on AVX-512 a set of sixteen and a tail of eleven).
TEST(QualifierVariants, VectorTwinsEqualTheirEntries) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "the processor has no AVX2";
  std::vector<const std::array<VectorQualifierKernel, kQualifierKernelCount>*> tables = {
      &kVectorQualifierKernels, &kVectorQualifierKernelsOnPlatformArcTangent};
  if (vector_switch::WidestPath() == vector_switch::Path::kAvx512) {
    tables.push_back(&kVectorQualifierKernelsAvx512);
    tables.push_back(&kVectorQualifierKernelsAvx512OnPlatformArcTangent);
  }
  EXPECT_TRUE(VectorArcTangentExact());
  std::mt19937 rng(20261207);
  std::vector<float> vuya;
  for (const Pixel& p : RandomPixels(rng, 155)) vuya.insert(vuya.end(), {p.v, p.u, p.y, 1.0f});
  const auto count = static_cast<std::int32_t>(vuya.size() / 4);
  std::vector<float> want(vuya.size() / 4), got(vuya.size() / 4);
  long mismatches = 0;
  const unsigned saved = _mm_getcsr();
  for (int b = 0; b < 400; ++b) {
    QualifierBlock q = ref::RandomBlock(rng);
    if (b % 25 == 7) {  // a soft range exactly 1e-6 wide, just short of empty or (wrapped) of full
      float* range[3][4] = {{&q.hueStartSoftness, &q.hueStartThreshold, &q.hueEndSoftness, &q.hueEndThreshold},
                            {&q.satStartSoftness, &q.satStartThreshold, &q.satEndSoftness, &q.satEndThreshold},
                            {&q.lumaStartSoftness, &q.lumaStartThreshold, &q.lumaEndSoftness, &q.lumaEndThreshold}};
      float** r = range[b / 25 % 3];
      *r[0] = *r[2] = 0.25f;
      *r[1] = b % 50 == 7 ? 1e-6f : 0.0f;
      *r[3] = b % 50 == 7 ? 0.0f : 1e-6f;
    }
    // Flush-to-zero off, then on; the last blocks round upward, where the twins must hand every
    // pixel to the scalar entry (their exactness holds for rounding to nearest only).
    _mm_setcsr(b < 200 ? saved : b < 360 ? saved | 0x8000 : saved | 0x4000);
    for (unsigned i = 0; i < kQualifierKernelCount; ++i) {
      ASSERT_EQ(VectorQualifierFor(kQualifierKernels[i], vector_switch::Path::kAvx2), kVectorQualifierKernels[i]);
      ASSERT_EQ(VectorQualifierFor(kQualifierKernels[i], vector_switch::Path::kAvx512),
                kVectorQualifierKernelsAvx512[i]);
      for (std::int32_t k = 0; k < count; ++k) {
        const float* p = &vuya[4 * static_cast<std::size_t>(k)];
        want[static_cast<std::size_t>(k)] = kQualifierKernels[i](p + 2, p + 1, p, &q);
      }
      for (std::size_t t = 0; t < tables.size(); ++t) {
        (*tables[t])[i](vuya.data(), count, got.data(), &q);
        for (std::int32_t k = 0; k < count; ++k) {
          const std::size_t j = static_cast<std::size_t>(k);
          if (ref::Bits(got[j]) != ref::Bits(want[j]) && ++mismatches <= 10) {
            ADD_FAILURE() << "block " << b << " entry " << i << " table " << t << " pixel "
                          << k << ": " << got[j] << " for " << want[j];
          }
        }
      }
    }
  }
  _mm_setcsr(saved);
  EXPECT_EQ(VectorQualifierFor(&GeneralQualifierKernel, vector_switch::Path::kAvx2), nullptr);
  EXPECT_EQ(mismatches, 0);
}

QualifierBlock FullBlock() {
  QualifierBlock q{};
  q.hueStartThreshold = 0.25f;
  q.hueEndThreshold = 0.25f;  // an empty hue range: only the unrestricted flag lets hue through
  q.satEndThreshold = 1.0f;
  q.lumaEndThreshold = 1.0f;
  q.invertMode = kInvertNone;
  q.hueUnrestricted = 1;
  return q;
}

TEST(QualifierSelection, EdgeCases) {
  const struct { const char* name; void (*edit)(QualifierBlock&); unsigned index; } cases[] = {
      {"all full, no invert, no thinning", [](QualifierBlock&) {}, 56},
      {"invert mask", [](QualifierBlock& q) { q.invertMode = kInvertMask; }, 57},
      {"invert limit colour", [](QualifierBlock& q) { q.invertMode = kInvertLimitColor; }, 60},
      {"invert mode 0 acts as none", [](QualifierBlock& q) { q.invertMode = 0; }, 56},
      {"thinning", [](QualifierBlock& q) { q.edgeThinning = 20.0f; }, 58},
      {"thinning tiny negative", [](QualifierBlock& q) { q.edgeThinning = -1e-38f; }, 58},
      {"thinning NaN", [](QualifierBlock& q) { q.edgeThinning = kNaN; }, 58},
      {"thinning negative zero", [](QualifierBlock& q) { q.edgeThinning = -0.0f; }, 56},
      {"thinning, invert limit",
       [](QualifierBlock& q) { q.edgeThinning = -5.0f, q.invertMode = kInvertLimitColor; }, 62},
      {"thinning, invert mask",
       [](QualifierBlock& q) { q.edgeThinning = 5.0f, q.invertMode = kInvertMask; }, 59},
      {"hue restricted", [](QualifierBlock& q) { q.hueUnrestricted = 0; }, 48},
      {"hue flag any non-zero byte", [](QualifierBlock& q) { q.hueUnrestricted = 200; }, 56},
      {"saturation end just under 1e-6 below 1",
       [](QualifierBlock& q) { q.satEndThreshold = 1.0f - 9e-7f; }, 56},
      {"saturation end at 0.999999",
       [](QualifierBlock& q) { q.satEndThreshold = std::bit_cast<float>(0x3f7fffefu); }, 56},
      {"saturation end one step below 0.999999",
       [](QualifierBlock& q) { q.satEndThreshold = std::bit_cast<float>(0x3f7fffeeu); }, 40},
      {"saturation start 1e-6", [](QualifierBlock& q) { q.satStartThreshold = 1e-6f; }, 56},
      {"saturation start 1e-5", [](QualifierBlock& q) { q.satStartThreshold = 1e-5f; }, 40},
      {"saturation start softness", [](QualifierBlock& q) { q.satStartSoftness = 1e-5f; }, 40},
      {"saturation end softness", [](QualifierBlock& q) { q.satEndSoftness = 1e-5f; }, 40},
      {"saturation NaN start", [](QualifierBlock& q) { q.satStartThreshold = kNaN; }, 40},
      {"saturation NaN end", [](QualifierBlock& q) { q.satEndThreshold = kNaN; }, 40},
      {"luma start 1e-5", [](QualifierBlock& q) { q.lumaStartThreshold = 1e-5f; }, 24},
      {"luma end 0.5", [](QualifierBlock& q) { q.lumaEndThreshold = 0.5f; }, 24},
      {"nothing full, invert mask, thinning", [](QualifierBlock& q) {
         q.hueUnrestricted = 0, q.satEndThreshold = q.lumaEndThreshold = 0.5f;
         q.edgeThinning = 1.0f, q.invertMode = kInvertMask;
       }, 3},
  };
  for (const auto& c : cases) {
    QualifierBlock q = FullBlock();
    c.edit(q);
    EXPECT_EQ(QualifierKernelIndex(&q), c.index) << c.name;
    EXPECT_EQ(SelectQualifierKernel(&q), kQualifierKernels[c.index]) << c.name;
  }
}

}  // namespace
}  // namespace threeway
