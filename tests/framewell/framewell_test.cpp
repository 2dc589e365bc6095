// Framewell's translation of the host's four-character codes into back-end records and Pixmill
// codes, for the nine host formats and for codes and records it does not know.

#include <gtest/gtest.h>

#include <cstdint>

#include "entry/host_interface.h"
#include "framewell/framewell.h"

namespace {

// Four characters, first in the lowest byte, written out independently of the host header.
constexpr std::uint32_t Code(char a, char b, char c, char d) {
  return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
         std::uint32_t(std::uint8_t(c)) << 16 | std::uint32_t(std::uint8_t(d)) << 24;
}

TEST(Framewell, MapsTheNineHostFormats) {
  struct Row {
    std::uint32_t code;
    std::uint16_t bits;
    std::uint8_t isFloat, layout;
    PixmillPixelFormat pixmill;
  };
  const Row table[] = {
      {0x61726762, 8, 0, 1, kPixmillBGRA8},            // bgra
      {0x61726742, 16, 0, 1, kPixmillBGRA16},          // Bgra
      {0x61724742, 32, 1, 1, kPixmillBGRA32f},         // BGra
      {0x61797576, 8, 0, 2, kPixmillVUYA8},            // vuya
      {0x61797556, 16, 0, 2, kPixmillVUYA16},          // Vuya
      {0x61795556, 32, 1, 2, kPixmillWorkingFormat},   // VUya
      {0x62677261, 8, 0, 3, kPixmillARGB8},            // argb
      {0x62677241, 16, 0, 3, kPixmillARGB16},          // Argb
      {0x62675241, 32, 1, 3, kPixmillARGB32f},         // ARgb
      {Code('r', 'g', 'b', 'a'), 0, 0, 0, kPixmillInvalidFormat},
      {0, 0, 0, 0, kPixmillInvalidFormat},
      {0xFFFFFFFF, 0, 0, 0, kPixmillInvalidFormat},
  };
  static_assert(Code('b', 'g', 'r', 'a') == 0x61726762 && Code('V', 'U', 'y', 'a') == 0x61795556);
  for (const Row& r : table) {
    const qelmediatypes::PixelFormat be = FW::SDKToBEPixelFormat(r.code);
    EXPECT_EQ(be.fourcc, r.code);
    EXPECT_EQ(be.bitsPerChannel, r.bits) << std::hex << r.code;
    EXPECT_EQ(be.isFloat, r.isFloat) << std::hex << r.code;
    EXPECT_EQ(be.layout, r.layout) << std::hex << r.code;
    EXPECT_EQ(FW::BEToPMPixelFormat(be), r.pixmill) << std::hex << r.code;
    EXPECT_EQ(FW::PMPixelFormatFromSDK(r.code), r.pixmill) << std::hex << r.code;
  }
  EXPECT_EQ(FW::PMPixelFormatFromSDK(zkfx::kPixelFormatVUYA32f), 2309);
}

// A record that describes no known format has no Pixmill code, whatever code it names.
TEST(Framewell, InconsistentRecordsHaveNoPixmillCode) {
  const qelmediatypes::PixelFormat records[] = {
      {0x61726762, 8, 1, 1},   // 8-bit marked float
      {0x61724742, 32, 0, 1},  // 32-bit not marked float
      {0x61726762, 12, 0, 1},  // no such depth
      {0x61726762, 8, 0, 4},   // no such layout
      {0x61726762, 8, 0, 0},   // layout unknown
  };
  for (const auto& r : records) {
    EXPECT_EQ(FW::BEToPMPixelFormat(r), kPixmillInvalidFormat)
        << r.bitsPerChannel << " " << int(r.isFloat) << " " << int(r.layout);
  }
}

}  // namespace
