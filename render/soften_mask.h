// Softening of the secondary-qualification mask: a separable Gaussian blur by Deriche's
// second-order recursive filter, one direction per call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd/vector_switch.h"

namespace threeway {

// Direction flags of SoftenMask.
constexpr std::uint8_t kSoftenAlongRows = 1;
constexpr std::uint8_t kSoftenAlongColumns = 2;

// The recursive filter's coefficients for one blur size: a0, a1 feed the causal pass, a2, a3 the
// anticausal pass, b1, b2 are the shared feedback terms.
struct SoftenCoefficients {
  float a0;
  float a1;
  float a2;
  float a3;
  float b1;
  float b2;
};

// Coefficients for a blur size s > 0 (pixels). Worked in double precision from Deriche's constants
// (taken as their single-precision values), rounded to single at fixed steps, so that every build
// gets the same bits. Meaningless for s <= 0.
SoftenCoefficients ComputeSoftenCoefficients(double blurSize);

// Blurs every line of a width x height plane of floats in one direction (kSoftenAlongRows or
// kSoftenAlongColumns) from source into destination. Samples outside the plane count as 0, so a
// mask reaching the edge darkens there; nothing is renormalised. Row bytes are signed (negative
// rows walk upward in memory) and should be multiples of 4. Source and destination may be the same
// plane with the same row bytes; other overlaps are not supported.
//
// - width or height <= 0, or a null plane: nothing is touched.
// - blur size <= 0 (or NaN), or a size so large that the coefficients are not finite: the source is
//   copied to the destination unchanged.
// - The work buffer is 3 max(width, height) + 16 floats, and at least 32 width floats on a vector
//   path with a row pass over eight rows or more: on the stack up to 262,144 bytes, else a host
//   transient block. When the host cannot lend one, the source is copied unchanged, so the caller
//   gets an unsoftened mask rather than a damaged one.
// - direction values other than the two flags do nothing; both flags together filter along rows
//   and then along columns, the second pass working in place on the destination.
void SoftenMask(const float* source, std::int32_t sourceRowBytes, float* destination,
                std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height,
                double blurSize, std::uint8_t direction);

// SoftenMask on the path the caller names (the processor must have it): on a vector path, a pass
// between two different planes runs a whole set of lines at a time (sixteen on AVX-512, then eight
// on AVX2 for the lines the sixteens leave), the lines left over as above, with the same results
// bit for bit. SoftenMask takes the frame pass's path (SelectedPath).
void SoftenMaskOnPath(vector_switch::Path path, const float* source, std::int32_t sourceRowBytes,
                      float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                      std::int32_t height, double blurSize, std::uint8_t direction);

// The vector row passes: filter rows 0 .. height - height % lanes - 1 of `source` into
// `destination`, which must be a different plane, a set of rows at a time; return how many rows
// they filtered. `work` holds kSoftenRowsWorkFloatsPerColumn x width floats.
constexpr std::size_t kSoftenRowsWorkFloatsPerColumn = 32;
std::int32_t SoftenRowsAvx2(const SoftenCoefficients& c, const float* source, std::int32_t sourceRowBytes,
                            float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                            std::int32_t height, float* work);
std::int32_t SoftenRowsAvx512(const SoftenCoefficients& c, const float* source, std::int32_t sourceRowBytes,
                              float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                              std::int32_t height, float* work);

// The vector column passes: filter columns 0 .. width - width % lanes - 1 of `source` into
// `destination`, which must be a different plane, row by row across those columns; return how many
// columns they filtered. `work` holds 3 (width - width % lanes) floats.
std::int32_t SoftenColumnsAvx2(const SoftenCoefficients& c, const float* source, std::int32_t sourceRowBytes,
                               float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                               std::int32_t height, float* work);
std::int32_t SoftenColumnsAvx512(const SoftenCoefficients& c, const float* source, std::int32_t sourceRowBytes,
                                 float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                                 std::int32_t height, float* work);

}  // namespace threeway
