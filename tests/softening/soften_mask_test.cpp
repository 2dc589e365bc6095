// Mask softening (coefficients, the recursive filter against a plain reference, copies, row-byte
// layouts, the work buffer's memory) and the renderer's scratch memory (TransientBlock and the
// stack-or-transient rule), checked against the host library's own count of outstanding blocks.
#include "render/soften_mask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "pixmill/pixmill_debug.h"
#include "render/transient_block.h"

namespace threeway {
namespace {

constexpr std::int32_t kFloat = static_cast<std::int32_t>(sizeof(float));

// Coefficients, worked independently from Deriche's published constants in single precision,
// widened to double.
SoftenCoefficients ReferenceCoefficients(double s) {
  const double omega = 0.8448f, alpha = 1.26f, twoAlpha = 2.52f, c0 = 0.9629f, c1 = 1.942f;
  const double cw = cos(omega / s), sw = sin(omega / s);
  const double e1 = exp(-alpha / s), e2 = exp(-twoAlpha / s);
  const double d = static_cast<float>(1.0 - 2.0 * cw * e1 + e2);
  const float g = static_cast<float>(2.0 * (c0 * (1.0 - cw * e1) / d + c1 * e1 * sw / d) - c0);
  const float k = 1.0f / g;
  SoftenCoefficients r;
  r.a0 = static_cast<float>(c0) * k;
  const float c1k = static_cast<float>(c1) * k;
  r.a1 = static_cast<float>((static_cast<double>(c1k) * sw - static_cast<double>(r.a0) * cw) * e1);
  r.b1 = static_cast<float>(-2.0 * e1 * cw);
  r.b2 = static_cast<float>(e2);
  r.a2 = r.a1 - r.b1 * r.a0;
  r.a3 = -(r.a0 * r.b2);
  return r;
}

TEST(SoftenCoefficients, MatchAnIndependentComputation) {
  for (double s : {0.01, 0.1, 0.5, 1.0, 1.5, 2.0, 3.3, 5.0, 7.25, 10.0, 25.0, 50.0, 100.0, 400.0}) {
    SCOPED_TRACE(s);
    const SoftenCoefficients got = ComputeSoftenCoefficients(s);
    const SoftenCoefficients want = ReferenceCoefficients(s);
    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);  // all six, bit for bit
  }
}

// A plain reference of the filter: one line at a time, explicit zero neighbours, separate arrays.
std::vector<float> ReferenceLine(const SoftenCoefficients& c, const std::vector<float>& line) {
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(line.size());
  auto x = [&](std::ptrdiff_t i) { return i < 0 || i >= n ? 0.0f : line[i]; };
  std::vector<float> y(n), z(n), out(n);
  auto yAt = [&](std::ptrdiff_t i) { return i < 0 ? 0.0f : y[i]; };
  auto zAt = [&](std::ptrdiff_t i) { return i >= n ? 0.0f : z[i]; };
  for (std::ptrdiff_t i = 0; i < n; ++i) {  // left to right, one rounding per operation
    y[i] = c.a0 * x(i) + c.a1 * x(i - 1) - c.b1 * yAt(i - 1) - c.b2 * yAt(i - 2);
  }
  for (std::ptrdiff_t i = n - 1; i >= 0; --i) {
    z[i] = c.a2 * x(i + 1) + c.a3 * x(i + 2) - c.b1 * zAt(i + 1) - c.b2 * zAt(i + 2);
  }
  for (std::ptrdiff_t i = 0; i < n; ++i) out[i] = y[i] + z[i];
  return out;
}

// A dense plane, row-major, width floats per row.
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<float> v;
  Plane(int w, int h, float fill = 0.0f) : width(w), height(h), v(size_t(w) * h, fill) {}
  float& at(int x, int y) { return v[size_t(y) * width + x]; }
  float at(int x, int y) const { return v[size_t(y) * width + x]; }
  std::int32_t rowBytes() const { return width * kFloat; }
};

Plane ReferenceSoften(const Plane& in, double s, std::uint8_t direction) {
  const SoftenCoefficients c = ReferenceCoefficients(s);
  const bool rows = direction == kSoftenAlongRows;
  const int lines = rows ? in.height : in.width, length = rows ? in.width : in.height;
  Plane out(in.width, in.height);
  for (int l = 0; l < lines; ++l) {
    std::vector<float> line(length);
    for (int i = 0; i < length; ++i) line[i] = rows ? in.at(i, l) : in.at(l, i);
    const std::vector<float> f = ReferenceLine(c, line);
    for (int i = 0; i < length; ++i) (rows ? out.at(i, l) : out.at(l, i)) = f[i];
  }
  return out;
}

