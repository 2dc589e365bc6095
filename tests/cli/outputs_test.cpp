// Where the tool's outputs land, as a hostile world presents them, through the tool as a process:
// files that exist already, links, devices and pipes, a full disk at every stage, stop signals.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/tool_case.h"

namespace {

namespace fs = std::filesystem;

using threeway::test::ReadAll;
using threeway::test::ToolRun;
using threeway::test::WriteAll;

class Outputs : public threeway::test::ToolCase {
 protected:
  unsigned Mode(const std::string& name) const {
    struct stat status {};
    ::lstat(Path(name).c_str(), &status);
    return status.st_mode;
  }
};

constexpr const char* kGrade = " --set MasterSaturation=40 --set ShadowBalanceMagnitude=30";

TEST_F(Outputs, ExistingFilesAreReplacedOnlyWithYesKeepingModeAndLinks) {
  ASSERT_EQ(Tool("testcard card.png --size 64x32").status, 0);
  ASSERT_EQ(Tool(std::string("grade card.png expected.png") + kGrade).status, 0);
  const std::string expected = ReadAll(Path("expected.png"));
  WriteAll(Path("out.png"), "old");
  ::chmod(Path("out.png").c_str(), 0400);
  for (const char* flags : {"", " -n", " --no-overwrite", " -y -n"}) {
    SCOPED_TRACE(flags);
    const ToolRun run = Tool(std::string("grade card.png out.png") + kGrade + flags);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "threeway grade: out.png already exists (-y replaces it)\n");
    EXPECT_EQ(ReadAll(Path("out.png")), "old");
  }
  // -y replaces it, and the new file keeps the old one's permissions (read-only included).
  ASSERT_EQ(Tool(std::string("grade card.png out.png -y") + kGrade).status, 0);
  EXPECT_TRUE(ReadAll(Path("out.png")) == expected);
  EXPECT_EQ(Mode("out.png") & 07777, 0400u);
  // A symbolic link is written through: its target gets the picture, the link stays a link.
  fs::create_directories(Path("real"));
  WriteAll(Path("real/target.png"), "old");
  fs::create_symlink("real/target.png", Path("link.png"));
  ASSERT_EQ(Tool(std::string("grade card.png link.png --overwrite") + kGrade).status, 0);
  EXPECT_TRUE(S_ISLNK(Mode("link.png")));
  EXPECT_TRUE(ReadAll(Path("real/target.png")) == expected);
  // A file with a second hard link: both names still share it, and see the new picture.
  WriteAll(Path("a.png"), "old");
  fs::create_hard_link(Path("a.png"), Path("b.png"));
  ASSERT_EQ(Tool(std::string("grade card.png a.png -y") + kGrade).status, 0);
  EXPECT_TRUE(fs::equivalent(Path("a.png"), Path("b.png")));
  EXPECT_TRUE(ReadAll(Path("b.png")) == expected);
  EXPECT_EQ(Files(), (std::vector<std::string>{"a.png", "b.png", "card.png", "expected.png", "link.png", "out.png", "real"}));
}

TEST_F(Outputs, DevicesAndPipesAreWrittenInPlace) {
  ASSERT_EQ(Tool("testcard card.png --size 64x32").status, 0);
  ASSERT_EQ(::mknod(Path("null.raw").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);  // as /dev/null
  ASSERT_EQ(::mknod(Path("full.png").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);  // as /dev/full
  ASSERT_EQ(::mkfifo(Path("pipe.raw").c_str(), 0666), 0);
  const std::string raw = std::string(" --raw-out bgra") + kGrade;
  EXPECT_EQ(Tool("grade card.png null.raw" + raw).status, 0);
  ToolRun run = Tool(std::string("grade card.png full.png") + kGrade);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "threeway grade: cannot write full.png: No space left on device\n");
  const ToolRun toStdout = Tool("grade card.png -" + raw);
  ASSERT_EQ(toStdout.status, 0);
  run = Shell("cat pipe.raw >captured.raw & '" + threeway::test::ToolPath() + "' grade card.png pipe.raw" + raw + "; wait");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadAll(Path("captured.raw")) == toStdout.out);
  EXPECT_TRUE(S_ISCHR(Mode("null.raw")));
  EXPECT_TRUE(S_ISCHR(Mode("full.png")));
  EXPECT_TRUE(S_ISFIFO(Mode("pipe.raw")));
  EXPECT_EQ(Files(), (std::vector<std::string>{"captured.raw", "card.png", "full.png", "null.raw", "pipe.raw"}));
}

