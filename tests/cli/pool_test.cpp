// threeway grade over many frames and many files, run as a user runs it: thread-count
// independence, presses and picks on a chosen frame (--at), the progress line on a terminal and
// silence elsewhere, Ctrl-C leaving nothing behind, and batch grading into --output-dir.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/tool_case.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using threeway::test::ReadAll;
using threeway::test::ToolRun;
using threeway::test::WriteAll;
using threeway::test::GreyBin;
using threeway::test::PresetValue;

class GradeFrames : public threeway::test::ToolCase {};

// 8-bit BGRA frames of random colours, each frame its own.
std::string RandomFrames(int width, int height, int frames, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(static_cast<std::size_t>(width) * height * 4 * frames, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 4 == 3 ? 255 : rng() & 0xff);
  return bytes;
}

// An 8-bit BGRA grey frame: a ramp from `low` to `high` across, its first pixel coloured.
std::string RampFrame(int width, int height, int low, int high, int b, int g, int r) {
  std::string bytes;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int v = low + (high - low) * x / (width - 1);
      const bool first = x == 0 && y == 0;
      bytes += static_cast<char>(first ? b : v);
      bytes += static_cast<char>(first ? g : v);
      bytes += static_cast<char>(first ? r : v);
      bytes += static_cast<char>(255);
    }
  }
  return bytes;
}

// Balances, saturation and a softened saturation-and-luma qualifier; levels untouched (so no
// dither), plus a grey pick on frame 6 whose result every worker must share.
const char* const kBusyPanel =
    " --set MasterSaturation=140 --set ShadowSaturation=60 --set ShadowBalanceAngle=200"
    " --set ShadowBalanceMagnitude=30 --set HighlightBalanceAngle=35 --set HighlightBalanceMagnitude=25"
    " --set MasterHueAngle=12 --set SatStartThreshold=20 --set SatStartSoftness=10 --set LumaStartThreshold=15"
    " --set LumaStartSoftness=10 --set Soften=6 --pick GrayBalance=3,2 --at 6";

// The softened mask's two planes are taken and given back at every frame. The tool keeps the freed
// memory for the next frame rather than fault it in again, page by page: counted in minor page
// faults (exact, unlike time), eight more 1920x1080 frames cost well under a plane's pages each.
TEST_F(GradeFrames, LaterFramesReuseTheSofteningsMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's allocator stands in for glibc's, whose thresholds the tool sets";
#endif
  constexpr long kPlanePages = 1920L * 1080 * 4 / 4096;
  const auto faults = [&](int frames) {
    WriteAll(Path("in.raw"), std::string(1920UL * 1080 * 4 * static_cast<unsigned>(frames), '\x60'));
    rusage before{}, after{};
    ::getrusage(RUSAGE_CHILDREN, &before);
    EXPECT_EQ(Tool("grade in.raw out.raw -y --raw-in bgra 1920x1080 --raw-out bgra --threads 1 --set Soften=10").status, 0);
    ::getrusage(RUSAGE_CHILDREN, &after);
    return after.ru_minflt - before.ru_minflt;
  };
  const long two = faults(2), ten = faults(10);
  EXPECT_LT(ten - two, 8 * kPlanePages / 4) << "2 frames: " << two << " faults, 10 frames: " << ten;
}