Plane RandomMask(int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  Plane p(w, h);
  for (float& f : p.v) f = u(rng);
  // Some hard 0 and 1 regions, as a qualifier produces.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((x / 7 + y / 5) % 3 == 0) p.at(x, y) = ((x + y) % 2) ? 1.0f : 0.0f;
  return p;
}

Plane Soften(const Plane& in, double s, std::uint8_t direction) {
  Plane out(in.width, in.height);
  SoftenMask(in.v.data(), in.rowBytes(), out.v.data(), out.rowBytes(), in.width, in.height, s,
             direction);
  return out;
}

// Each direction alone, and both flags in one call (rows, then columns in place on the
// destination), bit for bit against the plain reference, on the path the switch chose and on every
// path the processor has.
TEST(SoftenMask, AgreesExactlyWithThePlainReference) {
  const struct { int w, h; double s; } cases[] = {
      {1, 1, 2.0},   {1, 9, 3.0},     {9, 1, 3.0},     {2, 2, 0.7},    {37, 23, 5.0},
      {64, 64, 1.0}, {17, 130, 12.5}, {130, 17, 0.25}, {300, 3, 60.0},
      // Bands of eight rows in pairs and one left over (8, 24 and 40 rows), beside a scalar remainder;
      // sets of sixteen lines with eight, then one, then nine more (24, 33, 41).
      {33, 8, 4.0},  {19, 24, 2.5},    {40, 41, 7.0},  {24, 33, 3.0}};
  const auto widest = static_cast<int>(vector_switch::WidestPath());
  std::uint32_t seed = 1;
  for (const auto& k : cases) {
    const Plane in = RandomMask(k.w, k.h, seed++);
    const Plane rows = ReferenceSoften(in, k.s, kSoftenAlongRows);
    const Plane both = ReferenceSoften(rows, k.s, kSoftenAlongColumns);
    for (std::uint8_t dir : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << k.w << "x" << k.h << " s=" << k.s << " dir=" << int(dir));
      const Plane want = dir == kSoftenAlongRows ? rows
                         : dir == kSoftenAlongColumns ? ReferenceSoften(in, k.s, dir) : both;
      const Plane got = Soften(in, k.s, dir);
      EXPECT_EQ(std::memcmp(got.v.data(), want.v.data(), got.v.size() * sizeof(float)), 0);
      for (int path = 0; path <= widest; ++path) {
        Plane onPath(in.width, in.height);
        SoftenMaskOnPath(static_cast<vector_switch::Path>(path), in.v.data(), in.rowBytes(), onPath.v.data(),
                         onPath.rowBytes(), in.width, in.height, k.s, dir);
        EXPECT_EQ(std::memcmp(onPath.v.data(), want.v.data(), want.v.size() * sizeof(float)), 0) << "path " << path;
      }
    }
  }
}

