// The scopes: traces of known frames, white-box (the expected cells come from the BT.601 matrix and
// the documented mappings, worked here in double precision), and `threeway scopes` run as a
// process for what only the process shows (file names and sizes, --at, failures leaving nothing).
// The drawn pictures themselves are checked by their golden checksums (golden_test.cpp).
#include <gtest/gtest.h>


#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "cli/media/picture.h"
#include "cli/scopes/scopes.h"
#include "tests/support/tool_case.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;

// An 8-bit BGRA picture of one colour.
Picture Solid(int width, int height, int r, int g, int b) {
  Picture picture = Picture::Blank(width, height, zkfx::kPixelFormatBGRA8);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = picture.Row(y) + 4 * x;
      p[0] = static_cast<std::uint8_t>(b), p[1] = static_cast<std::uint8_t>(g), p[2] = static_cast<std::uint8_t>(r), p[3] = 255;
    }
  }
  return picture;
}

// Grey 0..255 across (column x holds x * 255 / (width - 1)), `height` rows.
Picture GreyRamp(int width, int height) {
  Picture picture = Solid(width, height, 0, 0, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto v = static_cast<std::uint8_t>(x * 255 / (width - 1));
      std::uint8_t* p = picture.Row(y) + 4 * x;
      p[0] = p[1] = p[2] = v;
    }
  }
  return picture;
}

// The vectorscope cell of a chroma value: U from -0.6 (left) to 0.6, V from 0.6 (top) to -0.6 on
// the grid points 0 .. size - 1, the nearest one taken.
int ChromaColumn(double u, int size) { return static_cast<int>(std::floor((u + 0.6) / 1.2 * (size - 1) + 0.5)); }
int ChromaRow(double v, int size) { return static_cast<int>(std::floor((0.6 - v) / 1.2 * (size - 1) + 0.5)); }

struct Lit {
  int x, y;
  std::uint32_t count;
};
std::vector<Lit> LitCells(const ScopeTrace& trace) {
  std::vector<Lit> cells;
  for (int y = 0; y < trace.height; ++y) {
    for (int x = 0; x < trace.width; ++x) {
      if (trace.At(x, y) != 0) cells.push_back({x, y, trace.At(x, y)});
    }
  }
  return cells;
}

// ---------------------------------------------------------------------------------------------
// Vectorscope

TEST(Vectorscope, EachFullColourLandsOnItsTargetOnly) {
  // The six 100 % colours, their BT.601 chroma worked out by hand (Cb, Cr of the textbook table).
  const struct {
    const char* label;
    int r, g, b;
    double u, v;
  } cases[] = {
      {"R", 255, 0, 0, -0.168736, 0.5},       {"Mg", 255, 0, 255, 0.331264, 0.418688},
      {"B", 0, 0, 255, 0.5, -0.081312},       {"Cy", 0, 255, 255, 0.168736, -0.5},
      {"G", 0, 255, 0, -0.331264, -0.418688}, {"Yl", 255, 255, 0, -0.5, 0.081312},
  };
  constexpr int kSize = 181;  // no target or 75 % point near the middle between two cells
  ASSERT_EQ(ChromaTargets().size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.label);
    const ChromaTarget& target = ChromaTargets()[i];
    EXPECT_EQ(target.label, c.label);
    EXPECT_NEAR(target.u, c.u, 1e-6);
    EXPECT_NEAR(target.v, c.v, 1e-6);

    const ScopeTrace trace = VectorscopeTrace(Solid(8, 4, c.r, c.g, c.b), kSize);
    const std::vector<Lit> lit = LitCells(trace);
    ASSERT_EQ(lit.size(), 1u);  // all the energy in one cell...
    EXPECT_EQ(lit[0].count, 32u);
    EXPECT_EQ(lit[0].x, ChromaColumn(c.u, kSize));  // ...the one of the colour's chroma
    EXPECT_EQ(lit[0].y, ChromaRow(c.v, kSize));
  }
}

