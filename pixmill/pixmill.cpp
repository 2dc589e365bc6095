// Pixmill: row conversions between the host's pixel formats and the working format, and the
// transient memory blocks lent to renderers. The conventions are documented in pixmill/README.md.

#include "pixmill/pixmill.h"
#include "pixmill/row_coding.h"
#include "pixmill/vector_rows.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#else
#include <cfenv>
#endif

#include "pixmill/pixmill_debug.h"
#include "simd/vector_switch.h"

namespace {

using std::int32_t;
using std::int64_t;
using std::uint64_t;
using namespace pixmill;

// ---------------------------------------------------------------------------------------------
// A value already scaled to the code range -> the nearest code, halves rounding up, then clamped
// to 0..max. NaN gives 0. The rounding uses truncation and an exact fraction test, so it does not
// depend on the processor's rounding mode and has no library call.
template <typename T>
inline T ToCode(float v) {
  v = v > 0.0f ? v : 0.0f;  // also NaN -> 0
  v = v < Coding<T>::kMax ? v : Coding<T>::kMax;
  int32_t whole = static_cast<int32_t>(v);  // v >= 0: truncation is the floor
  whole += (v - static_cast<float>(whole)) >= 0.5f ? 1 : 0;  // v - whole is exact
  return static_cast<T>(whole);
}

inline void RgbToWorking(float r, float g, float b, float a, float* out) {
  const float y = g + kWeightR * (r - g) + kWeightB * (b - g);
  out[kV] = (r - y) / kRMinusYPerV;
  out[kU] = (b - y) / kBMinusYPerU;
  out[kY] = y;
  out[kA] = a;
}

// ---------------------------------------------------------------------------------------------
// Row converters. Each converts `width` pixels between one host format and the working format.
// They are chosen once per PM_Convert call; the pixel loops do not branch on the format.

using ToWorkingRow = void (*)(const void* src, float* dst, int32_t width);
using FromWorkingRow = void (*)(const float* src, void* dst, int32_t width);

#if defined(__SSE2__)
// Four pixels at a time for the conversions between integer RGB and the working format, which the
// auto-vectoriser leaves scalar (interleaved channels; the clamps and the rounding step are selects
// it does not if-convert). Every lane runs exactly the scalar operations in the same order, so the
// results are identical to the scalar loops'.

// ToCode on four lanes: maxps(v, 0) gives 0 for NaN like the scalar select does.
template <typename T>
inline __m128i ToCodes(__m128 v) {
  v = _mm_max_ps(v, _mm_setzero_ps());
  v = _mm_min_ps(v, _mm_set1_ps(Coding<T>::kMax));
  const __m128i whole = _mm_cvttps_epi32(v);
  const __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
  const __m128i roundUp = _mm_castps_si128(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f)));
  return _mm_sub_epi32(whole, roundUp);  // the mask is -1 where the fraction is at least 0.5
}

// Stores four pixels whose codes are given per channel in memory position order.
inline void StorePixels(const __m128i (&c)[4], std::uint8_t* out) {
  const __m128i packed = _mm_or_si128(_mm_or_si128(c[0], _mm_slli_epi32(c[1], 8)),
                                      _mm_or_si128(_mm_slli_epi32(c[2], 16), _mm_slli_epi32(c[3], 24)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
}
inline void StorePixels(const __m128i (&c)[4], std::uint16_t* out) {
  const __m128i low = _mm_or_si128(c[0], _mm_slli_epi32(c[1], 16));   // channels 0 and 1
  const __m128i high = _mm_or_si128(c[2], _mm_slli_epi32(c[3], 16));  // channels 2 and 3
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi32(low, high));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi32(low, high));
}

