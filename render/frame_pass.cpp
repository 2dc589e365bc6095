#include "render/frame_pass.h"

#include <cstring>

#include <xmmintrin.h>

#include "framewell/framewell.h"
#include "kernels/correct_pixel.h"
#include "kernels/process_row.h"
#include "kernels/qualifier.h"
#include "render/frame_desc.h"
#include "render/transient_block.h"

namespace threeway {

namespace {

constexpr unsigned kMxcsrFlushToZero = 0x8000;
constexpr unsigned kMxcsrRoundingMask = 0x6000;  // 00 = round to nearest
constexpr unsigned kMxcsrExceptionMasks = 0x1F80;

PixmillPixelFormat LibraryFormat(std::uint32_t hostCode) {
  return FW::BEToPMPixelFormat(FW::SDKToBEPixelFormat(hostCode));
}

}  // namespace

PassFloatingPointScope::PassFloatingPointScope() : saved_(_mm_getcsr()) {
  _mm_setcsr((saved_ & ~kMxcsrRoundingMask) | kMxcsrFlushToZero | kMxcsrExceptionMasks);
}

PassFloatingPointScope::~PassFloatingPointScope() { _mm_setcsr(saved_); }

void BuildPassRecord(PassRecord* record, std::uint32_t rowCount, std::uint32_t firstRow,
                     std::int32_t width, const void* sourceRow, std::int32_t sourceRowBytes,
                     std::uint32_t sourceFormat, void* destinationRow,
                     std::int32_t destinationRowBytes, std::uint32_t destinationFormat,
                     bool maskFlag, const float* maskPlane, const QualifierBlock* qualifier,
                     zkfx::LumaHistogram* histogram, std::int32_t viewMode,
                     const RendererSettings* settings) {
  record->rowCount = rowCount;
  record->firstRow = firstRow;
  record->width = width;
  record->sourceRow = sourceRow;
  record->sourceRowBytes = sourceRowBytes;
  record->sourceFormat = sourceFormat;
  record->destinationRow = destinationRow;
  record->destinationRowBytes = destinationRowBytes;
  record->destinationFormat = destinationFormat;
  record->maskFlag = maskFlag;
  record->maskPlane = maskPlane;
  record->qualifier = *qualifier;
  record->histogram = histogram;
  record->viewMode = viewMode;
  record->settings = settings;
}

void RunPass(PassRecord* record) {
  // Declared before the floating-point scope so that the caller's state is restored first and
  // the destination block is given back before the source block.
  TransientBlock sourceBlock;
  TransientBlock destinationBlock;
  const PassFloatingPointScope floatingPoint;

  const RendererSettings& settings = *record->settings;
  const PassConstants constants = ComputePassConstants(settings);

  const std::int32_t width = record->width > 0 ? record->width : 0;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * kWorkingPixelBytes;
  WorkingPixel* sourceScratch;
  WorkingPixel* destinationScratch;
  THREEWAY_SCRATCH(sourceScratch, sourceBlock, rowBytes);
  THREEWAY_SCRATCH(destinationScratch, destinationBlock, rowBytes);

  const QualifierKernel kernel = SelectQualifierKernel(record->qualifier);
  if (record->rowCount == 0) return;

  const bool sourceInPlace = record->sourceFormat == kWorkingFormat;
  const bool destinationInPlace = record->destinationFormat == kWorkingFormat;
  if ((!sourceInPlace || !destinationInPlace) && rowBytes > 0 &&
      ((!sourceInPlace && sourceScratch == nullptr) ||
       (!destinationInPlace && destinationScratch == nullptr))) {
    return;  // the host could not lend a scratch row
  }
  const bool useMask = record->maskFlag && record->maskPlane != nullptr;
  // The per-pixel step, eight pixels at a time where the processor allows; identical results.
  // The vector rows count the histogram in tables of the pass, added into it after the last row.
  RowBins bins;
  if (record->histogram != nullptr) std::memset(&bins, 0, sizeof bins);
  const RowContext row{width, record->firstRow, useMask, record->maskPlane, kernel,
                       &record->qualifier, record->viewMode, record->sourceFormat, &settings,
                       &constants, record->histogram, record->histogram != nullptr ? &bins : nullptr};
  const RowProcessor processRow = SelectRowProcessor();

  for (std::uint32_t k = 0; k < record->rowCount; ++k) {
    const std::uint8_t* sourceRow = static_cast<const std::uint8_t*>(record->sourceRow);
    std::uint8_t* destinationRow = static_cast<std::uint8_t*>(record->destinationRow);

    const std::uint8_t* in = sourceRow;
    if (!sourceInPlace) {
      PM_Convert(sourceRow, record->sourceRowBytes, LibraryFormat(record->sourceFormat),
                 sourceScratch, static_cast<std::int32_t>(rowBytes), kPixmillWorkingFormat, width, 1, 4);
      in = reinterpret_cast<const std::uint8_t*>(sourceScratch);
    }
    std::uint8_t* out =
        destinationInPlace ? destinationRow : reinterpret_cast<std::uint8_t*>(destinationScratch);

    processRow(row, k, in, out);

    if (!destinationInPlace) {
      PM_Convert(destinationScratch, static_cast<std::int32_t>(rowBytes), kPixmillWorkingFormat,
                 destinationRow, record->destinationRowBytes,
                 LibraryFormat(record->destinationFormat), width, 1, 4);
    }
    record->sourceRow = sourceRow + record->sourceRowBytes;
    record->destinationRow = destinationRow + record->destinationRowBytes;
  }
  if (record->histogram != nullptr) AddRowBins(bins, record->histogram);
}

}  // namespace threeway
