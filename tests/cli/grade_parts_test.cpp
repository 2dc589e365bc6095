// Pieces of threeway grade tested directly: the progress line, --at positions (parsing, and the
// frame a time names at a frame rate, worked by hand), the sizes of picture the tool takes and a
// grader whose panel is settled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>

#include "cli/commands/command.h"
#include "cli/engine/frame_at.h"
#include "cli/engine/grader.h"
#include "cli/engine/progress.h"
#include "cli/media/picture.h"
#include "cli/panel/panel.h"
#include "params/catalogue.h"
#include "tests/support/paths.h"

namespace {

using threeway::cli::FrameInfo;
using threeway::cli::FramePosition;
using threeway::cli::ParseFramePosition;
using threeway::cli::ProgressLine;
using threeway::cli::ResolveFramePosition;
using threeway::cli::ToolError;

TEST(ProgressLine, CountRateAndTimeLeft) {
  struct Case {
    std::string label;
    std::int64_t done, total;
    double seconds;
    const char* expected;
  };
  const Case cases[] = {
      // 120 frames in 5.128 s: 23.4 fps; 360 left take 15.38 s, shown rounded up.
      {"", 120, 480, 5.128, "frame 120/480  23.4 fps  ETA 0:16"},
      {"", 120, 480, 5.0, "frame 120/480  24.0 fps  ETA 0:15"},
      // Unknown total: no total, no ETA.
      {"", 7, 0, 2.0, "frame 7  3.5 fps"},
      // Nothing done yet: no rate.
      {"", 0, 10, 0.0, "frame 0/10"},
      {"", 0, 10, 1.0, "frame 0/10"},
      // Done: nothing left.
      {"", 10, 10, 4.0, "frame 10/10  2.5 fps  ETA 0:00"},
      // An hour and more: H:MM:SS. 1 frame in 1 s, 3725 left.
      {"", 1, 3726, 1.0, "frame 1/3726  1.0 fps  ETA 1:02:05"},
      // A batch names the input first.
      {"[2/3] b.png", 1, 0, 0.5, "[2/3] b.png  frame 1  2.0 fps"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressLine(c.label, c.done, c.total, c.seconds), c.expected);
  }
}

TEST(FramePosition, FramesAndTimes) {
  struct Case {
    const char* text;
    bool isTime;
    std::int64_t frame;
    double seconds;
  };
  const Case cases[] = {
      {"0", false, 0, 0},          {"17", false, 17, 0},          {"2.5", true, 0, 2.5},
      {"3s", true, 0, 3.0},        {"0.04s", true, 0, 0.04},      {".5", true, 0, 0.5},
      {"1:02.5", true, 0, 62.5},   {"0:01:02.040", true, 0, 62.04}, {"1:00:00", true, 0, 3600.0},
      {"10:00", true, 0, 600.0},   {"2:59:59.999", true, 0, 10799.999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const FramePosition position = ParseFramePosition(c.text);
    EXPECT_EQ(position.isTime, c.isTime);
    EXPECT_EQ(position.frame, c.frame);
    EXPECT_DOUBLE_EQ(position.seconds, c.seconds);
    EXPECT_EQ(position.text, c.text);
  }
  for (const char* bad : {"", "-1", "x", "1.2.3", "1:60", "1:02:60", "1:60:00", "1:2:3:4", "1:02s", "+3", "1e3",
                          "s", ":5", "5:", "nan", "0x10"}) {
    SCOPED_TRACE(bad);
    try {
      ParseFramePosition(bad);
      ADD_FAILURE() << "accepted";
    } catch (const ToolError& error) {
      EXPECT_EQ(error.exitCode(), threeway::cli::kExitUsage);
      EXPECT_NE(std::string(error.what()).find("--at needs a frame number"), std::string::npos);
    }
  }
}

TEST(FramePosition, TimeNamesTheFrameShowingThen) {
  FrameInfo info;
  struct Case {
    const char* text;
    double rate;
    std::int64_t frame;
  };
  const Case cases[] = {
      {"2.5", 24.0, 60},
      {"2.52", 24.0, 60},            // 60.48: still frame 60
      {"2.54", 24.0, 60},            // 60.96
      {"2.5417", 24.0, 61},          // 61.0008
      {"1.001", 30000.0 / 1001.0, 30},  // 1.001 x 29.97002997... = 30 up to rounding
      {"0:01:00", 25.0, 1500},
      {"0s", 50.0, 0},
      {"12", 0.0, 12},               // a frame number needs no rate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    info.frameRate = c.rate;
    EXPECT_EQ(ResolveFramePosition(ParseFramePosition(c.text), info, "clip.mov"), c.frame);
  }
  info.frameRate = 0.0;
  try {
    ResolveFramePosition(ParseFramePosition("1.5"), info, "in.raw");
    ADD_FAILURE() << "a time without a frame rate was accepted";
  } catch (const ToolError& error) {
    EXPECT_EQ(error.exitCode(), threeway::cli::kExitFailure);
    EXPECT_NE(std::string(error.what()).find("in.raw has no frame rate"), std::string::npos) << error.what();
  }
}

// Pictures of 1 to 2^27 pixels (a 16-byte float pixel keeps a frame below 2 GiB); an empty or a
// larger one is refused with its size.
TEST(PictureSize, UpToTwoToTheTwentySeventhPixels) {
  using threeway::cli::Picture;
  EXPECT_EQ(Picture::Blank(1 << 27, 1, zkfx::kPixelFormatBGRA8).bytes.size(), std::size_t{4} << 27);
  for (const auto& [width, height, message] :
       {std::tuple{0, 5, "a picture of 0x5 pixels has nothing to grade"},
        std::tuple{7, -1, "a picture of 7x-1 pixels has nothing to grade"},
        std::tuple{(1 << 27) + 1, 1, "a picture of 134217729x1 pixels is larger than the tool handles (134217728 pixels)"},
        std::tuple{16384, 8193, "a picture of 16384x8193 pixels is larger than the tool handles (134217728 pixels)"}}) {
    try {
      Picture::Blank(width, height, zkfx::kPixelFormatBGRA8);
      ADD_FAILURE() << width << "x" << height << " accepted";
    } catch (const ToolError& error) {
      EXPECT_STREQ(error.what(), message);
    }
  }
}

// Picture buffers start on a page (the kernel's copies from the page cache run at full speed only
// into buffers aligned like the file's pages); a picture reshaped to its own size and format keeps
// its buffer and bytes, another shape gets a buffer of the new size.
TEST(PictureSize, BuffersPageAlignedAndReusedByShape) {
  using threeway::cli::Picture;
  const auto aligned = [](const Picture& p) { return reinterpret_cast<std::uintptr_t>(p.bytes.data()) % 4096 == 0; };
  Picture picture = Picture::Sized(3, 2, zkfx::kPixelFormatBGRA8);
  EXPECT_TRUE(aligned(picture));
  std::fill(picture.bytes.begin(), picture.bytes.end(), std::uint8_t{7});
  const std::uint8_t* before = picture.bytes.data();
  picture.Reshape(3, 2, zkfx::kPixelFormatBGRA8);
  EXPECT_EQ(picture.bytes.data(), before);
  EXPECT_EQ(picture.bytes[23], 7);
  picture.Reshape(2, 3, zkfx::kPixelFormatBGRA32f);
  EXPECT_EQ(picture.bytes.size(), std::size_t{96});
  EXPECT_EQ(picture.width * 10 + picture.height, 23);
  EXPECT_EQ(picture.format, zkfx::kPixelFormatBGRA32f);
  EXPECT_TRUE(aligned(picture));
  EXPECT_THROW(picture.Reshape(0, 3, zkfx::kPixelFormatBGRA8), ToolError);
  EXPECT_TRUE(aligned(Picture::Blank(5, 5, zkfx::kPixelFormatARGB16)));
}

// Buffers of 2 MiB or more start on a 2 MiB boundary and carry the huge-page advice (the "hg"
// flag of their mapping in /proc/self/smaps); a smaller one does not.
TEST(PictureSize, FrameSizedBuffersAskForHugePages) {
  using threeway::cli::Picture;
  if (!std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) GTEST_SKIP() << "no transparent huge pages here";
  // The flags of the mapping that holds `address`.
  const auto flags = [](const void* address) {
    std::ifstream maps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(maps, line);) {
      unsigned long low = 0, high = 0;
      if (std::sscanf(line.c_str(), "%lx-%lx ", &low, &high) == 2) {  // a mapping's first line
        inside = low <= at && at < high;
      } else if (inside && line.rfind("VmFlags:", 0) == 0) {
        return line;
      }
    }
    return std::string();
  };
  const Picture frame = Picture::Sized(1920, 1080, zkfx::kPixelFormatBGRA8);
  const Picture row = Picture::Sized(1920, 1, zkfx::kPixelFormatBGRA8);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(frame.bytes.data()) % (2 << 20), 0u);
  EXPECT_NE(flags(frame.bytes.data() + (4 << 20)).find(" hg"), std::string::npos) << flags(frame.bytes.data());
  EXPECT_EQ(flags(row.bytes.data()).find(" hg"), std::string::npos) << flags(row.bytes.data());
}

