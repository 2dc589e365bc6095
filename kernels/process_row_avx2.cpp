// The AVX2 row path. This file is compiled for the baseline processor like every other; only the
// functions marked with the avx2 target use AVX2 instructions, so that no inline function of a
// shared header is ever emitted here as an AVX2 copy that scalar callers could end up using.
//
// Every step repeats the scalar arithmetic of ProcessPixel in the same order, eight lanes at a
// time: single precision, round-to-nearest, exact divisions, no fused multiply-adds. Where the
// scalar code branches, the vector code computes each candidate and selects per lane; a division
// whose result is then discarded may divide by zero, which the pass's masked exceptions allow.
#include "kernels/process_row.h"

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/qualifier.h"
#include "kernels/vector_avx2.h"

namespace threeway {

namespace {

#define THREEWAY_AVX2 __attribute__((target("avx2"))) inline

constexpr std::int32_t kLanes = 8;

using avx2::LoadPixels;
using avx2::PixelPlanes;

// The inverse of LoadPixels: stores the planes as eight VUYA pixels at `p`.
THREEWAY_AVX2 void StorePixels(float* p, const PixelPlanes& q) {
  const __m256 t0 = _mm256_unpacklo_ps(q.v, q.u);  // v0 u0 v1 u1
  const __m256 t1 = _mm256_unpacklo_ps(q.y, q.a);  // y0 a0 y1 a1
  const __m256 t2 = _mm256_unpackhi_ps(q.v, q.u);  // v2 u2 v3 u3
  const __m256 t3 = _mm256_unpackhi_ps(q.y, q.a);  // y2 a2 y3 a3
  const __m256 r0 = _mm256_shuffle_ps(t0, t1, 0x44);
  const __m256 r1 = _mm256_shuffle_ps(t0, t1, 0xEE);
  const __m256 r2 = _mm256_shuffle_ps(t2, t3, 0x44);
  const __m256 r3 = _mm256_shuffle_ps(t2, t3, 0xEE);
  _mm_storeu_ps(p + 0, _mm256_castps256_ps128(r0));
  _mm_storeu_ps(p + 4, _mm256_castps256_ps128(r1));
  _mm_storeu_ps(p + 8, _mm256_castps256_ps128(r2));
  _mm_storeu_ps(p + 12, _mm256_castps256_ps128(r3));
  _mm_storeu_ps(p + 16, _mm256_extractf128_ps(r0, 1));
  _mm_storeu_ps(p + 20, _mm256_extractf128_ps(r1, 1));
  _mm_storeu_ps(p + 24, _mm256_extractf128_ps(r2, 1));
  _mm_storeu_ps(p + 28, _mm256_extractf128_ps(r3, 1));
}

using avx2::FastPow8;

// The constants of one pass, each broadcast to eight lanes once per row rather than at every use.
struct Levels8 {
  __m256 inputBlack, inputSpan, outputBlack, outputSpan, inverseGamma;
  bool applyGamma, passThrough;
};
struct Range8 {  // one range's rotation, balance target and saturation
  __m256 cosine, sine, weight, saturation, targetU, targetV;
};
struct Pass8 {
  Levels8 levels[4];  // master, shadow, midtone, highlight
  // The tonal rules.
  __m256 shadowThreshold, shadowBlendEnd, highlightThreshold, highlightBlendStart;
  bool shadowHard, highlightHard;  // softness 0: rules 2 and 4 apply
  Range8 shadow, midtone, highlight;
  __m256 masterWeight, masterSaturation, masterTargetU, masterTargetV;
  __m256 fullScale, half;
};

THREEWAY_AVX2 Range8 BroadcastRange(HueRotation r, const BalanceTarget& b, float saturation) {
  return {_mm256_set1_ps(r.cosine), _mm256_set1_ps(r.sine),     _mm256_set1_ps(b.weight),
          _mm256_set1_ps(saturation), _mm256_set1_ps(b.u), _mm256_set1_ps(b.v)};
}

THREEWAY_AVX2 void BroadcastPass(const RendererSettings& s, const PassConstants& pc, Pass8& k) {
  for (int g = 0; g < 4; ++g) {
    const LevelsConstants& l = pc.levels[g];
    k.levels[g] = {_mm256_set1_ps(l.inputBlack),  _mm256_set1_ps(l.inputSpan),    _mm256_set1_ps(l.outputBlack),
                   _mm256_set1_ps(l.outputSpan),  _mm256_set1_ps(l.inverseGamma), l.applyGamma,
                   l.passThrough};
  }
  k.shadowThreshold = _mm256_set1_ps(s.shadowThreshold);
  k.shadowBlendEnd = _mm256_set1_ps(s.shadowBlendEnd);
  k.highlightThreshold = _mm256_set1_ps(s.highlightThreshold);
  k.highlightBlendStart = _mm256_set1_ps(s.highlightBlendStart);
  k.shadowHard = s.shadowSoftness == 0.0f;
  k.highlightHard = s.highlightSoftness == 0.0f;
  k.shadow = BroadcastRange(s.shadowHueRotation, s.shadowBalance, s.shadow.saturation);
  k.midtone = BroadcastRange(s.midtoneHueRotation, s.midtoneBalance, s.midtone.saturation);
  k.highlight = BroadcastRange(s.highlightHueRotation, s.highlightBalance, s.highlight.saturation);
  k.masterWeight = _mm256_set1_ps(s.masterBalance.weight);
  k.masterSaturation = _mm256_set1_ps(s.master.saturation);
  k.masterTargetU = _mm256_set1_ps(s.masterBalance.u);
  k.masterTargetV = _mm256_set1_ps(s.masterBalance.v);
  k.fullScale = _mm256_set1_ps(s.fullScale);
  k.half = _mm256_set1_ps(0.5f);
}

// ApplyLevels per lane.
THREEWAY_AVX2 __m256 ApplyLevels8(__m256 yd, const Levels8& g) {
  if (g.passThrough) return _mm256_and_ps(yd, _mm256_cmp_ps(yd, _mm256_setzero_ps(), _CMP_GT_OQ));
  __m256 t = _mm256_div_ps(_mm256_sub_ps(yd, g.inputBlack), g.inputSpan);
  t = _mm256_and_ps(t, _mm256_cmp_ps(t, _mm256_setzero_ps(), _CMP_GT_OQ));  // NaN and <= 0 give +0
  if (g.applyGamma) t = FastPow8(t, g.inverseGamma);
  return _mm256_add_ps(_mm256_mul_ps(t, g.outputSpan), g.outputBlack);
}

// a + f * (b - a) per lane.
THREEWAY_AVX2 __m256 Lerp8(__m256 a, __m256 b, __m256 f) {
  return _mm256_add_ps(a, _mm256_mul_ps(f, _mm256_sub_ps(b, a)));
}

// The tonal rule of one set of lanes, decided once and applied to several values: the masks of
// rules 1..7 (rule 8 is what remains) and the two ramp fractions.
struct TonalRule {
  __m256 shadow;      // rules 1, 2
  __m256 highlight;   // rules 3, 4
  __m256 midtone;     // rule 5
  __m256 lowRamp;     // rule 6
  __m256 highRamp;    // rule 7
  __m256 lowFraction;   // computed only when some lane is on the low ramp
  __m256 highFraction;  // and on the high ramp
  // Whether any lane follows the rule; the values of a range no lane takes are never computed.
  bool anyShadow, anyHighlight, anyLowRamp, anyHighRamp;
  bool NeedsShadow() const { return anyShadow || anyLowRamp; }
  bool NeedsHighlight() const { return anyHighlight || anyHighRamp; }
};

// Evaluates the rules for the normalised luma y. Each mask holds only where no earlier rule holds.
THREEWAY_AVX2 TonalRule DecideTonal(__m256 y, const Pass8& k) {
  const __m256 ts = k.shadowThreshold;
  const __m256 es = k.shadowBlendEnd;
  const __m256 th = k.highlightThreshold;
  const __m256 bh = k.highlightBlendStart;

  // Rules 2 and 4 hold only under a hard (zero softness) edge.
  const __m256 r1 = _mm256_cmp_ps(y, ts, _CMP_LE_OQ);
  const __m256 r2 = k.shadowHard ? _mm256_cmp_ps(y, es, _CMP_LE_OQ) : _mm256_setzero_ps();
  const __m256 r3 = _mm256_cmp_ps(y, th, _CMP_GE_OQ);
  const __m256 r4 = k.highlightHard ? _mm256_cmp_ps(y, bh, _CMP_GE_OQ) : _mm256_setzero_ps();
  const __m256 r5 = _mm256_and_ps(_mm256_cmp_ps(es, y, _CMP_LT_OQ), _mm256_cmp_ps(y, bh, _CMP_LT_OQ));
  const __m256 r6 = _mm256_and_ps(_mm256_cmp_ps(ts, y, _CMP_LT_OQ), _mm256_cmp_ps(y, es, _CMP_LT_OQ));
  const __m256 r7 = _mm256_cmp_ps(y, bh, _CMP_GT_OQ);

  TonalRule rule;
  rule.shadow = _mm256_or_ps(r1, r2);
  __m256 taken = rule.shadow;
  rule.highlight = _mm256_andnot_ps(taken, _mm256_or_ps(r3, r4));
  taken = _mm256_or_ps(taken, rule.highlight);
  rule.midtone = _mm256_andnot_ps(taken, r5);
  taken = _mm256_or_ps(taken, rule.midtone);
  rule.lowRamp = _mm256_andnot_ps(taken, r6);
  taken = _mm256_or_ps(taken, rule.lowRamp);
  rule.highRamp = _mm256_andnot_ps(taken, r7);
  rule.anyShadow = _mm256_movemask_ps(rule.shadow) != 0;
  rule.anyHighlight = _mm256_movemask_ps(rule.highlight) != 0;
  rule.anyLowRamp = _mm256_movemask_ps(rule.lowRamp) != 0;
  rule.anyHighRamp = _mm256_movemask_ps(rule.highRamp) != 0;
  rule.lowFraction = rule.anyLowRamp ? _mm256_div_ps(_mm256_sub_ps(y, ts), _mm256_sub_ps(es, ts))
                                     : _mm256_setzero_ps();
  rule.highFraction = rule.anyHighRamp ? _mm256_div_ps(_mm256_sub_ps(y, bh), _mm256_sub_ps(th, bh))
                                       : _mm256_setzero_ps();
  return rule;
}

// TonalSelect per lane for one value, the rule decided.
THREEWAY_AVX2 __m256 SelectTonal(const TonalRule& r, __m256 shadow, __m256 midtone,
                                 __m256 highlight) {
  // A blend under an empty mask would change nothing: it is skipped, with the values it would read.
  __m256 out = midtone;  // rules 5 and 8
  if (r.anyLowRamp) out = _mm256_blendv_ps(out, Lerp8(shadow, midtone, r.lowFraction), r.lowRamp);
  if (r.anyHighRamp) out = _mm256_blendv_ps(out, Lerp8(midtone, highlight, r.highFraction), r.highRamp);
  if (r.anyHighlight) out = _mm256_blendv_ps(out, highlight, r.highlight);
  if (r.anyShadow) out = _mm256_blendv_ps(out, shadow, r.shadow);
  return out;
}

struct Chroma8 {
  __m256 u, v;
};

// RangeChroma per lane.
THREEWAY_AVX2 Chroma8 RangeChroma8(__m256 u0, __m256 v0, const Range8& r) {
  const __m256 ur = _mm256_sub_ps(_mm256_mul_ps(u0, r.cosine), _mm256_mul_ps(v0, r.sine));
  const __m256 vr = _mm256_add_ps(_mm256_mul_ps(v0, r.cosine), _mm256_mul_ps(u0, r.sine));
  return {_mm256_mul_ps(_mm256_add_ps(ur, _mm256_mul_ps(_mm256_sub_ps(r.targetU, ur), r.weight)), r.saturation),
          _mm256_mul_ps(_mm256_add_ps(vr, _mm256_mul_ps(_mm256_sub_ps(r.targetV, vr), r.weight)), r.saturation)};
}

// CorrectPixel per lane; returns the corrected planes with alpha left unset.
THREEWAY_AVX2 PixelPlanes CorrectPixels8(__m256 v0, __m256 u0, __m256 y0, __m256 yd, __m256 m,
                                         const RendererSettings& s, const Pass8& k, bool lumaOnly) {
  // Dividing by a full scale of 1 changes no value (a signalling NaN only comes out quiet, which
  // the tonal comparisons and fractions below treat alike).
  const __m256 y = s.fullScale == 1.0f ? yd : _mm256_div_ps(yd, k.fullScale);
  const TonalRule rule = DecideTonal(y, k);
  const __m256 zero = _mm256_setzero_ps();

  const __m256 lMaster = ApplyLevels8(yd, k.levels[0]);
  const __m256 lShadow = rule.NeedsShadow() ? ApplyLevels8(yd, k.levels[1]) : zero;
  const __m256 lMidtone = ApplyLevels8(yd, k.levels[2]);
  const __m256 lHighlight = rule.NeedsHighlight() ? ApplyLevels8(yd, k.levels[3]) : zero;
  const __m256 lRange = SelectTonal(rule, lShadow, lMidtone, lHighlight);
  const __m256 y1 = _mm256_add_ps(lMaster, _mm256_mul_ps(k.half, _mm256_sub_ps(lRange, lMaster)));
  PixelPlanes out;
  out.y = _mm256_add_ps(y0, _mm256_mul_ps(m, _mm256_sub_ps(y1, y0)));
  out.a = _mm256_setzero_ps();
  if (lumaOnly) {
    out.v = _mm256_set1_ps(s.neutralChromaV);
    out.u = _mm256_set1_ps(s.neutralChromaU);
    return out;
  }

  const Chroma8 shadow = rule.NeedsShadow() ? RangeChroma8(u0, v0, k.shadow) : Chroma8{zero, zero};
  const Chroma8 midtone = RangeChroma8(u0, v0, k.midtone);
  const Chroma8 highlight = rule.NeedsHighlight() ? RangeChroma8(u0, v0, k.highlight) : Chroma8{zero, zero};
  const __m256 uMaster = _mm256_mul_ps(
      _mm256_add_ps(u0, _mm256_mul_ps(_mm256_sub_ps(k.masterTargetU, u0), k.masterWeight)), k.masterSaturation);
  const __m256 vMaster = _mm256_mul_ps(
      _mm256_add_ps(v0, _mm256_mul_ps(_mm256_sub_ps(k.masterTargetV, v0), k.masterWeight)), k.masterSaturation);

  const __m256 rangeU = SelectTonal(rule, shadow.u, midtone.u, highlight.u);
  const __m256 rangeV = SelectTonal(rule, shadow.v, midtone.v, highlight.v);
  const __m256 u1 = _mm256_add_ps(uMaster, _mm256_mul_ps(k.half, _mm256_sub_ps(rangeU, uMaster)));
  const __m256 v1 = _mm256_add_ps(vMaster, _mm256_mul_ps(k.half, _mm256_sub_ps(rangeV, vMaster)));
  out.v = _mm256_add_ps(v0, _mm256_mul_ps(m, _mm256_sub_ps(v1, v0)));
  out.u = _mm256_add_ps(u0, _mm256_mul_ps(m, _mm256_sub_ps(u1, u0)));
  return out;
}

// The row's luma counts, kept in one table per lane so that neighbouring pixels, which mostly share
// a bin, do not wait on each other's increment; AddBinCounts sums them into the frame's histogram
// (counts wrap modulo 2^32 either way, so the sum equals counting there directly).
struct RowBinCounts {
  alignas(32) std::uint32_t table[8][256];
};

// HistogramBin per lane: a true floor of y0 * 255, NaN and below 0 to bin 0, 255 and above to 255.
THREEWAY_AVX2 void CountBins8(__m256 y0, RowBinCounts& counts) {
  const __m256 b = _mm256_floor_ps(_mm256_mul_ps(y0, _mm256_set1_ps(255.0f)));
  // max(b, 0) returns its second operand when b is NaN.
  const __m256 clamped = _mm256_min_ps(_mm256_max_ps(b, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
  const __m256i bins = _mm256_cvttps_epi32(clamped);
  const __m128i low = _mm256_castsi256_si128(bins);
  const __m128i high = _mm256_extracti128_si256(bins, 1);
  // Bins as unsigned indices: no sign extension before each address.
  ++counts.table[0][static_cast<std::uint32_t>(_mm_cvtsi128_si32(low))];
  ++counts.table[1][static_cast<std::uint32_t>(_mm_extract_epi32(low, 1))];
  ++counts.table[2][static_cast<std::uint32_t>(_mm_extract_epi32(low, 2))];
  ++counts.table[3][static_cast<std::uint32_t>(_mm_extract_epi32(low, 3))];
  ++counts.table[4][static_cast<std::uint32_t>(_mm_cvtsi128_si32(high))];
  ++counts.table[5][static_cast<std::uint32_t>(_mm_extract_epi32(high, 1))];
  ++counts.table[6][static_cast<std::uint32_t>(_mm_extract_epi32(high, 2))];
  ++counts.table[7][static_cast<std::uint32_t>(_mm_extract_epi32(high, 3))];
}

THREEWAY_AVX2 void AddBinCounts(const RowBinCounts& counts, zkfx::LumaHistogram* histogram) {
  for (std::int32_t bin = 0; bin < 256; bin += kLanes) {
    __m256i sum = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(histogram->count + bin));
    for (const auto& table : counts.table) {
      sum = _mm256_add_epi32(sum, _mm256_load_si256(reinterpret_cast<const __m256i*>(table + bin)));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(histogram->count + bin), sum);
  }
}

}  // namespace

__attribute__((target("avx2"))) void ProcessRowAvx2(const RowContext& c, std::uint32_t k,
                                                    const void* in, void* out) {
  const RendererSettings& s = *c.settings;
  const PassConstants& pc = *c.constants;
  const auto* src = static_cast<const std::uint8_t*>(in);
  auto* dst = static_cast<std::uint8_t*>(out);
  const bool dither = pc.levelsActive && IsDitheredFormat(c.sourceFormat);
  const bool lumaOnly = c.viewMode == kViewLuma;
  const bool constantMask = !c.useMask && c.kernel == kQualifierKernels[56];
  const float* maskRow =
      c.useMask ? c.maskPlane + (static_cast<std::size_t>(c.firstRow) + k) * static_cast<std::size_t>(c.width)
                : nullptr;
  // The vector twin of the pass's qualifier kernel computes the masks a chunk of the row ahead.
  const VectorQualifierKernel vectorKernel =
      maskRow == nullptr && !constantMask ? VectorQualifierFor(c.kernel) : nullptr;
  constexpr std::int32_t kMaskChunk = 256;
  alignas(32) float chunkMask[kMaskChunk];

  // The dither draws of the vector part come from a copy of the thread's generator state, handed
  // back before the tail draws one at a time: the same sequence as a draw per pixel.
  constexpr DitherLeap kLeapOfEight = DitherLeapOf(kLanes);
  const __m256i leapMultiply = _mm256_setr_epi32(
      static_cast<std::int32_t>(DitherLeapOf(1).multiply), static_cast<std::int32_t>(DitherLeapOf(2).multiply),
      static_cast<std::int32_t>(DitherLeapOf(3).multiply), static_cast<std::int32_t>(DitherLeapOf(4).multiply),
      static_cast<std::int32_t>(DitherLeapOf(5).multiply), static_cast<std::int32_t>(DitherLeapOf(6).multiply),
      static_cast<std::int32_t>(DitherLeapOf(7).multiply), static_cast<std::int32_t>(DitherLeapOf(8).multiply));
  const __m256i leapAdd = _mm256_setr_epi32(
      static_cast<std::int32_t>(DitherLeapOf(1).add), static_cast<std::int32_t>(DitherLeapOf(2).add),
      static_cast<std::int32_t>(DitherLeapOf(3).add), static_cast<std::int32_t>(DitherLeapOf(4).add),
      static_cast<std::int32_t>(DitherLeapOf(5).add), static_cast<std::int32_t>(DitherLeapOf(6).add),
      static_cast<std::int32_t>(DitherLeapOf(7).add), static_cast<std::int32_t>(DitherLeapOf(8).add));
  std::uint32_t ditherState = dither ? DitherState() : 0u;

  Pass8 pass;
  BroadcastPass(s, pc, pass);

  RowBinCounts binCounts;  // zeroed below when the pass counts the histogram
  if (c.histogram != nullptr && c.width >= kLanes) std::memset(&binCounts, 0, sizeof binCounts);

  const std::int32_t vectorEnd = c.width - c.width % kLanes;
  for (std::int32_t x = 0; x < vectorEnd; x += kLanes) {
    const std::size_t offset = static_cast<std::size_t>(x) * sizeof(WorkingPixel);
    const PixelPlanes p = LoadPixels(reinterpret_cast<const float*>(src + offset));

    __m256 m;
    if (maskRow != nullptr) {
      m = _mm256_loadu_ps(maskRow + x);
    } else if (constantMask) {
      m = _mm256_set1_ps(1.0f);
    } else if (vectorKernel != nullptr) {
      if (x % kMaskChunk == 0) {
        const std::int32_t count = vectorEnd - x < kMaskChunk ? vectorEnd - x : kMaskChunk;
        vectorKernel(reinterpret_cast<const float*>(src + offset), count, chunkMask, c.qualifier);
      }
      m = _mm256_load_ps(chunkMask + x % kMaskChunk);
    } else {  // a kernel without a vector twin, called per pixel
      alignas(32) float pv[kLanes], pu[kLanes], py[kLanes], mask[kLanes];
      _mm256_store_ps(pv, p.v);
      _mm256_store_ps(pu, p.u);
      _mm256_store_ps(py, p.y);
      for (std::int32_t i = 0; i < kLanes; ++i) mask[i] = c.kernel(&py[i], &pu[i], &pv[i], c.qualifier);
      m = _mm256_load_ps(mask);
    }

    if (c.histogram != nullptr) CountBins8(p.y, binCounts);

    if (c.viewMode == kViewMask || c.viewMode == kViewTonalRange) {
      // The views show the mask or the source's tonal range (black, mid grey, white) as luma on
      // neutral chroma; they draw no dither.
      PixelPlanes q;
      q.v = _mm256_set1_ps(s.neutralChromaV);
      q.u = _mm256_set1_ps(s.neutralChromaU);
      q.a = p.a;
      if (c.viewMode == kViewMask) {
        q.y = _mm256_mul_ps(m, _mm256_set1_ps(s.maskDisplayGain));
      } else {
        const __m256 y = _mm256_div_ps(p.y, pass.fullScale);
        q.y = SelectTonal(DecideTonal(y, pass), _mm256_setzero_ps(), _mm256_set1_ps(s.midGrey), pass.fullScale);
      }
      StorePixels(reinterpret_cast<float*>(dst + offset), q);
      continue;
    }

    __m256 yd = p.y;
    if (dither) {
      // The next eight draws, lane i from the state i + 1 steps on; the state moves eight steps.
      const __m256i states =
          _mm256_add_epi32(_mm256_mullo_epi32(_mm256_set1_epi32(static_cast<std::int32_t>(ditherState)),
                                              leapMultiply),
                           leapAdd);
      ditherState = ditherState * kLeapOfEight.multiply + kLeapOfEight.add;
      const __m256i draws = _mm256_and_si256(_mm256_srli_epi32(states, 16), _mm256_set1_epi32(kDitherRandMax));
      const __m256 r = _mm256_sub_ps(
          _mm256_div_ps(_mm256_cvtepi32_ps(draws), _mm256_set1_ps(16383.5f)), _mm256_set1_ps(1.0f));
      yd = _mm256_add_ps(p.y, _mm256_mul_ps(r, _mm256_set1_ps(kDitherAmplitude)));
    }

    PixelPlanes q = CorrectPixels8(p.v, p.u, p.y, yd, m, s, pass, lumaOnly);
    q.a = p.a;
    StorePixels(reinterpret_cast<float*>(dst + offset), q);
  }

  if (dither) SeedDither(ditherState);
  if (c.histogram != nullptr && vectorEnd > 0) AddBinCounts(binCounts, c.histogram);

  for (std::int32_t x = vectorEnd; x < c.width; ++x) {
    const std::size_t offset = static_cast<std::size_t>(x) * sizeof(WorkingPixel);
    WorkingPixel p;
    std::memcpy(&p, src + offset, sizeof p);
    const WorkingPixel q =
        ProcessPixel(p.v, p.u, p.y, p.a, x, k, c.firstRow, c.width, c.useMask, c.maskPlane,
                     c.kernel, *c.qualifier, c.viewMode, c.sourceFormat, s, pc, c.histogram);
    std::memcpy(dst + offset, &q, sizeof q);
  }
}

}  // namespace threeway

#undef THREEWAY_AVX2
