// The library's interface: PM_Convert's row stepping (padded, negative, 0 for one row), bad
// arguments, unknown formats and the ignored quality argument; transient blocks (alignment and
// size, bogus give-backs, fault injection, impossible sizes, concurrent borrowers); the exports of
// the built library.

#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pixmill/pixmill.h"
#include "pixmill/pixmill_debug.h"
#include "tests/pixmill/pixmill_test_support.h"
#include "tests/support/paths.h"

namespace {

using pixmill_test::ConvertRow;

// Three rows of distinct 'bgra' pixels, walked bottom-up with negative row bytes, land top-down in
// a padded working-format destination; the padding is untouched.
TEST(PixmillConvert, NegativeAndPaddedRowBytes) {
  constexpr int kWidth = 5, kHeight = 3, kSrcStride = kWidth * 4 + 12, kDstStride = kWidth * 16 + 32;
  std::vector<std::uint8_t> src(kSrcStride * kHeight);
  for (std::size_t k = 0; k < src.size(); ++k) src[k] = static_cast<std::uint8_t>(k * 37 + 11);
  std::vector<unsigned char> dst(kDstStride * kHeight, 0xEE);
  const std::uint8_t* lastRow = src.data() + kSrcStride * (kHeight - 1);
  ASSERT_EQ(PM_Convert(lastRow, -kSrcStride, kPixmillBGRA8, dst.data(), kDstStride,
                       kPixmillWorkingFormat, kWidth, kHeight, 4), kPixmillOk);
  for (int k = 0; k < kHeight; ++k) {
    float want[kWidth * 4];
    ASSERT_EQ(ConvertRow(lastRow - kSrcStride * k, kPixmillBGRA8, want, kPixmillWorkingFormat,
                         kWidth), kPixmillOk);
    EXPECT_EQ(std::memcmp(dst.data() + kDstStride * k, want, sizeof want), 0) << "row " << k;
    for (int pad = kWidth * 16; pad < kDstStride; ++pad) ASSERT_EQ(dst[kDstStride * k + pad], 0xEE);
  }
}

// Arguments PM_Convert refuses, each leaving the destination untouched.
TEST(PixmillConvert, BadArgumentsWriteNothing) {
  alignas(16) std::uint8_t src[256] = {};
  alignas(16) std::uint8_t dst[256];
  const PixmillPixelFormat kB8 = kPixmillBGRA8, kW = kPixmillWorkingFormat;
  const struct {
    const char* what;
    const void* src;
    std::int32_t srcRowBytes, srcFormat;
    void* dst;
    std::int32_t dstRowBytes, dstFormat, width, height;
  } cases[] = {
      {"null source", nullptr, 0, kB8, dst, 0, kW, 2, 1},
      {"null destination", src, 0, kB8, nullptr, 0, kW, 2, 1},
      {"negative width", src, 0, kB8, dst, 0, kW, -1, 1},
      {"negative height", src, 0, kB8, dst, 0, kW, 2, -1},
      {"misaligned float source", src + 2, 0, kPixmillBGRA32f, dst, 0, kB8, 2, 1},
      {"misaligned 16-bit destination", src, 0, kW, dst + 1, 0, kPixmillARGB16, 2, 1},
      {"row bytes 0 for two rows", src, 0, kB8, dst, 32, kW, 2, 2},
      {"rows overlap", src, 8, kB8, dst, 16, kW, 2, 2},
      {"row step breaks float alignment", src, 8, kB8, dst, 34, kW, 2, 2},
      {"negative width, unknown format", src, 0, 0x777, dst, 0, kW, -1, 1},
  };
  for (const auto& c : cases) {
    std::memset(dst, 0xC3, sizeof dst);
    EXPECT_EQ(PM_Convert(c.src, c.srcRowBytes, c.srcFormat, c.dst, c.dstRowBytes, c.dstFormat,
                         c.width, c.height, 4), kPixmillBadArgument) << c.what;
    for (std::uint8_t b : dst) ASSERT_EQ(b, 0xC3) << c.what;
  }
}

// An unknown format writes nothing, except that a working-format destination is cleared over
// width x height pixels (and nothing beyond them).
TEST(PixmillConvert, UnknownFormats) {
  constexpr int kWidth = 3, kHeight = 2, kStride = kWidth * 16 + 16;
  const struct { PixmillPixelFormat src, dst; bool cleared; } cases[] = {
      {0x777, kPixmillWorkingFormat, true}, {kPixmillInvalidFormat, kPixmillWorkingFormat, true},
      {kPixmillWorkingFormat, 0x203, false}, {0x777, kPixmillBGRA8, false},
      {kPixmillBGRA8, -5, false}, {0x777, 0x777, false}};
  alignas(16) unsigned char src[kStride * kHeight] = {};
  alignas(16) unsigned char dst[kStride * kHeight];
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.src << " -> " << c.dst);
    std::memset(dst, 0x99, sizeof dst);
    EXPECT_EQ(PM_Convert(src, kStride, c.src, dst, kStride, c.dst, kWidth, kHeight, 4), kPixmillUnknownFormat);
    for (int k = 0; k < kHeight; ++k) {
      for (int b = 0; b < kStride; ++b) {
        const unsigned char want = c.cleared && b < kWidth * 16 ? 0x00 : 0x99;
        ASSERT_EQ(dst[k * kStride + b], want) << "row " << k << " byte " << b;
      }
    }
  }
  EXPECT_EQ(PM_BytesPerPixel(0x777), 0);
  EXPECT_EQ(PM_BytesPerPixel(kPixmillInvalidFormat), 0);
}

