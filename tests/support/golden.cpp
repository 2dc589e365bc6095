#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace twtest {

std::string Checksum(const void* data, std::size_t size) {
  constexpr std::uint64_t kOffsetBasis = 0xcbf29ce484222325ull;
  constexpr std::uint64_t kPrime = 0x100000001b3ull;
  std::uint64_t hash = kOffsetBasis;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * kPrime;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

void ExpectGolden(const std::string& relativePath, const std::map<std::string, std::string>& actual) {
  const std::string path = std::string(THREEWAY_SOURCE_DIR) + "/tests/" + relativePath;
  if (const char* write = std::getenv("THREEWAY_WRITE_GOLDEN"); write != nullptr && *write != '\0') {
    std::ofstream out(path, std::ios::trunc);
    for (const auto& [name, sum] : actual) out << name << ' ' << sum << '\n';
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    GTEST_SKIP() << "wrote " << actual.size() << " golden checksums to " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << "no golden file " << path << " (scripts/golden writes it)";
  std::map<std::string, std::string> expected;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, sum;
    if (fields >> name >> sum) expected[name] = sum;
  }
  for (const auto& [name, sum] : actual) {
    const auto found = expected.find(name);
    if (found == expected.end()) {
      ADD_FAILURE() << name << ": no golden checksum in " << relativePath;
    } else {
      EXPECT_EQ(sum, found->second) << name << " differs from its golden checksum in " << relativePath;
    }
  }
  for (const auto& [name, sum] : expected) {
    EXPECT_TRUE(actual.count(name) != 0) << name << " is in " << relativePath << " but was not produced";
  }
}

}  // namespace twtest