// Loads four pixels as one vector of codes per channel, in memory position order.
inline void LoadPixels(const std::uint8_t* in, __m128i (&c)[4]) {
  const __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i byte = _mm_set1_epi32(0xFF);
  for (int i = 0; i < 4; ++i) c[i] = _mm_and_si128(_mm_srli_epi32(packed, 8 * i), byte);
}
inline void LoadPixels(const std::uint16_t* in, __m128i (&c)[4]) {
  // 32-bit lanes: first holds channels 0|1 and 2|3 of pixels 0 and 1, second of pixels 2 and 3.
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
  const __m128i even = _mm_unpacklo_epi32(first, second);  // pixel 0 and 2: 0|1, 0|1, 2|3, 2|3
  const __m128i odd = _mm_unpackhi_epi32(first, second);   // pixel 1 and 3 likewise
  const __m128i low = _mm_unpacklo_epi32(even, odd);       // channels 0|1 of pixels 0, 1, 2, 3
  const __m128i high = _mm_unpackhi_epi32(even, odd);      // channels 2|3 of pixels 0, 1, 2, 3
  const __m128i word = _mm_set1_epi32(0xFFFF);
  c[0] = _mm_and_si128(low, word);
  c[1] = _mm_srli_epi32(low, 16);
  c[2] = _mm_and_si128(high, word);
  c[3] = _mm_srli_epi32(high, 16);
}

// Stores four working pixels given as one vector per channel: V, U, Y, A.
inline void StoreWorking(__m128 v, __m128 u, __m128 y, __m128 a, float* p) {
  _MM_TRANSPOSE4_PS(v, u, y, a);
  _mm_storeu_ps(p, v);
  _mm_storeu_ps(p + 4, u);
  _mm_storeu_ps(p + 8, y);
  _mm_storeu_ps(p + 12, a);
}

// Loads four working pixels as one vector per channel: V, U, Y, A.
inline void LoadWorking(const float* p, __m128& v, __m128& u, __m128& y, __m128& a) {
  v = _mm_loadu_ps(p);
  u = _mm_loadu_ps(p + 4);
  y = _mm_loadu_ps(p + 8);
  a = _mm_loadu_ps(p + 12);
  _MM_TRANSPOSE4_PS(v, u, y, a);
}
#endif