// Row bytes 0 with one row, zero-sized conversions, in-place same-format conversion, and the
// quality argument having no effect.
TEST(PixmillConvert, SingleRowsEmptyConversionsAndQuality) {
  const std::uint8_t bgra[8] = {10, 20, 30, 40, 250, 128, 3, 255};
  float a[8], b[8], untouched[8];
  ASSERT_EQ(PM_Convert(bgra, 0, kPixmillBGRA8, a, 0, kPixmillWorkingFormat, 2, 1, 4), kPixmillOk);
  std::memcpy(untouched, a, sizeof a);
  for (std::int32_t quality : {0, 1, 99, -7}) {
    ASSERT_EQ(PM_Convert(bgra, 0, kPixmillBGRA8, b, 0, kPixmillWorkingFormat, 2, 1, quality), kPixmillOk);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0) << quality;
  }
  EXPECT_EQ(PM_Convert(bgra, 0, kPixmillBGRA8, a, 0, kPixmillWorkingFormat, 0, 1, 4), kPixmillOk);
  EXPECT_EQ(PM_Convert(bgra, 8, kPixmillBGRA8, a, 32, kPixmillWorkingFormat, 2, 0, 4), kPixmillOk);
  EXPECT_EQ(std::memcmp(a, untouched, sizeof a), 0);
  EXPECT_EQ(PM_Convert(a, 0, kPixmillWorkingFormat, a, 0, kPixmillWorkingFormat, 2, 1, 4), kPixmillOk);
  EXPECT_EQ(std::memcmp(a, untouched, sizeof a), 0);
}

// The built library exports the C functions by name, as a host's loader finds them.
TEST(PixmillConvert, SharedLibraryExportsTheCFunctions) {
  const std::string path = threeway::test::BuildDir() + "/lib/libpixmill.so";
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const char* name : {"PM_Convert", "PM_AllocateTransientMemoryBlock", "PM_FreeTransientMemoryBlock",
                           "PM_BytesPerPixel", "PM_DebugOutstandingTransientBlocks",
                           "PM_DebugFailNextTransientAllocations", "PM_DebugConvertCallCount"}) {
    EXPECT_NE(dlsym(lib, name), nullptr) << name;
  }
  // Loaded once already by this program, so the function is the same one.
  EXPECT_EQ(dlsym(lib, "PM_Convert"), reinterpret_cast<void*>(&PM_Convert));
  dlclose(lib);
}

struct Lent {
  void* data;
  std::uint64_t handle, cookie;
};
Lent Borrow(std::uint64_t size) {
  Lent b{nullptr, 0xDEAD, 0xBEEF};
  b.data = PM_AllocateTransientMemoryBlock(size, &b.handle, &b.cookie);
  return b;
}

