// The vector row path written once over a lane type: eight lanes in process_row_avx2.cpp, sixteen
// in process_row_avx512.cpp, each worked two sets at a time (lane_pair.h) where the row allows.
// Like vector_lanes.h, a file includes this after every shared header, with THREEWAY_LANES_TARGET
// defined, and gets its own copy compiled for that instruction set.
//
// Every step repeats the scalar arithmetic of ProcessPixel in the same order, a whole set of lanes
// at a time: single precision, round-to-nearest, exact divisions, no fused multiply-adds. Where the
// scalar code branches, the vector code computes each candidate and selects per lane; a division
// whose result is then discarded may divide by zero, which the pass's masked exceptions allow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/process_row.h"
#include "kernels/lane_pair.h"
#include "kernels/qualifier.h"
#include "kernels/vector_lanes.h"

namespace threeway {
namespace {

// What a span's loop takes as settled before it starts. The general plan settles nothing: every
// switch of the pass and the view is tested where it applies. The graded-video plan is the usual
// pass of a host or the tool: the corrected picture (not the luma alone, the mask or the tonal
// ranges), under a mask of 1 everywhere (no qualifier restriction, no mask plane), on luma already
// normalised (a full scale of 1), with both tonal edges soft; whether the luma is dithered and the
// histogram counted are fixed too. The compiler then leaves the other branches out of the loop.
struct GeneralPlan {
  static constexpr bool kGradedVideo = false;
  static constexpr bool kDither = false, kCount = false;  // not read: the pass decides
};
template <bool Dither, bool Count>
struct GradedVideoPlan {
  static constexpr bool kGradedVideo = true;
  static constexpr bool kDither = Dither, kCount = Count;
};

// The constants of one pass, each broadcast to every lane once per row rather than at every use.
template <class L>
struct LanesPass {
  using F = typename L::F;
  struct Levels {
    F inputBlack, inputSpan, outputBlack, outputSpan, inverseGamma;
    bool applyGamma, passThrough;
  };
  struct Range {  // one range's rotation, balance target and saturation
    F cosine, sine, weight, saturation, targetU, targetV;
  };
  Levels levels[4];  // master, shadow, midtone, highlight
  // The tonal rules.
  F shadowThreshold, shadowBlendEnd, highlightThreshold, highlightBlendStart;
  bool shadowHard, highlightHard;  // softness 0: rules 2 and 4 apply
  Range shadow, midtone, highlight;
  F masterWeight, masterSaturation, masterTargetU, masterTargetV;
  F fullScale, half;
  bool unitScale;  // a full scale of 1: the luma needs no normalising
  F neutralV, neutralU, maskDisplayGain, midGrey;
};

template <class L>
THREEWAY_LANES_INLINE typename LanesPass<L>::Range BroadcastRange(HueRotation r, const BalanceTarget& b,
                                                                  float saturation) {
  return {L::Set(r.cosine), L::Set(r.sine), L::Set(b.weight), L::Set(saturation), L::Set(b.u), L::Set(b.v)};
}

template <class L>
THREEWAY_LANES_INLINE void BroadcastPass(const RendererSettings& s, const PassConstants& pc, LanesPass<L>& k) {
  for (int g = 0; g < 4; ++g) {
    const LevelsConstants& l = pc.levels[g];
    k.levels[g] = {L::Set(l.inputBlack),  L::Set(l.inputSpan),    L::Set(l.outputBlack),
                   L::Set(l.outputSpan),  L::Set(l.inverseGamma), l.applyGamma,
                   l.passThrough};
  }
  k.shadowThreshold = L::Set(s.shadowThreshold);
  k.shadowBlendEnd = L::Set(s.shadowBlendEnd);
  k.highlightThreshold = L::Set(s.highlightThreshold);
  k.highlightBlendStart = L::Set(s.highlightBlendStart);
  k.shadowHard = s.shadowSoftness == 0.0f;
  k.highlightHard = s.highlightSoftness == 0.0f;
  k.shadow = BroadcastRange<L>(s.shadowHueRotation, s.shadowBalance, s.shadow.saturation);
  k.midtone = BroadcastRange<L>(s.midtoneHueRotation, s.midtoneBalance, s.midtone.saturation);
  k.highlight = BroadcastRange<L>(s.highlightHueRotation, s.highlightBalance, s.highlight.saturation);
  k.masterWeight = L::Set(s.masterBalance.weight);
  k.masterSaturation = L::Set(s.master.saturation);
  k.masterTargetU = L::Set(s.masterBalance.u);
  k.masterTargetV = L::Set(s.masterBalance.v);
  k.fullScale = L::Set(s.fullScale);
  k.half = L::Set(0.5f);
  k.unitScale = s.fullScale == 1.0f;
  k.neutralV = L::Set(s.neutralChromaV);
  k.neutralU = L::Set(s.neutralChromaU);
  k.maskDisplayGain = L::Set(s.maskDisplayGain);
  k.midGrey = L::Set(s.midGrey);
}

// ApplyLevels per lane.
template <class L>
THREEWAY_LANES_INLINE typename L::F ApplyLevelsLanes(typename L::F yd, const typename LanesPass<L>::Levels& g) {
  if (g.passThrough) return L::Keep(yd, L::Gt(yd, L::Zero()));
  auto t = L::Div(L::Sub(yd, g.inputBlack), g.inputSpan);
  t = L::Keep(t, L::Gt(t, L::Zero()));  // NaN and <= 0 give +0
  if (g.applyGamma) t = FastPowLanes<L>(t, g.inverseGamma);
  return L::Add(L::Mul(t, g.outputSpan), g.outputBlack);
}

// a + f * (b - a) per lane.
template <class L>
THREEWAY_LANES_INLINE typename L::F LerpLanes(typename L::F a, typename L::F b, typename L::F f) {
  return L::Add(a, L::Mul(f, L::Sub(b, a)));
}

// a + m * (b - a) per lane: the mix from the source value a towards the corrected value b by the
// mask. Under a mask known to be 1 everywhere the product is left out: 1 times the difference is the
// difference itself, bit for bit, in every rounding and denormal mode (a difference is never a
// signalling NaN).
template <class L>
THREEWAY_LANES_INLINE typename L::F MixLanes(typename L::F a, typename L::F b, typename L::F m, bool unitMask) {
  const auto d = L::Sub(b, a);
  return L::Add(a, unitMask ? d : L::Mul(m, d));
}

// The tonal rule of one set of lanes, decided once and applied to several values: the masks of
// rules 1..7 (rule 8 is what remains) and the two ramp fractions.
template <class L>
struct TonalRule {
  typename L::M shadow;     // rules 1, 2
  typename L::M highlight;  // rules 3, 4
  typename L::M midtone;    // rule 5
  typename L::M lowRamp;    // rule 6
  typename L::M highRamp;   // rule 7
  typename L::F lowFraction;   // computed only when some lane is on the low ramp
  typename L::F highFraction;  // and on the high ramp
  // Whether any lane follows the rule; the values of a range no lane takes are never computed.
  bool anyShadow, anyHighlight, anyLowRamp, anyHighRamp;
  bool anyMidtone;  // some lane is off the shadows and the highlights (rules 5 to 8)
  bool NeedsShadow() const { return anyShadow || anyLowRamp; }
  bool NeedsHighlight() const { return anyHighlight || anyHighRamp; }
};

// Evaluates the rules for the normalised luma y. Each mask holds only where no earlier rule holds.
template <class L, class Plan = GeneralPlan>
THREEWAY_LANES_INLINE TonalRule<L> DecideTonal(typename L::F y, const LanesPass<L>& k) {
  const auto ts = k.shadowThreshold;
  const auto es = k.shadowBlendEnd;
  const auto th = k.highlightThreshold;
  const auto bh = k.highlightBlendStart;

  // Rules 2 and 4 hold only under a hard (zero softness) edge.
  const auto r1 = L::Le(y, ts);
  const auto r2 = !Plan::kGradedVideo && k.shadowHard ? L::Le(y, es) : L::None();
  const auto r3 = L::Ge(y, th);
  const auto r4 = !Plan::kGradedVideo && k.highlightHard ? L::Ge(y, bh) : L::None();
  const auto r5 = L::And(L::Lt(es, y), L::Lt(y, bh));
  const auto r6 = L::And(L::Lt(ts, y), L::Lt(y, es));
  const auto r7 = L::Gt(y, bh);

  TonalRule<L> rule;
  rule.shadow = L::Or(r1, r2);
  auto taken = rule.shadow;
  rule.highlight = L::AndNot(taken, L::Or(r3, r4));
  taken = L::Or(taken, rule.highlight);
  rule.midtone = L::AndNot(taken, r5);
  taken = L::Or(taken, rule.midtone);
  rule.lowRamp = L::AndNot(taken, r6);
  taken = L::Or(taken, rule.lowRamp);
  rule.highRamp = L::AndNot(taken, r7);
  rule.anyShadow = L::Any(rule.shadow);
  rule.anyHighlight = L::Any(rule.highlight);
  rule.anyLowRamp = L::Any(rule.lowRamp);
  rule.anyHighRamp = L::Any(rule.highRamp);
  rule.anyMidtone = !L::All(L::Or(rule.shadow, rule.highlight));
  rule.lowFraction = rule.anyLowRamp ? L::Div(L::Sub(y, ts), L::Sub(es, ts)) : L::Zero();
  rule.highFraction = rule.anyHighRamp ? L::Div(L::Sub(y, bh), L::Sub(th, bh)) : L::Zero();
  return rule;
}

// TonalSelect per lane for one value, the rule decided.
template <class L>
THREEWAY_LANES_INLINE typename L::F SelectTonal(const TonalRule<L>& r, typename L::F shadow, typename L::F midtone,
                                                typename L::F highlight) {
  // A blend under an empty mask would change nothing: it is skipped, with the values it would read.
  if (!r.anyMidtone) {  // every lane in the shadows or the highlights: no ramp either
    if (!r.anyShadow) return highlight;
    if (!r.anyHighlight) return shadow;
    return L::Select(highlight, shadow, r.shadow);
  }
  auto out = midtone;  // rules 5 and 8
  if (r.anyLowRamp) out = L::Select(out, LerpLanes<L>(shadow, midtone, r.lowFraction), r.lowRamp);
  if (r.anyHighRamp) out = L::Select(out, LerpLanes<L>(midtone, highlight, r.highFraction), r.highRamp);
  if (r.anyHighlight) out = L::Select(out, highlight, r.highlight);
  if (r.anyShadow) out = L::Select(out, shadow, r.shadow);
  return out;
}

template <class L>
struct ChromaLanes {
  typename L::F u, v;
};

// RangeChroma per lane.
template <class L>
THREEWAY_LANES_INLINE ChromaLanes<L> RangeChromaLanes(typename L::F u0, typename L::F v0,
                                                      const typename LanesPass<L>::Range& r) {
  const auto ur = L::Sub(L::Mul(u0, r.cosine), L::Mul(v0, r.sine));
  const auto vr = L::Add(L::Mul(v0, r.cosine), L::Mul(u0, r.sine));
  return {L::Mul(L::Add(ur, L::Mul(L::Sub(r.targetU, ur), r.weight)), r.saturation),
          L::Mul(L::Add(vr, L::Mul(L::Sub(r.targetV, vr), r.weight)), r.saturation)};
}

// CorrectPixel per lane; returns the corrected planes with alpha left unset.
template <class L, class Plan>
THREEWAY_LANES_INLINE typename L::Planes CorrectPixelsLanes(typename L::F v0, typename L::F u0, typename L::F y0,
                                                            typename L::F yd, typename L::F m,
                                                            bool unitMask, const LanesPass<L>& k, bool lumaOnly) {
  // Dividing by a full scale of 1 changes no value (a signalling NaN only comes out quiet, which
  // the tonal comparisons and fractions below treat alike).
  const auto y = Plan::kGradedVideo || k.unitScale ? yd : L::Div(yd, k.fullScale);
  const TonalRule<L> rule = DecideTonal<L, Plan>(y, k);
  const auto zero = L::Zero();

  const auto lMaster = ApplyLevelsLanes<L>(yd, k.levels[0]);
  const auto lShadow = rule.NeedsShadow() ? ApplyLevelsLanes<L>(yd, k.levels[1]) : zero;
  const auto lMidtone = rule.anyMidtone ? ApplyLevelsLanes<L>(yd, k.levels[2]) : zero;
  const auto lHighlight = rule.NeedsHighlight() ? ApplyLevelsLanes<L>(yd, k.levels[3]) : zero;
  const auto lRange = SelectTonal<L>(rule, lShadow, lMidtone, lHighlight);
  const auto y1 = L::Add(lMaster, L::Mul(k.half, L::Sub(lRange, lMaster)));
  typename L::Planes out;
  out.y = MixLanes<L>(y0, y1, m, Plan::kGradedVideo || unitMask);
  out.a = zero;
  if (!Plan::kGradedVideo && lumaOnly) {
    out.v = k.neutralV;
    out.u = k.neutralU;
    return out;
  }

  const ChromaLanes<L> none{zero, zero};
  const ChromaLanes<L> shadow = rule.NeedsShadow() ? RangeChromaLanes<L>(u0, v0, k.shadow) : none;
  const ChromaLanes<L> midtone = rule.anyMidtone ? RangeChromaLanes<L>(u0, v0, k.midtone) : none;
  const ChromaLanes<L> highlight = rule.NeedsHighlight() ? RangeChromaLanes<L>(u0, v0, k.highlight) : none;
  const auto uMaster = L::Mul(L::Add(u0, L::Mul(L::Sub(k.masterTargetU, u0), k.masterWeight)), k.masterSaturation);
  const auto vMaster = L::Mul(L::Add(v0, L::Mul(L::Sub(k.masterTargetV, v0), k.masterWeight)), k.masterSaturation);

  const auto rangeU = SelectTonal<L>(rule, shadow.u, midtone.u, highlight.u);
  const auto rangeV = SelectTonal<L>(rule, shadow.v, midtone.v, highlight.v);
  const auto u1 = L::Add(uMaster, L::Mul(k.half, L::Sub(rangeU, uMaster)));
  const auto v1 = L::Add(vMaster, L::Mul(k.half, L::Sub(rangeV, vMaster)));
  out.v = MixLanes<L>(v0, v1, m, Plan::kGradedVideo || unitMask);
  out.u = MixLanes<L>(u0, u1, m, Plan::kGradedVideo || unitMask);
  return out;
}

// HistogramBin per lane: a true floor of y0 * 255, NaN and below 0 to bin 0, 255 and above to 255,
// counted in the lane's table (RowBins).
template <class L>
THREEWAY_LANES_INLINE void CountBins(typename L::F y0, RowBins& counts) {
  const auto b = L::Floor(L::Mul(y0, L::Set(255.0f)));
  // max(b, 0) returns its second operand when b is NaN.
  const auto clamped = L::Min(L::Max(b, L::Zero()), L::Set(255.0f));
  alignas(64) std::int32_t bins[L::kCount];
  L::StoreInts(bins, L::TruncateToInts(clamped));
  // Each bin read back from memory: left to itself GCC takes the lanes out of the register one
  // by one (two operations each), slower than a load on the processors measured.
  asm("" : "+m"(bins));
  // Bins as unsigned indices: no sign extension before each address. Unrolled whole (up to the
  // thirty-two lanes of an AVX-512 pair), so that each lane's table is a fixed offset.
#pragma GCC unroll 32
  for (std::int32_t i = 0; i < L::kCount; ++i) {
    ++counts.table[i % RowBins::kTables][static_cast<std::uint32_t>(bins[i])];
  }
}

// The dither leaps of one step: lane i advances the generator i + 1 times.
template <class L>
struct DitherLeaps {
  alignas(64) std::int32_t multiply[L::kCount];
  alignas(64) std::int32_t add[L::kCount];
};

template <class L>
constexpr DitherLeaps<L> MakeDitherLeaps() {
  DitherLeaps<L> leaps{};
  for (std::int32_t i = 0; i < L::kCount; ++i) {
    const DitherLeap leap = DitherLeapOf(static_cast<std::uint32_t>(i + 1));
    leaps.multiply[i] = static_cast<std::int32_t>(leap.multiply);
    leaps.add[i] = static_cast<std::int32_t>(leap.add);
  }
  return leaps;
}

// Whether the pass dithers the luma: moved levels on a format whose codes would band.
inline bool DitheredPass(const RowContext& c) {
  return c.constants->levelsActive && IsDitheredFormat(c.sourceFormat);
}
// Whether the mask is 1 everywhere: no mask plane and the qualifier kernel that restricts nothing.
inline bool UnitMask(const RowContext& c) { return !c.useMask && c.kernel == kQualifierKernels[56]; }
// Whether the row suits the graded-video plan (above).
inline bool GradedVideoPass(const RowContext& c) {
  const RendererSettings& s = *c.settings;
  return c.viewMode != kViewLuma && c.viewMode != kViewMask && c.viewMode != kViewTonalRange && UnitMask(c) &&
         s.fullScale == 1.0f && !(s.shadowSoftness == 0.0f) && !(s.highlightSoftness == 0.0f);
}

// The pixels from column x0 of pass row k, whole sets of lanes only; returns the column where the
// sets end (the row's rest is narrower than a set).
template <class L, class Plan>
THREEWAY_LANES_INLINE std::int32_t ProcessSpanLanes(const RowContext& context, std::uint32_t k, const void* in,
                                                    void* out, std::int32_t x0) {
  using F = typename L::F;
  // A copy of the row's context, which the pixel stores cannot reach: the loop may keep its
  // fields where they are instead of reading them through the caller's reference again.
  const RowContext c = context;
  constexpr std::int32_t kLanes = L::kCount;
  const std::int32_t vectorEnd = x0 + (c.width - x0) / kLanes * kLanes;
  if (vectorEnd == x0) return x0;
  const RendererSettings& s = *c.settings;
  const PassConstants& pc = *c.constants;
  const auto* src = static_cast<const std::uint8_t*>(in);
  auto* dst = static_cast<std::uint8_t*>(out);
  const bool dither = Plan::kGradedVideo ? Plan::kDither : DitheredPass(c);
  const bool count = Plan::kGradedVideo ? Plan::kCount : c.histogram != nullptr;
  const bool lumaOnly = !Plan::kGradedVideo && c.viewMode == kViewLuma;
  const bool constantMask = Plan::kGradedVideo || UnitMask(c);
  const std::size_t row = static_cast<std::size_t>(c.firstRow) + k;
  const float* maskRow =
      !Plan::kGradedVideo && c.useMask ? c.maskPlane + row * static_cast<std::size_t>(c.width) : nullptr;
  // The vector twin of the pass's qualifier kernel computes the masks a chunk of the span ahead.
  const VectorQualifierKernel vectorKernel =
      maskRow == nullptr && !constantMask ? VectorQualifierFor(c.kernel, L::kPath) : nullptr;
  constexpr std::int32_t kMaskChunk = 256;
  static_assert(kMaskChunk % kLanes == 0);
  alignas(64) float chunkMask[kMaskChunk];

  // The dither draws come from a copy of the thread's generator state, handed back at the end of
  // the span: the same sequence as a draw per pixel.
  constexpr DitherLeap kLeapOfAll = DitherLeapOf(kLanes);
  static constexpr DitherLeaps<L> kLeaps = MakeDitherLeaps<L>();
  const auto leapMultiply = L::LoadInts(kLeaps.multiply);
  const auto leapAdd = L::LoadInts(kLeaps.add);
  std::uint32_t ditherState = dither ? DitherState() : 0u;

  LanesPass<L> pass;
  BroadcastPass<L>(s, pc, pass);

  // The pass's tables; a row called without them counts into its own, cleared here.
  RowBins rowBins;
  RowBins& binCounts = c.bins != nullptr ? *c.bins : rowBins;
  if (count && c.bins == nullptr) std::memset(&rowBins, 0, sizeof rowBins);

  for (std::int32_t x = x0; x < vectorEnd; x += kLanes) {
    const std::size_t offset = static_cast<std::size_t>(x) * sizeof(WorkingPixel);
    const typename L::Planes p = L::LoadPixels(reinterpret_cast<const float*>(src + offset));

    F m;
    if (maskRow != nullptr) {
      m = L::Load(maskRow + x);
    } else if (constantMask) {
      m = L::Set(1.0f);
    } else if (vectorKernel != nullptr) {
      const std::int32_t inChunk = (x - x0) % kMaskChunk;
      if (inChunk == 0) {
        const std::int32_t count = vectorEnd - x < kMaskChunk ? vectorEnd - x : kMaskChunk;
        vectorKernel(reinterpret_cast<const float*>(src + offset), count, chunkMask, c.qualifier);
      }
      m = L::Load(chunkMask + inChunk);
    } else {  // a kernel without a vector twin, called per pixel
      alignas(64) float pv[kLanes], pu[kLanes], py[kLanes], mask[kLanes];
      L::Store(pv, p.v);
      L::Store(pu, p.u);
      L::Store(py, p.y);
      for (std::int32_t i = 0; i < kLanes; ++i) mask[i] = c.kernel(&py[i], &pu[i], &pv[i], c.qualifier);
      m = L::Load(mask);
    }

    if (count) CountBins<L>(p.y, binCounts);

    if (!Plan::kGradedVideo && (c.viewMode == kViewMask || c.viewMode == kViewTonalRange)) {
      // The views show the mask or the source's tonal range (black, mid grey, white) as luma on
      // neutral chroma; they draw no dither.
      typename L::Planes q;
      q.v = pass.neutralV;
      q.u = pass.neutralU;
      q.a = p.a;
      if (c.viewMode == kViewMask) {
        q.y = L::Mul(m, pass.maskDisplayGain);
      } else {
        const auto y = L::Div(p.y, pass.fullScale);
        q.y = SelectTonal<L>(DecideTonal<L>(y, pass), L::Zero(), pass.midGrey, pass.fullScale);
      }
      L::StorePixels(reinterpret_cast<float*>(dst + offset), q);
      continue;
    }

    F yd = p.y;
    if (dither) {
      // The next draws, lane i from the state i + 1 steps on; the state moves a step per lane.
      const auto states =
          L::AddInts(L::MulLowInts(L::SetInt(static_cast<std::int32_t>(ditherState)), leapMultiply), leapAdd);
      ditherState = ditherState * kLeapOfAll.multiply + kLeapOfAll.add;
      const auto draws = L::AndInts(L::ShiftRightInts(states, 16), L::SetInt(kDitherRandMax));
      const auto d = L::IntsToFloats(draws);
      const auto quotient = L::Add(L::Mul(d, L::Set(kDrawQuotientHigh)), L::Mul(d, L::Set(kDrawQuotientLow)));
      const auto r = L::Sub(quotient, L::Set(1.0f));  // draw / 16383.5 - 1, bit for bit
      yd = L::Add(p.y, L::Mul(r, L::Set(kDitherAmplitude)));
    }

    typename L::Planes q = CorrectPixelsLanes<L, Plan>(p.v, p.u, p.y, yd, m, constantMask, pass, lumaOnly);
    q.a = p.a;
    L::StorePixels(reinterpret_cast<float*>(dst + offset), q);
  }

  if (dither) SeedDither(ditherState);
  if (count && c.bins == nullptr) AddRowBins(rowBins, c.histogram);
  return vectorEnd;
}

// The row: two sets of lanes at a time (LanePair: the per-pixel step is a long chain of dependent
// operations, and two independent chains keep the processor busy while each waits), then one set,
// then pixel by pixel.
template <class L>
__attribute__((target(THREEWAY_LANES_TARGET))) void ProcessRowLanes(const RowContext& c, std::uint32_t k,
                                                                     const void* in, void* out) {
  using Pair = LanePair<L>;
  std::int32_t x = 0;
  if (GradedVideoPass(c)) {
    const bool dither = DitheredPass(c), count = c.histogram != nullptr;
    x = dither ? (count ? ProcessSpanLanes<Pair, GradedVideoPlan<true, true>>(c, k, in, out, 0)
                        : ProcessSpanLanes<Pair, GradedVideoPlan<true, false>>(c, k, in, out, 0))
               : (count ? ProcessSpanLanes<Pair, GradedVideoPlan<false, true>>(c, k, in, out, 0)
                        : ProcessSpanLanes<Pair, GradedVideoPlan<false, false>>(c, k, in, out, 0));
  } else {
    x = ProcessSpanLanes<Pair, GeneralPlan>(c, k, in, out, 0);
  }
  x = ProcessSpanLanes<L, GeneralPlan>(c, k, in, out, x);
  const auto* src = static_cast<const std::uint8_t*>(in);
  auto* dst = static_cast<std::uint8_t*>(out);
  for (; x < c.width; ++x) {
    const std::size_t offset = static_cast<std::size_t>(x) * sizeof(WorkingPixel);
    WorkingPixel p;
    std::memcpy(&p, src + offset, sizeof p);
    const WorkingPixel q =
        ProcessPixel(p.v, p.u, p.y, p.a, x, k, c.firstRow, c.width, c.useMask, c.maskPlane, c.kernel,
                     *c.qualifier, c.viewMode, c.sourceFormat, *c.settings, *c.constants, c.histogram);
    std::memcpy(dst + offset, &q, sizeof q);
  }
}

}  // namespace
}  // namespace threeway