// A settled panel: the press before it acted on the reference, the host gave the sequence data
// back (no handle left behind), a second settle changes nothing, and the frames are those of a
// grader that keeps counting the histogram.
TEST(GraderPanel, SettlingGivesUpTheHistogramAndKeepsTheFrames) {
  using threeway::cli::Picture;
  const threeway::cli::Options options{threeway::test::ModulePath()};
  constexpr int kWidth = 48, kHeight = 20;
  Picture frame = Picture::Sized(kWidth, kHeight, zkfx::kPixelFormatBGRA8);
  for (std::size_t i = 0; i < frame.bytes.size(); ++i) {
    frame.bytes[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 255 : 40 + (i * 37 + i / 4 * 11) % 150);
  }
  const threeway::cli::PanelStep steps[] = {threeway::cli::ParseSetOption("MasterSaturation=140"),
                                            threeway::cli::ParseSetOption("MidtoneBalanceMagnitude=30"),
                                            threeway::cli::ParsePressOption("AutoContrast")};
  threeway::cli::Grader settled(options, kWidth, kHeight, zkfx::kPixelFormatBGRA8);
  threeway::cli::Grader counting(options, kWidth, kHeight, zkfx::kPixelFormatBGRA8);
  settled.ApplyPanel(steps, frame);
  counting.ApplyPanel(steps, frame);
  const auto black = [](threeway::cli::Grader& g) {
    return g.host().Param(threeway::kParamMasterInputBlackLevel)->current.value.floatSlider.current;
  };
  ASSERT_GT(black(settled), 0.0);  // the press read the reference's histogram

  ASSERT_NE(settled.host().sequenceData(), nullptr);
  const std::size_t handles = settled.host().LiveHandleCount();
  settled.SettlePanel();
  EXPECT_EQ(settled.host().sequenceData(), nullptr);
  EXPECT_EQ(settled.host().LiveHandleCount(), handles - 1);
  settled.SettlePanel();
  EXPECT_EQ(settled.host().LiveHandleCount(), handles - 1);
  EXPECT_EQ(black(settled), black(counting));

  Picture a = Picture::Sized(kWidth, kHeight, zkfx::kPixelFormatBGRA8);
  Picture b = Picture::Sized(kWidth, kHeight, zkfx::kPixelFormatBGRA8);
  settled.Grade(frame, a);
  counting.Grade(frame, b);
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_NE(a.bytes, frame.bytes);
}

}  // namespace
