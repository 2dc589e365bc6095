#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace threeway::test {

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

namespace {

std::map<std::string, std::string> ReadGolden(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    if (!line.empty() && line[0] != '#' && tab != std::string::npos) values[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return values;
}

}  // namespace

void ExpectGolden(const std::string& relativePath, const std::map<std::string, std::string>& actual) {
  const std::string path = std::string(THREEWAY_SOURCE_DIR) + "/tests/" + relativePath;
  std::map<std::string, std::string> stored = ReadGolden(path);
  if (const char* write = std::getenv("THREEWAY_WRITE_GOLDEN"); write != nullptr && *write != '\0') {
    for (const auto& [name, value] : actual) stored[name] = value;
    std::ofstream out(path, std::ios::trunc);
    out << "# Golden values; scripts/golden rewrites them. Review the diff before committing it.\n";
    for (const auto& [name, value] : stored) out << name << '\t' << value << '\n';
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    GTEST_SKIP() << "wrote " << actual.size() << " golden values to " << path;
  }
  ASSERT_FALSE(stored.empty()) << "no golden values in " << path << " (scripts/golden writes them)";
  for (const auto& [name, value] : actual) {
    const auto found = stored.find(name);
    if (found == stored.end()) {
      ADD_FAILURE() << name << ": no golden value in " << relativePath << " (scripts/golden writes it)";
    } else {
      EXPECT_EQ(value, found->second) << name << " differs from its golden value in " << relativePath;
    }
  }
}

}  // namespace threeway::test