// Every size gives a 64-byte-aligned block whose whole extent can be written (run under the
// address sanitizer this also proves the size), with a distinct nonzero handle.
TEST(PixmillTransient, BlocksAreAlignedSizedAndGivenBack) {
  const std::int64_t base = PM_DebugOutstandingTransientBlocks();
  const std::uint64_t sizes[] = {0, 1, 63, 64, 65, 4096, 262145, 1u << 24};
  std::vector<Lent> blocks;
  std::set<std::uint64_t> handles;
  for (std::uint64_t size : sizes) {
    Lent b = Borrow(size);
    ASSERT_NE(b.data, nullptr) << size;
    EXPECT_TRUE(b.handle != 0u && reinterpret_cast<std::uintptr_t>(b.data) % 64 == 0) << size;
    std::memset(b.data, 0x6B, size);
    handles.insert(b.handle);
    blocks.push_back(b);
  }
  EXPECT_EQ(handles.size(), std::size(sizes));
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks() - base, static_cast<std::int64_t>(std::size(sizes)));
  for (const Lent& b : blocks) PM_FreeTransientMemoryBlock(b.handle, b.cookie);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);
}

// Give-backs that do not name a lent block (wrong cookie, handle 0, never lent, given back already)
// are ignored. Injected failures and impossible requests give null, handle 0 and cookie 0; a
// cancelled injection refuses nothing.
TEST(PixmillTransient, BogusGiveBacksAndFailures) {
  const std::int64_t base = PM_DebugOutstandingTransientBlocks();
  Lent b = Borrow(1000);
  ASSERT_NE(b.data, nullptr);
  PM_FreeTransientMemoryBlock(b.handle, b.cookie ^ 1);
  PM_FreeTransientMemoryBlock(0, b.cookie);
  PM_FreeTransientMemoryBlock(b.handle + 1000, b.cookie);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base + 1);
  std::memset(b.data, 1, 1000);  // still ours
  PM_FreeTransientMemoryBlock(b.handle, b.cookie);
  PM_FreeTransientMemoryBlock(b.handle, b.cookie);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);

  auto refused = [](const Lent& l) { return l.data == nullptr && l.handle == 0u && l.cookie == 0u; };
  PM_DebugFailNextTransientAllocations(2);
  EXPECT_TRUE(refused(Borrow(64)));
  EXPECT_TRUE(refused(Borrow(64)));
  for (bool cancel : {false, true}) {  // the third request is served, as is one after a cancel
    if (cancel) PM_DebugFailNextTransientAllocations(5);
    if (cancel) PM_DebugFailNextTransientAllocations(0);
    const Lent served = Borrow(64);
    ASSERT_FALSE(refused(served));
    PM_FreeTransientMemoryBlock(served.handle, served.cookie);
  }
  for (std::uint64_t size : {UINT64_MAX, UINT64_MAX - 10, (std::uint64_t{1} << 39) + 1}) {
    EXPECT_TRUE(refused(Borrow(size))) << size;
  }
  std::uint64_t handle = 7;
  EXPECT_EQ(PM_AllocateTransientMemoryBlock(16, &handle, nullptr), nullptr);
  EXPECT_EQ(PM_AllocateTransientMemoryBlock(16, nullptr, &handle), nullptr);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);
}

// Two threads borrowing and giving back at once leave the count where it was, and never get the
// same handle twice.
TEST(PixmillTransient, ConcurrentBorrowers) {
  const std::int64_t base = PM_DebugOutstandingTransientBlocks();
  constexpr int kRounds = 2000;
  std::vector<std::uint64_t> seen[2];
  auto work = [&](int t) {
    for (int i = 0; i < kRounds; ++i) {
      Lent b = Borrow(static_cast<std::uint64_t>(64 * (i % 17)));
      if (b.data == nullptr) continue;
      static_cast<unsigned char*>(b.data)[0] = static_cast<unsigned char>(i);
      seen[t].push_back(b.handle);
      PM_FreeTransientMemoryBlock(b.handle, b.cookie);
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  EXPECT_EQ(seen[0].size() + seen[1].size(), 2u * kRounds);
  std::set<std::uint64_t> all(seen[0].begin(), seen[0].end());
  all.insert(seen[1].begin(), seen[1].end());
  EXPECT_EQ(all.size(), 2u * kRounds);
  EXPECT_EQ(PM_DebugOutstandingTransientBlocks(), base);
}

}  // namespace
