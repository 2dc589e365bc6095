// Golden checksums of the effect through the real host: a fixed picture in each of the nine host
// formats, graded with fixed panels that leave the levels alone (moved levels turn on the dither,
// which is seeded from the clock), and the histogram each render leaves. The scalar row path
// (scripts/test --scalar) must reproduce the same checksums as the vector path.
#include <cmath>
#include <utility>
#include <vector>

#include "tests/support/effect.h"
#include "render/renderer_settings.h"
#include "tests/support/golden.h"

namespace {

using namespace threeway::test;
using namespace threeway;

// A smooth picture with a hue sweep, a luma ramp, a repeating detail and varied alpha, written in
// the format's own coding (studio-range codes for 8- and 16-bit YUV; a little above white and
// below black for the float formats, which carry values outside 0..1).
Frame TestPicture(std::uint32_t format) {
  constexpr int kWidth = 67, kHeight = 23;  // odd: vector blocks and a scalar tail on each row
  Frame f(kWidth, kHeight, format);
  const int bpp = threeway::host::BytesPerPixel(format);
  const bool yuv = (format & 0xFF) == 'v' || (format & 0xFF) == 'V';
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double a = static_cast<double>(x) / (kWidth - 1);
      const double b = static_cast<double>(y) / (kHeight - 1);
      const double c = ((x * 7 + y * 13) % 17) / 16.0;
      const double alpha = ((x + y) % 5) / 4.0;
      // Channel order in memory: BGRA / ARGB / VUYA.
      double v[4];
      if (yuv) {
        v[0] = 0.5 * (a - 0.5), v[1] = 0.5 * (c - 0.5), v[2] = b, v[3] = alpha;
      } else if ((format & 0xFF) == 'b' || (format & 0xFF) == 'B') {
        v[0] = c, v[1] = b, v[2] = a, v[3] = alpha;
      } else {
        v[0] = alpha, v[1] = a, v[2] = b, v[3] = c;
      }
      for (int ch = 0; ch < 4; ++ch) {
        if (bpp == 16) {
          const double wide = (ch == 3 || (yuv && ch != 2)) ? v[ch] : v[ch] * 1.1 - 0.05;
          f.Row<float>(y)[x * 4 + ch] = static_cast<float>(wide);
          continue;
        }
        double code;
        if (yuv && ch < 2) code = 128 + v[ch] * 224;      // chroma 16..240 around 128
        else if (yuv && ch == 2) code = 16 + v[ch] * 219;  // luma 16..235
        else code = v[ch] * 255;
        if (bpp == 4) {
          f.Row<std::uint8_t>(y)[x * 4 + ch] = static_cast<std::uint8_t>(std::lround(code));
        } else {
          f.Row<std::uint16_t>(y)[x * 4 + ch] = static_cast<std::uint16_t>(std::lround(code * 257));
        }
      }
    }
  }
  return f;
}

// A panel: values set in order through the host, each by its parameter's type (angles in whole
// degrees, popups by choice, check boxes on when nonzero). Every set must be taken.
struct Panel {
  const char* name;
  std::vector<std::pair<std::int32_t, double>> values;
};

void Apply(threeway::host::Host& h, const Panel& panel) {
  for (const auto& [index, value] : panel.values) {
    switch (ParamSpecAt(index).type) {
      case zkfx::kParamTypeAngle: ASSERT_EQ(h.SetAngle(index, static_cast<std::int32_t>(value) * 65536), 0) << index; break;
      case zkfx::kParamTypePopup: ASSERT_EQ(h.SetPopup(index, static_cast<std::int32_t>(value)), 0) << index; break;
      case zkfx::kParamTypeCheckBox: ASSERT_EQ(h.SetCheckBox(index, value != 0), 0) << index; break;
      default: ASSERT_EQ(h.SetFloat(index, value), 0) << index;
    }
  }
}

