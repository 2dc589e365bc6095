// threeway lut run as users run it: its .cube applied by ffmpeg and by OpenColorIO (oiiotool) against
// threeway grade of the test card, the identity lattice, what is left out, whole-or-nothing files.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/tool_case.h"

namespace {

using threeway::test::ToolRun;

class Lut : public threeway::test::ToolCase {
 protected:
  // Grades a card with `panel`, bakes look.cube, runs `apply` (card.png -> looked.png) and bounds
  // oiiotool's mean and largest difference over all channels, in 16-bit codes.
  void ExpectNearTheGrade(std::string panel, std::string lutOptions, std::string apply, double mean, double max) {
    ASSERT_EQ(Tool("testcard card.png -y --size 320x180").status, 0);
    ASSERT_EQ(Tool("grade card.png graded.png -y " + panel).status, 0);
    const ToolRun run = Tool("lut look.cube -y " + lutOptions + " " + panel + " && " + apply);
    ASSERT_EQ(run.status, 0) << run.err;
    double measured[2] = {1, 1};
    for (const std::string& line : threeway::test::Lines(Shell("oiiotool graded.png looked.png --diff").out)) {
      std::sscanf(line.c_str(), " Mean error = %lf", &measured[0]);
      std::sscanf(line.c_str(), " Max error = %lf", &measured[1]);
    }
    EXPECT_LT(measured[0] * 65535, mean);
    EXPECT_LT(measured[1] * 65535, max);
  }
};

// Bounds a little above what 33-point LUTs measured: mean 71, max 482..565 for the first look, whose
// levels dither the grade (a LUT of one render, not averaged: mean 86..90); mean 16, max 2091 for the
// second (darkest colours, steepest gamma). Blue varying fastest is off by thousands of codes.
struct Look { const char* panel; double mean, max; };
const Look kLooks[] = {
    {"--set MasterOutputBlackLevel=24 --set MasterInputWhiteLevel=230 --set HighlightBalanceAngle=215 "
     "--set HighlightBalanceMagnitude=35 --set MasterSaturation=115", 78, 750},
    {"--set MasterSaturation=170 --set ShadowBalanceAngle=190 --set ShadowBalanceMagnitude=70 --set MidtoneHueAngle=25 "
     "--set HighlightBalanceAngle=40 --set HighlightBalanceMagnitude=60 --set MasterInputGrayLevel=1.8", 20, 2300},
};

TEST_F(Lut, FfmpegLut3dGivesTheGradeWithinBounds) {
  for (const Look& look : kLooks) {
    ExpectNearTheGrade(look.panel, "", "ffmpeg -nostdin -v error -y -i card.png -vf "
                       "lut3d=file=look.cube:interp=tetrahedral -pix_fmt rgb48be looked.png", look.mean, look.max);
  }
}

// A default panel changes nothing: the lattice itself, value for value, red varying fastest.
TEST_F(Lut, DefaultPanelWritesTheIdentityLattice) {
  ASSERT_EQ(Tool("lut identity.cube --size 17").err, "");
  std::string expected = "TITLE \"identity\"\nLUT_3D_SIZE 17\n";
  for (int i = 0; i < 17 * 17 * 17; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", i % 17 / 16.0, i / 17 % 17 / 16.0, i / 289 / 16.0);
    expected += line;
  }
  const std::string text = threeway::test::ReadAll(Path("identity.cube"));
  EXPECT_EQ(text.substr(text.find("TITLE")), expected);
}

TEST_F(Lut, LeftOutPartsAreNamedOrRefusedAndFailuresLeaveNothing) {
  struct Case { std::string arguments; int status; std::string err; std::vector<std::string> files; };
  const std::vector<Case> cases = {
      {"a.cube --set Soften=10 --set ShowSplitView=on --set ShowMask=on", 0, "warning: left out of the LUT: the split "
       "view, Soften (the qualifier is baked unsoftened), the mask view", {"a.cube"}},
      {"a.cube --set MasterOutputBlackLevel=24 --ocio", 0,
       "warning: left out of the LUT: the levels' dither (averaged over 64 renders)", {"a.cube", "a.ocio"}},
      {"a.cube --set MasterOutputBlackLevel=24 --strict --ocio", 1,
       "--strict: the LUT cannot hold the levels' dither; nothing written", {}},
      {"a.cube --domain 0.5 2", 2, "--domain widens the input range 0..1: MIN at most 0, MAX at least 1, got 0.5 2", {}},
      {"a.cube --press AutoContrast", 2, "unknown option --press (see threeway help lut)", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = Tool("lut " + c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, "threeway lut: " + c.err + "\n");
    EXPECT_EQ(Files(), c.files);
    for (const std::string& file : c.files) std::filesystem::remove(Path(file));
  }
  // Both files are written before either is named: a name taken by a directory leaves nothing.
  std::filesystem::create_directory(Path("d.cube"));
  EXPECT_EQ(Tool("lut d.cube --ocio").err, "threeway lut: cannot write d.cube: Is a directory\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"d.cube"});
}

// The --ocio config passes OpenColorIO's own check, and its look applies the LUT as ffmpeg does.
TEST_F(Lut, OcioLookIsAcceptedAndAppliesTheGrade) {
  if (Shell("command -v ociocheck").status != 0) GTEST_SKIP() << "ociocheck (opencolorio-tools) is not installed";
  ExpectNearTheGrade(kLooks[1].panel, "--ocio", "oiiotool --colorconfig look.ocio card.png "
                     "--ociolook:from=video:to=video look -d uint16 -o looked.png", kLooks[1].mean, kLooks[1].max);
  const ToolRun check = Shell("ociocheck --iconfig look.ocio");
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("src file found"), std::string::npos) << check.out;
}

}  // namespace
