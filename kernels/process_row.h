// The per-pixel step of the frame pass over one whole row: a scalar path that calls ProcessPixel
// for every pixel in order (the reference), and vector paths that process eight (AVX2) or sixteen
// (AVX-512) pixels at a time with results identical bit for bit to the scalar path, including the
// histogram counts and the dither generator's state. Both vector paths are one routine over a lane
// type (process_row_vector.h).
//
// The vector paths cover every view (video, luma, mask, tonal range), the dither (a draw per lane
// from one leap of the generator), the histogram (a bin per lane, counted in one table per lane)
// and the qualifier through the vector twin of the pass's kernel on the same path
// (VectorQualifierFor), which computes the masks of up to 256 pixels ahead. Kept scalar: a
// qualifier kernel without a vector twin (called per pixel), the hue's arc tangent when the vector
// one does not equal the platform's atan2f (VectorArcTangentExact; then atan2f per lane) and the
// last pixels of a row that do not fill the lanes (width % 8, width % 16).
#pragma once

#include <cstdint>

#include "entry/host_interface.h"
#include "kernels/correct_pixel.h"
#include "kernels/qualifier_kernel.h"
#include "simd/vector_switch.h"
#include "render/renderer_settings.h"

namespace threeway {

// The luma counts of the vector rows, in one table per lane (lane i of a set counts into table
// i % 16), so that neighbouring pixels, which mostly share a bin, do not wait on each other's
// increment. A pass keeps one set of tables for all its rows, zeroed before the first and added
// into the histogram after the last (AddRowBins): clearing and adding 16 KB at every row cost the
// rows 5-10 % of their time. Counts wrap modulo 2^32 either way, so the sum equals counting in the
// histogram directly.
struct RowBins {
  static constexpr std::int32_t kTables = 16;
  alignas(64) std::uint32_t table[kTables][256];
};

// Adds every table's counts into the histogram's.
void AddRowBins(const RowBins& bins, zkfx::LumaHistogram* histogram);

// What every row of one pass shares. The pointers are borrowed for the duration of the pass.
struct RowContext {
  std::int32_t width;
  std::uint32_t firstRow;       // index, in the mask plane, of the pass's first row
  bool useMask;                 // the mask plane supplies the mask value (then it is not null)
  const float* maskPlane;
  QualifierKernel kernel;       // used when useMask is false
  const QualifierBlock* qualifier;
  std::int32_t viewMode;
  std::uint32_t sourceFormat;
  const RendererSettings* settings;
  const PassConstants* constants;
  zkfx::LumaHistogram* histogram;  // may be null
  // Where the vector rows count the histogram, the pass adding them into it after its last row;
  // null: each row counts into tables of its own and adds them into the histogram at its end.
  RowBins* bins = nullptr;
};

// Processes the width working-format pixels at `in` into `out` for pass row k. `in` and `out` need
// no alignment; they may be the same row, but must not otherwise overlap.
using RowProcessor = void (*)(const RowContext& c, std::uint32_t k, const void* in, void* out);

// ProcessPixel for every pixel of the row, in order.
void ProcessRowScalar(const RowContext& c, std::uint32_t k, const void* in, void* out);

// The same result eight pixels at a time (sixteen, as two independent sets, where the row allows). Must only be called when the processor supports AVX2
// (VectorRowPathAvailable()).
void ProcessRowAvx2(const RowContext& c, std::uint32_t k, const void* in, void* out);

// The same result sixteen pixels at a time (thirty-two, as two sets, where the row allows). Must only be called when the processor supports the
// AVX-512 level (Avx512RowPathAvailable()).
void ProcessRowAvx512(const RowContext& c, std::uint32_t k, const void* in, void* out);

// True when the processor supports AVX2.
bool VectorRowPathAvailable();

// True when the processor supports AVX512F, BW, DQ and VL.
bool Avx512RowPathAvailable();

// The row processor of a path; a path the processor lacks is never asked for (PathFor).
RowProcessor RowProcessorOf(vector_switch::Path path);

// The path of the environment's switch (simd/vector_switch.h) on this processor, read once per
// process.
vector_switch::Path SelectedPath();

// The row processor for a pass: RowProcessorOf(SelectedPath()).
RowProcessor SelectRowProcessor();

// True when the frame pass renders on a vector path: the stages with vector twins of their own
// (the qualifier's mask plane, the softening's passes) follow it. The softening has an AVX2 path
// only, which it takes on either vector path.
inline bool VectorPathChosen() { return SelectedPath() != vector_switch::Path::kScalar; }

}  // namespace threeway
