// PM_Convert's interface: row stepping (padded, negative, 0 for one row), bad arguments, unknown
// formats, the ignored quality argument, format sizes, the call counter, and the exports of the
// built library.

#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pixmill/pixmill.h"
#include "pixmill/pixmill_debug.h"
#include "tests/pixmill/pixmill_test_support.h"

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
  ASSERT_EQ(PM_Convert(lastRow, -kSrcStride, kPixmillBGRA8, dst.data(), kDstStride, kPixmillWorkingFormat,
                       kWidth, kHeight, 4),
            kPixmillOk);
  for (int k = 0; k < kHeight; ++k) {
    float want[kWidth * 4];
    ASSERT_EQ(ConvertRow(src.data() + kSrcStride * (kHeight - 1 - k), kPixmillBGRA8, want,
                         kPixmillWorkingFormat, kWidth),
              kPixmillOk);
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
    std::int32_t srcRowBytes;
    PixmillPixelFormat srcFormat;
    void* dst;
    std::int32_t dstRowBytes;
    PixmillPixelFormat dstFormat;
    std::int32_t width, height;
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
  const struct {
    PixmillPixelFormat src, dst;
    bool cleared;
  } cases[] = {{0x777, kPixmillWorkingFormat, true},
                        {kPixmillInvalidFormat, kPixmillWorkingFormat, true},
                        {kPixmillWorkingFormat, 0x203, false},
                        {0x777, kPixmillBGRA8, false},
                        {kPixmillBGRA8, -5, false},
                        {0x777, 0x777, false}};
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
  float a[8], b[8];
  ASSERT_EQ(PM_Convert(bgra, 0, kPixmillBGRA8, a, 0, kPixmillWorkingFormat, 2, 1, 4), kPixmillOk);
  for (std::int32_t quality : {0, 1, 99, -7}) {
    std::memset(b, 0, sizeof b);
    ASSERT_EQ(PM_Convert(bgra, 0, kPixmillBGRA8, b, 0, kPixmillWorkingFormat, 2, 1, quality), kPixmillOk);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0) << quality;
  }
  float untouched[8];
  std::memcpy(untouched, a, sizeof a);
  EXPECT_EQ(PM_Convert(bgra, 0, kPixmillBGRA8, a, 0, kPixmillWorkingFormat, 0, 1, 4), kPixmillOk);
  EXPECT_EQ(PM_Convert(bgra, 8, kPixmillBGRA8, a, 32, kPixmillWorkingFormat, 2, 0, 4), kPixmillOk);
  EXPECT_EQ(std::memcmp(a, untouched, sizeof a), 0);
  EXPECT_EQ(PM_Convert(a, 0, kPixmillWorkingFormat, a, 0, kPixmillWorkingFormat, 2, 1, 4), kPixmillOk);
  EXPECT_EQ(std::memcmp(a, untouched, sizeof a), 0);
}

// The built library exports the C functions by name, as a host's loader finds them.
TEST(PixmillConvert, SharedLibraryExportsTheCFunctions) {
  const char* buildDir = std::getenv("THREEWAY_BUILD_DIR");
  ASSERT_NE(buildDir, nullptr) << "THREEWAY_BUILD_DIR is not set";
  const std::string path = std::string(buildDir) + "/lib/libpixmill.so";
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

}  // namespace
