// The frames a frei0r host hands the filter, and the way between them and the effect's 8-bit
// 'bgra' host format (bytes B, G, R, A).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace threeway::frei0r {

// The byte order of the 8-bit frames the plug-in declares and takes. `kBgra` is frei0r's
// BGRA8888, the effect's own 'bgra': the frames go to the module as they are. `kRgba` is
// RGBA8888 (bytes R, G, B, A): red and blue are exchanged on the way in and back on the way out.
enum class FrameLayout { kRgba, kBgra };

// The layout for a process. `setting` is the value of THREEWAY_FREI0R_LAYOUT (null when unset):
// "rgba" or "bgra" choose; anything else is ignored with a sentence about it in `complaint`.
// Without a choice: RGBA when MLT is in the process (MLT converts for a BGRA filter itself, one
// byte at a time, which is slower than this filter's own swap), BGRA otherwise (ffmpeg and
// GStreamer convert to what the filter declares).
FrameLayout ChooseFrameLayout(const char* setting, bool mltInProcess, std::string& complaint);

// True when one of MLT's libraries (libmlt-7.so.7, libmlt.so.6, ...) is loaded in this process.
bool MltInProcess();

// RGBA <-> 'bgra'. dst[i] = src[i] with bytes 0 and 2 exchanged, for `count` pixels. `dst` may equal `src` (in
// place); other overlaps are not allowed.
void SwapRedBlue(const std::uint32_t* src, std::uint32_t* dst, std::size_t count);
// The same into a frame the swap fills and nothing has read lately: with AVX2 the stores go around
// the cache, so the destination's old contents are not fetched first (a frame's worth of memory
// reads saved). The swapped frame is then read from memory, not the cache.
void SwapRedBlueStreaming(const std::uint32_t* src, std::uint32_t* dst, std::size_t count);

}  // namespace threeway::frei0r
