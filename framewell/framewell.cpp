// Framewell: the host's four-character pixel-format codes, their back-end records and the
// Pixmill conversion codes they correspond to.

#include "framewell/framewell.h"

#include "entry/host_interface.h"

namespace FW {
namespace {

constexpr std::uint8_t kLayoutUnknown = 0;
constexpr std::uint8_t kLayoutBGRA = 1;
constexpr std::uint8_t kLayoutVUYA = 2;
constexpr std::uint8_t kLayoutARGB = 3;

struct KnownFormat {
  VornPixelFormat code;
  std::uint16_t bitsPerChannel;
  std::uint8_t layout;
  PixmillPixelFormat pixmill;
};

// The nine host formats, one line each: the only place the three descriptions are tied together.
constexpr KnownFormat kKnownFormats[] = {
    {zkfx::kPixelFormatBGRA8, 8, kLayoutBGRA, kPixmillBGRA8},
    {zkfx::kPixelFormatBGRA16, 16, kLayoutBGRA, kPixmillBGRA16},
    {zkfx::kPixelFormatBGRA32f, 32, kLayoutBGRA, kPixmillBGRA32f},
    {zkfx::kPixelFormatVUYA8, 8, kLayoutVUYA, kPixmillVUYA8},
    {zkfx::kPixelFormatVUYA16, 16, kLayoutVUYA, kPixmillVUYA16},
    {zkfx::kPixelFormatVUYA32f, 32, kLayoutVUYA, kPixmillWorkingFormat},
    {zkfx::kPixelFormatARGB8, 8, kLayoutARGB, kPixmillARGB8},
    {zkfx::kPixelFormatARGB16, 16, kLayoutARGB, kPixmillARGB16},
    {zkfx::kPixelFormatARGB32f, 32, kLayoutARGB, kPixmillARGB32f},
};

}  // namespace

qelmediatypes::PixelFormat SDKToBEPixelFormat(VornPixelFormat code) {
  for (const KnownFormat& k : kKnownFormats) {
    if (k.code == code) {
      return {code, k.bitsPerChannel, static_cast<std::uint8_t>(k.bitsPerChannel == 32 ? 1 : 0),
              k.layout};
    }
  }
  return {code, 0, 0, kLayoutUnknown};
}

// The record is judged by its description (layout, depth, float flag), not by the code it was made
// from; a description that matches none of the nine formats has no Pixmill code.
PixmillPixelFormat BEToPMPixelFormat(qelmediatypes::PixelFormat format) {
  for (const KnownFormat& k : kKnownFormats) {
    if (k.layout == format.layout && k.bitsPerChannel == format.bitsPerChannel &&
        format.isFloat == (k.bitsPerChannel == 32 ? 1 : 0)) {
      return k.pixmill;
    }
  }
  return kPixmillInvalidFormat;
}

}  // namespace FW
