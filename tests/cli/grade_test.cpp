// threeway grade and threeway testcard, run as users run them: files in, files out, exit status
// and the one line on stderr. Pictures are written and read back with OpenImageIO; expected values
// come from the documented formulas (levels from the histogram bins, balance from a picked colour)
// or, for format round trips, from the host's image library converting the same pixels directly.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "framewell/framewell.h"
#include "pixmill/pixmill.h"
#include "tests/support/tool_case.h"

namespace {

namespace fs = std::filesystem;

using threeway::test::ReadAll;
using threeway::test::ToolRun;
using threeway::test::WriteAll;
using threeway::test::GreyBin;
using threeway::test::PresetValue;

class Grade : public threeway::test::ToolCase {};

// ---------------------------------------------------------------------------------------------
// Image files

struct Image {
  int width = 0, height = 0, channels = 0;
  OIIO::TypeDesc type;
  std::vector<std::uint8_t> bytes;  // interleaved, in `type`
};

void WriteImage(const std::string& path, const Image& image) {
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out) << path;
  OIIO::ImageSpec imageSpec(image.width, image.height, image.channels, image.type);
  if (image.channels == 2 || image.channels == 4) imageSpec.alpha_channel = image.channels - 1;
  imageSpec.attribute("oiio:UnassociatedAlpha", 1);  // store the channel values as given
  ASSERT_TRUE(out->open(path, imageSpec)) << out->geterror();
  ASSERT_TRUE(out->write_image(image.type, image.bytes.data())) << out->geterror();
  ASSERT_TRUE(out->close());
}

// Reads a file back: its stored type, and the channel values as floats (as stored, not premultiplied).
Image ReadImage(const std::string& path, std::vector<float>* values = nullptr) {
  Image image;
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &config);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path << ": " << OIIO::geterror();
    return image;
  }
  const OIIO::ImageSpec& header = in->spec();
  image.width = header.width, image.height = header.height, image.channels = header.nchannels, image.type = header.format;
  if (values) {
    values->resize(static_cast<std::size_t>(header.image_pixels()) * header.nchannels);
    EXPECT_TRUE(in->read_image(0, 0, 0, header.nchannels, OIIO::TypeDesc::FLOAT, values->data())) << in->geterror();
  }
  return image;
}

// Random channel values: any code for integer types, 0 .. 1.2 for half and float.
Image RandomImage(int width, int height, int channels, OIIO::TypeDesc type, unsigned seed) {
  const std::size_t count = static_cast<std::size_t>(width) * height * channels;
  std::vector<float> values(count);
  std::mt19937 rng(seed);
  for (float& v : values) {
    v = type == OIIO::TypeDesc::UINT8 ? static_cast<float>(rng() & 0xff) / 255.0f
        : type == OIIO::TypeDesc::UINT16 ? static_cast<float>(rng() & 0xffff) / 65535.0f
                                          : std::uniform_real_distribution<float>(0.0f, 1.2f)(rng);
  }
  Image image{width, height, channels, type, std::vector<std::uint8_t>(count * type.size())};
  OIIO::convert_pixel_values(OIIO::TypeDesc::FLOAT, values.data(), type, image.bytes.data(), static_cast<int>(count));
  return image;
}

// Colourful 8-bit RGB content without extremes.
Image Colourful(int width, int height) {
  Image image{width, height, 3, OIIO::TypeDesc::UINT8, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.bytes.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      p[0] = static_cast<std::uint8_t>(30 + (x * 7) % 200), p[1] = static_cast<std::uint8_t>(60 + (y * 11) % 150);
      p[2] = static_cast<std::uint8_t>(200 - (x * 3 + y * 5) % 170);
    }
  }
  return image;
}

