// The column pass of mask softening, eight columns at a time. Each lane runs one column's causal
// and anticausal recurrences with the scalar filter's operations in the scalar order (single
// precision, no fused multiply-adds), so every sample equals the scalar result bit for bit under
// any floating-point state the caller has set.
//
// The scalar pass gathers a column into the work buffer because a column is strided in memory;
// eight adjacent columns are one 32-byte load per row, so this pass reads the source plane where
// it lies: the causal outputs go straight into the destination, and the anticausal pass, walking
// back up, reads the untouched source again and adds its outputs to them. That needs a destination
// that is not the source, which the caller checks.
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

}  // namespace

__attribute__((target("avx2"))) std::int32_t SoftenColumnsAvx2(const SoftenCoefficients& c, const float* source,
                                                               std::int32_t sourceRowBytes, float* destination,
                                                               std::int32_t destinationRowBytes, std::int32_t width,
                                                               std::int32_t height) {
  const __m256 a0 = _mm256_set1_ps(c.a0), a1 = _mm256_set1_ps(c.a1), a2 = _mm256_set1_ps(c.a2);
  const __m256 a3 = _mm256_set1_ps(c.a3), b1 = _mm256_set1_ps(c.b1), b2 = _mm256_set1_ps(c.b2);
  const std::int32_t done = width - width % 8;
  for (std::ptrdiff_t col = 0; col < done; col += 8) {
    // y[i] = a0 x[i] + a1 x[i-1] - b1 y[i-1] - b2 y[i-2], with x[-1] = y[-1] = y[-2] = 0.
    __m256 x1 = _mm256_setzero_ps(), y1 = _mm256_setzero_ps(), y2 = _mm256_setzero_ps();
    for (std::ptrdiff_t i = 0; i < height; ++i) {
      const __m256 x = _mm256_loadu_ps(At(source, sourceRowBytes, i, col));
      const __m256 y = _mm256_sub_ps(
          _mm256_sub_ps(_mm256_add_ps(_mm256_mul_ps(a0, x), _mm256_mul_ps(a1, x1)), _mm256_mul_ps(b1, y1)),
          _mm256_mul_ps(b2, y2));
      _mm256_storeu_ps(At(destination, destinationRowBytes, i, col), y);
      x1 = x;
      y2 = y1;
      y1 = y;
    }
    // z[j] = a2 x[j+1] + a3 x[j+2] - b1 z[j+1] - b2 z[j+2], with x and z 0 past the end; the
    // output is y[j] + z[j].
    __m256 xp1 = _mm256_setzero_ps(), xp2 = _mm256_setzero_ps();
    __m256 z1 = _mm256_setzero_ps(), z2 = _mm256_setzero_ps();
    for (std::ptrdiff_t j = height - 1; j >= 0; --j) {
      const __m256 z = _mm256_sub_ps(
          _mm256_sub_ps(_mm256_add_ps(_mm256_mul_ps(a2, xp1), _mm256_mul_ps(a3, xp2)), _mm256_mul_ps(b1, z1)),
          _mm256_mul_ps(b2, z2));
      float* out = At(destination, destinationRowBytes, j, col);
      _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), z));
      xp2 = xp1;
      xp1 = _mm256_loadu_ps(At(source, sourceRowBytes, j, col));
      z2 = z1;
      z1 = z;
    }
  }
  return done;
}

}  // namespace threeway

#undef THREEWAY_SOFTEN_AVX2
