// Reading an effect module's registration resource from the module FILE, without loading it.
//
// The module carries its registration resource in an ELF section (zkfx::kRegistrationSectionName).
// Everything here works on bytes the caller supplies or on a file read whole into memory; every
// read is bounds-checked, so a truncated or corrupted file yields an error text, never a crash.
//
// Resource layout (little-endian): u16 version 1, u32 resource version 0, u32 property count, then
// the properties back to back. A property is: vendor code (u32), key (u32), id (u32), data length
// (u32), then the data padded with zeros to a multiple of 4 bytes. Vendor codes, keys and the
// "kind" value are four-character codes held as 32-bit integers whose FIRST character is the MOST
// significant byte; stored little-endian, their bytes appear reversed in the file ("kind" is the
// bytes "dnik"). Pascal strings are a length byte and the text; for them the length field counts
// the length byte, the text and the padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace threeway::host {

// ---------------------------------------------------------------------------------------------
// Four-character codes of the registration resource (first character in the most significant byte).

constexpr std::uint32_t OSType(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}
// The four characters of `code`, first character first; bytes outside printable ASCII are shown as
// "\xNN" so a corrupted code stays readable.
std::string OSTypeText(std::uint32_t code);

// The values a valid module carries.
constexpr std::uint16_t kRegistrationVersion = 1;
constexpr std::uint32_t kRegistrationResourceVersion = 0;
constexpr std::uint32_t kRegistrationPropertyCount = 11;
constexpr std::uint32_t kRegistrationVendor = OSType("Q7TM");
constexpr std::uint32_t kEffectKind = OSType("eFKT");

// ---------------------------------------------------------------------------------------------
// Decoded resource

struct RegistrationProperty {
  std::uint32_t vendor = 0;
  std::uint32_t key = 0;
  std::uint32_t id = 0;
  std::uint32_t length = 0;         // the length field as stored
  std::vector<std::uint8_t> data;   // exactly `length` bytes (the padding is not kept)
};

struct Registration {
  std::uint16_t version = 0;
  std::uint32_t resourceVersion = 0;
  std::uint32_t propertyCount = 0;  // the count field; equals properties.size() after decoding
  std::vector<RegistrationProperty> properties;

  // The first property with this key, or null.
  const RegistrationProperty* Find(std::uint32_t key) const;
};

// ---------------------------------------------------------------------------------------------
// Reading. Each function returns true on success; on failure it returns false and leaves a
// one-line explanation in `error` (the output structure is then unspecified).

// Finds the section `name` in an ELF64 little-endian image and sets `section` to its bytes (a view
// into `image`). Errors: too short for an ELF header, not ELF, not 64-bit little-endian, section
// header table or section name table outside the file, no section of that name, section data
// outside the file or of type NOBITS.
bool FindElfSection(std::span<const std::uint8_t> image, const std::string& name,
                    std::span<const std::uint8_t>& section, std::string& error);

// Decodes the resource bytes. Structural errors: truncated header, a property that does not fit
// (header or padded data past the end), a count that disagrees with the data (properties missing,
// or non-zero bytes after the last one). Trailing zero bytes (section alignment) are accepted.
bool DecodeRegistration(std::span<const std::uint8_t> bytes, Registration& registration,
                        std::string& error);

// Checks that a decoded resource describes this effect: version 1, resource version 0, 11
// properties, every vendor "Q7TM", kind "eFKT", entry point "main" under key "8664" and match name
// zkfx::kEffectMatchName under "eMNA".
bool CheckRegistration(const Registration& registration, std::string& error);

// FindElfSection(kRegistrationSectionName) + DecodeRegistration + CheckRegistration on an image.
bool ReadRegistration(std::span<const std::uint8_t> image, Registration& registration,
                      std::string& error);

// Reads the file whole (errors name the path) and then does what ReadRegistration does.
bool ReadRegistrationFromFile(const std::string& path, Registration& registration,
                              std::string& error);

// Module files are a few megabytes; a larger file (or a device that never ends) is not read past this.
inline constexpr std::size_t kMaxModuleFileBytes = std::size_t{256} << 20;
// Reads a whole file into `bytes`, at most kMaxModuleFileBytes of it.
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// ---------------------------------------------------------------------------------------------
// Interpreting property data

// A Pascal string property: its text. Fails when the data is empty or the length byte runs past
// the data.
bool PascalStringValue(const RegistrationProperty& property, std::string& text, std::string& error);

// The property's value in readable form, by key: "kind" as a four-character code; "name", "catg"
// and "eMNA" as quoted Pascal strings; "8664" as the quoted zero-terminated name; "ePVR" and "eSVR"
// as two 16-bit numbers; "eVER" and "eGLO" in hexadecimal; "eINF" and "zkFL" as numbers; anything
// else (or data of the wrong size) as hexadecimal bytes.
std::string DescribePropertyValue(const RegistrationProperty& property);

}  // namespace threeway::host