template <typename T, typename Order>
void RgbIntToWorking(const void* srcBytes, float* dst, int32_t width) {
  const T* src = static_cast<const T*>(srcBytes);
  constexpr float kMax = Coding<T>::kMax;
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128 max = _mm_set1_ps(kMax);
  for (; x + 4 <= width; x += 4) {
    __m128i codes[4];
    LoadPixels(src + 4 * static_cast<std::ptrdiff_t>(x), codes);
    const __m128 r = _mm_div_ps(_mm_cvtepi32_ps(codes[Order::kR]), max);
    const __m128 g = _mm_div_ps(_mm_cvtepi32_ps(codes[Order::kG]), max);
    const __m128 b = _mm_div_ps(_mm_cvtepi32_ps(codes[Order::kB]), max);
    const __m128 a = _mm_div_ps(_mm_cvtepi32_ps(codes[Order::kA]), max);
    const __m128 y = _mm_add_ps(_mm_add_ps(g, _mm_mul_ps(_mm_set1_ps(kWeightR), _mm_sub_ps(r, g))),
                                _mm_mul_ps(_mm_set1_ps(kWeightB), _mm_sub_ps(b, g)));
    StoreWorking(_mm_div_ps(_mm_sub_ps(r, y), _mm_set1_ps(kRMinusYPerV)),
                 _mm_div_ps(_mm_sub_ps(b, y), _mm_set1_ps(kBMinusYPerU)), y, a,
                 dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
#endif
  for (; x < width; ++x) {
    const T* p = src + 4 * static_cast<std::ptrdiff_t>(x);
    RgbToWorking(static_cast<float>(p[Order::kR]) / kMax, static_cast<float>(p[Order::kG]) / kMax,
                 static_cast<float>(p[Order::kB]) / kMax, static_cast<float>(p[Order::kA]) / kMax,
                 dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
}

template <typename Order>
void RgbFloatToWorking(const void* srcBytes, float* dst, int32_t width) {
  const float* src = static_cast<const float*>(srcBytes);
  for (int32_t x = 0; x < width; ++x) {
    const float* p = src + 4 * static_cast<std::ptrdiff_t>(x);
    RgbToWorking(p[Order::kR], p[Order::kG], p[Order::kB], p[Order::kA],
                 dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
}

template <typename T>
void VuyaIntToWorking(const void* srcBytes, float* dst, int32_t width) {
  using C = Coding<T>;
  const T* src = static_cast<const T*>(srcBytes);
  for (int32_t x = 0; x < width; ++x) {
    const T* p = src + 4 * static_cast<std::ptrdiff_t>(x);
    float* out = dst + 4 * static_cast<std::ptrdiff_t>(x);
    out[kV] = (static_cast<float>(p[kV]) - C::kChromaCentre) / C::kChromaSpan;
    out[kU] = (static_cast<float>(p[kU]) - C::kChromaCentre) / C::kChromaSpan;
    out[kY] = (static_cast<float>(p[kY]) - C::kBlack) / C::kLumaSpan;
    out[kA] = static_cast<float>(p[kA]) / C::kMax;
  }
}


template <typename T, typename Order>
void WorkingToRgbInt(const float* src, void* dstBytes, int32_t width) {
  T* dst = static_cast<T*>(dstBytes);
  constexpr float kMax = Coding<T>::kMax;
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128 max = _mm_set1_ps(kMax);
  for (; x + 4 <= width; x += 4) {
    __m128 v, u, y, a;
    LoadWorking(src + 4 * static_cast<std::ptrdiff_t>(x), v, u, y, a);
    const __m128 r = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(kRFromV), v));
    const __m128 g = _mm_sub_ps(_mm_sub_ps(y, _mm_mul_ps(_mm_set1_ps(kGFromU), u)),
                                _mm_mul_ps(_mm_set1_ps(kGFromV), v));
    const __m128 b = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(kBFromU), u));
    __m128i codes[4];
    codes[Order::kR] = ToCodes<T>(_mm_mul_ps(r, max));
    codes[Order::kG] = ToCodes<T>(_mm_mul_ps(g, max));
    codes[Order::kB] = ToCodes<T>(_mm_mul_ps(b, max));
    codes[Order::kA] = ToCodes<T>(_mm_mul_ps(a, max));
    StorePixels(codes, dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
#endif
  for (; x < width; ++x) {
    const float* p = src + 4 * static_cast<std::ptrdiff_t>(x);
    T* out = dst + 4 * static_cast<std::ptrdiff_t>(x);
    const float v = p[kV], u = p[kU], y = p[kY];
    out[Order::kR] = ToCode<T>((y + kRFromV * v) * kMax);
    out[Order::kG] = ToCode<T>((y - kGFromU * u - kGFromV * v) * kMax);
    out[Order::kB] = ToCode<T>((y + kBFromU * u) * kMax);
    out[Order::kA] = ToCode<T>(p[kA] * kMax);
  }
}


template <typename Order>
void WorkingToRgbFloat(const float* src, void* dstBytes, int32_t width) {
  float* dst = static_cast<float*>(dstBytes);
  for (int32_t x = 0; x < width; ++x) {
    const float* p = src + 4 * static_cast<std::ptrdiff_t>(x);
    float* out = dst + 4 * static_cast<std::ptrdiff_t>(x);
    const float v = p[kV], u = p[kU], y = p[kY], a = p[kA];
    out[Order::kR] = y + kRFromV * v;
    out[Order::kG] = y - kGFromU * u - kGFromV * v;
    out[Order::kB] = y + kBFromU * u;
    out[Order::kA] = a;
  }
}


template <typename T>
void WorkingToVuyaInt(const float* src, void* dstBytes, int32_t width) {
  using C = Coding<T>;
  T* dst = static_cast<T*>(dstBytes);
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128 chromaSpan = _mm_set1_ps(C::kChromaSpan), chromaCentre = _mm_set1_ps(C::kChromaCentre);
  for (; x + 4 <= width; x += 4) {
    __m128 v, u, y, a;
    LoadWorking(src + 4 * static_cast<std::ptrdiff_t>(x), v, u, y, a);
    __m128i codes[4];
    codes[kV] = ToCodes<T>(_mm_add_ps(_mm_mul_ps(v, chromaSpan), chromaCentre));
    codes[kU] = ToCodes<T>(_mm_add_ps(_mm_mul_ps(u, chromaSpan), chromaCentre));
    codes[kY] = ToCodes<T>(_mm_add_ps(_mm_mul_ps(y, _mm_set1_ps(C::kLumaSpan)), _mm_set1_ps(C::kBlack)));
    codes[kA] = ToCodes<T>(_mm_mul_ps(a, _mm_set1_ps(C::kMax)));
    StorePixels(codes, dst + 4 * static_cast<std::ptrdiff_t>(x));
  }
#endif
  for (; x < width; ++x) {
    const float* p = src + 4 * static_cast<std::ptrdiff_t>(x);
    T* out = dst + 4 * static_cast<std::ptrdiff_t>(x);
    out[kV] = ToCode<T>(p[kV] * C::kChromaSpan + C::kChromaCentre);
    out[kU] = ToCode<T>(p[kU] * C::kChromaSpan + C::kChromaCentre);
    out[kY] = ToCode<T>(p[kY] * C::kLumaSpan + C::kBlack);
    out[kA] = ToCode<T>(p[kA] * C::kMax);
  }
}

void WorkingToWorkingIn(const void* src, float* dst, int32_t width) {
  std::memmove(dst, src, static_cast<std::size_t>(width) * 16);
}
void WorkingToWorkingOut(const float* src, void* dst, int32_t width) {
  std::memmove(dst, src, static_cast<std::size_t>(width) * 16);
}

struct FormatInfo {
  int32_t bytesPerPixel;
  int32_t channelBytes;  // the alignment every pixel address and row step must have
  ToWorkingRow toWorking;
  FromWorkingRow fromWorking;
};

// The widest row path this process converts on: the processor's widest, narrowed by the vector
// switch, both read once.
vector_switch::Path RowPath() {
#if defined(__x86_64__)
  static const vector_switch::Path chosen =
      vector_switch::PathFor(std::getenv(vector_switch::kVariable), vector_switch::WidestPath());
  return chosen;
#else
  return vector_switch::Path::kScalar;
#endif
}

// The vector rows of a format on a path: the RGB formats have them on AVX2 and AVX-512; the YUV
// formats and the working format convert on their scalar rows on every path.
VectorRowPair VectorRowsOf(PixmillPixelFormat format, vector_switch::Path path) {
#if defined(__x86_64__)
  const VectorRowTable* table = path == vector_switch::Path::kAvx512 ? &kAvx512Rows
                                : path == vector_switch::Path::kAvx2 ? &kAvx2Rows
                                                                     : nullptr;
  if (table != nullptr) {
    switch (format) {
      case kPixmillBGRA8: return table->bgra8;
      case kPixmillBGRA16: return table->bgra16;
      case kPixmillBGRA32f: return table->bgra32f;
      case kPixmillARGB8: return table->argb8;
      case kPixmillARGB16: return table->argb16;
      case kPixmillARGB32f: return table->argb32f;
      case kPixmillVUYA8: return table->vuya8;
      case kPixmillVUYA16: return table->vuya16;
      default: break;
    }
  }
#else
  (void)format;
  (void)path;
#endif
  return {};
}

// nullptr for an unknown code: the format's size and its scalar rows.
const FormatInfo* FindFormat(PixmillPixelFormat format) {
  using std::uint16_t;
  using std::uint8_t;
  static constexpr FormatInfo kBgra8{4, 1, RgbIntToWorking<uint8_t, BgraOrder>,
                                     WorkingToRgbInt<uint8_t, BgraOrder>};
  static constexpr FormatInfo kBgra16{8, 2, RgbIntToWorking<uint16_t, BgraOrder>,
                                      WorkingToRgbInt<uint16_t, BgraOrder>};
  static constexpr FormatInfo kBgra32f{16, 4, RgbFloatToWorking<BgraOrder>,
                                       WorkingToRgbFloat<BgraOrder>};
  static constexpr FormatInfo kArgb8{4, 1, RgbIntToWorking<uint8_t, ArgbOrder>,
                                     WorkingToRgbInt<uint8_t, ArgbOrder>};
  static constexpr FormatInfo kArgb16{8, 2, RgbIntToWorking<uint16_t, ArgbOrder>,
                                      WorkingToRgbInt<uint16_t, ArgbOrder>};
  static constexpr FormatInfo kArgb32f{16, 4, RgbFloatToWorking<ArgbOrder>,
                                       WorkingToRgbFloat<ArgbOrder>};
  static constexpr FormatInfo kVuya8{4, 1, VuyaIntToWorking<uint8_t>, WorkingToVuyaInt<uint8_t>};
  static constexpr FormatInfo kVuya16{8, 2, VuyaIntToWorking<uint16_t>, WorkingToVuyaInt<uint16_t>};
  static constexpr FormatInfo kWorking{16, 4, WorkingToWorkingIn, WorkingToWorkingOut};
  switch (format) {
    case kPixmillBGRA8: return &kBgra8;
    case kPixmillBGRA16: return &kBgra16;
    case kPixmillBGRA32f: return &kBgra32f;
    case kPixmillARGB8: return &kArgb8;
    case kPixmillARGB16: return &kArgb16;
    case kPixmillARGB32f: return &kArgb32f;
    case kPixmillVUYA8: return &kVuya8;
    case kPixmillVUYA16: return &kVuya16;
    case kPixmillWorkingFormat: return &kWorking;
    default: return nullptr;
  }
}

// Holds the floating-point state the conversions are defined in (round to nearest, no flushing of
// denormals, all exceptions masked) for the duration of one call, and gives the caller's back.
// Callers such as the module's frame pass run with rounding toward minus infinity and
// flush-to-zero; the converted values must not depend on that.
class ConversionFloatState {
 public:
#if defined(__SSE2__)
  ConversionFloatState() : saved_(_mm_getcsr()) { _mm_setcsr(kDefaultMxcsr); }
  ~ConversionFloatState() { _mm_setcsr(saved_); }

 private:
  static constexpr unsigned kDefaultMxcsr = 0x1F80;  // all exceptions masked, nearest, no FTZ/DAZ
  unsigned saved_;
#else
  ConversionFloatState() : saved_(std::fegetround()) { std::fesetround(FE_TONEAREST); }
  ~ConversionFloatState() { std::fesetround(saved_); }

 private:
  int saved_;
#endif
 public:
  ConversionFloatState(const ConversionFloatState&) = delete;
  ConversionFloatState& operator=(const ConversionFloatState&) = delete;
};

bool Aligned(const void* p, int32_t alignment) {
  return reinterpret_cast<std::uintptr_t>(p) % static_cast<std::uintptr_t>(alignment) == 0;
}

// Rows after the first must not overlap it and must keep the channel alignment.
bool RowStepValid(int32_t rowBytes, int64_t width, int32_t height, const FormatInfo& f) {
  if (height <= 1) return true;
  const int64_t step = rowBytes < 0 ? -static_cast<int64_t>(rowBytes) : rowBytes;
  return step >= width * f.bytesPerPixel && step % f.channelBytes == 0;
}

// Conversions with neither side in the working format go through it in chunks held on the stack.
constexpr int32_t kChunkPixels = 512;

// One side of a conversion: the format, and its vector rows on the call's path (if any), which
// convert the row's whole lane sets before the scalar row converts the rest.
struct Side {
  const FormatInfo* info;
  VectorRowPair vector;
  PixmillPixelFormat code;

  void ToWorking(const unsigned char* src, float* dst, int32_t width) const {
    const int32_t done = vector.toWorking != nullptr ? vector.toWorking(src, dst, width) : 0;
    info->toWorking(src + static_cast<std::ptrdiff_t>(done) * info->bytesPerPixel,
                    dst + 4 * static_cast<std::ptrdiff_t>(done), width - done);
  }
  void FromWorking(const float* src, unsigned char* dst, int32_t width) const {
    const int32_t done = vector.fromWorking != nullptr ? vector.fromWorking(src, dst, width) : 0;
    info->fromWorking(src + 4 * static_cast<std::ptrdiff_t>(done),
                      dst + static_cast<std::ptrdiff_t>(done) * info->bytesPerPixel, width - done);
  }
};

void ConvertRow(const unsigned char* src, const Side& from, unsigned char* dst, const Side& to, int32_t width) {
  if (from.code == to.code) {
    std::memmove(dst, src, static_cast<std::size_t>(width) * static_cast<std::size_t>(from.info->bytesPerPixel));
  } else if (from.code == kPixmillWorkingFormat) {
    to.FromWorking(reinterpret_cast<const float*>(src), dst, width);
  } else if (to.code == kPixmillWorkingFormat) {
    from.ToWorking(src, reinterpret_cast<float*>(dst), width);
  } else {
    alignas(64) float chunk[kChunkPixels * 4];
    for (int32_t x = 0; x < width; x += kChunkPixels) {
      const int32_t n = std::min(kChunkPixels, width - x);
      from.ToWorking(src + static_cast<std::ptrdiff_t>(x) * from.info->bytesPerPixel, chunk, n);
      to.FromWorking(chunk, dst + static_cast<std::ptrdiff_t>(x) * to.info->bytesPerPixel, n);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Transient memory.

constexpr std::size_t kTransientAlignment = 64;
// Larger requests are refused without asking the system: no frame buffer comes near it, and a
// size this large is a caller's arithmetic gone wrong.
constexpr std::uint64_t kTransientMaxBytes = std::uint64_t{1} << 39;

uint64_t MixBits(uint64_t z) {  // splitmix64 finaliser
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The blocks currently lent, by handle. Handles count up from 1 and are never reused, so a stale or
// invented handle finds nothing. The cookie is derived from the handle and the block's address.
class TransientRegistry {
 public:
  void* Allocate(uint64_t size, uint64_t* handle, uint64_t* cookie) {
    if (size > kTransientMaxBytes) return nullptr;
    uint64_t rounded = (size + kTransientAlignment - 1) & ~static_cast<uint64_t>(kTransientAlignment - 1);
    if (rounded == 0) rounded = kTransientAlignment;
    void* data = std::aligned_alloc(kTransientAlignment, static_cast<std::size_t>(rounded));
    if (data == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t h = nextHandle_++;
    const uint64_t c = MixBits(h ^ reinterpret_cast<std::uintptr_t>(data)) | 1;
    try {
      blocks_.emplace(h, Block{data, c});
    } catch (const std::bad_alloc&) {
      std::free(data);
      return nullptr;
    }
    *handle = h;
    *cookie = c;
    return data;
  }

  // True when the pair named a lent block, which is now freed.
  bool Free(uint64_t handle, uint64_t cookie) {
    void* data = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = blocks_.find(handle);
      if (it == blocks_.end() || it->second.cookie != cookie) return false;
      data = it->second.data;
      blocks_.erase(it);
    }
    std::free(data);
    return true;
  }

 private:
  struct Block {
    void* data;
    uint64_t cookie;
  };
  std::mutex mutex_;
  std::unordered_map<uint64_t, Block> blocks_;
  uint64_t nextHandle_ = 1;
};

// Never destroyed, so a block given back during the process's own shutdown still finds it.
TransientRegistry& Registry() {
  static TransientRegistry* registry = new TransientRegistry;
  return *registry;
}

// The library's own state, shared by all callers on all threads (hence atomics): the count of
// blocks currently lent, the number of allocations still to be refused for fault injection, and
// the number of PM_Convert calls so far.
std::atomic<int64_t> gOutstandingBlocks{0};
std::atomic<int32_t> gFailingAllocations{0};
std::atomic<uint64_t> gConvertCalls{0};

// Takes one refusal from the fault-injection count; true when this allocation must fail.
bool ConsumeInjectedFailure() {
  int32_t n = gFailingAllocations.load();
  while (n > 0 && !gFailingAllocations.compare_exchange_weak(n, n - 1)) {
  }
  return n > 0;
}

std::int32_t Convert(vector_switch::Path path, const void* src, std::int32_t srcRowBytes, PixmillPixelFormat srcFormat,
                     void* dst, std::int32_t dstRowBytes, PixmillPixelFormat dstFormat, std::int32_t width,
                     std::int32_t height) {
  gConvertCalls.fetch_add(1, std::memory_order_relaxed);
  if (src == nullptr || dst == nullptr || width < 0 || height < 0) return kPixmillBadArgument;
  const FormatInfo* from = FindFormat(srcFormat);
  const FormatInfo* to = FindFormat(dstFormat);
  if (from == nullptr || to == nullptr) {
    // A working-format destination is cleared so that a caller ignoring the result reads black.
    if (to != nullptr && dstFormat == kPixmillWorkingFormat && Aligned(dst, to->channelBytes) &&
        RowStepValid(dstRowBytes, width, height, *to)) {
      auto* row = static_cast<unsigned char*>(dst);
      for (int32_t y = 0; y < height; ++y, row += dstRowBytes) {
        std::memset(row, 0, static_cast<std::size_t>(width) * 16);
      }
    }
    return kPixmillUnknownFormat;
  }
  if (!Aligned(src, from->channelBytes) || !Aligned(dst, to->channelBytes) ||
      !RowStepValid(srcRowBytes, width, height, *from) ||
      !RowStepValid(dstRowBytes, width, height, *to)) {
    return kPixmillBadArgument;
  }
  if (width == 0 || height == 0) return kPixmillOk;

  const Side fromSide{from, VectorRowsOf(srcFormat, path), srcFormat};
  const Side toSide{to, VectorRowsOf(dstFormat, path), dstFormat};
  const ConversionFloatState floatState;
  const auto* srcRow = static_cast<const unsigned char*>(src);
  auto* dstRow = static_cast<unsigned char*>(dst);
  for (int32_t y = 0; y < height; ++y, srcRow += srcRowBytes, dstRow += dstRowBytes) {
    ConvertRow(srcRow, fromSide, dstRow, toSide, width);
  }
  return kPixmillOk;
}

}  // namespace

extern "C" {

std::int32_t PM_Convert(const void* src, std::int32_t srcRowBytes, PixmillPixelFormat srcFormat,
                        void* dst, std::int32_t dstRowBytes, PixmillPixelFormat dstFormat,
                        std::int32_t width, std::int32_t height, std::int32_t /*quality*/) {
  return Convert(RowPath(), src, srcRowBytes, srcFormat, dst, dstRowBytes, dstFormat, width, height);
}

std::int32_t PM_DebugConvertOnPath(std::int32_t path, const void* src, std::int32_t srcRowBytes,
                                   PixmillPixelFormat srcFormat, void* dst, std::int32_t dstRowBytes,
                                   PixmillPixelFormat dstFormat, std::int32_t width, std::int32_t height) {
  if (path < 0 || path > PM_DebugVectorRowsAvailable()) return kPixmillBadArgument;
  return Convert(static_cast<vector_switch::Path>(path), src, srcRowBytes, srcFormat, dst, dstRowBytes, dstFormat,
                 width, height);
}

std::int32_t PM_DebugVectorRowsAvailable() {
#if defined(__x86_64__)
  return static_cast<std::int32_t>(vector_switch::WidestPath());
#else
  return 0;
#endif
}

void* PM_AllocateTransientMemoryBlock(std::uint64_t size, std::uint64_t* handle,
                                      std::uint64_t* cookie) {
  if (handle == nullptr || cookie == nullptr) return nullptr;
  *handle = 0;
  *cookie = 0;
  if (ConsumeInjectedFailure()) return nullptr;
  void* data = Registry().Allocate(size, handle, cookie);
  if (data != nullptr) gOutstandingBlocks.fetch_add(1);
  return data;
}

void PM_FreeTransientMemoryBlock(std::uint64_t handle, std::uint64_t cookie) {
  if (handle == 0) return;
  if (Registry().Free(handle, cookie)) gOutstandingBlocks.fetch_sub(1);
}

std::int32_t PM_BytesPerPixel(PixmillPixelFormat format) {
  const FormatInfo* f = FindFormat(format);
  return f == nullptr ? 0 : f->bytesPerPixel;
}

std::int64_t PM_DebugOutstandingTransientBlocks() { return gOutstandingBlocks.load(); }

void PM_DebugFailNextTransientAllocations(std::int32_t n) {
  gFailingAllocations.store(n > 0 ? n : 0);
}

std::uint64_t PM_DebugConvertCallCount() { return gConvertCalls.load(); }

}  // extern "C"
