// Render: one frame from source to destination, with the source's luma histogram left behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "framewell/framewell.h"
#include "kernels/derived_values.h"
#include "kernels/process_row.h"
#include "kernels/qualifier.h"
#include "render/frame_pass.h"
#include "render/renderer.h"
#include "render/soften_mask.h"
#include "render/transient_block.h"

namespace threeway {

namespace {

struct FreeDeleter {
  void operator()(float* p) const { std::free(p); }
};
using Plane = std::unique_ptr<float, FreeDeleter>;

// Not cleared: the mask plane is wholly written by ComputeMaskPlane, and each softening call with a
// frame of pixels writes the whole of its destination (a copy where it cannot soften).
Plane AllocatePlane(std::size_t pixels) {
  if (pixels > SIZE_MAX / sizeof(float)) return nullptr;
  return Plane(static_cast<float*>(std::malloc(pixels * sizeof(float))));
}

// Fills the mask plane with the qualifier kernel's value of every source pixel, in row order.
// Rows already in the working format are read in place; others go through the scratch row. Where
// the pass renders rows with the vector path, the kernel's vector twin computes each row (the same
// values, bit for bit).
void ComputeMaskPlane(const FrameDesc& source, const QualifierBlock& qualifier, float* mask,
                      void* scratchRow) {
  const QualifierKernel kernel = SelectQualifierKernel(qualifier);
  const VectorQualifierKernel vectorKernel =
      VectorPathChosen() ? VectorQualifierFor(kernel, SelectedPath()) : nullptr;
  const bool inPlace = source.pixelFormat == kWorkingFormat;
  const std::size_t width = static_cast<std::size_t>(source.width);
  const auto* row = static_cast<const std::uint8_t*>(source.data);
  for (std::int32_t r = 0; r < source.height; ++r) {
    const std::uint8_t* pixels = row;
    if (!inPlace) {
      PM_Convert(row, 0, FW::BEToPMPixelFormat(FW::SDKToBEPixelFormat(source.pixelFormat)),
                 scratchRow, 0, kPixmillWorkingFormat, source.width, 1, 4);
      pixels = static_cast<const std::uint8_t*>(scratchRow);
    }
    float* out = mask + static_cast<std::size_t>(r) * width;
    if (vectorKernel != nullptr) {
      vectorKernel(reinterpret_cast<const float*>(pixels), source.width, out, &qualifier);
      row += source.rowBytes;
      continue;
    }
    for (std::size_t x = 0; x < width; ++x) {
      float p[4];
      std::memcpy(p, pixels + x * kWorkingPixelBytes, sizeof p);
      float y = p[2], u = p[1], v = p[0];
      out[x] = kernel(&y, &u, &v, &qualifier);
    }
    row += source.rowBytes;
  }
}

// peak = the largest count; when it is nonzero, every bin normalised by it.
void FinishHistogram(zkfx::LumaHistogram* histogram) {
  std::uint32_t peak = 0;
  for (std::uint32_t c : histogram->count) peak = c > peak ? c : peak;
  histogram->peak = peak;
  if (peak == 0) return;
  const float r = 1.0f / static_cast<float>(peak);
  for (int i = 0; i < 256; ++i) histogram->normalized[i] = static_cast<float>(histogram->count[i]) * r;
}

}  // namespace

void ColorCorrectorThreeWayFilterRenderer::Render(const FrameDesc* source,
                                                  const FrameDesc* destination,
                                                  zkfx::LumaHistogram* histogram) {
  if (histogram != nullptr) std::memset(histogram->count, 0, sizeof histogram->count);
  ComputeDerivedValues(settings);

  const std::int32_t width = source->width > 0 ? source->width : 0;
  const std::int32_t height = source->height > 0 ? source->height : 0;

  TransientBlock scratchBlock;
  void* scratchRow;
  THREEWAY_SCRATCH(scratchRow, scratchBlock, static_cast<std::size_t>(width) * kWorkingPixelBytes);

  // The mask is computed ahead, over the whole frame, only when it is to be softened. If either
  // plane (or a needed scratch row) cannot be had, the pass computes the mask per pixel instead.
  const bool maskFlag = qualifier.soften > 0.0f;
  Plane mask;
  if (maskFlag && width > 0 && height > 0 &&
      (source->pixelFormat == kWorkingFormat || scratchRow != nullptr)) {
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    mask = AllocatePlane(pixels);
    Plane temporary = AllocatePlane(pixels);
    if (mask == nullptr || temporary == nullptr) {
      mask.reset();
    } else {
      FrameDesc region = *source;
      region.width = width;
      region.height = height;
      ComputeMaskPlane(region, qualifier, mask.get(), scratchRow);
      const std::int32_t planeRowBytes = width * 4;
      SoftenMask(mask.get(), planeRowBytes, temporary.get(), planeRowBytes, width, height, qualifier.blurX,
                 kSoftenAlongRows);
      SoftenMask(temporary.get(), planeRowBytes, mask.get(), planeRowBytes, width, height, qualifier.blurY,
                 kSoftenAlongColumns);
    }
  }

  PassRecord pass;
  BuildPassRecord(&pass, static_cast<std::uint32_t>(height), 0, width, source->data, source->rowBytes,
                  source->pixelFormat, destination->data, destination->rowBytes,
                  destination->pixelFormat, maskFlag, mask.get(), &qualifier, histogram, viewMode,
                  &settings);
  RunPass(&pass);

  mask.reset();
  scratchBlock.Release();
  if (histogram != nullptr) FinishHistogram(histogram);
}

}  // namespace threeway
