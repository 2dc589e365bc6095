// The frame pass: carries one frame from its host pixel format into the working format row by row,
// runs the per-pixel step over every pixel, and carries each row back into the destination format.
#pragma once

#include <cstdint>

#include "entry/host_interface.h"
#include "render/renderer_settings.h"

namespace threeway {

// Everything one pass needs. Filled by BuildPassRecord; the record owns nothing.
struct PassRecord {
  std::uint32_t rowCount;
  std::uint32_t firstRow;  // index, in the mask plane, of the pass's first row
  std::int32_t width;
  const void* sourceRow;   // advanced by the pass
  std::int32_t sourceRowBytes;
  std::uint32_t sourceFormat;
  void* destinationRow;    // advanced by the pass
  std::int32_t destinationRowBytes;
  std::uint32_t destinationFormat;
  bool maskFlag;           // a mask computed ahead is to be used
  const float* maskPlane;  // row-major, one float per pixel of the whole frame; may be null
  QualifierBlock qualifier;
  zkfx::LumaHistogram* histogram;  // may be null: nothing is counted
  std::int32_t viewMode;
  const RendererSettings* settings;
};

void BuildPassRecord(PassRecord* record, std::uint32_t rowCount, std::uint32_t firstRow,
                     std::int32_t width, const void* sourceRow, std::int32_t sourceRowBytes,
                     std::uint32_t sourceFormat, void* destinationRow,
                     std::int32_t destinationRowBytes, std::uint32_t destinationFormat,
                     bool maskFlag, const float* maskPlane, const QualifierBlock* qualifier,
                     zkfx::LumaHistogram* histogram, std::int32_t viewMode,
                     const RendererSettings* settings);

// Runs the pass. For the duration of the call denormal results flush to zero and arithmetic rounds
// to nearest; the caller's floating-point state is restored on every path. Changes only the
// record's two row pointers (left one row past the last processed row), the destination's
// width x rowCount pixels, the histogram counts and the dither generator's state.
// Scratch: two rows of width x 16 bytes, on the stack up to 256 KiB each (so up to 512 KiB of the
// calling thread's stack), above that from transient blocks. If the host cannot lend a needed
// block, the pass processes nothing rather than write through a missing buffer.
void RunPass(PassRecord* record);

// The processor's floating-point control word for the duration of a pass: flush-to-zero on,
// rounding to nearest, every exception masked. Restores the caller's word when it goes.
class PassFloatingPointScope {
 public:
  PassFloatingPointScope();
  ~PassFloatingPointScope();
  PassFloatingPointScope(const PassFloatingPointScope&) = delete;
  PassFloatingPointScope& operator=(const PassFloatingPointScope&) = delete;

 private:
  unsigned saved_;
};

}  // namespace threeway
