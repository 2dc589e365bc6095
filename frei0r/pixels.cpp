#include "frei0r/pixels.h"

#include <immintrin.h>
#include <link.h>

#include <bit>
#include <cstring>

namespace threeway::frei0r {

static_assert(std::endian::native == std::endian::little,
              "the swap below reads byte 0 as bits 0..7 of the pixel word");

namespace {

// On a little-endian word byte 0 is bits 0..7 and byte 2 bits 16..23; green and alpha stay.
constexpr std::uint32_t SwapWord(std::uint32_t p) {
  return (p & 0xFF00FF00u) | ((p >> 16) & 0x000000FFu) | ((p & 0x000000FFu) << 16);
}

// Eight pixels a step: one byte shuffle exchanges bytes 0 and 2 of every word. Streaming stores
// write the destination without reading it into the cache first (for a destination the swap fills
// and nothing has read lately); they need 32-byte alignment, so the words before the first such
// boundary go one at a time. Returns how many pixels were swapped.
template <bool kStream>
__attribute__((target("avx2"))) std::size_t SwapRedBlueAvx2(const std::uint32_t* src, std::uint32_t* dst,
                                                            std::size_t count) {
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                         2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  std::size_t i = 0;
  if constexpr (kStream) {
    for (; i < count && reinterpret_cast<std::uintptr_t>(dst + i) % 32 != 0; ++i) dst[i] = SwapWord(src[i]);
  }
  for (; i + 8 <= count; i += 8) {
    const __m256i p = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), order);
    if constexpr (kStream) {
      _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), p);
    } else {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), p);
    }
  }
  if constexpr (kStream) _mm_sfence();  // the streamed pixels visible before the frame is handed on
  return i;
}

bool HasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

}  // namespace

void SwapRedBlue(const std::uint32_t* src, std::uint32_t* dst, std::size_t count) {
  const std::size_t done = HasAvx2() ? SwapRedBlueAvx2<false>(src, dst, count) : 0;
  for (std::size_t i = done; i < count; ++i) dst[i] = SwapWord(src[i]);
}

void SwapRedBlueStreaming(const std::uint32_t* src, std::uint32_t* dst, std::size_t count) {
  const std::size_t done = HasAvx2() && src != dst ? SwapRedBlueAvx2<true>(src, dst, count) : 0;
  SwapRedBlue(src + done, dst + done, count - done);
}

FrameLayout ChooseFrameLayout(const char* setting, bool mltInProcess, std::string& complaint) {
  complaint.clear();
  if (setting != nullptr && *setting != '\0') {
    if (std::strcmp(setting, "rgba") == 0) return FrameLayout::kRgba;
    if (std::strcmp(setting, "bgra") == 0) return FrameLayout::kBgra;
    complaint = std::string("THREEWAY_FREI0R_LAYOUT=") + setting + " is neither rgba nor bgra; ignored";
  }
  return mltInProcess ? FrameLayout::kRgba : FrameLayout::kBgra;
}

bool MltInProcess() {
  // Every object the loader has mapped, whatever scope it was loaded in: a library named libmlt
  // followed by '-' or '.' (libmlt++ is not enough on its own, but always brings libmlt along).
  const auto visit = [](dl_phdr_info* info, std::size_t, void*) -> int {
    const char* name = info->dlpi_name;
    if (name == nullptr) return 0;
    const char* slash = std::strrchr(name, '/');
    const char* base = slash != nullptr ? slash + 1 : name;
    return std::strncmp(base, "libmlt", 6) == 0 && (base[6] == '-' || base[6] == '.') ? 1 : 0;
  };
  return ::dl_iterate_phdr(visit, nullptr) != 0;
}

}  // namespace threeway::frei0r