TEST_F(GradeFrames, OutputDoesNotDependOnTheThreadCount) {
  const int w = 64, h = 36, frames = 12;
  const std::string input = RandomFrames(w, h, frames, 7);
  WriteAll(Path("in.raw"), input);
  std::string first, firstCompare;
  // Runs with a comparison keep each source frame beside its grade; runs without grade the
  // frames over themselves (one buffer a frame, raw frames in the output's layout): the same bytes.
  for (const auto& [threads, withCompare] : {std::pair{1, true}, {1, false}, {2, false}, {2, true},
                                             {3, true}, {3, false}, {4, false}, {4, true}}) {
    SCOPED_TRACE(std::to_string(threads) + (withCompare ? " threads, --compare" : " threads"));
    const std::string out = "out" + std::to_string(threads) + (withCompare ? "c" : "") + ".raw";
    const std::string compare = "compare" + std::to_string(threads) + ".png";
    const ToolRun run = Tool("grade in.raw " + out + " --raw-in bgra 64x36 --raw-out bgra --threads " +
                             std::to_string(threads) + (withCompare ? " --compare " + compare : "") + kBusyPanel);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no terminal: no progress line
    const std::string graded = ReadAll(Path(out));
    ASSERT_EQ(graded.size(), input.size());
    // The comparison of the first frame, whatever the thread count.
    if (withCompare) {
      const std::string comparison = ReadAll(Path(compare));
      EXPECT_FALSE(comparison.empty());
      if (threads == 1) firstCompare = comparison;
      EXPECT_TRUE(comparison == firstCompare);
    }
    if (first.empty()) {
      first = graded;
      // The grade changes every frame (so a frame out of place would show).
      for (int f = 0; f < frames; ++f) {
        const std::size_t size = input.size() / frames;
        EXPECT_NE(graded.substr(f * size, size), input.substr(f * size, size)) << "frame " << f;
      }
    } else {
      EXPECT_TRUE(graded == first) << "differs from the single-threaded grade";
    }
  }
  // The default (one per core) too.
  ASSERT_EQ(Tool("grade in.raw default.raw --raw-in bgra 64x36 --raw-out bgra" + std::string(kBusyPanel)).status, 0);
  EXPECT_TRUE(ReadAll(Path("default.raw")) == first);
  EXPECT_EQ(Tool("grade in.raw x.raw --raw-in bgra 64x36 --threads 0").status, 2);
  EXPECT_EQ(Tool("grade in.raw x.raw --raw-in bgra 64x36 --threads two").status, 2);
}

TEST_F(GradeFrames, PressesAndPicksActOnTheChosenFrame) {
  // Frame k: a grey ramp from 10 + 5k to 200 - 3k, its first pixel a colour of its own.
  const int w = 64, h = 4, frames = 12;
  std::string input;
  for (int k = 0; k < frames; ++k) input += RampFrame(w, h, 10 + 5 * k, 200 - 3 * k, 40 + k, 90, 200 - 7 * k);
  WriteAll(Path("in.raw"), input);
  struct Case {
    const char* at;  // empty: no --at
    int frame;
  };
  for (const Case& c : {Case{"", 0}, Case{"0", 0}, Case{"7", 7}, Case{"11", 11}}) {
    SCOPED_TRACE(c.at);
    const std::string at = *c.at ? std::string(" --at ") + c.at : "";
    for (const char* source : {"in.raw", "-"}) {
      SCOPED_TRACE(source);
      const ToolRun run = Tool(std::string("grade ") + source + " out.raw -y --raw-in bgra 64x4 --raw-out bgra --threads 2" +
                                   at + " --press AutoContrast --pick GrayBalance=0,0 --save-preset p.json",
                               Path("in.raw"));
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(ReadAll(Path("out.raw")).size(), input.size());  // the whole clip is graded
      const std::string preset = ReadAll(Path("p.json"));
      EXPECT_EQ(PresetValue(preset, "MasterInputBlackLevel"), std::to_string(GreyBin(10 + 5 * c.frame)));
      EXPECT_EQ(PresetValue(preset, "MasterInputWhiteLevel"), std::to_string(GreyBin(200 - 3 * c.frame)));
      EXPECT_EQ(PresetValue(preset, "GrayBalance"),
                "[" + std::to_string(200 - 7 * c.frame) + ", 90, " + std::to_string(40 + c.frame) + "]");
    }
  }
  // Past the end, a time without a frame rate, a malformed position: one line, nothing written.
  fs::remove(Path("out.raw"));
  for (const auto& [at, status, err] : {std::tuple{"12", 1, "threeway grade: --at 12: in.raw ends after 12 frames (the first is frame 0)\n"},
                                        {"0.5", 1, "threeway grade: --at 0.5: in.raw has no frame rate"},
                                        {"soon", 2, "threeway grade: --at needs a frame number"}}) {
    const ToolRun run = Tool(std::string("grade in.raw out.raw --raw-in bgra 64x4 --raw-out bgra --press AutoContrast --at ") + at);
    EXPECT_EQ(run.status, status) << at;
    EXPECT_EQ(run.err.substr(0, std::strlen(err)), err) << at;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"in.raw", "p.json"}));
}

