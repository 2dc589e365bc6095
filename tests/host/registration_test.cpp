// The registration resource: a reference built here from the documented layout, the real module
// file against it, and corrupted copies of both.
#include <elf.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "entry/host_interface.h"
#include "host/registration.h"
#include "tests/support/paths.h"

namespace {

using threeway::host::OSType;

// Little-endian writer for the reference resource.
struct Bytes {
  std::vector<std::uint8_t> v;
  void U8(std::uint8_t x) { v.push_back(x); }
  void U16(std::uint16_t x) { U8(x & 0xFF); U8(x >> 8); }
  void U32(std::uint32_t x) { U16(x & 0xFFFF); U16(x >> 16); }
};

// One property: vendor "Q7TM", key, id 0, length, data padded to 4.
void Property(Bytes& b, const char (&key)[5], std::uint32_t length, const std::vector<std::uint8_t>& data) {
  b.U32(OSType("Q7TM"));
  b.U32(OSType(key));
  b.U32(0);
  b.U32(length);
  for (std::uint8_t x : data) b.U8(x);
  for (std::size_t i = data.size(); i % 4 != 0; ++i) b.U8(0);
}
void Pascal(Bytes& b, const char (&key)[5], const std::string& text) {
  std::vector<std::uint8_t> data{static_cast<std::uint8_t>(text.size())};
  data.insert(data.end(), text.begin(), text.end());
  while (data.size() % 4 != 0) data.push_back(0);
  Property(b, key, static_cast<std::uint32_t>(data.size()), data);
}
void Word(Bytes& b, const char (&key)[5], std::uint32_t value) {
  Bytes data;
  data.U32(value);
  Property(b, key, 4, data.v);
}

// The resource as documented, byte for byte.
std::vector<std::uint8_t> ReferenceResource(const std::string& matchName = "QTRN Three-Way Color Corrector") {
  Bytes b;
  b.U16(1);
  b.U32(0);
  b.U32(11);
  Word(b, "kind", OSType("eFKT"));
  Pascal(b, "name", "$$$/Lumvane/ZKFilters/ColorThreeWay/Name=Three-Way Color Corrector");
  Pascal(b, "catg", "$$$/Lumvane/FiltersAndEffects/Category/ColorCorrection=Color Correction");
  Property(b, "8664", 8, {'m', 'a', 'i', 'n', 0, 0, 0, 0});
  Word(b, "ePVR", 2);
  Word(b, "eSVR", 13);
  Word(b, "eVER", 0x00088002);
  Property(b, "eINF", 2, {0, 0});
  Word(b, "eGLO", 0x00008040);
  Pascal(b, "eMNA", matchName);
  Word(b, "zkFL", 8);
  return b.v;
}

// Offsets of each property's length field in a well-formed resource.
std::vector<std::size_t> LengthFieldOffsets(const std::vector<std::uint8_t>& resource) {
  std::vector<std::size_t> offsets;
  std::size_t at = 10;
  while (at + 16 <= resource.size()) {
    std::uint32_t length;
    std::memcpy(&length, &resource[at + 12], 4);
    offsets.push_back(at + 12);
    at += 16 + ((length + 3) & ~3u);
  }
  return offsets;
}

TEST(Registration, ReferenceResourceDecodesToTheDocumentedValues) {
  const std::vector<std::uint8_t> resource = ReferenceResource();
  ASSERT_EQ(resource[10], 'M');  // "Q7TM" stored reversed
  ASSERT_EQ(resource[14], 'd');  // "kind" stored as "dnik"
  threeway::host::Registration r;
  std::string error;
  ASSERT_TRUE(threeway::host::DecodeRegistration(resource, r, error)) << error;
  ASSERT_TRUE(threeway::host::CheckRegistration(r, error)) << error;
  ASSERT_EQ(r.properties.size(), 11u);
  const char* keys[] = {"kind", "name", "catg", "8664", "ePVR", "eSVR", "eVER", "eINF", "eGLO", "eMNA", "zkFL"};
  const char* values[] = {"eFKT",
                          "\"$$$/Lumvane/ZKFilters/ColorThreeWay/Name=Three-Way Color Corrector\"",
                          "\"$$$/Lumvane/FiltersAndEffects/Category/ColorCorrection=Color Correction\"",
                          "\"main\"", "2.0", "13.0", "0x88002", "0", "0x8040",
                          "\"QTRN Three-Way Color Corrector\"", "8"};
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(threeway::host::OSTypeText(r.properties[i].key), keys[i]);
    EXPECT_EQ(threeway::host::OSTypeText(r.properties[i].vendor), "Q7TM");
    EXPECT_EQ(threeway::host::DescribePropertyValue(r.properties[i]), values[i]) << keys[i];
  }
  EXPECT_EQ(r.Find(OSType("eINF"))->length, 2u);
  EXPECT_EQ(r.Find(OSType("eMNA"))->length, 32u);  // 1 + 30 characters + 1 padding
  EXPECT_EQ(r.Find(OSType("none")), nullptr);
}