const Panel kPanels[] = {
    {"neutral", {}},
    {"primary",
     {{kParamShadowBalanceAngle, 120}, {kParamShadowBalanceMagnitude, 30}, {kParamShadowBalanceGain, 0.6},
      {kParamMidtoneBalanceAngle, 200}, {kParamMidtoneBalanceMagnitude, 20}, {kParamHighlightBalanceAngle, -60},
      {kParamHighlightBalanceMagnitude, 40}, {kParamMasterBalanceAngle, 33}, {kParamMasterBalanceMagnitude, 10},
      {kParamShadowHueAngle, 15}, {kParamMasterHueAngle, -8}, {kParamMasterSaturation, 130},
      {kParamShadowSaturation, 80}, {kParamHighlightSaturation, 115}, {kParamShadowThreshold, 50},
      {kParamHighlightSoftness, 40}}},
    {"qualified",
     {{kParamMasterSaturation, 0}, {kParamHighlightBalanceAngle, 90}, {kParamHighlightBalanceMagnitude, 50},
      {kParamHueStartThreshold, 10}, {kParamHueStartSoftness, 5}, {kParamHueEndThreshold, 60},
      {kParamHueEndSoftness, 8}, {kParamSatStartThreshold, 5}, {kParamSatStartSoftness, 3},
      {kParamLumaEndThreshold, 80}, {kParamLumaEndSoftness, 10}, {kParamEdgeThinning, 20}}},
    {"qualified-soft-inverted",
     {{kParamMidtoneSaturation, 0}, {kParamHueStartThreshold, 20}, {kParamHueEndThreshold, 45},
      {kParamLumaStartThreshold, 30}, {kParamLumaStartSoftness, 12}, {kParamEdgeThinning, -30}, {kParamSoften, 3},
      {kParamInvert, kInvertMask}}},
    {"mask-view", {{kParamSatEndThreshold, 40}, {kParamSatEndSoftness, 10}, {kParamSoften, 2}, {kParamShowMask, 1}}},
    {"tonal-view", {{kParamShadowSoftness, 30}, {kParamShowTonalRange, 1}}},
    {"luma-view", {{kParamViewMode, kViewLuma}}},
    {"views-mask-over-tonal-over-luma",
     {{kParamViewMode, kViewLuma}, {kParamShowTonalRange, 1}, {kParamShowMask, 1}, {kParamLumaStartThreshold, 40},
      {kParamLumaEndThreshold, 60}}},
    {"views-tonal-over-luma", {{kParamViewMode, kViewLuma}, {kParamShowTonalRange, 1}}},
    // 33.9 % of 23 rows is 7.8: truncated to 7.
    {"split-horizontal-fraction",
     {{kParamMasterSaturation, 0}, {kParamShowSplitView, 1}, {kParamSplitViewLayout, 1}, {kParamSplitViewPercent, 33.9}}},
    {"split-vertical-whole",
     {{kParamMasterSaturation, 0}, {kParamShowSplitView, 1}, {kParamSplitViewLayout, 2}, {kParamSplitViewPercent, 100}}},
    {"split-vertical",
     {{kParamMasterSaturation, 0}, {kParamShowSplitView, 1}, {kParamSplitViewLayout, 2}, {kParamSplitViewPercent, 37}}},
};

const std::uint32_t kFormats[] = {
    zkfx::kPixelFormatVUYA8, zkfx::kPixelFormatVUYA16, zkfx::kPixelFormatVUYA32f,
    zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatBGRA16, zkfx::kPixelFormatBGRA32f,
    zkfx::kPixelFormatARGB8, zkfx::kPixelFormatARGB16, zkfx::kPixelFormatARGB32f};

std::string FormatName(std::uint32_t code) {
  return {static_cast<char>(code), static_cast<char>(code >> 8), static_cast<char>(code >> 16),
          static_cast<char>(code >> 24)};
}

TEST(EffectGolden, EveryPanelInEveryFormat) {
  std::map<std::string, std::string> sums;
  for (const Panel& panel : kPanels) {
    threeway::test::RecordingHost host;
    ASSERT_NO_FATAL_FAILURE(BringUp(host));
    ASSERT_NO_FATAL_FAILURE(Apply(host, panel));
    for (std::uint32_t format : kFormats) {
      Frame in = TestPicture(format);
      Frame out = in.Blank();
      ASSERT_EQ(host.Render(in.frame, out.frame), zkfx::kErrNone) << panel.name;
      // The qualified panels have soft edges, whose products use the processor's estimate.
      const std::string name = std::string(panel.name) + "/" + FormatName(format);
      const std::string key = name.starts_with("qualified") ? threeway::test::EstimateDependent(name) : name;
      sums[key] = threeway::test::Checksum(out.bytes.data(), out.bytes.size());
      const auto* histogram = static_cast<const zkfx::LumaHistogram*>(*host.sequenceData());
      sums[name + "/histogram"] = threeway::test::Checksum(histogram, sizeof *histogram);
    }
    host.GlobalSetdown();
  }
  threeway::test::ExpectGolden("effect/golden/renders.txt", sums);
}

}  // namespace
