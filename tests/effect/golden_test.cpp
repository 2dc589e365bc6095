// Golden checksums of the effect through the real host: a fixed picture in each of the nine host
// formats, graded with fixed panels that leave the levels alone (moved levels turn on the dither,
// which is seeded from the clock), and the histogram each render leaves. The scalar row path
// (scripts/test --scalar) must reproduce the same checksums as the vector path.
#include <cmath>
#include <functional>

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

struct Panel {
  const char* name;
  std::function<void(threeway::host::Host&)> set;
};

constexpr std::int32_t Degrees(int d) { return d * 65536; }

const Panel kPanels[] = {
    {"neutral", [](threeway::host::Host&) {}},
    {"primary",
     [](threeway::host::Host& h) {
       h.SetAngle(kParamShadowBalanceAngle, Degrees(120));
       h.SetFloat(kParamShadowBalanceMagnitude, 30);
       h.SetFloat(kParamShadowBalanceGain, 0.6);
       h.SetAngle(kParamMidtoneBalanceAngle, Degrees(200));
       h.SetFloat(kParamMidtoneBalanceMagnitude, 20);
       h.SetAngle(kParamHighlightBalanceAngle, Degrees(-60));
       h.SetFloat(kParamHighlightBalanceMagnitude, 40);
       h.SetAngle(kParamMasterBalanceAngle, Degrees(33));
       h.SetFloat(kParamMasterBalanceMagnitude, 10);
       h.SetAngle(kParamShadowHueAngle, Degrees(15));
       h.SetAngle(kParamMasterHueAngle, Degrees(-8));
       h.SetFloat(kParamMasterSaturation, 130);
       h.SetFloat(kParamShadowSaturation, 80);
       h.SetFloat(kParamHighlightSaturation, 115);
       h.SetFloat(kParamShadowThreshold, 50);
       h.SetFloat(kParamHighlightSoftness, 40);
     }},
    {"qualified",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamMasterSaturation, 0);
       h.SetAngle(kParamHighlightBalanceAngle, Degrees(90));
       h.SetFloat(kParamHighlightBalanceMagnitude, 50);
       h.SetAngle(kParamHueOffset, Degrees(40));
       h.SetFloat(kParamHueStartThreshold, 10);
       h.SetFloat(kParamHueStartSoftness, 5);
       h.SetFloat(kParamHueEndThreshold, 60);
       h.SetFloat(kParamHueEndSoftness, 8);
       h.SetFloat(kParamSatStartThreshold, 5);
       h.SetFloat(kParamSatStartSoftness, 3);
       h.SetFloat(kParamLumaEndThreshold, 80);
       h.SetFloat(kParamLumaEndSoftness, 10);
       h.SetFloat(kParamEdgeThinning, 20);
     }},
    {"qualified-soft-inverted",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamMidtoneSaturation, 0);
       h.SetFloat(kParamHueStartThreshold, 20);
       h.SetFloat(kParamHueEndThreshold, 45);
       h.SetFloat(kParamLumaStartThreshold, 30);
       h.SetFloat(kParamLumaStartSoftness, 12);
       h.SetFloat(kParamEdgeThinning, -30);
       h.SetFloat(kParamSoften, 3);
       h.SetPopup(kParamInvert, kInvertMask);
     }},
    {"mask-view",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamSatEndThreshold, 40);
       h.SetFloat(kParamSatEndSoftness, 10);
       h.SetFloat(kParamSoften, 2);
       h.SetCheckBox(kParamShowMask, true);
     }},
    {"tonal-view",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamShadowSoftness, 30);
       h.SetCheckBox(kParamShowTonalRange, true);
     }},
    {"luma-view", [](threeway::host::Host& h) { h.SetPopup(kParamViewMode, kViewLuma); }},
    {"views-mask-over-tonal-over-luma",
     [](threeway::host::Host& h) {
       h.SetPopup(kParamViewMode, kViewLuma);
       h.SetCheckBox(kParamShowTonalRange, true);
       h.SetCheckBox(kParamShowMask, true);
       h.SetFloat(kParamLumaStartThreshold, 40);
       h.SetFloat(kParamLumaEndThreshold, 60);
     }},
    {"views-tonal-over-luma",
     [](threeway::host::Host& h) {
       h.SetPopup(kParamViewMode, kViewLuma);
       h.SetCheckBox(kParamShowTonalRange, true);
     }},
    {"split-horizontal-fraction",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamMasterSaturation, 0);
       h.SetCheckBox(kParamShowSplitView, true);
       h.SetPopup(kParamSplitViewLayout, 1);
       h.SetFloat(kParamSplitViewPercent, 33.9);  // 7.8 of 23 rows: truncated to 7
     }},
    {"split-vertical-whole",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamMasterSaturation, 0);
       h.SetCheckBox(kParamShowSplitView, true);
       h.SetPopup(kParamSplitViewLayout, 2);
       h.SetFloat(kParamSplitViewPercent, 100);
     }},
    {"split-vertical",
     [](threeway::host::Host& h) {
       h.SetFloat(kParamMasterSaturation, 0);
       h.SetCheckBox(kParamShowSplitView, true);
       h.SetPopup(kParamSplitViewLayout, 2);
       h.SetFloat(kParamSplitViewPercent, 37);
     }},
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
    panel.set(host);
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