TEST(Registration, ChecksRejectAnotherEffect) {
  struct Case { const char* what; std::size_t offset; std::uint8_t byte; const char* message; };
  const std::vector<std::uint8_t> good = ReferenceResource();
  // Offsets in the reference: header 10; "kind" property at 10 (data at 26); the vendor of the first at 10.
  const std::vector<Case> cases = {
      {"version 2", 0, 2, "version 2"},
      {"sub-version 1", 2, 1, "sub-version 1"},
      {"vendor", 10, 'X', "vendor code"},
      {"kind", 26, 'X', "kind"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> bytes = good;
    bytes[c.offset] = c.byte;
    threeway::host::Registration r;
    std::string error;
    ASSERT_TRUE(threeway::host::DecodeRegistration(bytes, r, error)) << error;
    EXPECT_FALSE(threeway::host::CheckRegistration(r, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  threeway::host::Registration r;
  std::string error;
  ASSERT_TRUE(threeway::host::DecodeRegistration(ReferenceResource("QTRN Other Effect"), r, error)) << error;
  EXPECT_FALSE(threeway::host::CheckRegistration(r, error));
  EXPECT_NE(error.find("QTRN Other Effect"), std::string::npos) << error;
}

// Every corruption of a length or count field is refused with a message: never a crash, never a
// read past the bytes (ASan checks that). Every cut of the resource is refused too: the fuzzing
// target checks that on every input it decodes, the documented resource among its seeds.
void ExpectCorruptionsAreRefused(const std::vector<std::uint8_t>& resource) {
  threeway::host::Registration r;
  std::string error;
  for (std::size_t offset : LengthFieldOffsets(resource)) {
    std::uint32_t original;
    std::memcpy(&original, &resource[offset], 4);
    for (std::uint32_t length : {original + 4, original + 5, original + 1000, 0x7FFFFFFFu, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
      std::vector<std::uint8_t> bytes = resource;
      std::memcpy(&bytes[offset], &length, 4);
      error.clear();
      const bool decoded = threeway::host::DecodeRegistration(bytes, r, error) && threeway::host::CheckRegistration(r, error);
      EXPECT_FALSE(decoded) << "offset " << offset << " length " << length;
      EXPECT_FALSE(error.empty());
    }
  }
  for (std::uint32_t count : {0u, 1u, 10u, 12u, 1000u, 0xFFFFFFFFu}) {
    std::vector<std::uint8_t> bytes = resource;
    std::memcpy(&bytes[6], &count, 4);
    error.clear();
    const bool decoded = threeway::host::DecodeRegistration(bytes, r, error) && threeway::host::CheckRegistration(r, error);
    EXPECT_FALSE(decoded) << "count " << count;
    EXPECT_NE(error.find("count"), std::string::npos) << error;
  }
}

TEST(Registration, CorruptedReferenceResourcesAreRefused) { ExpectCorruptionsAreRefused(ReferenceResource()); }

TEST(Registration, ShortPascalStringsAndTrailingBytes) {
  std::vector<std::uint8_t> bytes = ReferenceResource();
  bytes.insert(bytes.end(), 8, 0);  // section alignment padding is accepted
  threeway::host::Registration r;
  std::string error;
  EXPECT_TRUE(threeway::host::DecodeRegistration(bytes, r, error)) << error;
  bytes.back() = 1;
  EXPECT_FALSE(threeway::host::DecodeRegistration(bytes, r, error));
  // The match name's length byte claims more text than its data holds.
  threeway::host::RegistrationProperty p;
  p.key = OSType("eMNA");
  p.length = 4;
  p.data = {200, 'a', 'b', 'c'};
  std::string text;
  EXPECT_FALSE(threeway::host::PascalStringValue(p, text, error));
  EXPECT_NE(error.find("200"), std::string::npos);
  EXPECT_EQ(threeway::host::DescribePropertyValue(p), "c8 61 62 63");
}

class ModuleFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(threeway::host::ReadFileBytes(threeway::test::ModulePath(), image_, error)) << error;
    ASSERT_TRUE(threeway::host::FindElfSection(image_, zkfx::kRegistrationSectionName, section_, error)) << error;
  }
  std::vector<std::uint8_t> image_;
  std::span<const std::uint8_t> section_;  // the registration section inside image_
};

TEST_F(ModuleFile, CarriesExactlyTheDocumentedResource) {
  // The reference, then zero padding to the section's end.
  std::vector<std::uint8_t> expected = ReferenceResource();
  ASSERT_GE(section_.size(), expected.size());
  expected.resize(section_.size(), 0);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), section_.begin()));
  std::string error;
  threeway::host::Registration r;
  ASSERT_TRUE(threeway::host::ReadRegistrationFromFile(threeway::test::ModulePath(), r, error)) << error;
  EXPECT_EQ(r.properties.size(), 11u);
}