// A neutral panel gives every file back as it was, in its own type: grey becomes RGB, alpha stays.
TEST_F(Grade, NeutralPanelKeepsTheImage) {
  struct Case {
    const char* file;
    OIIO::TypeDesc type;
    int channels, outChannels;
    // Float RGB passes the BT.601 matrix both ways: equal to float rounding.
    double tolerance;
  };
  const Case cases[] = {
      {"rgb8.png", OIIO::TypeDesc::UINT8, 3, 3, 0},      {"rgba8.png", OIIO::TypeDesc::UINT8, 4, 4, 0},
      {"grey8.png", OIIO::TypeDesc::UINT8, 1, 3, 0},     {"rgb16.tif", OIIO::TypeDesc::UINT16, 3, 3, 0},
      {"ga16.tif", OIIO::TypeDesc::UINT16, 2, 4, 0},     {"rgba16.png", OIIO::TypeDesc::UINT16, 4, 4, 0},
      {"rgba_half.exr", OIIO::TypeDesc::HALF, 4, 4, 4e-6}, {"rgb_float.exr", OIIO::TypeDesc::FLOAT, 3, 3, 4e-6},
  };
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteImage(Path(c.file), RandomImage(37, 11, c.channels, c.type, ++seed));
    const ToolRun run = Tool("grade " + std::string(c.file) + " out_" + c.file);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<float> in, out;
    ReadImage(Path(c.file), &in);
    const Image back = ReadImage(Path(std::string("out_") + c.file), &out);
    ASSERT_EQ(back.type, c.type);
    ASSERT_EQ(back.channels, c.outChannels);
    ASSERT_EQ(out.size(), in.size() / c.channels * c.outChannels);
    int mismatches = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
      // Output channel oc comes from input channel: grey for R, G, B; alpha from the last.
      const std::size_t pixel = i / c.outChannels, oc = i % c.outChannels;
      const std::size_t ic = c.channels >= 3 ? oc : (oc < 3 ? 0 : c.channels - 1);
      const float expected = in[pixel * c.channels + ic];
      if (std::fabs(out[i] - expected) > c.tolerance * std::max(1.0f, expected) && ++mismatches < 5) {
        ADD_FAILURE() << "pixel " << pixel << " channel " << oc << ": " << expected << " became " << out[i];
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(Grade, OutputKeepsThePrecisionTheFormatCanHold) {
  const Image deep = RandomImage(16, 8, 3, OIIO::TypeDesc::UINT16, 7);
  WriteImage(Path("in16.tif"), deep);
  const Image floats = RandomImage(16, 8, 3, OIIO::TypeDesc::FLOAT, 8);
  WriteImage(Path("in_float.exr"), floats);
  struct Case { const char* input; const char* output; OIIO::TypeDesc stored; };
  const Case cases[] = {{"in16.tif", "o.jpg", OIIO::TypeDesc::UINT8},   {"in16.tif", "o.png", OIIO::TypeDesc::UINT16},
                        {"in16.tif", "o.exr", OIIO::TypeDesc::HALF},    {"in_float.exr", "o2.png", OIIO::TypeDesc::UINT16},
                        {"in_float.exr", "o.tif", OIIO::TypeDesc::FLOAT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " -> " + c.output);
    const ToolRun run = Tool("grade '" + Path(c.input) + "' '" + Path(c.output) + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const Image back = ReadImage(Path(c.output));
    EXPECT_EQ(back.type, c.stored);
  }
}

// ---------------------------------------------------------------------------------------------
// Options

TEST_F(Grade, BadSetOptionsSayWhatIsAllowed) {
  WriteImage(Path("in.png"), Colourful(8, 4));
  struct Case { std::string options; std::vector<std::string> messages; };
  const std::vector<Case> cases = {
      {"--set Frobnicate=3", {"unknown parameter \"Frobnicate\"", "settable parameters: ViewMode, ShowSplitView,",
                              "MasterSaturation", "MasterOutputWhiteLevel"}},
      {"--set MasterSaturation=250", {"MasterSaturation: 250 is outside the range 0 .. 200"}},
      {"--set MasterInputGrayLevel=0.05", {"outside the range 0.1000000015 .. 9.970000267"}},
      {"--set ShadowBalanceGain=0.5", {"outside the range 1 .. 100"}},
      {"--set MasterSaturation=lots", {"\"lots\" is not a number (range 0 .. 200)"}},
      {"--set SplitViewLayout=Diagonal", {"\"Diagonal\" is not a choice; choices: Horizontal (1), Vertical (2)"}},
      {"--set Invert=4", {"choices: None (1), Invert Limit Color (2), Invert Mask (3)"}},
      {"--set ShowSplitView=maybe", {"use on/off, true/false, yes/no or 1/0"}},
      {"--set WhiteBalance=255,0", {"write R,G,B with each 0 .. 255"}},
      {"--set WhiteBalance=256,0,0", {"colour channels are 0 .. 255"}},
      {"--set AutoContrast=1", {"AutoContrast is a button: press it with --press AutoContrast"}},
      {"--set SplitViewGroupStart=1", {"is a group, not a value"}},
      {"--set MasterSaturation", {"--set needs NAME=VALUE"}},
      {"--press MasterSaturation", {"is not a button; buttons: AutoBlackLevel, AutoContrast, AutoWhiteLevel"}},
      {"--pick MasterSaturation=1,1", {"is not a colour parameter; colours: BlackBalance"}},
      {"--pick WhiteBalance=1", {"--pick needs NAME=X,Y"}},
      {"--render-scale 0", {"--render-scale needs N/D or a decimal number greater than 0"}},
      {"--pixel-aspect 1/0", {"--pixel-aspect needs N/D"}},
      {"--format rgba", {"not a host format; formats: vuya Vuya VUya bgra Bgra BGra argb Argb ARgb"}},
      {"--raw-in bgra", {"--raw-in needs 2 values"}},
      {"--frobnicate", {"unknown option --frobnicate"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const ToolRun run = Tool("grade '" + Path("in.png") + "' '" + Path("out.png") + "' " + c.options);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("threeway grade: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    for (const std::string& message : c.messages) EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("out.png")));
  }
  // Values inside the ranges, in every spelling the help names, are accepted.
  const ToolRun run = Tool("grade '" + Path("in.png") + "' '" + Path("out.png") +
                           "' --set MasterInputGrayLevel=0.1 --set showsplitview=YES --set SplitViewLayout=vertical"
                           " --set Invert=2 --set WhiteBalance=255,0,0 --set MasterHueAngle=-12.5"
                           " --render-scale 0.5 --pixel-aspect 10/11");
  EXPECT_EQ(run.status, 0) << run.err;
}

double PresetNumber(const std::string& preset, const std::string& name) { return std::stod(PresetValue(preset, name)); }


TEST_F(Grade, PresetReproducesTheGradeByteForByte) {
  Image input = Colourful(64, 32);
  std::memcpy(input.bytes.data() + (3 * 64 + 3) * 3, "\xff\x00\x00", 3);  // a red pixel to pick
  WriteImage(Path("in.png"), input);
  // A busy panel without active levels (levels add a clock-seeded dither). The pick writes a
  // magnitude above the slider's 100, which the preset must restore as it was.
  const std::string grade =
      "--set MasterSaturation=135.5 --set ShadowBalanceAngle=200 --set ShadowBalanceMagnitude=30"
      " --set MidtoneHueAngle=-7.25 --set HighlightSaturation=80 --pick WhiteBalance=3,3"
      " --set ShowSplitView=on --set SplitViewLayout=Vertical --set SplitViewPercent=75"
      " --set SatStartThreshold=20 --set SatStartSoftness=10 --set Invert=Invert\\ Mask";
  ToolRun run = Tool("grade '" + Path("in.png") + "' '" + Path("a.png") + "' " + grade + " --save-preset '" + Path("a.json") + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string preset = ReadAll(Path("a.json"));
  EXPECT_EQ(PresetValue(preset, "Invert"), "\"Invert Mask\"");
  EXPECT_EQ(PresetValue(preset, "SplitViewLayout"), "\"Vertical\"");
  EXPECT_EQ(PresetValue(preset, "ShowSplitView"), "true");
  EXPECT_EQ(PresetValue(preset, "MidtoneHueAngle"), "-7.25");
  EXPECT_GT(PresetNumber(preset, "HighlightBalanceMagnitude"), 100.0);
  // From the defaults, and from a panel changed before: the preset sets every value.
  for (const std::string before : {"", "--set MasterSaturation=0 --set WhiteBalance=0,0,255 --set ShowMask=on"}) {
    SCOPED_TRACE(before);
    run = Tool("grade '" + Path("in.png") + "' '" + Path("b.png") + "' " + before + " --preset '" + Path("a.json") +
               "' --save-preset '" + Path("b.json") + "' -y");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadAll(Path("b.png")), ReadAll(Path("a.png")));
    EXPECT_EQ(ReadAll(Path("b.json")), preset);
  }
  EXPECT_NE(ReadAll(Path("a.png")), ReadAll(Path("in.png")));
}

TEST_F(Grade, BadPresetsPointAtTheirPlace) {
  WriteImage(Path("in.png"), Colourful(8, 4));
  struct Case { std::string json; std::string message; };
  const std::vector<Case> cases = {
      {"{\n  \"MasterSaturation\": 120,\n  \"ShowMask\": tru\n}", "line 3, column 15: expected the literal \"true\", found \"tru\""},
      {"{\n  \"MasterSaturation\": 120\n  \"ShowMask\": true\n}", "line 3, column 3: expected ',' or '}', found '\"'"},
      {"[1, 2]", "line 1, column 1: a preset is an object"},
      {"{\"Nonsense\": 1}", "line 1, column 14: unknown parameter \"Nonsense\"; settable parameters: ViewMode"},
      {"{\"ShowMask\": 1}", "ShowMask: expected true or false, found a number"},
      {"{\"WhiteBalance\": [255, 0]}", "WhiteBalance: expected [R, G, B]"},
      {"{\"WhiteBalance\": [255, 0, 300]}", "colour channels are 0 .. 255"},
      {"{\"Invert\": \"Sideways\"}", "\"Sideways\" is not a choice"},
      {"{\"MasterSaturation\": 1, \"mastersaturation\": 2}", "MasterSaturation is set twice"},
      {"{\"AutoContrast\": true}", "AutoContrast is a button"},
      {"{\"MasterSaturation\": -1e308}", "MasterSaturation: -1e+308 is outside the range 0 .. 200"},
      {"{\"MidtoneBalanceMagnitude\": 181.02}", "MidtoneBalanceMagnitude: 181.02 is outside the range 0 .. 181.019336"},
      {"{\"MasterInputGrayLevel\": 0}", "MasterInputGrayLevel: 0 is outside the range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    WriteAll(Path("p.json"), c.json);
    const ToolRun run = Tool("grade '" + Path("in.png") + "' '" + Path("out.png") + "' --preset '" + Path("p.json") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(Path("p.json") + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("out.png")));
  }
}

// Pictures the tool cannot take whole are refused, and what an output cannot hold is named: a cut
// JPEG (which the library would fill with grey), a second page, two channels that are not grey and
// alpha; alpha into JPEG, a display window into PNG (OpenEXR keeps it).
TEST_F(Grade, DamagedOrRicherPicturesAreRefusedOrWarnedAbout) {
  ASSERT_EQ(Shell("'" + threeway::test::ToolPath() + "' testcard c.png --size 96x64 && oiiotool c.png -d uint8 -o c.jpg && "
                  "head -c 2000 c.jpg >cut.jpg && oiiotool c.png c.png --siappend -o pages.tif && "
                  "oiiotool c.png --ch R,G -o rg.tif && oiiotool c.png --ch R,G,B,A=1.0 -o a.png && "
                  "oiiotool c.png -d half --crop 40x20+8+4 -o crop.exr").status, 0);
  struct Case { const char* arguments; int status; const char* err; };
  const Case cases[] = {
      {"cut.jpg o.png", 1, "threeway grade: cannot read the pixels of cut.jpg: JPEG error: Premature end of JPEG file"},
      {"pages.tif o.png", 1, "threeway grade: pages.tif holds 2 pictures (pages or parts); the tool grades one"},
      {"rg.tif o.png", 1, "threeway grade: rg.tif has two channels (R, G) and neither is alpha"},
      {"a.png o.jpg", 0, "threeway grade: warning: o.jpg cannot hold the alpha of a.png; it is left out\n"},
      {"crop.exr o.png", 0, "threeway grade: warning: o.png cannot hold the display window of crop.exr; it is left out\n"},
      {"crop.exr o.exr", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = Tool(std::string("grade -y ") + c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err.substr(0, std::strlen(c.err)), c.err);
    EXPECT_EQ(run.status == 0, fs::exists(Path(std::string(c.arguments).substr(std::string(c.arguments).find(' ') + 1))));
  }
  const auto window = [](const std::string& path) {
    auto in = OIIO::ImageInput::open(path);
    const OIIO::ImageSpec& s = in->spec();
    return std::vector<int>{s.x, s.y, s.width, s.height, s.full_x, s.full_y, s.full_width, s.full_height};
  };
  EXPECT_EQ(window(Path("o.exr")), (std::vector<int>{8, 4, 40, 20, 0, 0, 96, 64}));
}

// Equal input levels would divide by zero: however the panel gets there, the tool refuses.
TEST_F(Grade, EqualInputLevelsAreRefused) {
  WriteImage(Path("in.png"), Colourful(8, 4));
  WriteAll(Path("flat.raw"), std::string(16 * 4, '\x5a'));
  WriteAll(Path("p.json"), "{\"MasterInputBlackLevel\": 0, \"MasterInputWhiteLevel\": 0}");
  struct Case { const char* arguments; const char* value; };
  for (const Case& c : {Case{"in.png out.png --set MasterInputBlackLevel=100 --set MasterInputWhiteLevel=100", "100"},
                        Case{"in.png out.png --preset p.json", "0"},
                        Case{"flat.raw out.raw --raw-in bgra 4x4 --press AutoContrast", "90"}}) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = Tool(std::string("grade ") + c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string("threeway grade: the input black level and the input white level are both ") + c.value +
                           " (MasterInputBlackLevel, MasterInputWhiteLevel): the levels would divide by zero; set them apart\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"flat.raw", "in.png", "p.json"}));
  }
}

TEST_F(Grade, RefusesToOverwriteItsInput) {
  WriteImage(Path("in.png"), Colourful(8, 4));
  const std::string original = ReadAll(Path("in.png"));
  fs::create_directory(Path("sub"));
  fs::create_hard_link(Path("in.png"), Path("hard.png"));
  fs::create_symlink(Path("in.png"), Path("soft.png"));
  const std::string in = "'" + Path("in.png") + "' ";
  for (const std::string& arguments :
       {in + "'" + Path("in.png") + "'", in + "'" + Path("sub/../in.png") + "'", in + "'" + Path("hard.png") + "'",
        in + "'" + Path("soft.png") + "'", in + "'" + Path("out.png") + "' --compare '" + Path("in.png") + "'",
        in + "'" + Path("out.png") + "' --save-preset '" + Path("in.png") + "'"}) {
    SCOPED_TRACE(arguments);
    const ToolRun run = Tool("grade " + arguments + " --set MasterSaturation=0");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("refusing to overwrite the input"), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(Path("in.png")), original);
    EXPECT_FALSE(fs::exists(Path("out.png")));
  }
}

TEST_F(Grade, FailuresLeaveNoOutputBehind) {
  WriteImage(Path("in.png"), Colourful(8, 4));
  WriteAll(Path("short.raw"), std::string(8 * 4 * 4 - 3, '\x40'));
  WriteAll(Path("two.raw"), std::string(8 * 4 * 4 * 2, '\x40'));
  struct Case { std::string arguments; int status; std::string message; };
  const std::string in = "'" + Path("in.png") + "' '" + Path("out.png") + "' ";
  const std::vector<Case> cases = {
      {in + "--pick WhiteBalance=8,0", 2, "8,0 is outside the 8x4 frame (X 0 .. 7, Y 0 .. 3)"},
      {in + "--pick WhiteBalance=0,-1", 2, "is outside the 8x4 frame"},
      {in + "--save-preset '" + Path("missing/p.json") + "'", 1, "cannot write " + Path("missing/p.json")},
      {in + "--compare '" + Path("missing/c.png") + "'", 1, "cannot write"},
      {"--module /dev/null grade " + in, 1, "too short"},
      {"grade '" + Path("short.raw") + "' '" + Path("out.png") + "' --raw-in bgra 8x4", 1,
       "ended after 125 of the 128 bytes of frame 1 (8x4 'bgra')"},
      {"grade '" + Path("two.raw") + "' '" + Path("out.png") + "' --raw-in bgra 8x4", 1, "an image file holds one frame"},
      {"grade '" + Path("nothing.png") + "' '" + Path("out.png") + "'", 1, "cannot read"},
      {in.substr(0, in.size() - 9) + "out.unknownformat'", 1, "cannot write"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const bool global = c.arguments.rfind("--module", 0) == 0 || c.arguments.rfind("grade", 0) == 0;
    const ToolRun run = Tool(global ? c.arguments : "grade " + c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    // No output, no temporary file: only the inputs.
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", "short.raw", "two.raw"}));
  }
}

// ---------------------------------------------------------------------------------------------
// Raw frames (their grades in several host formats: golden_test.cpp)

TEST_F(Grade, RawThroughStandardInputAndOutput) {
  // Three frames of random 16-bit codes (every code is a legal 'Bgra' value).
  std::string frames(16 * 9 * 8 * 3, '\0');
  std::mt19937 rng(3);
  for (char& byte : frames) byte = static_cast<char>(rng() & 0xff);
  WriteAll(Path("in.raw"), frames);
  // A neutral panel on the frame's own format gives the frames back.
  ToolRun run = Tool("grade - - --raw-in Bgra 16x9 --raw-out Bgra", Path("in.raw"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, frames);
  // Pipes and files agree, into another code and with a grade.
  const std::string options = " --raw-in Bgra 16x9 --raw-out vuya --set MasterHueAngle=40";
  run = Tool("grade - -" + options, Path("in.raw"));
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(Tool("grade in.raw out.raw" + options).status, 0);
  EXPECT_EQ(run.out, ReadAll(Path("out.raw")));
  EXPECT_EQ(run.out.size(), 16u * 9 * 4 * 3);
  // Cut short in the third frame.
  WriteAll(Path("short.raw"), frames.substr(0, frames.size() - 1));
  run = Tool("grade - - --raw-in Bgra 16x9 --raw-out Bgra", Path("short.raw"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("raw input standard input ended after 1151 of the 1152 bytes of frame 3"), std::string::npos)
      << run.err;
  // Nothing at all.
  run = Tool("grade - - --raw-in Bgra 16x9 --raw-out Bgra");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ended after 0 of the 1152 bytes of frame 1"), std::string::npos) << run.err;
  // Images need files.
  run = Tool("grade - '" + Path("o.png") + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("standard input takes raw frames"), std::string::npos) << run.err;
}

TEST_F(Grade, RenderScaleAndPixelAspectChangeOnlyTheSoftenedMask) {
  WriteImage(Path("in.png"), Colourful(48, 24));
  const std::string mask = "--set ShowMask=on --set SatStartThreshold=40 --set SatStartSoftness=5";
  const auto render = [&](const std::string& name, const std::string& options) {
    const ToolRun run = Tool("grade '" + Path("in.png") + "' '" + Path(name) + "' " + mask + " " + options);
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadAll(Path(name));
  };
  const std::string sharp = render("sharp.png", "");
  EXPECT_EQ(render("sharp_half.png", "--render-scale 1/2 --pixel-aspect 2"), sharp);  // Soften 0: no blur at all
  const std::string soft = render("soft.png", "--set Soften=4");
  EXPECT_NE(soft, sharp);
  const std::string half = render("soft_half.png", "--set Soften=4 --render-scale 1/2");
  EXPECT_NE(half, soft);
  EXPECT_EQ(render("soft_half_decimal.png", "--set Soften=4 --render-scale 0.5"), half);
  EXPECT_NE(render("soft_aspect.png", "--set Soften=4 --pixel-aspect 1/2"), soft);
}

}  // namespace
