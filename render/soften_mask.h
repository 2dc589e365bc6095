// Softening of the secondary-qualification mask: a separable Gaussian blur by Deriche's
// second-order recursive filter, one direction per call.
#pragma once

#include <cstddef>
#include <cstdint>

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
// - The work buffer is 3 max(width, height) + 16 floats, and at least 32 width floats on the vector
//   path with a row pass over eight rows or more: on the stack up to 262,144 bytes, else a host
//   transient block. When the host cannot lend one, the source is copied unchanged, so the caller
//   gets an unsoftened mask rather than a damaged one.
// - direction values other than the two flags do nothing; both flags together filter along rows
//   and then along columns, the second pass working in place on the destination.
void SoftenMask(const float* source, std::int32_t sourceRowBytes, float* destination,
                std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height,
                double blurSize, std::uint8_t direction);

// SoftenMask on the path the caller names: with `vector`, a pass between two different planes runs
// eight lines at a time (SoftenRowsAvx2, SoftenColumnsAvx2; the processor must have AVX2), the lines
// left over as above, with the same results bit for bit. SoftenMask takes the vector path exactly when the
// frame pass does (VectorPathChosen).
void SoftenMaskOnPath(bool vector, const float* source, std::int32_t sourceRowBytes, float* destination,
                      std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height,
                      double blurSize, std::uint8_t direction);

// The AVX2 row pass: filters rows 0 .. height - height % 8 - 1 of `source` into `destination`,
// which must be a different plane, eight rows at a time; returns how many rows it filtered.
// `work` holds kSoftenRowsWorkFloatsPerColumn x width floats.
constexpr std::size_t kSoftenRowsWorkFloatsPerColumn = 32;
std::int32_t SoftenRowsAvx2(const SoftenCoefficients& c, const float* source, std::int32_t sourceRowBytes,
                            float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                            std::int32_t height, float* work);

// The AVX2 column pass: filters columns 0 .. width - width % 8 - 1 of `source` into `destination`,
// which must be a different plane, row by row across those columns; returns how many columns it
// filtered. `work` holds 3 (width - width % 8) floats.
std::int32_t SoftenColumnsAvx2(const SoftenCoefficients& c, const float* source, std::int32_t sourceRowBytes,
                               float* destination, std::int32_t destinationRowBytes, std::int32_t width,
                               std::int32_t height, float* work);

}  // namespace threeway
