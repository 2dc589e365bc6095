// The passes of mask softening, eight lines at a time. Each lane runs one line's causal and
// anticausal recurrences with the scalar filter's operations in the scalar order (single precision,
// no fused multiply-adds), so every sample equals the scalar result bit for bit under any
// floating-point state the caller has set.
//
// The scalar filter copies each line into the work buffer, filters it there and copies the sum
// out. The column pass reads the lines where they lie and sweeps whole rows: every column's
// recurrence advances one row at a time, so the plane is read and written in memory order (a sweep
// down a narrow band of columns touched a new page at every row) and the rows above or below that
// a step needs are still in the cache; the causal outputs go straight into the destination and
// the anticausal pass, walking back up, adds its outputs to them. That needs a destination that is
// not the source, which the caller checks. The row pass turns bands of eight rows into the work
// buffer in tiles of 8 x 8 samples, so that a vector holds one position of the eight rows, and
// runs the recurrences of two bands side by side there.
#include "render/soften_mask.h"

#include <immintrin.h>

#include <cstddef>

namespace threeway {

namespace {

#define THREEWAY_SOFTEN_AVX2 __attribute__((target("avx2"), always_inline)) inline

THREEWAY_SOFTEN_AVX2 const float* At(const float* plane, std::int32_t rowBytes, std::ptrdiff_t row,
                                     std::ptrdiff_t column) {
  return reinterpret_cast<const float*>(reinterpret_cast<const unsigned char*>(plane) +
                                        row * static_cast<std::ptrdiff_t>(rowBytes)) +
         column;
}

THREEWAY_SOFTEN_AVX2 float* At(float* plane, std::int32_t rowBytes, std::ptrdiff_t row, std::ptrdiff_t column) {
  return reinterpret_cast<float*>(reinterpret_cast<unsigned char*>(plane) + row * static_cast<std::ptrdiff_t>(rowBytes)) +
         column;
}

// The recurrences' state for eight lines, advanced one position at a time.
struct Causal {
  __m256 x1, y1, y2;  // x[i-1], y[i-1], y[i-2]
};
struct Anticausal {
  __m256 x1, x2, z1, z2;  // x[j+1], x[j+2], z[j+1], z[j+2]
};

struct Coefficients8 {
  __m256 a0, a1, a2, a3, b1, b2;
};

// y[i] = a0 x[i] + a1 x[i-1] - b1 y[i-1] - b2 y[i-2], with x[-1] = y[-1] = y[-2] = 0.
THREEWAY_SOFTEN_AVX2 __m256 CausalStep(const Coefficients8& c, Causal& s, __m256 x) {
  const __m256 y = _mm256_sub_ps(
      _mm256_sub_ps(_mm256_add_ps(_mm256_mul_ps(c.a0, x), _mm256_mul_ps(c.a1, s.x1)), _mm256_mul_ps(c.b1, s.y1)),
      _mm256_mul_ps(c.b2, s.y2));
  s.x1 = x;
  s.y2 = s.y1;
  s.y1 = y;
  return y;
}

// z[j] = a2 x[j+1] + a3 x[j+2] - b1 z[j+1] - b2 z[j+2], with x and z 0 past the end; then the
// state moves to j - 1 with x[j].
THREEWAY_SOFTEN_AVX2 __m256 AnticausalStep(const Coefficients8& c, Anticausal& s, __m256 x) {
  const __m256 z = _mm256_sub_ps(
      _mm256_sub_ps(_mm256_add_ps(_mm256_mul_ps(c.a2, s.x1), _mm256_mul_ps(c.a3, s.x2)), _mm256_mul_ps(c.b1, s.z1)),
      _mm256_mul_ps(c.b2, s.z2));
  s.x2 = s.x1;
  s.x1 = x;
  s.z2 = s.z1;
  s.z1 = z;
  return z;
}

THREEWAY_SOFTEN_AVX2 Coefficients8 Broadcast(const SoftenCoefficients& c) {
  return {_mm256_set1_ps(c.a0), _mm256_set1_ps(c.a1), _mm256_set1_ps(c.a2),
          _mm256_set1_ps(c.a3), _mm256_set1_ps(c.b1), _mm256_set1_ps(c.b2)};
}

// Turns an 8 x 8 tile: afterwards t[i] lane k holds what t[k] lane i held.
THREEWAY_SOFTEN_AVX2 void Transpose8(__m256 (&t)[8]) {
  const __m256 u0 = _mm256_unpacklo_ps(t[0], t[1]), u1 = _mm256_unpackhi_ps(t[0], t[1]);
  const __m256 u2 = _mm256_unpacklo_ps(t[2], t[3]), u3 = _mm256_unpackhi_ps(t[2], t[3]);
  const __m256 u4 = _mm256_unpacklo_ps(t[4], t[5]), u5 = _mm256_unpackhi_ps(t[4], t[5]);
  const __m256 u6 = _mm256_unpacklo_ps(t[6], t[7]), u7 = _mm256_unpackhi_ps(t[6], t[7]);
  const __m256 v0 = _mm256_shuffle_ps(u0, u2, 0x44), v1 = _mm256_shuffle_ps(u0, u2, 0xEE);
  const __m256 v2 = _mm256_shuffle_ps(u1, u3, 0x44), v3 = _mm256_shuffle_ps(u1, u3, 0xEE);
  const __m256 v4 = _mm256_shuffle_ps(u4, u6, 0x44), v5 = _mm256_shuffle_ps(u4, u6, 0xEE);
  const __m256 v6 = _mm256_shuffle_ps(u5, u7, 0x44), v7 = _mm256_shuffle_ps(u5, u7, 0xEE);
  t[0] = _mm256_permute2f128_ps(v0, v4, 0x20);
  t[1] = _mm256_permute2f128_ps(v1, v5, 0x20);
  t[2] = _mm256_permute2f128_ps(v2, v6, 0x20);
  t[3] = _mm256_permute2f128_ps(v3, v7, 0x20);
  t[4] = _mm256_permute2f128_ps(v0, v4, 0x31);
  t[5] = _mm256_permute2f128_ps(v1, v5, 0x31);
  t[6] = _mm256_permute2f128_ps(v2, v6, 0x31);
  t[7] = _mm256_permute2f128_ps(v3, v7, 0x31);
}

// Position p of eight rows as one vector, and back.
THREEWAY_SOFTEN_AVX2 __m256 Gather(const float* const (&rows)[8], std::ptrdiff_t p) {
  return _mm256_setr_ps(rows[0][p], rows[1][p], rows[2][p], rows[3][p], rows[4][p], rows[5][p], rows[6][p],
                        rows[7][p]);
}
THREEWAY_SOFTEN_AVX2 void Scatter(float* const (&rows)[8], std::ptrdiff_t p, __m256 v) {
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, v);
  for (int k = 0; k < 8; ++k) rows[k][p] = lanes[k];
}

}  // namespace

