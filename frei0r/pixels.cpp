#include "frei0r/pixels.h"

#include <bit>

namespace threeway::frei0r {

static_assert(std::endian::native == std::endian::little,
              "the swap below reads byte 0 as bits 0..7 of the pixel word");

void SwapRedBlue(const std::uint32_t* src, std::uint32_t* dst, std::size_t count) {
  // On a little-endian word byte 0 is bits 0..7 and byte 2 bits 16..23; green and alpha stay.
  // A plain word loop: the compiler turns it into vector code.
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = src[i];
    dst[i] = (p & 0xFF00FF00u) | ((p >> 16) & 0x000000FFu) | ((p & 0x000000FFu) << 16);
  }
}

}  // namespace threeway::frei0r
