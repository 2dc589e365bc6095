// The registration resource and the ELF section reader on any bytes: the input is read as resource
// bytes and as a module file. A refusal always says why; a decoded resource holds exactly what its
// fields say; and every cut of a decoded resource before the end of its last property, or of a
// readable file before the end of its section header table or of the section, is refused with a
// message (the seeds include the documented resource and a small module file, so each run checks
// all their cuts).
#include <elf.h>

#include <algorithm>
#include <cstring>

#include "entry/host_interface.h"
#include "host/registration.h"
#include "tests/fuzz/fuzz.h"

namespace {

using threeway::fuzz::Require;
using namespace threeway::host;

// Cuts are checked on inputs up to this size (every cut costs a full read).
constexpr std::size_t kMaxCutChecked = 4096;

void FuzzResource(std::span<const std::uint8_t> bytes) {
  Registration registration;
  std::string error;
  if (!DecodeRegistration(bytes, registration, error)) {
    Require(!error.empty(), "a refused resource says why");
    return;
  }
  Require(registration.properties.size() == registration.propertyCount, "one property per count");
  std::size_t end = 10;
  for (const RegistrationProperty& property : registration.properties) {
    Require(property.data.size() == property.length, "a property holds its length's bytes");
    end += 16 + ((static_cast<std::size_t>(property.length) + 3) & ~std::size_t{3});
    std::string text;
    DescribePropertyValue(property);
    if (!PascalStringValue(property, text, error)) Require(!error.empty(), "a bad Pascal string says why");
  }
  Require(end <= bytes.size(), "the properties lie inside the bytes");
  Require(std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(end), bytes.end(), [](auto b) { return b == 0; }),
          "only zero bytes follow the last property");
  for (std::size_t size = 0; size < end && end <= kMaxCutChecked; ++size) {
    Registration cut;
    error.clear();
    Require(!DecodeRegistration(bytes.first(size), cut, error) && !error.empty(),
            "a resource cut inside its properties is refused with a message", std::to_string(size));
  }
  error.clear();
  if (!CheckRegistration(registration, error)) Require(!error.empty(), "a refused check says why");
}

void FuzzModuleFile(std::span<const std::uint8_t> image) {
  std::span<const std::uint8_t> section;
  std::string error;
  if (!FindElfSection(image, zkfx::kRegistrationSectionName, section, error)) {
    Require(!error.empty(), "a file without the section says why");
    return;
  }
  Require(section.data() >= image.data() && section.data() + section.size() <= image.data() + image.size(),
          "the section lies inside the file");
  Registration registration;
  if (!ReadRegistration(image, registration, error)) {
    Require(!error.empty(), "a refused module file says why");
    return;
  }
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  std::size_t end = static_cast<std::size_t>(section.data() - image.data()) + section.size();
  if (header.e_shnum != 0) end = std::max<std::size_t>(end, header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr));
  for (std::size_t size = 0; size < end && image.size() <= kMaxCutChecked; ++size) {
    error.clear();
    Require(!ReadRegistration(image.first(size), registration, error) && !error.empty(),
            "a module file cut before its section headers or section ends is refused", std::to_string(size));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  FuzzResource(bytes);
  FuzzModuleFile(bytes);
  return 0;
}