namespace {

// A band of eight rows turned into `t`: position p of the eight rows is the vector at t + 8p.
THREEWAY_SOFTEN_AVX2 void TurnBandIn(const float* const (&rows)[8], std::ptrdiff_t width, float* t) {
  const std::ptrdiff_t tiled = width - width % 8;
  __m256 v[8];
  for (std::ptrdiff_t p = 0; p < tiled; p += 8) {
    for (int k = 0; k < 8; ++k) v[k] = _mm256_loadu_ps(rows[k] + p);
    Transpose8(v);
    for (int q = 0; q < 8; ++q) _mm256_storeu_ps(t + 8 * (p + q), v[q]);
  }
  for (std::ptrdiff_t p = tiled; p < width; ++p) _mm256_storeu_ps(t + 8 * p, Gather(rows, p));
}

// The inverse of TurnBandIn.
THREEWAY_SOFTEN_AVX2 void TurnBandOut(const float* t, std::ptrdiff_t width, float* const (&rows)[8]) {
  const std::ptrdiff_t tiled = width - width % 8;
  __m256 v[8];
  for (std::ptrdiff_t p = 0; p < tiled; p += 8) {
    for (int q = 0; q < 8; ++q) v[q] = _mm256_loadu_ps(t + 8 * (p + q));
    Transpose8(v);
    for (int k = 0; k < 8; ++k) _mm256_storeu_ps(rows[k] + p, v[k]);
  }
  for (std::ptrdiff_t p = tiled; p < width; ++p) Scatter(rows, p, _mm256_loadu_ps(t + 8 * p));
}

// The row pass over kBands bands of eight rows from row `first`. Each band is turned into the work
// buffer (its samples, then its sums), so that the recurrences run down plain arrays of vectors,
// the bands' side by side: each step of one band waits on the one before it (a multiply and two
// subtractions), and the other bands' steps fill that wait.
template <int kBands>
THREEWAY_SOFTEN_AVX2 void SoftenRowBands(const Coefficients8& c, const float* source, std::int32_t sourceRowBytes,
                                         float* destination, std::int32_t destinationRowBytes,
                                         std::ptrdiff_t first, std::ptrdiff_t width, float* work) {
  const float* x[kBands];  // turned samples of each band
  float* y[kBands];        // turned causal outputs, then sums
  for (int b = 0; b < kBands; ++b) {
    x[b] = work + 16 * width * b;
    y[b] = work + 16 * width * b + 8 * width;
    const float* in[8];
    for (int k = 0; k < 8; ++k) in[k] = At(source, sourceRowBytes, first + 8 * b + k, 0);
    TurnBandIn(in, width, work + 16 * width * b);
  }
  Causal causal[kBands];
  for (Causal& s : causal) s = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
  for (std::ptrdiff_t p = 0; p < width; ++p) {
#pragma GCC unroll 2
    for (int b = 0; b < kBands; ++b) {
      _mm256_storeu_ps(y[b] + 8 * p, CausalStep(c, causal[b], _mm256_loadu_ps(x[b] + 8 * p)));
    }
  }
  Anticausal anticausal[kBands];
  for (Anticausal& s : anticausal) {
    s = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
  }
  for (std::ptrdiff_t p = width - 1; p >= 0; --p) {
#pragma GCC unroll 2
    for (int b = 0; b < kBands; ++b) {
      const __m256 z = AnticausalStep(c, anticausal[b], _mm256_loadu_ps(x[b] + 8 * p));
      _mm256_storeu_ps(y[b] + 8 * p, _mm256_add_ps(_mm256_loadu_ps(y[b] + 8 * p), z));
    }
  }
  for (int b = 0; b < kBands; ++b) {
    float* out[8];
    for (int k = 0; k < 8; ++k) out[k] = At(destination, destinationRowBytes, first + 8 * b + k, 0);
    TurnBandOut(y[b], width, out);
  }
}

}  // namespace

