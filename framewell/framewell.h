// Framewell: the host's video frame library, as the module sees it.
//
// It translates the host's four-character pixel-format codes into the host's back-end format
// record and that record into Pixmill's conversion format code. The module chains the two calls
// and passes the record on by value without looking inside.
#pragma once

#include <cstdint>

#include "pixmill/pixmill.h"

using VornPixelFormat = std::uint32_t;  // the host's four-character pixel-format code

namespace qelmediatypes {
// The host's back-end description of a pixel format.
struct PixelFormat {
  std::uint32_t fourcc;           // the host code it was made from
  std::uint16_t bitsPerChannel;   // 8, 16 or 32; 0 when the code is unknown
  std::uint8_t isFloat;           // 1 for 32-bit float channels
  std::uint8_t layout;            // 0 unknown, 1 BGRA, 2 VUYA, 3 ARGB (channel order in memory)
};
}  // namespace qelmediatypes

namespace FW {
qelmediatypes::PixelFormat SDKToBEPixelFormat(VornPixelFormat code);
PixmillPixelFormat BEToPMPixelFormat(qelmediatypes::PixelFormat format);

// Convenience for tools: the two calls above chained, as the module does for every row.
inline PixmillPixelFormat PMPixelFormatFromSDK(VornPixelFormat code) {
  return BEToPMPixelFormat(SDKToBEPixelFormat(code));
}
}  // namespace FW
