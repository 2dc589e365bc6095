#include "host/registration.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "entry/host_interface.h"

namespace threeway::host {
namespace {

// Little-endian reads from a bounds-checked view. `Read` fails instead of reading past the end.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t position() const { return position_; }
  std::size_t remaining() const { return bytes_.size() - position_; }

  template <typename T>
  bool Read(T& value) {
    if (remaining() < sizeof(T)) return false;
    std::memcpy(&value, bytes_.data() + position_, sizeof(T));
    position_ += sizeof(T);
    return true;
  }
  bool Take(std::size_t count, std::span<const std::uint8_t>& out) {
    if (remaining() < count) return false;
    out = bytes_.subspan(position_, count);
    position_ += count;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// True when [offset, offset + size) lies inside a buffer of `total` bytes (no overflow).
bool RangeInside(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
  return offset <= total && size <= total - offset;
}

std::string Hex(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string HexBytes(const std::vector<std::uint8_t>& data) {
  std::string text;
  for (std::size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    if (i) text += ' ';
    text += byte;
  }
  return text.empty() ? "(empty)" : text;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

template <typename T>
bool DataAs(const RegistrationProperty& property, std::size_t offset, T& value) {
  if (property.data.size() < offset + sizeof(T)) return false;
  std::memcpy(&value, property.data.data() + offset, sizeof(T));
  return true;
}

}  // namespace

std::string OSTypeText(std::uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned char c = static_cast<unsigned char>(code >> shift);
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      text += escaped;
    }
  }
  return text;
}

const RegistrationProperty* Registration::Find(std::uint32_t key) const {
  for (const RegistrationProperty& property : properties) {
    if (property.key == key) return &property;
  }
  return nullptr;
}

bool FindElfSection(std::span<const std::uint8_t> image, const std::string& name,
                    std::span<const std::uint8_t>& section, std::string& error) {
  Elf64_Ehdr header;
  if (image.size() < sizeof header) {
    error = "not a module: the file is too short for an ELF header (" + std::to_string(image.size()) +
            " bytes)";
    return false;
  }
  std::memcpy(&header, image.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
    error = "not a module: the file is not an ELF file";
    return false;
  }
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB) {
    error = "not a module for this host: the ELF file is not 64-bit little-endian";
    return false;
  }
  if (header.e_shoff == 0) {
    error = "malformed ELF file: it has no section header table";
    return false;
  }
  if (header.e_shentsize != sizeof(Elf64_Shdr)) {
    error = "malformed ELF file: section header entry size " + std::to_string(header.e_shentsize);
    return false;
  }
  const auto sectionHeader = [&](std::uint64_t index, Elf64_Shdr& out) {
    const std::uint64_t offset = header.e_shoff + index * sizeof(Elf64_Shdr);
    if (header.e_shoff > image.size() || !RangeInside(header.e_shoff, (index + 1) * sizeof(Elf64_Shdr),
                                                       image.size())) {
      return false;
    }
    std::memcpy(&out, image.data() + offset, sizeof out);
    return true;
  };
  // Large files keep the section count and the name-table index in section 0.
  Elf64_Shdr first;
  if (!sectionHeader(0, first)) {
    error = "malformed ELF file: the section header table lies outside the file";
    return false;
  }
  std::uint64_t count = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
  std::uint64_t namesIndex = header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
  if (count == 0 || count > image.size() / sizeof(Elf64_Shdr)) {
    error = "malformed ELF file: section count " + std::to_string(count) + " does not fit the file";
    return false;
  }
  Elf64_Shdr last;
  if (!sectionHeader(count - 1, last)) {
    error = "malformed ELF file: section count " + std::to_string(count) + " runs past the end of the file";
    return false;
  }
  Elf64_Shdr names;
  if (namesIndex == SHN_UNDEF || namesIndex >= count || !sectionHeader(namesIndex, names)) {
    error = "malformed ELF file: no valid section name table";
    return false;
  }
  if (names.sh_type == SHT_NOBITS || !RangeInside(names.sh_offset, names.sh_size, image.size())) {
    error = "malformed ELF file: the section name table lies outside the file";
    return false;
  }
  const std::span<const std::uint8_t> nameTable = image.subspan(names.sh_offset, names.sh_size);
  for (std::uint64_t i = 0; i < count; ++i) {
    Elf64_Shdr candidate;
    sectionHeader(i, candidate);  // within the table: checked through `last` above
    if (candidate.sh_name >= nameTable.size()) continue;
    const auto* start = reinterpret_cast<const char*>(nameTable.data()) + candidate.sh_name;
    const std::size_t room = nameTable.size() - candidate.sh_name;
    const std::size_t length = strnlen(start, room);
    if (length == room || std::string_view(start, length) != name) continue;
    if (candidate.sh_type == SHT_NOBITS) {
      error = "malformed module: section " + name + " holds no data";
      return false;
    }
    if (!RangeInside(candidate.sh_offset, candidate.sh_size, image.size())) {
      error = "malformed module: section " + name + " (" + std::to_string(candidate.sh_size) +
              " bytes at offset " + std::to_string(candidate.sh_offset) + ") lies outside the file";
      return false;
    }
    section = image.subspan(candidate.sh_offset, candidate.sh_size);
    return true;
  }
  error = "not an effect module: the file has no " + name + " section (registration resource)";
  return false;
}

bool DecodeRegistration(std::span<const std::uint8_t> bytes, Registration& registration,
                        std::string& error) {
  ByteReader reader(bytes);
  registration = Registration{};
  if (!reader.Read(registration.version) || !reader.Read(registration.resourceVersion) ||
      !reader.Read(registration.propertyCount)) {
    error = "malformed registration resource: truncated header (" + std::to_string(bytes.size()) +
            " bytes, 10 needed)";
    return false;
  }
  // Each property takes at least 16 bytes: a count beyond that cannot be honest.
  if (registration.propertyCount > reader.remaining() / 16) {
    error = "malformed registration resource: property count " +
            std::to_string(registration.propertyCount) + " exceeds the " +
            std::to_string(reader.remaining()) + " bytes of data";
    return false;
  }
  for (std::uint32_t i = 0; i < registration.propertyCount; ++i) {
    const std::string which = "property " + std::to_string(i + 1) + " of " +
                              std::to_string(registration.propertyCount);
    RegistrationProperty property;
    const std::size_t at = reader.position();
    if (!reader.Read(property.vendor) || !reader.Read(property.key) || !reader.Read(property.id) ||
        !reader.Read(property.length)) {
      error = "malformed registration resource: " + which + " is truncated at offset " +
              std::to_string(at) + " (bad property count?)";
      return false;
    }
    const std::uint64_t padded = (static_cast<std::uint64_t>(property.length) + 3) & ~std::uint64_t{3};
    std::span<const std::uint8_t> data;
    if (padded > reader.remaining() || !reader.Take(static_cast<std::size_t>(padded), data)) {
      error = "malformed registration resource: " + which + " (" + OSTypeText(property.key) +
              ") has length " + std::to_string(property.length) + ", past the end of the resource";
      return false;
    }
    property.data.assign(data.begin(), data.begin() + property.length);
    registration.properties.push_back(std::move(property));
  }
  std::span<const std::uint8_t> rest;
  reader.Take(reader.remaining(), rest);
  for (std::uint8_t byte : rest) {
    if (byte != 0) {
      error = "malformed registration resource: data after the last of " +
              std::to_string(registration.propertyCount) + " properties (bad property count)";
      return false;
    }
  }
  return true;
}

bool PascalStringValue(const RegistrationProperty& property, std::string& text, std::string& error) {
  if (property.data.empty()) {
    error = "property " + OSTypeText(property.key) + ": empty Pascal string";
    return false;
  }
  const std::size_t length = property.data[0];
  if (1 + length > property.data.size()) {
    error = "property " + OSTypeText(property.key) + ": Pascal string length " +
            std::to_string(length) + " runs past its " + std::to_string(property.data.size()) +
            " bytes";
    return false;
  }
  text.assign(reinterpret_cast<const char*>(property.data.data()) + 1, length);
  return true;
}

bool CheckRegistration(const Registration& registration, std::string& error) {
  if (registration.version != kRegistrationVersion) {
    error = "unsupported registration resource version " + std::to_string(registration.version);
    return false;
  }
  if (registration.resourceVersion != kRegistrationResourceVersion) {
    error = "unsupported registration resource sub-version " +
            std::to_string(registration.resourceVersion);
    return false;
  }
  if (registration.properties.size() != kRegistrationPropertyCount) {
    error = "registration resource has " + std::to_string(registration.properties.size()) +
            " properties, 11 expected";
    return false;
  }
  for (const RegistrationProperty& property : registration.properties) {
    if (property.vendor != kRegistrationVendor) {
      error = "property " + OSTypeText(property.key) + " has vendor code " +
              OSTypeText(property.vendor) + ", \"Q7TM\" expected";
      return false;
    }
  }
  const RegistrationProperty* kind = registration.Find(OSType("kind"));
  std::uint32_t kindCode = 0;
  if (kind == nullptr || kind->length != 4 || !DataAs(*kind, 0, kindCode) || kindCode != kEffectKind) {
    error = kind == nullptr ? "registration resource has no \"kind\" property"
                            : "not an effect: kind is " + DescribePropertyValue(*kind) +
                                  ", \"eFKT\" expected";
    return false;
  }
  const RegistrationProperty* entry = registration.Find(OSType("8664"));
  if (entry == nullptr) {
    error = "registration resource names no 64-bit entry point (\"8664\")";
    return false;
  }
  const std::string entryName(reinterpret_cast<const char*>(entry->data.data()),
                              strnlen(reinterpret_cast<const char*>(entry->data.data()),
                                      entry->data.size()));
  if (entryName != zkfx::kEntryPointName) {
    error = "unexpected entry point name \"" + entryName + "\", \"main\" expected";
    return false;
  }
  const RegistrationProperty* match = registration.Find(OSType("eMNA"));
  std::string matchName;
  if (match == nullptr || !PascalStringValue(*match, matchName, error)) {
    if (match == nullptr) error = "registration resource has no match name (\"eMNA\")";
    return false;
  }
  if (matchName != zkfx::kEffectMatchName) {
    error = "wrong effect: match name \"" + matchName + "\", \"" + zkfx::kEffectMatchName +
            "\" expected";
    return false;
  }
  return true;
}

bool ReadRegistration(std::span<const std::uint8_t> image, Registration& registration,
                      std::string& error) {
  std::span<const std::uint8_t> section;
  return FindElfSection(image, zkfx::kRegistrationSectionName, section, error) &&
         DecodeRegistration(section, registration, error) && CheckRegistration(registration, error);
}

namespace {

// Reads what is left of `fd` into `bytes`, at most kMaxModuleFileBytes; errors name `path`.
bool ReadDescriptorBytes(int fd, const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  bytes.clear();
  std::string failure;
  std::uint8_t buffer[1 << 16];
  while (failure.empty()) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      failure = std::strerror(errno);
    } else if (bytes.size() + static_cast<std::size_t>(got) > kMaxModuleFileBytes) {
      failure = "more than " + std::to_string(kMaxModuleFileBytes) + " bytes, the most a module file may have";
    } else {
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
  }
  if (!failure.empty()) error = "cannot read " + path + ": " + failure;
  return failure.empty();
}

// An open descriptor, closed when the holder goes.
class Descriptor {
 public:
  explicit Descriptor(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// A regular file mapped read-only for as long as the object lives: the registration section is a
// few hundred bytes of a module that, with its debugging sections, runs to megabytes, and a mapping
// reads only the pages the section search touches. (The loader maps the same file to run it.)
class MappedFile {
 public:
  // Maps `fd` if it is a regular file of 1 to kMaxModuleFileBytes bytes; Mapped() says whether it did.
  explicit MappedFile(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
        static_cast<std::uint64_t>(status.st_size) > kMaxModuleFileBytes) {
      return;
    }
    void* address = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED) return;
    bytes_ = {static_cast<const std::uint8_t*>(address), static_cast<std::size_t>(status.st_size)};
  }
  ~MappedFile() {
    if (!bytes_.empty()) ::munmap(const_cast<std::uint8_t*>(bytes_.data()), bytes_.size());
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool Mapped() const { return !bytes_.empty(); }
  std::span<const std::uint8_t> Bytes() const { return bytes_; }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  const Descriptor fd(path);
  if (fd.Get() < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  return ReadDescriptorBytes(fd.Get(), path, bytes, error);
}

bool ReadRegistrationFromFile(const std::string& path, Registration& registration,
                              std::string& error) {
  const Descriptor fd(path);
  if (fd.Get() < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  // Anything not mapped (a pipe, a device, a file too large) is read whole through the same
  // descriptor: a pipe's writer would not survive a close and a second open.
  const MappedFile mapped(fd.Get());
  std::vector<std::uint8_t> image;
  if (!mapped.Mapped() && !ReadDescriptorBytes(fd.Get(), path, image, error)) return false;
  if (!ReadRegistration(mapped.Mapped() ? mapped.Bytes() : std::span<const std::uint8_t>(image), registration,
                        error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::string DescribePropertyValue(const RegistrationProperty& property) {
  const std::uint32_t key = property.key;
  std::uint32_t u32 = 0;
  std::uint16_t a = 0, b = 0;
  std::string text, ignored;
  if (key == OSType("kind") && property.length == 4 && DataAs(property, 0, u32)) {
    return OSTypeText(u32);
  }
  if ((key == OSType("name") || key == OSType("catg") || key == OSType("eMNA")) &&
      PascalStringValue(property, text, ignored)) {
    return Quoted(text);
  }
  if (key == OSType("8664") && !property.data.empty()) {
    const auto* start = reinterpret_cast<const char*>(property.data.data());
    return Quoted(std::string(start, strnlen(start, property.data.size())));
  }
  if ((key == OSType("ePVR") || key == OSType("eSVR")) && property.length == 4 &&
      DataAs(property, 0, a) && DataAs(property, 2, b)) {
    return std::to_string(a) + "." + std::to_string(b);
  }
  if ((key == OSType("eVER") || key == OSType("eGLO")) && property.length == 4 &&
      DataAs(property, 0, u32)) {
    return Hex(u32);
  }
  if (key == OSType("eINF") && property.length == 2 && DataAs(property, 0, a)) {
    return std::to_string(a);
  }
  if (key == OSType("zkFL") && property.length == 4 && DataAs(property, 0, u32)) {
    return std::to_string(u32);
  }
  return HexBytes(property.data);
}

}  // namespace threeway::host