TEST_F(GradeFrames, ProgressLineOnlyOnATerminal) {
  // Frames arrive slowly through a pipe, so the run lasts past the line's first drawing.
  const std::string frame = RandomFrames(16, 16, 1, 3);
  WriteAll(Path("frame.raw"), frame);
  const std::string feed = "(for i in 1 2 3 4 5 6 7 8; do cat frame.raw; sleep 0.15; done)";
  const std::string grade = " | '" + threeway::test::ToolPath() + "' grade - out.raw -y --raw-in bgra 16x16 --raw-out bgra";
  // On a terminal (script gives the tool a pseudo-terminal): the line redrawn with carriage returns.
  const int raw = std::system(("cd '" + dir + "' && script -qec \"" + feed + grade + "\" /dev/null >'" + scratch +
                               "/tty.txt' 2>&1")
                                  .c_str());
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadAll(scratch + "/tty.txt");
  const std::string shown = ReadAll(scratch + "/tty.txt");
  EXPECT_NE(shown.find("\rframe "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" fps"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\rframe 8  "), std::string::npos) << shown;  // the final count is drawn
  EXPECT_EQ(ReadAll(Path("out.raw")).size(), frame.size() * 8);
  // Not a terminal: nothing.
  const std::string command = "cd '" + dir + "' && " + feed + grade + " 2>'" + scratch + "/err.txt'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadAll(scratch + "/err.txt"), "");
}

// Starts the tool with standard input a pipe the test writes frames into.
struct Child {
  pid_t pid = -1;
  int input = -1;
};

Child StartGrade(const std::string& dir, const std::vector<std::string>& arguments, const std::string& errPath) {
  int pipeFds[2];
  EXPECT_EQ(::pipe(pipeFds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<std::string> all{threeway::test::ToolPath(), "grade"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  Child child;
  EXPECT_EQ(posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[0]);
  child.input = pipeFds[1];
  return child;
}

TEST_F(GradeFrames, InterruptLeavesNoOutput) {
  ::signal(SIGPIPE, SIG_IGN);  // the tool stops reading: writes to it fail instead of killing the test
  const std::string frame = RandomFrames(320, 180, 1, 5);
  struct Case {
    const char* threads;
    int signal;
    bool keepFeeding;  // true: the tool is busy grading when the signal comes; false: waiting for input
  };
  for (const Case& c : {Case{"1", SIGINT, false}, Case{"2", SIGINT, true}, Case{"1", SIGTERM, true}, Case{"3", SIGINT, false},
                        Case{"2", SIGHUP, true}, Case{"1", SIGQUIT, false}}) {
    SCOPED_TRACE(std::string("threads ") + c.threads + (c.keepFeeding ? ", busy" : ", waiting"));
    const std::string err = scratch + "/err.txt";
    Child child = StartGrade(dir, {"-", "graded.raw", "--raw-in", "bgra", "320x180", "--raw-out", "bgra", "--threads",
                                   c.threads, "--set", "Soften=8", "--set", "SatStartThreshold=20"},
                             err);
    // Feed until the output's temporary file has frames in it.
    bool started = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!started && std::chrono::steady_clock::now() < deadline) {
      ASSERT_EQ(::write(child.input, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
      for (const auto& entry : fs::directory_iterator(dir)) {
        started = started || (entry.path().filename().string().find(".partial") != std::string::npos &&
                              fs::file_size(entry.path()) > 0);
      }
    }
    ASSERT_TRUE(started);
    ASSERT_EQ(::kill(child.pid, c.signal), 0);
    int status = 0;
    bool ended = false;
    while (c.keepFeeding && !ended) {
      ended = ::waitpid(child.pid, &status, WNOHANG) == child.pid;
      if (!ended && ::write(child.input, frame.data(), frame.size()) < 0) break;
    }
    if (!ended) {
      ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    }
    ::close(child.input);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal instead of stopping cleanly";
    EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
    const std::string name = std::string("SIG") + sigabbrev_np(c.signal);
    EXPECT_EQ(ReadAll(err), "threeway grade: interrupted by " + name + "; unfinished outputs removed\n");
    EXPECT_TRUE(Files().empty()) << Files().front();
  }
}

// A raw 8-bit BGRA grey ramp, 64x8.
void WriteRamp(GradeFrames& test, const std::string& name, int low, int high) {
  WriteAll(test.Path(name), RampFrame(64, 8, low, high, low, low, low));
}

const std::string kRaw = " --raw-in bgra 64x8 --raw-out bgra";

TEST_F(GradeFrames, BatchGradesEachInputAndReportsTheFailures) {
  fs::create_directories(Path("in"));
  WriteRamp(*this, "in/a.raw", 20, 200);
  WriteRamp(*this, "in/b.raw", 60, 140);
  WriteAll(Path("in/short.raw"), RampFrame(64, 7, 0, 255, 0, 0, 0));  // a frame cut short
  // Each input gets its own AutoContrast, from its own histogram.
  ToolRun run = Tool("grade --output-dir out in/a.raw in/short.raw in/missing.raw in/b.raw --press AutoContrast" + kRaw);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("threeway grade: raw input in/short.raw ended after 1792 of the 2048 bytes of frame 1"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("threeway grade: cannot read in/missing.raw: No such file or directory\n"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("threeway grade: 2 of 4 inputs failed; the others are in out\n"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 3) << run.err;
  std::vector<std::string> written;
  for (const auto& entry : fs::directory_iterator(Path("out"))) written.push_back(entry.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"a.raw", "b.raw"}));
  // The levels add a dither, so outputs are compared within a few codes: each batch output against
  // the input graded alone, and b's against b graded with a's levels (which must differ).
  ASSERT_EQ(Tool("grade in/a.raw alone_a.raw --press AutoContrast --save-preset a.json" + kRaw).status, 0);
  ASSERT_EQ(Tool("grade in/b.raw alone_b.raw --press AutoContrast" + kRaw).status, 0);
  ASSERT_EQ(Tool("grade in/b.raw b_with_a.raw --preset a.json" + kRaw).status, 0);
  const auto largestDifference = [&](const std::string& x, const std::string& y) {
    const std::string px = ReadAll(Path(x)), py = ReadAll(Path(y));
    EXPECT_EQ(px.size(), 64u * 8 * 4);
    EXPECT_EQ(px.size(), py.size());
    int largest = 0;
    for (std::size_t i = 0; i < std::min(px.size(), py.size()); ++i) {
      largest = std::max(largest, std::abs(static_cast<unsigned char>(px[i]) - static_cast<unsigned char>(py[i])));
    }
    return largest;
  };
  EXPECT_LE(largestDifference("out/a.raw", "alone_a.raw"), 4);
  EXPECT_LE(largestDifference("out/b.raw", "alone_b.raw"), 4);
  EXPECT_GT(largestDifference("out/b.raw", "b_with_a.raw"), 20);
  // The same panel without presses: each output exactly as a single grade makes it.
  run = Tool("grade --output-dir same in/a.raw in/b.raw --set MasterSaturation=0 --set ShadowBalanceMagnitude=20" + kRaw);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(Tool("grade in/b.raw single_b.raw --set MasterSaturation=0 --set ShadowBalanceMagnitude=20" + kRaw).status, 0);
  EXPECT_TRUE(ReadAll(Path("same/b.raw")) == ReadAll(Path("single_b.raw")));
}

TEST_F(GradeFrames, BatchRefusals) {
  fs::create_directories(Path("in"));
  fs::create_directories(Path("other"));
  WriteRamp(*this, "in/a.raw", 20, 200);
  WriteRamp(*this, "other/a.raw", 30, 100);
  WriteRamp(*this, "in/c.raw", 30, 100);
  const std::string a = ReadAll(Path("in/a.raw"));
  struct Case {
    const char* arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"grade --output-dir in in/c.raw in/a.raw", 1, "refusing to overwrite the input in/c.raw with in/c.raw"},
      {"grade --output-dir ./in/../in in/a.raw", 1, "refusing to overwrite the input in/a.raw"},
      {"grade --output-dir out in/a.raw other/a.raw", 2, "in/a.raw and other/a.raw would both write out/a.raw"},
      {"grade --output-dir out in/a.raw in/c.raw --save-preset p.json", 2, "--save-preset with several inputs"},
      {"grade --output-dir out in/a.raw in/c.raw --compare cmp.png", 2, "--compare writes one picture"},
      {"grade --output-dir out -", 2, "standard input cannot be one of the inputs"},
      {"grade --output-dir out", 2, "needs at least one INPUT"},
      {"grade --output-dir in/a.raw in/c.raw", 1, "cannot use in/a.raw as the output directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = Tool(c.arguments + kRaw);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_TRUE(ReadAll(Path("in/a.raw")) == a);
  EXPECT_FALSE(fs::exists(Path("out")) && !fs::is_empty(Path("out")));
  EXPECT_FALSE(fs::exists(Path("p.json")));
  // One input with --save-preset is fine: it is that input's preset.
  const ToolRun run = Tool("grade --output-dir out in/a.raw --press AutoContrast --save-preset p.json" + kRaw);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(PresetValue(ReadAll(Path("p.json")), "MasterInputBlackLevel"), std::to_string(GreyBin(20)));
  EXPECT_TRUE(fs::exists(Path("out/a.raw")));
}

}  // namespace
