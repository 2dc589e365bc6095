// Pixmill: the host's image conversion library, as the module sees it.
//
// The module links against this library and never sees its insides. It converts rows between
// pixel formats and lends scratch memory ("transient blocks") for the duration of a render.
// The conventions of every conversion (matrix, ranges, rounding, clamping) are documented in
// pixmill/README.md.
#pragma once

#include <cstdint>

extern "C" {

// The library's own format codes. The module obtains them from a host code through Framewell.
typedef std::int32_t PixmillPixelFormat;

enum : PixmillPixelFormat {
  kPixmillInvalidFormat = 0,
  kPixmillBGRA8 = 0x101,
  kPixmillBGRA16 = 0x102,
  kPixmillBGRA32f = 0x103,
  kPixmillVUYA8 = 0x201,
  kPixmillVUYA16 = 0x202,
  kPixmillARGB8 = 0x301,
  kPixmillARGB16 = 0x302,
  kPixmillARGB32f = 0x303,
  // Four 32-bit floats per pixel in memory order V, U, Y, A: BT.601 luma with white at 1.0,
  // U (blue difference) and V (red difference) centred on 0 with a nominal span of -0.5..+0.5.
  // The host's 'VUya' frames are this format.
  kPixmillWorkingFormat = 2309,
};

enum : std::int32_t {
  kPixmillOk = 0,
  kPixmillBadArgument = -1,      // null pointer, negative size
  kPixmillUnknownFormat = -2,    // a format code the library does not know
  kPixmillOutOfMemory = -3,
};

// Converts width x height pixels from srcFormat to dstFormat. Row bytes may be 0 when height is 1.
// `quality` is accepted for interface compatibility (callers pass 4) and does not change results.
// Source and destination must not overlap unless they are the same buffer with the same format.
// When a format is unknown nothing is written, except that a destination in the working format is
// filled with zeros, so a caller that ignores the result reads black rather than stale memory.
// kPixmillBadArgument (nothing written): a null pointer, a negative width or height, a pixel
// address not aligned to the format's channel size, or, when height > 1, a row step smaller than a
// row or not a multiple of the channel size. Row bytes may be negative (rows go upward in memory).
// Results do not depend on the caller's floating-point rounding mode or flush-to-zero setting.
std::int32_t PM_Convert(const void* src, std::int32_t srcRowBytes, PixmillPixelFormat srcFormat,
                        void* dst, std::int32_t dstRowBytes, PixmillPixelFormat dstFormat,
                        std::int32_t width, std::int32_t height, std::int32_t quality);

// Lends a block of at least `size` bytes, 64-byte aligned (size 0 still gives a valid block).
// Returns its address and fills the handle (never 0) and cookie that give it back; returns null
// and leaves handle and cookie 0 when it cannot (requests above 2^39 bytes are always refused).
// Safe to call from any thread.
void* PM_AllocateTransientMemoryBlock(std::uint64_t size, std::uint64_t* handle,
                                      std::uint64_t* cookie);
// Gives a block back. A handle of 0, a handle not lent, or a cookie that does not match is ignored.
void PM_FreeTransientMemoryBlock(std::uint64_t handle, std::uint64_t cookie);

// Bytes per pixel of a format; 0 for an unknown code.
std::int32_t PM_BytesPerPixel(PixmillPixelFormat format);
}