// Row layouts: padded rows on either side, rows walking upward (negative row bytes), in place;
// for the copy (blur 0, below 0, NaN, or so large that the coefficients are not finite) and for
// filtering, in both directions. Every layout gives the
// dense result and leaves the padding untouched.
TEST(SoftenMask, RowLayoutsGiveTheDenseResultAndKeepPadding) {
  const int w = 21, h = 16;
  const Plane dense = RandomMask(w, h, 11);
  const struct { int srcPitch, dstPitch; bool srcUp, dstUp, inPlace; } layouts[] = {  // floats
      {w + 3, w, false, false, false}, {w, w + 5, false, false, false},
      {w + 2, w + 1, false, false, false}, {w, w, true, true, false},
      {w + 1, w, true, false, false}, {w, w, false, false, true}, {w + 2, w + 2, true, true, true}};
  for (const auto& l : layouts) {
    for (double s : {0.0, -1.0, std::nan(""), HUGE_VAL, 3.0}) {
      for (std::uint8_t dir : {kSoftenAlongRows, kSoftenAlongColumns}) {
        SCOPED_TRACE(testing::Message() << l.srcPitch << l.srcUp << " " << l.dstPitch << l.dstUp
                                        << l.inPlace << " s=" << s << " dir=" << int(dir));
        std::vector<float> src(std::size_t(l.srcPitch) * h, 5.0f);
        std::vector<float> dst(std::size_t(l.dstPitch) * h, -3.0f);
        auto at = [&](std::vector<float>& m, int pitch, bool up, int x, int r) -> float& {
          return m[std::size_t(up ? h - 1 - r : r) * pitch + x];
        };
        for (int r = 0; r < h; ++r)
          for (int x = 0; x < w; ++x) at(src, l.srcPitch, l.srcUp, x, r) = dense.at(x, r);
        std::vector<float>& out = l.inPlace ? src : dst;
        const int outPitch = l.inPlace ? l.srcPitch : l.dstPitch;
        const bool outUp = l.inPlace ? l.srcUp : l.dstUp;
        SoftenMask(&at(src, l.srcPitch, l.srcUp, 0, 0), (l.srcUp ? -4 : 4) * l.srcPitch,
                   &at(out, outPitch, outUp, 0, 0), (outUp ? -4 : 4) * outPitch, w, h, s, dir);
        const Plane want = s > 0.0 && s < HUGE_VAL ? Soften(dense, s, dir) : dense;
        for (int r = 0; r < h; ++r) {
          for (int x = 0; x < outPitch; ++x) {
            const float expected = x < w ? want.at(x, r) : l.inPlace ? 5.0f : -3.0f;
            ASSERT_EQ(at(out, outPitch, outUp, x, r), expected) << x << "," << r;
          }
        }
      }
    }
  }
}

// Empty or negative sizes, no direction flag or an unknown one, a null plane: nothing is touched.
TEST(SoftenMask, EmptyOrInvalidCallsTouchNothing) {
  const Plane src = RandomMask(8, 8, 9);
  const struct { int w, h; double s; std::uint8_t dir; bool nullSrc, nullDst; } cases[] = {
      {0, 8, 3.0, 1, false, false}, {8, 0, 3.0, 2, false, false}, {-1, 8, 3.0, 1, false, false},
      {8, -5, 0.0, 1, false, false}, {0, 0, 0.0, 2, false, false}, {8, 8, 3.0, 0, false, false},
      {8, 8, 0.0, 4, false, false}, {8, 8, 3.0, 1, true, false}, {8, 8, 3.0, 1, false, true}};
  for (const auto& k : cases) {
    Plane dst(8, 8, 0.5f);
    SoftenMask(k.nullSrc ? nullptr : src.v.data(), 32,
               k.nullDst ? nullptr : dst.v.data(), 32, k.w, k.h, k.s, k.dir);
    for (float f : dst.v) ASSERT_EQ(f, 0.5f) << k.w << "x" << k.h << " dir " << int(k.dir);
  }
}

// Huge blur sizes whose coefficients are still finite give finite output.
TEST(SoftenMask, HugeBlurSizesStayFinite) {
  const Plane in = RandomMask(50, 4, 13);
  for (double s : {1e3, 1e5, 1e8, 1e30}) {
    for (float f : Soften(in, s, kSoftenAlongRows).v) ASSERT_TRUE(std::isfinite(f)) << s;
  }
}

// The work buffer is 3 N + 16 floats: on the stack up to 262,144 bytes (N = 21,840), else a
// transient block, given back by the end. When the host refuses it the mask is passed on unchanged
// and the refusal is used up; at N = 21,840 a pending refusal is not consumed.
TEST(SoftenMask, LongLinesBorrowAndReturnATransientBlock) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  for (int n : {21840, 21841, 40000}) {
    for (std::uint8_t dir : {kSoftenAlongRows, kSoftenAlongColumns}) {
      SCOPED_TRACE(testing::Message() << n << " dir=" << int(dir));
      const bool alongRows = dir == kSoftenAlongRows;
      const Plane in = RandomMask(alongRows ? n : 1, alongRows ? 1 : n, 17);
      const std::vector<float> want = ReferenceLine(ReferenceCoefficients(6.0), in.v);
      PM_DebugFailNextTransientAllocations(1);
      EXPECT_EQ(Soften(in, 6.0, dir).v, n == 21840 ? want : in.v);
      EXPECT_EQ(Soften(in, 6.0, dir).v, want);
      PM_DebugFailNextTransientAllocations(0);
      EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
    }
  }
}