TEST(Vectorscope, GreysSitAtTheCentreAndStrangeValuesStayOnTheGrid) {
  const ScopeTrace greys = VectorscopeTrace(GreyRamp(256, 4), 201);
  const std::vector<Lit> lit = LitCells(greys);
  ASSERT_EQ(lit.size(), 1u);
  EXPECT_EQ(lit[0].x, 100);
  EXPECT_EQ(lit[0].y, 100);
  EXPECT_EQ(lit[0].count, 1024u);

  // Float working pixels with chroma far out of range, infinite or not a number: every pixel is
  // counted, on the rim when out of range.
  const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
  const struct {
    float v, u;
    int column, row;  // expected cell on an 11 x 11 grid
  } cases[] = {{0.0f, 0.0f, 5, 5}, {5.0f, -5.0f, 0, 0}, {-5.0f, 5.0f, 10, 10}, {kInf, -kInf, 0, 0}, {0.55f, 0.55f, 10, 0}};
  for (const auto& c : cases) {
    Picture frame = Picture::Blank(1, 1, zkfx::kPixelFormatVUYA32f);
    const float pixel[4] = {c.v, c.u, 0.5f, 1.0f};
    std::memcpy(frame.bytes.data(), pixel, sizeof pixel);
    const std::vector<Lit> cells = LitCells(VectorscopeTrace(frame, 11));
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].x, c.column) << c.u << "," << c.v;
    EXPECT_EQ(cells[0].y, c.row) << c.u << "," << c.v;
  }
  Picture nan = Picture::Blank(3, 1, zkfx::kPixelFormatVUYA32f);
  for (int x = 0; x < 3; ++x) {
    const float pixel[4] = {kNaN, kNaN, kNaN, 1.0f};
    std::memcpy(nan.bytes.data() + 16 * x, pixel, sizeof pixel);
  }
  std::uint64_t total = 0;
  for (const Lit& cell : LitCells(VectorscopeTrace(nan, 11))) total += cell.count;
  EXPECT_EQ(total, 3u);
}

// ---------------------------------------------------------------------------------------------
// Waveform and parade

TEST(Waveform, LevelRowsAtTheEdgesOfTheRange) {
  const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    int row;  // of 120
  } cases[] = {{1.1f, 0}, {-0.1f, 119}, {5.0f, 0}, {-5.0f, 119}, {kInf, 0}, {-kInf, 119}, {kNaN, 119},
               {1.0f, 10}, {0.0f, 109}, {0.45f, 64}};
  for (const auto& c : cases) EXPECT_EQ(LevelRow(c.value, 120), c.row) << c.value;
}

// ---------------------------------------------------------------------------------------------
// threeway scopes as a process

using threeway::test::ReadAll;

class ScopesTool : public threeway::test::ToolCase {
 protected:
  // Width and height from a PNG file's header, or 0 x 0 when it is not a PNG.
  static std::pair<int, int> PngSize(const std::string& path) {
    const std::string bytes = ReadAll(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0) return {0, 0};
    const auto be32 = [&](std::size_t at) {
      return static_cast<int>((static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
                              (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]));
    };
    return {be32(16), be32(20)};
  }

