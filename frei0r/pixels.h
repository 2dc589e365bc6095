// Between frei0r's RGBA8888 frames (bytes R, G, B, A) and the effect's 8-bit 'bgra' host format
// (bytes B, G, R, A): swapping the first and third byte of every pixel, losslessly, alpha untouched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace threeway::frei0r {

// dst[i] = src[i] with bytes 0 and 2 exchanged, for `count` pixels. `dst` may equal `src` (in
// place); other overlaps are not allowed.
void SwapRedBlue(const std::uint32_t* src, std::uint32_t* dst, std::size_t count);
// The same into a frame the swap fills and nothing has read lately: with AVX2 the stores go around
// the cache, so the destination's old contents are not fetched first (a frame's worth of memory
// reads saved). The swapped frame is then read from memory, not the cache.
void SwapRedBlueStreaming(const std::uint32_t* src, std::uint32_t* dst, std::size_t count);

}  // namespace threeway::frei0r