static_assert(!std::is_copy_constructible_v<TransientBlock> && !std::is_copy_assignable_v<TransientBlock> &&
              std::is_nothrow_move_constructible_v<TransientBlock> && std::is_nothrow_move_assignable_v<TransientBlock>);

TEST(TransientBlock, AllocateReleaseAndDestroyGiveTheBlockBack) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  {
    TransientBlock block;
    EXPECT_TRUE(block.handle() == 0u && block.data() == nullptr);
    void* p = block.Allocate(1000);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(block.data() == p && block.handle() != 0u);
    std::memset(p, 0xAB, 1000);  // the whole size is usable
    ASSERT_NE(block.Allocate(300000), nullptr);  // gives the first block back before borrowing
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);

    block.Release();
    EXPECT_TRUE(block.handle() == 0u && block.data() == nullptr && block.cookie() == 0u);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
    block.Release();  // releasing an empty holder gives nothing back
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);

    ASSERT_NE(block.Allocate(64), nullptr);
    // A refused request gives the held block back and leaves the holder empty.
    PM_DebugFailNextTransientAllocations(1);
    EXPECT_EQ(block.Allocate(1 << 20), nullptr);
    EXPECT_TRUE(block.handle() == 0u && block.data() == nullptr && block.cookie() == 0u);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
    ASSERT_NE(block.Allocate(64), nullptr);  // the destructor gives this one back
  }
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

TEST(TransientBlock, MovesAndExceptionsGiveTheBlockBackExactlyOnce) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  {
    TransientBlock a;
    void* p = a.Allocate(4096);
    ASSERT_NE(p, nullptr);
    TransientBlock b(std::move(a));
    EXPECT_TRUE(a.handle() == 0u && a.data() == nullptr && b.data() == p);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);

    TransientBlock c;
    ASSERT_NE(c.Allocate(128), nullptr);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 2);
    c = std::move(b);  // c's own block goes back, b's is taken over
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
    EXPECT_TRUE(c.data() == p && b.handle() == 0u);

    TransientBlock& self = c;
    c = std::move(self);  // self-move keeps the block
    EXPECT_EQ(c.data(), p);
    EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
  }
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
  EXPECT_THROW(  // an exception gives the block back too
      {
        TransientBlock block;
        ASSERT_NE(block.Allocate(500000), nullptr);
        ASSERT_EQ(PM_DebugOutstandingTransientBlocks(), before + 1);
        throw std::runtime_error("interrupted");
      },
      std::runtime_error);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

// THREEWAY_SCRATCH in its own frame: the address it gave (0 for none), and whether that is the
// block the holder took (given back when the holder goes). The whole size is written.
std::uintptr_t TakeScratch(std::size_t size, bool& held) {
  TransientBlock block;
  float* p = nullptr;
  THREEWAY_SCRATCH(p, block, size);
  held = block.handle() != 0 && static_cast<void*>(p) == block.data();
  if (p != nullptr) std::memset(p, 0x5A, size);
  return reinterpret_cast<std::uintptr_t>(p);
}

// Nothing for 0 bytes; 16-byte aligned stack up to the limit, where a pending refusal is not
// consumed; a transient block above it, or null when the host refuses.
TEST(ScratchMacro, NoneStackOrTransient) {
  const auto before = PM_DebugOutstandingTransientBlocks();
  bool held = true;
  EXPECT_EQ(TakeScratch(0, held), 0u);
  EXPECT_FALSE(held);
  PM_DebugFailNextTransientAllocations(1);
  for (std::size_t size : {std::size_t{1}, std::size_t{4096}, kScratchStackLimit}) {
    const std::uintptr_t stack = TakeScratch(size, held);
    EXPECT_TRUE(stack != 0 && stack % 16 == 0 && !held) << size;
  }
  EXPECT_EQ(TakeScratch(kScratchStackLimit + 1, held), 0u);  // takes the refusal
  EXPECT_FALSE(held);
  for (std::size_t size : {kScratchStackLimit + 1, std::size_t{3} << 20}) {
    EXPECT_NE(TakeScratch(size, held), 0u) << size;
    EXPECT_TRUE(held) << size;
  }
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), before);
}

}  // namespace
}  // namespace threeway