// A stop signal ends a command blocked reading its input (raw frames, a preset) from a pipe that
// stays open and empty: one line, 128 + the signal, no files.
TEST_F(Outputs, StopSignalsEndABlockedRead) {
  struct Case {
    int signal;
    const char* name;
    const char* command;
  };
  for (const Case& c : {Case{SIGTERM, "SIGTERM", "scopes - --raw-in bgra 64x32 --prefix s <in"},
                        Case{SIGHUP, "SIGHUP", "grade x.png o.png --preset in"}}) {
    SCOPED_TRACE(c.command);
    const ToolRun run = Shell("mkfifo in; '" + threeway::test::ToolPath() + "' " + c.command +
                              " & tool=$!; exec 3>in; sleep 1; kill -" + std::to_string(c.signal) +
                              " $tool; wait $tool; status=$?; rm in; exit $status");
    EXPECT_EQ(run.status, 128 + c.signal);
    const std::string command(c.command);
    EXPECT_EQ(run.err, "threeway " + command.substr(0, command.find(' ')) + ": interrupted by " + c.name +
                           "; unfinished outputs removed\n");
    EXPECT_TRUE(Files().empty());
  }
}

// A small file system of the test's own (tmpfs, as root), filled to leave a chosen room.
class FullDisk : public Outputs {
 protected:
  void SetUp() override {
    Outputs::SetUp();
    fs::create_directories(Path("disk"));
    if (::mount("tmpfs", Path("disk").c_str(), "tmpfs", 0, "size=4m") != 0) {
      GTEST_SKIP() << "mounting a tmpfs needs root: " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(Path("disk").c_str(), MNT_DETACH);
    Outputs::TearDown();
  }
  // Fills the disk with one file until `room` bytes are left.
  void LeaveRoom(std::size_t room) {
    fs::remove(Path("disk/filler"));
    struct statvfs disk {};
    ASSERT_EQ(::statvfs(Path("disk").c_str(), &disk), 0);
    const std::size_t free = disk.f_bavail * disk.f_frsize;
    WriteAll(Path("disk/filler"), std::string(free > room ? free - room : 0, 'f'));
  }
  bool mounted_ = false;
};

// Every kind of output meets the full disk at several stages of its writing: it is then either
// complete (exit 0) or absent with the previous file as it was and the output named (exit 1).
TEST_F(FullDisk, EveryOutputIsWholeOrTheOldOne) {
  ASSERT_EQ(Tool("testcard card.png --size 192x96").status, 0);
  ASSERT_EQ(Tool("testcard card.raw --size 192x96 --raw-out bgra").status, 0);
  ASSERT_EQ(Shell("cat card.raw card.raw card.raw card.raw >clip.raw").status, 0);
  struct Case {
    const char* arguments;
    std::vector<std::string> outputs;
  };
  const std::vector<Case> cases = {
      {"grade card.png disk/o.png", {"o.png"}},
      {"grade card.png disk/o.jpg", {"o.jpg"}},
      {"grade card.png disk/o.tif", {"o.tif"}},
      {"grade card.png disk/o.exr", {"o.exr"}},
      {"grade clip.raw disk/o.raw --raw-in bgra 192x96 --raw-out bgra --save-preset disk/o.json", {"o.raw", "o.json"}},
      {"grade clip.raw disk/o.mkv --raw-in bgra 192x96 --codec ffv1 --threads 1", {"o.mkv"}},
      {"scopes card.png --prefix disk/s --size 256x128",
       {"s-waveform.png", "s-parade.png", "s-vectorscope.png", "s-histogram.png"}},
      {"grade --output-dir disk card.raw clip.raw --raw-in bgra 192x96 --raw-out bgra", {"card.raw", "clip.raw"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    LeaveRoom(3 << 20);
    ASSERT_EQ(Tool(std::string(c.arguments) + " -y" + kGrade).status, 0);
    std::vector<std::string> expected;
    for (const std::string& output : c.outputs) expected.push_back(ReadAll(Path("disk/" + output)));
    bool failedOnce = false;
    for (std::size_t room : {0, 1500, 6000, 40000}) {
      SCOPED_TRACE(room);
      for (const std::string& output : c.outputs) WriteAll(Path("disk/" + output), "old");
      LeaveRoom(room);
      const ToolRun run = Tool(std::string(c.arguments) + " -y" + kGrade);
      // New files are compared by size: OpenEXR stamps the time and Matroska a random identifier.
      bool allNew = true;
      for (std::size_t i = 0; i < c.outputs.size(); ++i) {
        const std::string now = ReadAll(Path("disk/" + c.outputs[i]));
        EXPECT_TRUE(now == "old" || now.size() == expected[i].size()) << c.outputs[i] << " is neither old nor whole";
        allNew = allNew && now.size() == expected[i].size();
      }
      EXPECT_EQ(run.status == 0, allNew) << run.err;
      if (run.status != 0) {
        failedOnce = true;
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("disk/"), std::string::npos) << run.err;
      }
      for (const auto& entry : fs::directory_iterator(Path("disk"))) {
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
      }
    }
    EXPECT_TRUE(failedOnce);
    for (const std::string& output : c.outputs) fs::remove(Path("disk/" + output));
  }
}

}  // namespace