  // Raw 'bgra' frames of 32 x 8, each one colour.
  void WriteRawFrames(const std::string& name, const std::vector<std::array<int, 3>>& colours) {
    std::string bytes;
    for (const auto& c : colours) {
      const Picture frame = Solid(32, 8, c[0], c[1], c[2]);
      bytes.append(reinterpret_cast<const char*>(frame.bytes.data()), frame.bytes.size());
    }
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
};

TEST_F(ScopesTool, WritesFourPngsOfTheDocumentedSizes) {
  ASSERT_EQ(Tool("testcard '" + Path("card.png") + "' --size 64x36").status, 0);
  threeway::test::ToolRun run = Tool("scopes '" + Path("card.png") + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Files(), (std::vector<std::string>{"card-histogram.png", "card-parade.png", "card-vectorscope.png",
                                               "card-waveform.png", "card.png"}));
  for (const auto& [name, size] : {std::pair{"card-waveform.png", std::pair(1024, 512)}, {"card-parade.png", {1024, 512}},
                                    {"card-vectorscope.png", {512, 512}}, {"card-histogram.png", {1024, 512}}}) {
    EXPECT_EQ(PngSize(Path(name)), size) << name;
  }

  fs::create_directories(Path("out"));
  run = Tool("scopes '" + Path("card.png") + "' --out-dir '" + Path("out") + "' --size 400x300");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(PngSize(Path("out/card-waveform.png")), std::pair(400, 300));
  EXPECT_EQ(PngSize(Path("out/card-vectorscope.png")), std::pair(300, 300));
}

TEST_F(ScopesTool, AtPicksTheFrameOfARawInput) {
  // Three frames: black, grey, red; the third alone in a file of its own.
  WriteRawFrames("three.raw", {{0, 0, 0}, {128, 128, 128}, {255, 0, 0}});
  WriteRawFrames("red.raw", {{255, 0, 0}});
  // (input, --at, prefix); no --at is frame 0.
  for (const auto& [input, at, prefix] : {std::tuple{"three.raw", " --at 2", "at2"}, {"three.raw", " --at 1", "at1"},
                                          {"three.raw", "", "at0"}, {"red.raw", "", "red"}}) {
    ASSERT_EQ(Tool("scopes '" + Path(input) + "'" + at + " --prefix '" + Path(prefix) + "' --raw-in bgra 32x8 --size 192x128").status, 0);
  }
  for (const char* suffix : {"-waveform.png", "-parade.png", "-vectorscope.png", "-histogram.png"}) {
    SCOPED_TRACE(suffix);
    EXPECT_EQ(ReadAll(Path(std::string("at2") + suffix)), ReadAll(Path(std::string("red") + suffix)));
  }
  // Black, grey and red frames have different waveforms and histograms.
  EXPECT_NE(ReadAll(Path("at1-waveform.png")), ReadAll(Path("at2-waveform.png")));
  EXPECT_NE(ReadAll(Path("at0-waveform.png")), ReadAll(Path("at1-waveform.png")));
  EXPECT_NE(ReadAll(Path("at0-histogram.png")), ReadAll(Path("at1-histogram.png")));
}

TEST_F(ScopesTool, FailuresLeaveNoFiles) {
  WriteRawFrames("two.raw", {{0, 0, 0}, {255, 255, 255}});
  ASSERT_EQ(Tool("testcard '" + Path("shot-waveform.png") + "' --size 16x16").status, 0);
  const std::vector<std::string> before = Files();
  const struct {
    const char* name;
    std::string arguments;
    int status;
    const char* message;
  } cases[] = {
      {"past the end", "'" + Path("two.raw") + "' --raw-in bgra 32x8 --at 2 --prefix '" + Path("x") + "'", 1, "ends after 2 frames"},
      {"over the input", "'" + Path("shot-waveform.png") + "' --prefix '" + Path("shot") + "'", 1, "refusing to overwrite"},
      {"no directory", "'" + Path("two.raw") + "' --raw-in bgra 32x8 --out-dir '" + Path("missing") + "'", 1, "no such directory"},
      {"cut short", "'" + Path("two.raw") + "' --raw-in bgra 32x9 --at 1 --prefix '" + Path("x") + "'", 1, "ended after"},
      {"unreadable", "'" + Path("nothing.png") + "' --prefix '" + Path("x") + "'", 1, "nothing.png"},
      {"bad module", "'" + Path("two.raw") + "' --raw-in bgra 32x8 --prefix '" + Path("x") + "'", 1, ""},
      {"size too small", "'" + Path("two.raw") + "' --raw-in bgra 32x8 --size 100x100", 2, "--size"},
      {"unknown option", "'" + Path("two.raw") + "' --colour", 2, "unknown option --colour"},
      {"two inputs", "'" + Path("two.raw") + "' '" + Path("two.raw") + "'", 2, "one INPUT"},
      {"both names", "'" + Path("two.raw") + "' --prefix a --out-dir b", 2, "not both"},
      {"bad --at", "'" + Path("two.raw") + "' --at -1", 2, "--at"},
      {"bad panel value", "'" + Path("two.raw") + "' --raw-in bgra 32x8 --set MasterSaturation=1000", 2, "MasterSaturation"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string module = std::string(c.name) == "bad module" ? "--module '" + Path("two.raw") + "' " : "";
    const threeway::test::ToolRun run = Tool(module + "scopes " + c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(Files(), before);  // nothing new, no temporary files
  }
}

}  // namespace
}  // namespace threeway::cli