__attribute__((target("avx2"))) std::int32_t SoftenRowsAvx2(const SoftenCoefficients& coefficients,
                                                            const float* source, std::int32_t sourceRowBytes,
                                                            float* destination, std::int32_t destinationRowBytes,
                                                            std::int32_t width, std::int32_t height, float* work) {
  const Coefficients8 c = Broadcast(coefficients);
  const std::int32_t done = height - height % 8;
  std::ptrdiff_t first = 0;
  for (; first + 16 <= done; first += 16) {
    SoftenRowBands<2>(c, source, sourceRowBytes, destination, destinationRowBytes, first, width, work);
  }
  for (; first < done; first += 8) {
    SoftenRowBands<1>(c, source, sourceRowBytes, destination, destinationRowBytes, first, width, work);
  }
  return done;
}

__attribute__((target("avx2"))) std::int32_t SoftenColumnsAvx2(const SoftenCoefficients& coefficients,
                                                               const float* source, std::int32_t sourceRowBytes,
                                                               float* destination, std::int32_t destinationRowBytes,
                                                               std::int32_t width, std::int32_t height, float* work) {
  const Coefficients8 c = Broadcast(coefficients);
  const std::int32_t done = width - width % 8;
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
    for (std::ptrdiff_t col = 0; col < done; col += 8) {
      Causal state{_mm256_loadu_ps(x1 + col), _mm256_loadu_ps(y1 + col), _mm256_loadu_ps(y2 + col)};
      _mm256_storeu_ps(y + col, CausalStep(c, state, _mm256_loadu_ps(x + col)));
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
    for (std::ptrdiff_t col = 0; col < done; col += 8) {
      Anticausal state{_mm256_loadu_ps(x1 + col), _mm256_loadu_ps(x2 + col), _mm256_loadu_ps(z1 + col),
                       _mm256_loadu_ps(z2 + col)};
      const __m256 z = AnticausalStep(c, state, _mm256_setzero_ps());
      _mm256_storeu_ps(z2 + col, z);
      _mm256_storeu_ps(out + col, _mm256_add_ps(_mm256_loadu_ps(out + col), z));
    }
  }
  return done;
}

}  // namespace threeway

#undef THREEWAY_SOFTEN_AVX2
