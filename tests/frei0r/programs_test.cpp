// ffmpeg, melt and GStreamer's gst-launch-1.0, as installed, running build/frei0r/threeway.so; and
// the command-line tool on the same frames. Every case works in its own temporary folder (CTest runs cases in parallel).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "frei0r/editor_effects.h"
#include "frei0r/param_map.h"
#include "frei0r/pixels.h"
#include "params/catalogue.h"
#include "tests/support/tool_case.h"

namespace {

namespace fs = std::filesystem;
using threeway::test::ReadAll;

constexpr int kWidth = 64, kHeight = 48, kFrames = 3;

class Programs : public threeway::test::ToolCase {
 protected:
  void SetUp() override {
    ToolCase::SetUp();
    build = fs::absolute(threeway::test::BuildDir()).string();
    // GStreamer keeps its plug-in registry in the case's folder, not the user's cache. No LADSPA
    // plug-ins: MLT and GStreamer load every one they find, and some (swh-plugins, which the
    // editors bring along) deadlock in their constructors under the sanitizer runtime.
    env = "FREI0R_PATH='" + build + "/frei0r' GST_REGISTRY='" + scratch + "/gst-registry.bin' LADSPA_PATH='" +
          scratch + "/no-ladspa' ";
#ifdef THREEWAY_SANITIZER_RUNTIME
    // ffmpeg and melt are not built with the sanitizers: the runtime our instrumented plug-in
    // needs must be loaded first. Their own allocations are not ours to account for, so leak
    // detection is left to the in-process tests.
    env += "LD_PRELOAD='" THREEWAY_SANITIZER_RUNTIME "' ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ";
#endif
  }

  // Runs `command` in the case's folder and keeps its output for Out() and Err().
  int Run(const std::string& command) {
    last_ = Shell(command);
    return last_.status;
  }
  // melt now and then never returns after its consumer finished (seen on loaded machines, with the
  // render written whole): each try is bounded, and a try whose wait runs out is made again, three
  // tries in all. Renders compared byte for byte name `real_time=0`: a consumer's default (1)
  // drops frames that come late, and on a loaded machine the one frame of a test's project came
  // out as an empty file.
  int Melt(const std::string& arguments) {
    const std::string once = env + "timeout -k 5 30 melt " + arguments;
    return Run(once + " || { [ $? -eq 124 ] && " + once + "; } || { [ $? -eq 124 ] && " + once + "; }");
  }
  std::string Out() { return last_.out; }
  std::string Err() { return last_.err; }
  std::string File(const char* name) { return ReadAll(Path(name)); }

  // A small generated clip as raw RGBA frames (clip.rgba) and its first frame as a PNG.
  void MakeClip() {
    ASSERT_EQ(Run("ffmpeg -v error -f lavfi -i testsrc2=s=64x48:r=25 -frames:v 3 -f rawvideo -pix_fmt rgba "
                  "-y clip.rgba"),
              0)
        << Err();
    ASSERT_EQ(Run("ffmpeg -v error -f rawvideo -pix_fmt rgba -s 64x48 -i clip.rgba -frames:v 1 -y frame.png"), 0)
        << Err();
    ASSERT_EQ(File("clip.rgba").size(), static_cast<std::size_t>(kWidth * kHeight * 4 * kFrames));
  }
  // ffmpeg grading clip.rgba through the plug-in with positional parameters into `out` (raw
  // frames in `format`).
  int Ffmpeg(const std::string& params, const char* out, const std::string& prefix = "", const char* format = "rgba") {
    std::string filter = "frei0r=threeway";
    if (!params.empty()) filter += ":" + params;
    return Run(prefix + env + "ffmpeg -v error -f rawvideo -pix_fmt rgba -s 64x48 -i clip.rgba -vf '" + filter +
               "' -f rawvideo -pix_fmt " + format + " -y " + out);
  }
  std::string Positional(const std::string& assignments) {
    EXPECT_EQ(Run("'" + build + "/bin/threeway-frei0r-table' --ffmpeg " + assignments), 0) << Err();
    std::string p = Out();
    while (!p.empty() && p.back() == '\n') p.pop_back();
    return p;
  }
  void WriteProfile() {
    std::ofstream(Path("profile")) << "description=64x48\nframe_rate_num=25\nframe_rate_den=1\nwidth=64\n"
                                      "height=48\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                      "display_aspect_num=4\ndisplay_aspect_den=3\ncolorspace=601\n";
  }

