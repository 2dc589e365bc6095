// Frames as the renderer sees them, and the working pixel format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entry/host_interface.h"

namespace threeway {

// The working format: four 32-bit floats per pixel in memory order V, U, Y, A (host code 'VUya').
// Y has white at 1.0; U and V are centred on 0 with a nominal span of -0.5..+0.5 (BT.601).
constexpr std::uint32_t kWorkingFormat = zkfx::kPixelFormatVUYA32f;
constexpr std::int32_t kWorkingPixelBytes = 16;

// Scratch buffers up to this size live on the stack; larger ones come from transient blocks.
constexpr std::size_t kScratchStackLimit = 262144;

// One frame handed to Render.
struct FrameDesc {
  std::int32_t rowBytes;  // bytes from one row to the next; negative walks upward in memory
  std::int32_t width;     // pixels per row to process
  std::int32_t height;    // rows to process
  void* data;             // the first pixel (top-left)
  std::uint32_t pixelFormat;  // four-character code
};

}  // namespace threeway
