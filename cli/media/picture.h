// Pictures in memory as the tool handles them: one frame in one of the host's nine pixel formats,
// rows tightly packed, and the conversions between formats through the host's image library.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "entry/host_interface.h"

namespace threeway::cli {

// Channel depth of a format: 8-bit, 16-bit or 32-bit float.
enum class Depth { k8, k16, kFloat };

// The nine host formats in the order the tool lists them.
inline constexpr std::uint32_t kHostFormats[] = {
    zkfx::kPixelFormatVUYA8,  zkfx::kPixelFormatVUYA16,  zkfx::kPixelFormatVUYA32f,
    zkfx::kPixelFormatBGRA8,  zkfx::kPixelFormatBGRA16,  zkfx::kPixelFormatBGRA32f,
    zkfx::kPixelFormatARGB8,  zkfx::kPixelFormatARGB16,  zkfx::kPixelFormatARGB32f};

// "bgra" -> kPixelFormatBGRA8; nothing for a text that is not one of the nine codes (exact case:
// the capitals carry the depth).
std::optional<std::uint32_t> ParseFormatCode(std::string_view text);
// The four characters of a code, e.g. "Bgra".
std::string FormatCodeText(std::uint32_t code);
// "vuya Vuya VUya bgra Bgra BGra argb Argb ARgb"
std::string FormatCodeList();
Depth DepthOf(std::uint32_t code);  // the code must be one of the nine
// The BGRA format the host hands the effect by default for pictures of a depth.
std::uint32_t DefaultHostFormat(Depth depth);
// The ARGB format of a depth: the layout image files are read into and written from.
std::uint32_t ArgbFormat(Depth depth);

// Largest picture the tool accepts, in pixels (2^27: a 16-bytes-per-pixel frame stays below 2 GiB).
inline constexpr std::int64_t kMaxPixels = std::int64_t{1} << 27;

// Picture memory. Buffers start on a page boundary: the kernel copies a frame between the page
// cache and a buffer at its full speed only when the two are aligned alike, and a page-aligned
// buffer matches frames that lie at page multiples in a file (a 4K 8-bit frame read into a buffer
// at malloc's usual 16-byte offset took three times the system time). Buffers of 2 MiB or more
// start on a 2 MiB boundary and are offered to the kernel for transparent huge pages: where the
// system allows them, a frame's first writing faults in a 2 MiB page at a time instead of 4 KiB
// (on a virtual machine of ours a 33 MB 4K frame took 78 ms of page faults with small pages,
// 5-15 ms with huge ones). AllocatePictureMemory never returns null: it throws std::bad_alloc.
void* AllocatePictureMemory(std::size_t bytes);
void FreePictureMemory(void* p, std::size_t bytes) noexcept;

// The allocator of picture buffers (AllocatePictureMemory). New elements are left uninitialised: a
// buffer about to be filled by a read, a decoder or a render is not cleared first (at 4K that is
// 33 MB written for nothing).
template <class T>
struct PictureAllocator {
  using value_type = T;
  PictureAllocator() = default;
  template <class U>
  PictureAllocator(const PictureAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocatePictureMemory(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { FreePictureMemory(p, n * sizeof(T)); }
  template <class U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <class U, class... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const PictureAllocator<U>&) const noexcept {
    return true;
  }
};

// One frame in a host format, rows tightly packed (row bytes = width x bytes per pixel). The
// buffer is page-aligned (PictureAllocator).
struct Picture {
  int width = 0;
  int height = 0;
  std::uint32_t format = 0;
  std::vector<std::uint8_t, PictureAllocator<std::uint8_t>> bytes;

  // A picture of the given size and format with every byte zero. Throws ToolError when the size
  // is not positive or exceeds kMaxPixels.
  static Picture Blank(int width, int height, std::uint32_t format);
  // The same with the bytes left unset, for a picture whose every byte is written before it is read.
  static Picture Sized(int width, int height, std::uint32_t format);
  // Throws the ToolError Blank throws for a size it refuses.
  static void CheckSize(int width, int height);
  // Gives the picture this size and format, its bytes left unset; a buffer already of this size and
  // format is kept as it is, so a picture read into frame after frame is allocated once.
  void Reshape(int width, int height, std::uint32_t format);
  int rowBytes() const;
  // The host's view of the pixels (the picture keeps owning them).
  zkfx::HostFrame HostView();
  std::uint8_t* Row(int y) { return bytes.data() + static_cast<std::size_t>(y) * rowBytes(); }
  const std::uint8_t* Row(int y) const { return bytes.data() + static_cast<std::size_t>(y) * rowBytes(); }
};

// The picture converted into another format by the host's image library (a copy when the format
// is the same). Throws ToolError if the library refuses.
Picture ConvertPicture(const Picture& picture, std::uint32_t format);
// Converts into `target`, which must have the same size; its format decides the conversion.
void ConvertInto(const Picture& picture, Picture& target);

// `left` and `right` (same size and format) side by side in one picture twice as wide.
Picture SideBySide(const Picture& left, const Picture& right);

// The pixel at x, y as 8-bit red, green and blue, converted by the host's image library into
// 8-bit BGRA (exact for 8-bit RGB pictures, rounded for deeper ones and for YUV).
zkfx::ColorARGB PixelAs8BitRgb(const Picture& picture, int x, int y);

}  // namespace threeway::cli