  std::string build, env;
  threeway::test::ToolRun last_;
};

TEST_F(Programs, FfmpegWithDefaultsLeavesFramesUnchanged) {
  MakeClip();
  ASSERT_EQ(Ffmpeg("", "out.rgba"), 0) << Err();
  EXPECT_EQ(File("out.rgba"), File("clip.rgba"));
  // Every default written out by position, as a user would copy it from the table.
  const std::string all = Positional("MasterOutputWhiteLevel=1");
  ASSERT_EQ(Ffmpeg(all, "all.rgba"), 0) << Err();
  EXPECT_EQ(File("all.rgba"), File("clip.rgba"));
}

TEST_F(Programs, FfmpegTakesBooleansAsYesAndNo) {
  MakeClip();
  ASSERT_EQ(Ffmpeg(Positional("ShowTonalRange=n"), "n.rgba"), 0) << Err();
  EXPECT_EQ(File("n.rgba"), File("clip.rgba"));
  ASSERT_EQ(Ffmpeg(Positional("ShowTonalRange=y"), "y.rgba"), 0) << Err();
  // The tonal-range view paints every pixel black, grey or white.
  const std::string y = File("y.rgba");
  ASSERT_EQ(y.size(), File("clip.rgba").size());
  for (std::size_t i = 0; i < y.size(); i += 4) {
    const auto r = static_cast<unsigned char>(y[i]), g = static_cast<unsigned char>(y[i + 1]),
               b = static_cast<unsigned char>(y[i + 2]);
    ASSERT_TRUE(r == g && g == b) << "pixel " << i / 4;
  }
  EXPECT_NE(y, File("clip.rgba"));
}

// The same panel through the command-line tool, ffmpeg by position and melt by name.
struct Panel {
  const char* name;
  const char* unit;   // the frei0r 0..1 value
  const char* value;  // the same in the parameter's own units, for the tool
};
const Panel kPanel[] = {
    {"MasterSaturation", "0.3", "60"},           {"HighlightBalanceMagnitude", "0.25", "25"},
    {"HighlightBalanceAngle", "0.25", "-90"},    {"ShadowHueAngle", "0.625", "45"},
    {"MidtoneSaturation", "0.75", "150"},        {"ShadowThreshold", "0.2", "51"},
};

TEST_F(Programs, FfmpegByPositionEqualsMeltByName) {
#ifdef THREEWAY_SANITIZER_RUNTIME
  // melt does not finish a render with the sanitizer runtime preloaded (it waits forever on its
  // consumer thread), and cannot load the instrumented plug-in without it. The normal build runs
  // this comparison; the sanitizer build covers the plug-in through ffmpeg and in process.
  GTEST_SKIP() << "melt cannot render with the sanitizer runtime";
#endif
  MakeClip();
  WriteProfile();
  std::string assignments;  // the same NAME=UNIT words for the table tool (ffmpeg) and for melt
  for (const Panel& p : kPanel) assignments += std::string(" ") + p.name + "=" + p.unit;
  ASSERT_EQ(Run(env + "ffmpeg -v error -i frame.png -vf 'format=rgba,frei0r=threeway:" + Positional(assignments) +
                "' -f rawvideo -pix_fmt rgba -y ffmpeg.rgba"),
            0)
      << Err();
  ASSERT_EQ(Melt("-profile profile frame.png out=0 -filter frei0r.threeway" + assignments +
                 " -consumer avformat:melt.rgba f=rawvideo pix_fmt=rgba real_time=0"),
            0)
      << Err();
  ASSERT_EQ(File("ffmpeg.rgba").size(), static_cast<std::size_t>(kWidth * kHeight * 4));
  EXPECT_EQ(File("melt.rgba"), File("ffmpeg.rgba"));
  // And the grade did something: the first frame of the clip differs.
  EXPECT_NE(File("ffmpeg.rgba"), File("clip.rgba").substr(0, kWidth * kHeight * 4));
}

// GStreamer's frei0r element names a parameter in lower case and splits a colour into -r, -g and
// -b; booleans are true/false.
std::string GstAssignment(const Panel& p) {
  std::string name = p.name, value = p.unit;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (value == "y" || value == "n") return " " + name + "=" + (value == "y" ? "true" : "false");
  const std::size_t a = value.find('/'), b = value.rfind('/');
  if (a == std::string::npos) return " " + name + "=" + value;
  return " " + name + "-r=" + value.substr(0, a) + " " + name + "-g=" + value.substr(a + 1, b - a - 1) + " " + name +
         "-b=" + value.substr(b + 1);
}

// ffmpeg (parameters by position) and GStreamer (by name) grading through the plug-in, and the
// command-line tool grading the same frames as raw 'bgra' with the same panel (the tool takes
// values in the parameters' own units), give the same bytes; ffmpeg with the plug-in made to take
// RGBA frames too. Panels without active master levels: their dither is seeded from the clock.
TEST_F(Programs, FfmpegAndGstreamerEqualTheToolByteForByte) {
  MakeClip();
  ASSERT_EQ(Run("ffmpeg -v error -f rawvideo -pix_fmt rgba -s 64x48 -i clip.rgba -f rawvideo -pix_fmt bgra "
                "-y clip.bgra"),
            0)
      << Err();
  struct Case {
    const char* what;
    std::vector<Panel> panel;
  };
  const Case cases[] = {
      {"sliders, angles", std::vector<Panel>(std::begin(kPanel), std::end(kPanel))},
      {"popup, check box, qualifier",
       {{"Invert", "0.5", "2"}, {"LumaStartThreshold", "0.3", "30"}, {"LumaStartSoftness", "0.1", "10"},
        {"Soften", "0.2", "10"}, {"EdgeThinning", "0.75", "50"}, {"MasterSaturation", "0.1", "20"},
        {"ShowSplitView", "y", "on"}, {"SplitViewLayout", "1", "Vertical"}}},
      {"balance pickers",
       {{"BlackBalance", "0.250980392/0.125490196/0.0627450980", "64,32,16"},
        {"WhiteBalance", "1/0/0", "255,0,0"}}},
  };
  for (const Case& c : cases) {
    std::string assignments, sets, gst;
    for (const Panel& p : c.panel) {
      assignments += std::string(" ") + p.name + "=" + p.unit;
      sets += std::string(" --set ") + p.name + "=" + p.value;
      gst += GstAssignment(p);
    }
    ASSERT_EQ(Ffmpeg(Positional(assignments), "ffmpeg.bgra", "", "bgra"), 0) << c.what << ": " << Err();
    ASSERT_EQ(Ffmpeg(Positional(assignments), "rgba.bgra", "THREEWAY_FREI0R_LAYOUT=rgba ", "bgra"), 0)
        << c.what << ": " << Err();
    ASSERT_EQ(Run("'" + build + "/bin/threeway' grade clip.bgra tool.bgra -y --raw-in bgra 64x48 --raw-out bgra" + sets),
              0)
        << c.what << ": " << Err();
    const std::string ffmpeg = File("ffmpeg.bgra"), tool = File("tool.bgra");
    ASSERT_EQ(ffmpeg.size(), static_cast<std::size_t>(kWidth * kHeight * 4 * kFrames)) << c.what;
    EXPECT_TRUE(ffmpeg == tool) << c.what;
    EXPECT_TRUE(File("rgba.bgra") == tool) << c.what << ", RGBA frames";
    EXPECT_NE(ffmpeg, File("clip.bgra")) << c.what << ": the panel changes nothing";
    // GStreamer: the raw clip parsed into BGRA frames, filtered, written as they come (the
    // element takes BGRA only, so the pipeline fails if the plug-in declared anything else).
    ASSERT_EQ(Run(env + "gst-launch-1.0 -q filesrc location=clip.bgra ! rawvideoparse format=bgra width=64 "
                  "height=48 framerate=25/1 ! frei0r-filter-threeway" + gst + " ! filesink location=gst.bgra"),
              0)
        << c.what << ": " << Err();
    EXPECT_TRUE(File("gst.bgra") == tool) << c.what;
  }
}

// A project as Kdenlive and Shotcut (22.12) save it, with the filter as their descriptions set it
// up: every control of the panel written out (defaults included), colours and numbers in the
// editor's own notation; melt renders it as the command-line tool grades the frame.
TEST_F(Programs, MeltRendersEditorProjectsAsTheToolGrades) {
#ifdef THREEWAY_SANITIZER_RUNTIME
  GTEST_SKIP() << "melt cannot render with the sanitizer runtime";
#endif
  MakeClip();
  // The editor, the property by which it knows its filter, and printf formats of a colour (from
  // red, green, blue) and of a 0..1 value (Kdenlive keeps six digits).
  struct Style { const char *editor, *identity, *colour, *number; };
  const Style styles[] = {
      {"Kdenlive", "<property name=\"kdenlive_id\">frei0r.threeway</property>", "0x%02x%02x%02xff", "%g"},
      {"Shotcut", "<property name=\"shotcut:filter\">threeway</property>", "#%02x%02x%02x", "%.9g"}};
  // A balance pick under default sliders, a slider, an angle, a check box and a popup.
  const std::pair<const char*, std::string> changed[] = {
      {"MasterSaturation", "0.3"}, {"ShadowHueAngle", "0.625"}, {"ShowSplitView", "1"}, {"SplitViewLayout", "1"}};
  const std::string sets = " --set BlackBalance=64,32,16 --set MasterSaturation=60 --set ShadowHueAngle=45"
                           " --set ShowSplitView=on --set SplitViewLayout=Vertical";
  ASSERT_EQ(Tool("grade frame.png tool.bgra --raw-out bgra" + sets).status, 0);
  for (const Style& style : styles) {
    std::string properties;
    for (const threeway::frei0r::EditorControl& control : threeway::frei0r::EditorControls()) {
      const threeway::frei0r::PluginParam& p = *control.param;
      const threeway::ParamSpec& row = threeway::ParamSpecAt(p.catalogueIndex);
      const bool picked = p.name == "BlackBalance";
      char colour[16], number[32];
      std::snprintf(colour, sizeof colour, style.colour, picked ? 64 : row.color.red, picked ? 32 : row.color.green,
                    picked ? 16 : row.color.blue);
      std::snprintf(number, sizeof number, style.number, threeway::frei0r::DefaultUnit(p));
      std::string value = p.kind == threeway::frei0r::Kind::Color ? colour : number;
      for (const auto& [name, v] : changed) value = p.name == name ? v : value;
      properties += "   <property name=\"" + std::string(p.name) + "\">" + value + "</property>\n";
    }
    std::ofstream(Path("project.mlt"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mlt LC_NUMERIC=\"C\" version=\"7.12.0\">\n"
           " <profile description=\"64x48\" width=\"64\" height=\"48\" progressive=\"1\" sample_aspect_num=\"1\""
           " sample_aspect_den=\"1\" display_aspect_num=\"4\" display_aspect_den=\"3\" frame_rate_num=\"25\""
           " frame_rate_den=\"1\" colorspace=\"601\"/>\n"
           " <producer id=\"producer0\" in=\"0\" out=\"0\">\n  <property name=\"resource\">frame.png</property>\n"
           "  <filter id=\"filter0\">\n   <property name=\"mlt_service\">frei0r.threeway</property>\n   "
        << style.identity << "\n" << properties << "  </filter>\n </producer>\n</mlt>\n";
    ASSERT_EQ(Melt("project.mlt -consumer avformat:melt.rgba f=rawvideo pix_fmt=rgba real_time=0"), 0) << style.editor << ": " << Err();
    std::string rendered = File("melt.rgba");
    ASSERT_EQ(rendered.size(), static_cast<std::size_t>(kWidth * kHeight * 4)) << style.editor;
    threeway::frei0r::SwapRedBlue(reinterpret_cast<const std::uint32_t*>(rendered.data()),
                                  reinterpret_cast<std::uint32_t*>(rendered.data()), rendered.size() / 4);
    EXPECT_TRUE(rendered == File("tool.bgra")) << style.editor;
  }
}

// scripts/install-editor-effects links the filter, its module and the editors' descriptions into
// the user's folders (and a Shotcut's filters folder given), where ffmpeg then finds the filter,
// and the filter its module, without FREI0R_PATH; --uninstall removes exactly those links.
TEST_F(Programs, InstallScriptLinksTheFilterForTheUser) {
  MakeClip();
  fs::create_directories(Path("shotcut/share/shotcut/qml/filters"));
  const std::string home = Path("home");
  const std::string script = "env -u XDG_DATA_HOME HOME='" + home + "' '" THREEWAY_SOURCE_DIR
                             "/scripts/install-editor-effects' --build '" + build + "' --shotcut '" + Path("shotcut") + "'";
  ASSERT_EQ(Run(script), 0) << Err();
  const std::pair<std::string, std::string> links[] = {
      {home + "/.frei0r-1/lib/threeway.so", build + "/frei0r/threeway.so"},
      {home + "/.frei0r-1/plugins/ThreeWayColorCorrector.so", build + "/plugins/ThreeWayColorCorrector.so"},
      {home + "/.local/share/kdenlive/effects/frei0r_threeway.xml", build + "/editors/kdenlive/effects/frei0r_threeway.xml"},
      {Path("shotcut/share/shotcut/qml/filters/threeway"), build + "/editors/shotcut/filters/threeway"}};
  for (const auto& [link, target] : links) {
    EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_TRUE(fs::exists(link) && fs::equivalent(link, target)) << link;
  }
  const std::string params = Positional("MasterSaturation=0.3");
  ASSERT_EQ(Ffmpeg(params, "expected.rgba"), 0) << Err();
  ASSERT_EQ(Run(env + "env -u FREI0R_PATH -u THREEWAY_MODULE HOME='" + home + "' ffmpeg -v error -f rawvideo -pix_fmt rgba "
                "-s 64x48 -i clip.rgba -vf 'frei0r=threeway:" + params + "' -f rawvideo -pix_fmt rgba -y installed.rgba"),
            0)
      << Err();
  EXPECT_TRUE(File("installed.rgba") == File("expected.rgba"));
  EXPECT_NE(File("installed.rgba"), File("clip.rgba"));
  ASSERT_EQ(Run(script + " --uninstall"), 0) << Err();
  for (const auto& [link, target] : links) EXPECT_FALSE(fs::is_symlink(link)) << link;
  EXPECT_TRUE(fs::exists(build + "/frei0r/threeway.so"));
}

TEST_F(Programs, MeltQueryListsEveryParameterWithItsExplanation) {
  ASSERT_EQ(Melt("-query filter=frei0r.threeway"), 0) << Err();
  const std::string out = Out();
  EXPECT_NE(out.find("identifier: frei0r.threeway"), std::string::npos) << out;
  for (const threeway::frei0r::PluginParam& p : threeway::frei0r::PluginParams()) {
    EXPECT_NE(out.find("title: " + std::string(p.name) + "\n"), std::string::npos) << p.name;
    EXPECT_NE(out.find(p.explanation), std::string::npos) << p.name;
  }
}

TEST_F(Programs, MissingOrWrongModuleIsRefusedWithAMessage) {
  MakeClip();
  std::ofstream(Path("not-a-module.so")) << "text\n";
  const std::pair<std::string, const char*> cases[] = {
      {"/nonexistent/ThreeWayColorCorrector.so", "cannot use the effect module"},
      {Path("not-a-module.so"), "cannot use the effect module"},
  };
  for (const auto& [module, message] : cases) {
    const int status = Ffmpeg("", "out.rgba", "THREEWAY_MODULE='" + module + "' ");
    EXPECT_NE(status, 0) << module;
    EXPECT_LT(status, 128) << "killed by a signal: " << module;
    EXPECT_NE(Err().find(std::string("threeway (frei0r): ") + message), std::string::npos) << Err();
    EXPECT_NE(Err().find(module), std::string::npos) << Err();
  }
}

}  // namespace

// 100,000 frames through one frei0r instance inside ffmpeg, and through threeway grade on a raw
// stream, keep their memory: the peak of 100,000 frames stays within 1 MB of the peak of 10,000.
TEST_F(Programs, HundredThousandFramesKeepTheirMemory) {
#ifdef THREEWAY_SANITIZER_RUNTIME
  GTEST_SKIP() << "the sanitizers' allocator keeps freed memory in quarantine; measured in the plain build";
#endif
  for (const char* program : {"ffmpeg", "grade"}) {
    SCOPED_TRACE(program);
    long kilobytes[2];
    for (int i = 0; i < 2; ++i) {
      const long long frames = i == 0 ? 10000 : 100000;
      // GNU time reports the peak resident set in kilobytes; wc counts what came out.
      const std::string timed = "/usr/bin/time -o peak.txt -f %M ";
      const std::string command =
          std::string(program) == "ffmpeg"
              ? env + timed + "ffmpeg -v error -f lavfi -i testsrc2=size=32x32:rate=1000 -frames:v " +
                    std::to_string(frames) + " -vf frei0r=threeway:0.7 -f rawvideo -pix_fmt bgra -"
              : "head -c " + std::to_string(32 * 32 * 4 * frames) + " /dev/zero | " + timed + "'" +
                    threeway::test::ToolPath() + "' grade - - --raw-in bgra 32x32 --raw-out bgra --set MasterSaturation=120";
      ASSERT_EQ(Run(command + " | wc -c"), 0) << Err();
      EXPECT_EQ(std::stoll(Out()), 32 * 32 * 4 * frames);
      kilobytes[i] = std::stol(File("peak.txt"));
    }
    EXPECT_LE(kilobytes[1] - kilobytes[0], 1024) << kilobytes[0] << " KB, then " << kilobytes[1] << " KB";
  }
}
