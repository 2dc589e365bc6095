#include "frei0r/pixels.h"

#include <immintrin.h>

#include <bit>

namespace threeway::frei0r {

static_assert(std::endian::native == std::endian::little,
              "the swap below reads byte 0 as bits 0..7 of the pixel word");

namespace {

// Eight pixels a step: one byte shuffle exchanges bytes 0 and 2 of every word.
__attribute__((target("avx2"))) std::size_t SwapRedBlueAvx2(const std::uint32_t* src, std::uint32_t* dst,
                                                            std::size_t count) {
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                         2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_shuffle_epi8(p, order));
  }
  return i;
}

// The same with streaming stores, which write the destination without reading it into the cache
// first: for a destination the swap fills and nobody has touched lately.
__attribute__((target("avx2"))) std::size_t SwapRedBlueStreamAvx2(const std::uint32_t* src, std::uint32_t* dst,
                                                                  std::size_t count) {
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                         2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  std::size_t i = 0;
  for (; i < count && reinterpret_cast<std::uintptr_t>(dst + i) % 32 != 0; ++i) {
    const std::uint32_t p = src[i];
    dst[i] = (p & 0xFF00FF00u) | ((p >> 16) & 0x000000FFu) | ((p & 0x000000FFu) << 16);
  }
  for (; i + 8 <= count; i += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_shuffle_epi8(p, order));
  }
  _mm_sfence();
  return i;
}

}  // namespace

void SwapRedBlueStreaming(const std::uint32_t* src, std::uint32_t* dst, std::size_t count) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  const std::size_t done = avx2 && src != dst ? SwapRedBlueStreamAvx2(src, dst, count) : 0;
  SwapRedBlue(src + done, dst + done, count - done);
}

void SwapRedBlue(const std::uint32_t* src, std::uint32_t* dst, std::size_t count) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  const std::size_t done = avx2 ? SwapRedBlueAvx2(src, dst, count) : 0;
  // On a little-endian word byte 0 is bits 0..7 and byte 2 bits 16..23; green and alpha stay.
  for (std::size_t i = done; i < count; ++i) {
    const std::uint32_t p = src[i];
    dst[i] = (p & 0xFF00FF00u) | ((p >> 16) & 0x000000FFu) | ((p & 0x000000FFu) << 16);
  }
}

}  // namespace threeway::frei0r
