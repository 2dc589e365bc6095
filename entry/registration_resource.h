// The registration resource ("PIPL", id 16000) through which a host learns the effect's name,
// category, entry point and version before running any of its code.
//
// Layout, little-endian: u16 1, u32 0, u32 property count, then each property: vendor code and key
// (four-character codes stored as 32-bit little-endian integers, so their characters appear
// reversed in the bytes), u32 id 0, u32 data length, the data zero-padded to a multiple of 4.
// Pascal strings are a length byte and the text; their length field counts the length byte, the
// text and the padding. The bytes are built here at compile time; the module places them in its
// own ELF section (zkfx::kRegistrationSectionName) where a host reads them from the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "entry/host_interface.h"

namespace threeway {

inline constexpr std::string_view kRegistrationName =
    "$$$/Lumvane/ZKFilters/ColorThreeWay/Name=Three-Way Color Corrector";
inline constexpr std::string_view kRegistrationCategory =
    "$$$/Lumvane/FiltersAndEffects/Category/ColorCorrection=Color Correction";
inline constexpr std::uint32_t kRegistrationGlobalOutFlags = 0x00008040;

namespace registration_detail {

// A four-character code as a multi-character constant: first character in the highest byte.
constexpr std::uint32_t Code(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}

struct Writer {
  std::array<std::uint8_t, 512> bytes{};
  std::size_t size = 0;

  constexpr void U8(std::uint8_t v) { bytes[size++] = v; }
  constexpr void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  constexpr void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  // Zero-pads the data that began at `start` to a multiple of 4 bytes (the properties follow a
  // 10-byte header, so the padding is relative to the data, not to the resource).
  constexpr void PadFrom(std::size_t start) {
    while ((size - start) % 4 != 0) U8(0);
  }
  constexpr void Header(const char (&key)[5], std::uint32_t length) {
    U32(Code("Q7TM"));
    U32(Code(key));
    U32(0);
    U32(length);
  }
  constexpr void U32Property(const char (&key)[5], std::uint32_t value) {
    Header(key, 4);
    U32(value);
  }
  constexpr void PascalProperty(const char (&key)[5], std::string_view text) {
    const std::uint32_t padded = static_cast<std::uint32_t>((1 + text.size() + 3) / 4 * 4);
    Header(key, padded);
    const std::size_t start = size;
    U8(static_cast<std::uint8_t>(text.size()));
    for (char c : text) U8(static_cast<std::uint8_t>(c));
    while (size - start < padded) U8(0);
  }
};

constexpr Writer Build() {
  Writer w;
  w.U16(1);
  w.U32(0);
  w.U32(11);
  w.U32Property("kind", Code("eFKT"));
  w.PascalProperty("name", kRegistrationName);
  w.PascalProperty("catg", kRegistrationCategory);
  w.Header("8664", 8);
  for (char c : std::string_view("main")) w.U8(static_cast<std::uint8_t>(c));
  for (int i = 0; i < 4; ++i) w.U8(0);
  w.Header("ePVR", 4);
  w.U16(2);
  w.U16(0);
  w.Header("eSVR", 4);
  w.U16(13);
  w.U16(0);
  w.U32Property("eVER", zkfx::kEffectVersion);
  w.Header("eINF", 2);
  const std::size_t infStart = w.size;
  w.U16(0);
  w.PadFrom(infStart);
  w.U32Property("eGLO", kRegistrationGlobalOutFlags);
  w.PascalProperty("eMNA", zkfx::kEffectMatchName);
  w.U32Property("zkFL", 8);
  return w;
}

inline constexpr Writer kBuilt = Build();

}  // namespace registration_detail

inline constexpr std::size_t kRegistrationResourceSize = registration_detail::kBuilt.size;

constexpr std::array<std::uint8_t, kRegistrationResourceSize> MakeRegistrationResource() {
  std::array<std::uint8_t, kRegistrationResourceSize> out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = registration_detail::kBuilt.bytes[i];
  return out;
}

}  // namespace threeway
