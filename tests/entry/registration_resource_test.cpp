// The registration resource, byte for byte, against a transcription written out by hand.
#include <gtest/gtest.h>

#include <string>

#include "entry/registration_resource.h"

namespace {

using namespace std::string_literals;

// Each four-character code appears with its characters reversed (a little-endian 32-bit value).
std::string Expected() {
  std::string s;
  s += "\x01\x00"s "\x00\x00\x00\x00"s "\x0b\x00\x00\x00"s;  // version 1, 0, eleven properties
  s += "MT7Q" "dnik"s "\x00\x00\x00\x00"s "\x04\x00\x00\x00"s "TKFe";
  s += "MT7Q" "eman"s "\x00\x00\x00\x00"s "\x44\x00\x00\x00"s;  // 68 = 1 + 66 + 1 padding
  s += "\x42"s "$$$/Lumvane/ZKFilters/ColorThreeWay/Name=Three-Way Color Corrector" "\x00"s;
  s += "MT7Q" "gtac"s "\x00\x00\x00\x00"s "\x48\x00\x00\x00"s;  // 72 = 1 + 71
  s += "\x47"s "$$$/Lumvane/FiltersAndEffects/Category/ColorCorrection=Color Correction";
  s += "MT7Q" "4668"s "\x00\x00\x00\x00"s "\x08\x00\x00\x00"s "main\x00\x00\x00\x00"s;
  s += "MT7Q" "RVPe"s "\x00\x00\x00\x00"s "\x04\x00\x00\x00"s "\x02\x00\x00\x00"s;
  s += "MT7Q" "RVSe"s "\x00\x00\x00\x00"s "\x04\x00\x00\x00"s "\x0d\x00\x00\x00"s;
  s += "MT7Q" "REVe"s "\x00\x00\x00\x00"s "\x04\x00\x00\x00"s "\x02\x80\x08\x00"s;
  s += "MT7Q" "FNIe"s "\x00\x00\x00\x00"s "\x02\x00\x00\x00"s "\x00\x00\x00\x00"s;
  s += "MT7Q" "OLGe"s "\x00\x00\x00\x00"s "\x04\x00\x00\x00"s "\x40\x80\x00\x00"s;
  s += "MT7Q" "ANMe"s "\x00\x00\x00\x00"s "\x20\x00\x00\x00"s;  // 32 = 1 + 30 + 1 padding
  s += "\x1e"s "QTRN Three-Way Color Corrector" "\x00"s;
  s += "MT7Q" "LFkz"s "\x00\x00\x00\x00"s "\x04\x00\x00\x00"s "\x08\x00\x00\x00"s;
  return s;
}

TEST(RegistrationResource, BytesMatchTheDocumentedLayout) {
  constexpr auto bytes = threeway::MakeRegistrationResource();
  const std::string actual(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string expected = Expected();
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(static_cast<unsigned char>(actual[i]), static_cast<unsigned char>(expected[i]))
        << "byte " << i;
  }
}

}  // namespace
