// The passes of mask softening written once over a lane type, a whole set of lines at a time (eight
// in soften_mask_avx2.cpp, sixteen in soften_mask_avx512.cpp). Each lane runs one line's causal and
// anticausal recurrences with the scalar filter's operations in the scalar order (single precision,
// no fused multiply-adds), so every sample equals the scalar result bit for bit under any
// floating-point state the caller has set. A file includes this with THREEWAY_LANES_TARGET defined,
// the target string of its lanes, and gets its own copy compiled for that instruction set.
//
// The scalar filter copies each line into the work buffer, filters it there and copies the sum
// out. The column pass reads the lines where they lie and sweeps whole rows: every column's
// recurrence advances one row at a time, so the plane is read and written in memory order (a sweep
// down a narrow band of columns touched a new page at every row) and the rows above or below that
// a step needs are still in the cache; the causal outputs go straight into the destination and
// the anticausal pass, walking back up, adds its outputs to them. That needs a destination that is
// not the source, which the caller checks. The row pass turns bands of rows (as many as lanes) into
// the work buffer in square tiles, so that a vector holds one position of the band's rows, and
// runs the recurrences of sixteen rows side by side there (two bands of eight, one of sixteen).
#pragma once

#ifndef THREEWAY_LANES_TARGET
#error "define THREEWAY_LANES_TARGET before including render/soften_mask_lanes.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/soften_mask.h"

#define THREEWAY_SOFTEN_INLINE __attribute__((target(THREEWAY_LANES_TARGET), always_inline)) inline

