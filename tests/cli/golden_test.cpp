// Golden checksums of the tool's pictures: the test card, the scope pictures and the before/after
// comparison drawn in process, and `threeway` run on the card with fixed panels (stills in 8-bit,
// 16-bit, half and float; raw frames in several host formats; the four scope files). The expected
// values live in tests/cli/golden/tool.txt; `scripts/golden` rewrites that file after a deliberate
// change of the output (review the diff), and an ordinary run only compares. The grading panels
// leave the levels alone: moved levels add a dither seeded from the clock.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/media/picture.h"
#include "cli/media/test_card.h"
#include "cli/scopes/scopes.h"
#include "tests/support/tool_case.h"
#include "tests/support/golden.h"

namespace threeway::cli {
namespace {

const std::string kGoldenFile = "cli/golden/tool.txt";

using threeway::test::Checksum;

std::string PictureChecksum(const Picture& picture) {
  return FormatCodeText(picture.format) + " " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
         " " + Checksum(picture.bytes.data(), picture.bytes.size());
}

// An image file's size, channels, stored type and pixels (not its bytes: TIFF and OpenEXR files
// carry the time they were written).
std::string ImageFileChecksum(const std::string& path) {
  auto input = OIIO::ImageInput::open(path);
  if (!input) return "unreadable";
  const OIIO::ImageSpec header = input->spec();
  std::vector<std::uint8_t> pixels(header.image_bytes());
  if (!input->read_image(0, 0, 0, header.nchannels, header.format, pixels.data())) return "unreadable";
  return std::to_string(header.width) + "x" + std::to_string(header.height) + "x" + std::to_string(header.nchannels) + " " +
         header.format.c_str() + " " + Checksum(pixels.data(), pixels.size());
}

std::string FileChecksum(const std::string& path) {
  const std::string bytes = threeway::test::ReadAll(path);
  return std::to_string(bytes.size()) + " bytes " + Checksum(bytes.data(), bytes.size());
}

void Check(const std::map<std::string, std::string>& computed) { threeway::test::ExpectGolden(kGoldenFile, computed); }

// 16-bit ARGB codes turned over (c -> 65535 - c, alpha kept): an "after" unlike the "before".
Picture Inverted(Picture picture) {
  auto* codes = reinterpret_cast<std::uint16_t*>(picture.bytes.data());
  for (std::size_t i = 0; i < picture.bytes.size() / 2; ++i) {
    if (i % 4 != 0) codes[i] = static_cast<std::uint16_t>(65535 - codes[i]);
  }
  return picture;
}

// A histogram of a known shape: a hump around bin 100, a thin tail up to 230, nothing below 12.
zkfx::LumaHistogram FixedHistogram() {
  zkfx::LumaHistogram histogram{};
  for (int i = 12; i <= 230; ++i) {
    histogram.count[i] = static_cast<std::uint32_t>(i < 180 ? 4000 - (i - 100) * (i - 100) / 2 : 8);
  }
  for (int i = 0; i < 256; ++i) histogram.peak = std::max(histogram.peak, histogram.count[i]);
  for (int i = 0; i < 256; ++i) histogram.normalized[i] = static_cast<float>(histogram.count[i]) / histogram.peak;
  return histogram;
}

TEST(Golden, TestCardScopesAndComparisonInProcess) {
  std::map<std::string, std::string> computed;
  const Picture card = MakeTestCard(160, 90);
  computed["card 160x90"] = PictureChecksum(card);
  computed["card 97x61"] = PictureChecksum(MakeTestCard(97, 61));
  const Picture working = ConvertPicture(card, zkfx::kPixelFormatVUYA32f);
  const Picture rgb = ConvertPicture(card, zkfx::kPixelFormatBGRA32f);
  computed["waveform 256x128"] = PictureChecksum(DrawWaveform(working, 256, 128));
  computed["waveform 120x200"] = PictureChecksum(DrawWaveform(working, 120, 200));
  computed["parade 256x128"] = PictureChecksum(DrawParade(rgb, 256, 128));
  computed["vectorscope 128"] = PictureChecksum(DrawVectorscope(working, 128));
  computed["vectorscope 301"] = PictureChecksum(DrawVectorscope(working, 301));
  computed["histogram 256x128"] = PictureChecksum(DrawHistogram(FixedHistogram(), 256, 128));
  computed["histogram 600x200"] = PictureChecksum(DrawHistogram(FixedHistogram(), 600, 200));
  // Large enough for text and lines at twice the size (one font pixel per 256 picture pixels).
  computed["waveform 1024x600"] = PictureChecksum(DrawWaveform(working, 1024, 600));
  computed["parade 1024x600"] = PictureChecksum(DrawParade(rgb, 1024, 600));
  computed["vectorscope 600"] = PictureChecksum(DrawVectorscope(working, 600));
  computed["histogram 1100x540"] = PictureChecksum(DrawHistogram(FixedHistogram(), 1100, 540));
  const Picture after = Inverted(card);
  // Labels at twice the size (one font pixel per 360), and halves around the size below which
  // the labels are left out, all in one checksum.
  const Picture big = MakeTestCard(400, 720);
  computed["compare 400x720"] = PictureChecksum(BeforeAfter(big, Inverted(big)));
  std::string small;
  for (int height = 8; height <= 30; height += 2) {
    const Picture half = MakeTestCard(120, height);
    const std::string one = PictureChecksum(BeforeAfter(half, Inverted(half)));
    small += one.substr(one.size() - 16);
  }
  computed["compare 120x8..30"] = Checksum(small.data(), small.size());
  for (std::uint32_t format : {zkfx::kPixelFormatBGRA8, zkfx::kPixelFormatARGB16, zkfx::kPixelFormatVUYA32f}) {
    computed["compare " + FormatCodeText(format)] =
        PictureChecksum(BeforeAfter(ConvertPicture(card, format), ConvertPicture(after, format)));
  }
  Check(computed);
}

// Balances, hue, saturation and a softened saturation qualifier; the levels untouched.
const std::string kBusy =
    "--set MasterSaturation=120 --set ShadowBalanceAngle=200 --set ShadowBalanceMagnitude=30 "
    "--set MidtoneBalanceAngle=220 --set MidtoneBalanceMagnitude=20 --set HighlightBalanceAngle=215 "
    "--set HighlightBalanceMagnitude=35 --set MasterHueAngle=5 --set SatStartThreshold=20 "
    "--set SatStartSoftness=10 --set Soften=10 --set EdgeThinning=20";
// Hue, less saturation, a shadow balance and the input grey level (a gamma, not a dithered level).
const std::string kGamma =
    "--set MasterHueAngle=-30 --set MasterSaturation=70 --set ShadowBalanceAngle=100 "
    "--set ShadowBalanceMagnitude=50 --set MasterInputGrayLevel=1.3";

class GoldenTool : public threeway::test::ToolCase {};

TEST_F(GoldenTool, GradesOfTheTestCard) {
  struct Step {
    std::string arguments;
    std::vector<std::string> outputs;  // files to check: images by their pixels, raw frames and presets by their bytes
  };
  const std::vector<Step> steps = {
      {"testcard card.png --size 160x90", {"card.png"}},
      {"testcard card.exr --size 160x90", {"card.exr"}},
      {"testcard card_bgra.raw --size 160x90 --raw-out bgra", {"card_bgra.raw"}},
      {"testcard card_BGra.raw --size 160x90 --raw-out BGra", {"card_BGra.raw"}},
      {"testcard card_vuya.raw --size 160x90 --raw-out vuya", {}},
      {"testcard card_Bgra.raw --size 160x90 --raw-out Bgra", {}},
      {"testcard card_VUya.raw --size 160x90 --raw-out VUya", {"card_VUya.raw"}},
      {"testcard card_Argb.raw --size 160x90 --raw-out Argb", {"card_Argb.raw"}},
      {"grade --raw-in bgra 160x90 card_bgra.raw card8.png", {"card8.png"}},
      {"grade --raw-in BGra 160x90 card_BGra.raw cardf.tif", {"cardf.tif"}},
      {"grade card8.png g8_busy.png " + kBusy, {"g8_busy.png"}},
      {"grade card.png g16_busy.png --compare compare16_busy.png " + kBusy, {"g16_busy.png", "compare16_busy.png"}},
      {"grade card.png g16_gamma.png " + kGamma, {"g16_gamma.png"}},
      {"grade cardf.tif gf_busy.tif " + kBusy, {"gf_busy.tif"}},
      {"grade card.exr gh_gamma.exr " + kGamma, {"gh_gamma.exr"}},
      {"grade --raw-in vuya 160x90 card_vuya.raw --raw-out vuya g_vuya.raw " + kGamma, {"g_vuya.raw"}},
      {"grade --raw-in Bgra 160x90 card_Bgra.raw --raw-out Bgra g_Bgra.raw " + kGamma, {"g_Bgra.raw"}},
      {"grade --raw-in BGra 160x90 card_BGra.raw --raw-out BGra g_BGra.raw " + kGamma, {"g_BGra.raw"}},
      {"grade --raw-in Argb 160x90 card_Argb.raw --raw-out Argb g_Argb.raw " + kGamma, {"g_Argb.raw"}},
      {"grade --raw-in VUya 160x90 card_VUya.raw --raw-out ARgb g_VUya_ARgb.raw " + kBusy, {"g_VUya_ARgb.raw"}},
      // Presses and picks: the values they leave, as the saved presets hold them (the grades, with
      // levels moved, are dithered). Picks in 8-bit and 16-bit inputs (the host library's 8-bit
      // conversion); a press renders with the values set before it (here a split view).
      {"grade card8.png x.png -y --pick WhiteBalance=17,70 --pick GrayBalance=120,47 --pick PickGrayLevel=90,50 "
       "--save-preset picks8.json", {"picks8.json"}},
      {"grade card.png x.png -y --pick WhiteBalance=17,70 --pick BlackBalance=150,20 --pick PickWhiteLevel=40,50 "
       "--save-preset picks16.json", {"picks16.json"}},
      {"grade --raw-in bgra 64x4 ramp.raw --raw-out bgra x.raw -y --press AutoBlackLevel --save-preset black.json", {"black.json"}},
      {"grade --raw-in bgra 64x4 ramp.raw --raw-out bgra x.raw -y --press AutoWhiteLevel --save-preset white.json", {"white.json"}},
      {"grade card.png x.png -y --set ShowSplitView=on --set SplitViewLayout=Vertical --set SplitViewPercent=30 "
       "--press AutoContrast --save-preset split.json", {"split.json"}},
      // The host format the effect gets, chosen apart from the file's.
      {"grade card.png fmt_vuya.png --format vuya " + kGamma, {"fmt_vuya.png"}},
      {"grade --raw-in Bgra 160x90 card_Bgra.raw --raw-out vuya --format bgra fmt_bgra.raw " + kBusy, {"fmt_bgra.raw"}},
      {"scopes card.png --prefix plain --size 256x128",
       {"plain-waveform.png", "plain-parade.png", "plain-vectorscope.png", "plain-histogram.png"}},
      {"scopes card.png --prefix graded --size 256x128 " + kBusy,
       {"graded-waveform.png", "graded-parade.png", "graded-vectorscope.png", "graded-histogram.png"}},
  };
  // A grey ramp from 20 to 200 (8-bit BGRA, 64x4) for the level buttons: no black, no white.
  std::string ramp;
  for (int i = 0; i < 64 * 4; ++i) ramp += std::string(3, static_cast<char>(20 + (i % 64) * 180 / 63)) + '\xff';
  threeway::test::WriteAll(Path("ramp.raw"), ramp);
  std::map<std::string, std::string> computed;
  for (const Step& step : steps) {
    const threeway::test::ToolRun run = Tool(step.arguments);
    ASSERT_EQ(run.status, 0) << step.arguments << "\n" << run.err;
    for (const std::string& output : step.outputs) {
      const bool bytes = output.ends_with(".raw") || output.ends_with(".json");
      // The busy panel's soft qualifier edges use the processor's reciprocal estimate.
      const std::string name = "tool " + output;
      computed[step.arguments.find(kBusy) != std::string::npos ? threeway::test::EstimateDependent(name) : name] =
          bytes ? FileChecksum(Path(output)) : ImageFileChecksum(Path(output));
    }
  }
  Check(computed);
}

}  // namespace
}  // namespace threeway::cli
