// Framewell's translation of the host's four-character codes into back-end records and Pixmill
// codes, for the nine host formats and for codes and records it does not know.
#include "framewell/framewell.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Codes written out with the first character in the lowest byte, independently of the host header.
TEST(Framewell, MapsTheNineHostFormats) {
  const struct {
    std::uint32_t code;
    std::uint16_t bits;
    std::uint8_t isFloat, layout;
    PixmillPixelFormat pixmill;
  } table[] = {
      {0x61726762, 8, 0, 1, kPixmillBGRA8},            // bgra
      {0x61726742, 16, 0, 1, kPixmillBGRA16},          // Bgra
      {0x61724742, 32, 1, 1, kPixmillBGRA32f},         // BGra
      {0x61797576, 8, 0, 2, kPixmillVUYA8},            // vuya
      {0x61797556, 16, 0, 2, kPixmillVUYA16},          // Vuya
      {0x61795556, 32, 1, 2, kPixmillWorkingFormat},   // VUya
      {0x62677261, 8, 0, 3, kPixmillARGB8},            // argb
      {0x62677241, 16, 0, 3, kPixmillARGB16},          // Argb
      {0x62675241, 32, 1, 3, kPixmillARGB32f},         // ARgb
      {0x61626772, 0, 0, 0, kPixmillInvalidFormat},    // rgba
      {0, 0, 0, 0, kPixmillInvalidFormat},
      {0xFFFFFFFF, 0, 0, 0, kPixmillInvalidFormat},
  };
  for (const auto& r : table) {
    const qelmediatypes::PixelFormat be = FW::SDKToBEPixelFormat(r.code);
    EXPECT_EQ(be.fourcc, r.code);
    EXPECT_EQ(be.bitsPerChannel, r.bits) << std::hex << r.code;
    EXPECT_EQ(be.isFloat, r.isFloat) << std::hex << r.code;
    EXPECT_EQ(be.layout, r.layout) << std::hex << r.code;
    EXPECT_EQ(FW::BEToPMPixelFormat(be), r.pixmill) << std::hex << r.code;
    EXPECT_EQ(FW::PMPixelFormatFromSDK(r.code), r.pixmill) << std::hex << r.code;
  }
}

// A record that describes no known format has no Pixmill code, whatever code it names: 8-bit
// marked float, 32-bit not marked float, no such depth, no such layout, layout unknown.
TEST(Framewell, InconsistentRecordsHaveNoPixmillCode) {
  const qelmediatypes::PixelFormat records[] = {{0x61726762, 8, 1, 1}, {0x61724742, 32, 0, 1},
                                                {0x61726762, 12, 0, 1}, {0x61726762, 8, 0, 4},
                                                {0x61726762, 8, 0, 0}};
  for (const auto& r : records) {
    EXPECT_EQ(FW::BEToPMPixelFormat(r), kPixmillInvalidFormat)
        << r.bitsPerChannel << " " << int(r.isFloat) << " " << int(r.layout);
  }
}

}  // namespace