namespace threeway {
namespace {

THREEWAY_SOFTEN_INLINE const float* At(const float* plane, std::int32_t rowBytes, std::ptrdiff_t row,
                                       std::ptrdiff_t column) {
  return reinterpret_cast<const float*>(reinterpret_cast<const unsigned char*>(plane) +
                                        row * static_cast<std::ptrdiff_t>(rowBytes)) +
         column;
}

THREEWAY_SOFTEN_INLINE float* At(float* plane, std::int32_t rowBytes, std::ptrdiff_t row, std::ptrdiff_t column) {
  return reinterpret_cast<float*>(reinterpret_cast<unsigned char*>(plane) + row * static_cast<std::ptrdiff_t>(rowBytes)) +
         column;
}

// The recurrences' state for a set of lines, advanced one position at a time.
template <class L>
struct Causal {
  typename L::F x1, y1, y2;  // x[i-1], y[i-1], y[i-2]
};
template <class L>
struct Anticausal {
  typename L::F x1, x2, z1, z2;  // x[j+1], x[j+2], z[j+1], z[j+2]
};

template <class L>
struct CoefficientLanes {
  typename L::F a0, a1, a2, a3, b1, b2;
};

// y[i] = a0 x[i] + a1 x[i-1] - b1 y[i-1] - b2 y[i-2], with x[-1] = y[-1] = y[-2] = 0.
template <class L>
THREEWAY_SOFTEN_INLINE typename L::F CausalStep(const CoefficientLanes<L>& c, Causal<L>& s, typename L::F x) {
  const auto y = L::Sub(L::Sub(L::Add(L::Mul(c.a0, x), L::Mul(c.a1, s.x1)), L::Mul(c.b1, s.y1)), L::Mul(c.b2, s.y2));
  s.x1 = x;
  s.y2 = s.y1;
  s.y1 = y;
  return y;
}

// z[j] = a2 x[j+1] + a3 x[j+2] - b1 z[j+1] - b2 z[j+2], with x and z 0 past the end; then the
// state moves to j - 1 with x[j].
template <class L>
THREEWAY_SOFTEN_INLINE typename L::F AnticausalStep(const CoefficientLanes<L>& c, Anticausal<L>& s,
                                                    typename L::F x) {
  const auto z =
      L::Sub(L::Sub(L::Add(L::Mul(c.a2, s.x1), L::Mul(c.a3, s.x2)), L::Mul(c.b1, s.z1)), L::Mul(c.b2, s.z2));
  s.x2 = s.x1;
  s.x1 = x;
  s.z2 = s.z1;
  s.z1 = z;
  return z;
}

template <class L>
THREEWAY_SOFTEN_INLINE CoefficientLanes<L> Broadcast(const SoftenCoefficients& c) {
  return {L::Set(c.a0), L::Set(c.a1), L::Set(c.a2), L::Set(c.a3), L::Set(c.b1), L::Set(c.b2)};
}

// A band of rows turned into `t`: position p of the band's rows is the vector at t + kCount p. The
// positions after the last whole tile go through a tile on the stack holding what is left of each
// row.
template <class L>
THREEWAY_SOFTEN_INLINE void TurnBandIn(const float* const (&rows)[L::kCount], std::ptrdiff_t width, float* t) {
  constexpr int n = L::kCount;
  const std::ptrdiff_t tiled = width - width % n;
  typename L::F v[n];
  for (std::ptrdiff_t p = 0; p < tiled; p += n) {
    for (int k = 0; k < n; ++k) v[k] = L::Load(rows[k] + p);
    L::Transpose(v);
    for (int q = 0; q < n; ++q) L::Store(t + n * (p + q), v[q]);
  }
  const std::ptrdiff_t left = width - tiled;
  if (left == 0) return;
  alignas(64) float tile[n][n] = {};
  for (int k = 0; k < n; ++k) std::memcpy(tile[k], rows[k] + tiled, static_cast<std::size_t>(left) * sizeof(float));
  for (int k = 0; k < n; ++k) v[k] = L::Load(tile[k]);
  L::Transpose(v);
  for (std::ptrdiff_t q = 0; q < left; ++q) L::Store(t + n * (tiled + q), v[q]);
}

// The inverse of TurnBandIn.
template <class L>
THREEWAY_SOFTEN_INLINE void TurnBandOut(const float* t, std::ptrdiff_t width, float* const (&rows)[L::kCount]) {
  constexpr int n = L::kCount;
  const std::ptrdiff_t tiled = width - width % n;
  typename L::F v[n];
  for (std::ptrdiff_t p = 0; p < tiled; p += n) {
    for (int q = 0; q < n; ++q) v[q] = L::Load(t + n * (p + q));
    L::Transpose(v);
    for (int k = 0; k < n; ++k) L::Store(rows[k] + p, v[k]);
  }
  const std::ptrdiff_t left = width - tiled;
  if (left == 0) return;
  for (int q = 0; q < n; ++q) v[q] = q < left ? L::Load(t + n * (tiled + q)) : L::Zero();
  L::Transpose(v);
  alignas(64) float tile[n][n];
  for (int k = 0; k < n; ++k) L::Store(tile[k], v[k]);
  for (int k = 0; k < n; ++k) std::memcpy(rows[k] + tiled, tile[k], static_cast<std::size_t>(left) * sizeof(float));
}

// The rows of a band from row `first`.
template <class L, class Plane>
THREEWAY_SOFTEN_INLINE void BandRows(Plane* plane, std::int32_t rowBytes, std::ptrdiff_t first,
                                     Plane* (&rows)[L::kCount]) {
  for (int k = 0; k < L::kCount; ++k) rows[k] = At(plane, rowBytes, first + k, 0);
}

// The row pass over kBands bands of rows from row `first`. Each band is turned into the work
// buffer (its samples, then its sums), so that the recurrences run down plain arrays of vectors,
// the bands' side by side: each step of one band waits on the one before it (a multiply and two
// subtractions), and the other bands' steps fill that wait.
template <class L, int kBands>
THREEWAY_SOFTEN_INLINE void SoftenRowBands(const CoefficientLanes<L>& c, const float* source,
                                           std::int32_t sourceRowBytes, float* destination,
                                           std::int32_t destinationRowBytes, std::ptrdiff_t first,
                                           std::ptrdiff_t width, float* work) {
  constexpr int n = L::kCount;
  const float* x[kBands];  // turned samples of each band
  float* y[kBands];        // turned causal outputs, then sums
  for (int b = 0; b < kBands; ++b) {
    x[b] = work + 2 * n * width * b;
    y[b] = work + 2 * n * width * b + n * width;
    const float* in[n];
    BandRows<L>(source, sourceRowBytes, first + n * b, in);
    TurnBandIn<L>(in, width, work + 2 * n * width * b);
  }
  Causal<L> causal[kBands];
  for (Causal<L>& s : causal) s = {L::Zero(), L::Zero(), L::Zero()};
  for (std::ptrdiff_t p = 0; p < width; ++p) {
#pragma GCC unroll 2
    for (int b = 0; b < kBands; ++b) L::Store(y[b] + n * p, CausalStep<L>(c, causal[b], L::Load(x[b] + n * p)));
  }
  Anticausal<L> anticausal[kBands];
  for (Anticausal<L>& s : anticausal) s = {L::Zero(), L::Zero(), L::Zero(), L::Zero()};
  for (std::ptrdiff_t p = width - 1; p >= 0; --p) {
#pragma GCC unroll 2
    for (int b = 0; b < kBands; ++b) {
      const auto z = AnticausalStep<L>(c, anticausal[b], L::Load(x[b] + n * p));
      L::Store(y[b] + n * p, L::Add(L::Load(y[b] + n * p), z));
    }
  }
  for (int b = 0; b < kBands; ++b) {
    float* out[n];
    BandRows<L>(destination, destinationRowBytes, first + n * b, out);
    TurnBandOut<L>(y[b], width, out);
  }
}

// Sixteen rows are in flight at a time: two bands of eight lanes or one of sixteen. The work
// buffer holds each band's samples and sums, 32 floats a column either way.
constexpr int kRowsInFlight = 16;
static_assert(2 * kRowsInFlight == kSoftenRowsWorkFloatsPerColumn);

template <class L>
__attribute__((target(THREEWAY_LANES_TARGET))) std::int32_t SoftenRowsLanes(
    const SoftenCoefficients& coefficients, const float* source, std::int32_t sourceRowBytes, float* destination,
    std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height, float* work) {
  const CoefficientLanes<L> c = Broadcast<L>(coefficients);
  const std::int32_t done = height - height % L::kCount;
  std::ptrdiff_t first = 0;
  for (; first + kRowsInFlight <= done; first += kRowsInFlight) {
    SoftenRowBands<L, kRowsInFlight / L::kCount>(c, source, sourceRowBytes, destination, destinationRowBytes, first,
                                                 width, work);
  }
  for (; first < done; first += L::kCount) {
    SoftenRowBands<L, 1>(c, source, sourceRowBytes, destination, destinationRowBytes, first, width, work);
  }
  return done;
}

template <class L>
__attribute__((target(THREEWAY_LANES_TARGET))) std::int32_t SoftenColumnsLanes(
    const SoftenCoefficients& coefficients, const float* source, std::int32_t sourceRowBytes, float* destination,
    std::int32_t destinationRowBytes, std::int32_t width, std::int32_t height, float* work) {
  constexpr int n = L::kCount;
  const CoefficientLanes<L> c = Broadcast<L>(coefficients);
  const std::int32_t done = width - width % n;
  // The work rows: zeros (the samples outside the plane and the recurrences' starting state), then
  // the anticausal outputs of the two rows below the current one, alternating.
  float* const zeros = work;
  float* const later[2] = {work + done, work + 2 * static_cast<std::ptrdiff_t>(done)};
  for (std::ptrdiff_t k = 0; k < 3 * static_cast<std::ptrdiff_t>(done); ++k) work[k] = 0.0f;

  // Causal, top to bottom: y[i] from x[i] and x[i-1] (this and the row above in the source) and
  // y[i-1], y[i-2] (the two rows above in the destination, just written).
  for (std::ptrdiff_t i = 0; i < height; ++i) {
    const float* x = At(source, sourceRowBytes, i, 0);
    const float* x1 = i >= 1 ? At(source, sourceRowBytes, i - 1, 0) : zeros;
    const float* y1 = i >= 1 ? At(destination, destinationRowBytes, i - 1, 0) : zeros;
    const float* y2 = i >= 2 ? At(destination, destinationRowBytes, i - 2, 0) : zeros;
    float* y = At(destination, destinationRowBytes, i, 0);
    for (std::ptrdiff_t col = 0; col < done; col += n) {
      Causal<L> state{L::Load(x1 + col), L::Load(y1 + col), L::Load(y2 + col)};
      L::Store(y + col, CausalStep<L>(c, state, L::Load(x + col)));
    }
  }
  // Anticausal, bottom to top: z[j] from x[j+1], x[j+2] (the source rows below) and z[j+1], z[j+2]
  // (kept in the work rows), added to y[j]. z[j] replaces z[j+2], which no later row needs.
  for (std::ptrdiff_t j = height - 1; j >= 0; --j) {
    const float* x1 = j + 1 < height ? At(source, sourceRowBytes, j + 1, 0) : zeros;
    const float* x2 = j + 2 < height ? At(source, sourceRowBytes, j + 2, 0) : zeros;
    const float* z1 = later[(j + 1) & 1];
    float* z2 = later[j & 1];
    float* out = At(destination, destinationRowBytes, j, 0);
    for (std::ptrdiff_t col = 0; col < done; col += n) {
      Anticausal<L> state{L::Load(x1 + col), L::Load(x2 + col), L::Load(z1 + col), L::Load(z2 + col)};
      const auto z = AnticausalStep<L>(c, state, L::Zero());
      L::Store(z2 + col, z);
      L::Store(out + col, L::Add(L::Load(out + col), z));
    }
  }
  return done;
}

}  // namespace
}  // namespace threeway
