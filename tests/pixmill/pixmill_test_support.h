// Helpers shared by the Pixmill tests.
#pragma once

#include <cstdint>
#include <vector>

#include "pixmill/pixmill.h"

namespace pixmill_test {

// The nine formats, each with a short name for test output.
inline constexpr struct { PixmillPixelFormat code; const char* name; } kAllFormats[] = {
    {kPixmillBGRA8, "bgra8"},   {kPixmillBGRA16, "bgra16"}, {kPixmillBGRA32f, "bgra32f"},
    {kPixmillVUYA8, "vuya8"},   {kPixmillVUYA16, "vuya16"}, {kPixmillWorkingFormat, "working"},
    {kPixmillARGB8, "argb8"},   {kPixmillARGB16, "argb16"}, {kPixmillARGB32f, "argb32f"},
};

// One row of `width` pixels in one call, row bytes 0.
inline std::int32_t ConvertRow(const void* src, PixmillPixelFormat from, void* dst,
                               PixmillPixelFormat to, std::int32_t width) {
  return PM_Convert(src, 0, from, dst, 0, to, width, 1, 4);
}

}  // namespace pixmill_test