TEST_F(ModuleFile, EveryTruncationOfTheFileIsRefusedWithAMessage) {
  const std::size_t sectionEnd = static_cast<std::size_t>(section_.data() - image_.data()) + section_.size();
  std::string error;
  threeway::host::Registration r;
  std::size_t accepted = 0;
  for (std::size_t size = 0; size < image_.size(); ++size) {
    error.clear();
    const bool ok = threeway::host::ReadRegistration(std::span(image_.data(), size), r, error);
    if (ok) {
      ++accepted;
      // Only possible while the section headers and the whole section are still inside.
      ASSERT_GE(size, sectionEnd);
    } else {
      ASSERT_FALSE(error.empty()) << size;
    }
  }
  // Section headers sit at the end of the file: any cut removes them.
  EXPECT_EQ(accepted, 0u);
}

TEST_F(ModuleFile, CorruptedSectionContentsAreRefused) {
  ExpectCorruptionsAreRefused(std::vector<std::uint8_t>(section_.begin(), section_.end()));
}

TEST_F(ModuleFile, CorruptedElfHeadersAreRefused) {
  struct Case { const char* what; std::size_t offset; std::vector<std::uint8_t> bytes; const char* message; };
  const std::vector<Case> cases = {
      {"magic", 1, {'X'}, "not an ELF file"},
      {"32-bit class", 4, {ELFCLASS32}, "64-bit"},
      {"big-endian", 5, {ELFDATA2MSB}, "64-bit"},
      {"section table offset far away", 40, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "section header table"},
      {"no section table", 40, {0, 0, 0, 0, 0, 0, 0, 0}, "no section header table"},
      {"entry size", 58, {63, 0}, "entry size"},
      {"huge section count", 60, {0xFF, 0xFF}, "section count"},
      {"name table index", 62, {0xFE, 0xFF}, "section name table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint8_t> image = image_;
    std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(c.offset));
    threeway::host::Registration r;
    std::string error;
    EXPECT_FALSE(threeway::host::ReadRegistration(image, r, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  // The section renamed: ".pipl" becomes ".pipX" in the name table. The same text may also stand
  // elsewhere in the file (debug information, for one), so every occurrence is renamed.
  std::vector<std::uint8_t> image = image_;
  const std::string name = std::string(zkfx::kRegistrationSectionName) + '\0';
  int renamed = 0;
  for (auto found = std::search(image.begin(), image.end(), name.begin(), name.end()); found != image.end();
       found = std::search(found + 1, image.end(), name.begin(), name.end())) {
    found[4] = 'X';
    ++renamed;
  }
  ASSERT_GT(renamed, 0);
  threeway::host::Registration r;
  std::string error;
  EXPECT_FALSE(threeway::host::ReadRegistration(image, r, error));
  EXPECT_NE(error.find("no .pipl section"), std::string::npos) << error;
}

TEST(Registration, FilesThatAreNotModules) {
  const std::string dir = ::testing::TempDir();
  struct Case { std::string path; std::string contents; const char* message; };
  const std::vector<Case> cases = {
      {dir + "/tw_missing.so", "", "cannot open"},
      {dir + "/tw_empty.so", "", "too short"},
      {dir + "/tw_text.so", std::string(100, 'x'), "not an ELF file"},
      {dir + "/tw_folder.so", "", "Is a directory"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::remove(c.path.c_str());
    if (c.path.ends_with("folder.so")) {
      ::mkdir(c.path.c_str(), 0755);
    } else if (i > 0) {
      std::ofstream(c.path, std::ios::binary) << c.contents;
    }
    threeway::host::Registration r;
    std::string error;
    EXPECT_FALSE(threeway::host::ReadRegistrationFromFile(c.path, r, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_NE(error.find(c.path), std::string::npos) << error;
  }
}

// A regular file is mapped, anything else read through: the module's bytes through a pipe give the
// registration its file gives.
TEST(Registration, AModuleThroughAPipeReadsAsItsFile) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(threeway::host::ReadFileBytes(threeway::test::ModulePath(), bytes, error)) << error;
  const std::string pipe = ::testing::TempDir() + "/tw_module_pipe";
  std::remove(pipe.c_str());
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(pipe, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                        static_cast<std::streamsize>(bytes.size())); });
  threeway::host::Registration fromPipe, fromFile;
  const bool piped = threeway::host::ReadRegistrationFromFile(pipe, fromPipe, error);
  writer.join();
  std::remove(pipe.c_str());
  ASSERT_TRUE(piped) << error;
  ASSERT_TRUE(threeway::host::ReadRegistrationFromFile(threeway::test::ModulePath(), fromFile, error)) << error;
  ASSERT_EQ(fromPipe.properties.size(), fromFile.properties.size());
  for (std::size_t i = 0; i < fromFile.properties.size(); ++i) {
    EXPECT_EQ(threeway::host::DescribePropertyValue(fromPipe.properties[i]),
              threeway::host::DescribePropertyValue(fromFile.properties[i]));
  }
}

}  // namespace
