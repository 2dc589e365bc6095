#include "cli/media/picture.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "cli/tool_error.h"
#include "framewell/framewell.h"
#include "pixmill/pixmill.h"

namespace threeway::cli {
namespace {

// Bytes per pixel of a host format, as the host's image library counts them (0 when unknown).
int BytesPerPixel(std::uint32_t code) { return PM_BytesPerPixel(FW::PMPixelFormatFromSDK(code)); }

}  // namespace

std::optional<std::uint32_t> ParseFormatCode(std::string_view text) {
  for (std::uint32_t code : kHostFormats) {
    if (FormatCodeText(code) == text) return code;
  }
  return std::nullopt;
}

std::string FormatCodeText(std::uint32_t code) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) text[static_cast<std::size_t>(i)] = static_cast<char>((code >> (8 * i)) & 0xff);
  return text;
}

std::string FormatCodeList() {
  std::string list;
  for (std::uint32_t code : kHostFormats) list += (list.empty() ? "" : " ") + FormatCodeText(code);
  return list;
}

Depth DepthOf(std::uint32_t code) {
  switch (BytesPerPixel(code)) {
    case 4: return Depth::k8;
    case 8: return Depth::k16;
    default: return Depth::kFloat;
  }
}

std::uint32_t DefaultHostFormat(Depth depth) {
  switch (depth) {
    case Depth::k8: return zkfx::kPixelFormatBGRA8;
    case Depth::k16: return zkfx::kPixelFormatBGRA16;
    case Depth::kFloat: break;
  }
  return zkfx::kPixelFormatBGRA32f;
}

std::uint32_t ArgbFormat(Depth depth) {
  switch (depth) {
    case Depth::k8: return zkfx::kPixelFormatARGB8;
    case Depth::k16: return zkfx::kPixelFormatARGB16;
    case Depth::kFloat: break;
  }
  return zkfx::kPixelFormatARGB32f;
}

void Picture::CheckSize(int width, int height) {
  if (width <= 0 || height <= 0) {
    throw ToolError("a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels has nothing to grade");
  }
  if (static_cast<std::int64_t>(width) * height > kMaxPixels) {
    throw ToolError("a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                    " pixels is larger than the tool handles (" + std::to_string(kMaxPixels) + " pixels)");
  }
}

void Picture::Reshape(int newWidth, int newHeight, std::uint32_t newFormat) {
  CheckSize(newWidth, newHeight);
  const std::size_t size = static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight) *
                           static_cast<std::size_t>(BytesPerPixel(newFormat));
  width = newWidth;
  height = newHeight;
  format = newFormat;
  if (bytes.size() != size) {
    bytes.clear();
    bytes.shrink_to_fit();  // a new buffer rather than a copy of the old bytes into a larger one
    bytes.resize(size);
  }
}

Picture Picture::Sized(int width, int height, std::uint32_t format) {
  Picture picture;
  picture.Reshape(width, height, format);
  return picture;
}

namespace {

constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

std::align_val_t PictureAlignment(std::size_t bytes) {
  return std::align_val_t{bytes >= kHugePageBytes ? kHugePageBytes : kPageBytes};
}

}  // namespace

void* AllocatePictureMemory(std::size_t bytes) {
  void* p = ::operator new(bytes, PictureAlignment(bytes));
  if (bytes >= kHugePageBytes) {
    // Advice only: a kernel without transparent huge pages, or with them switched off, refuses it
    // and the buffer works with small pages (so does the last part of a buffer that ends inside a
    // 2 MiB page).
    ::madvise(p, bytes, MADV_HUGEPAGE);
  }
  return p;
}

void FreePictureMemory(void* p, std::size_t bytes) noexcept { ::operator delete(p, PictureAlignment(bytes)); }

Picture Picture::Blank(int width, int height, std::uint32_t format) {
  Picture picture = Sized(width, height, format);
  std::fill(picture.bytes.begin(), picture.bytes.end(), std::uint8_t{0});
  return picture;
}

int Picture::rowBytes() const { return width * BytesPerPixel(format); }

zkfx::HostFrame Picture::HostView() { return {bytes.data(), rowBytes(), width, height, format}; }

void ConvertInto(const Picture& picture, Picture& target) {
  if (picture.width != target.width || picture.height != target.height) {
    throw ToolError("internal: converting between pictures of different sizes");
  }
  const std::int32_t result =
      PM_Convert(picture.bytes.data(), picture.rowBytes(), FW::PMPixelFormatFromSDK(picture.format),
                 target.bytes.data(), target.rowBytes(), FW::PMPixelFormatFromSDK(target.format),
                 picture.width, picture.height, 4);
  if (result != kPixmillOk) {
    throw ToolError("the image library could not convert '" + FormatCodeText(picture.format) + "' to '" +
                    FormatCodeText(target.format) + "' (code " + std::to_string(result) + ")");
  }
}

Picture ConvertPicture(const Picture& picture, std::uint32_t format) {
  Picture converted = Picture::Blank(picture.width, picture.height, format);
  ConvertInto(picture, converted);
  return converted;
}

Picture SideBySide(const Picture& left, const Picture& right) {
  if (left.width != right.width || left.height != right.height || left.format != right.format) {
    throw ToolError("internal: side by side needs two pictures of one size and format");
  }
  Picture both = Picture::Blank(left.width * 2, left.height, left.format);
  const std::size_t half = static_cast<std::size_t>(left.rowBytes());
  for (int y = 0; y < left.height; ++y) {
    std::memcpy(both.Row(y), left.Row(y), half);
    std::memcpy(both.Row(y) + half, right.Row(y), half);
  }
  return both;
}

zkfx::ColorARGB PixelAs8BitRgb(const Picture& picture, int x, int y) {
  const int bytesPerPixel = BytesPerPixel(picture.format);
  alignas(16) std::uint8_t bgra[4] = {};
  const std::int32_t result =
      PM_Convert(picture.Row(y) + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel), 0,
                 FW::PMPixelFormatFromSDK(picture.format), bgra, 0, kPixmillBGRA8, 1, 1, 4);
  if (result != kPixmillOk) throw ToolError("the image library could not read the pixel at " + std::to_string(x) + "," + std::to_string(y));
  return {255, bgra[2], bgra[1], bgra[0]};
}

}  // namespace threeway::cli
