#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

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

constexpr const char* kEstimateMark = "@rcp-";

}  // namespace

std::string EstimateDependent(const std::string& name) {
  static const std::string suffix = [] {
    std::vector<float> estimates;
    for (std::uint32_t bits = 0x3f800000u; bits < 0x40000000u; bits += 37) {
      estimates.push_back(_mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(std::bit_cast<float>(bits)))));
    }
    return kEstimateMark + Checksum(estimates.data(), estimates.size() * sizeof(float)).substr(8);
  }();
  return name + suffix;
}

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
    auto found = stored.find(name);
    if (const std::size_t mark = name.find(kEstimateMark); found == stored.end() && mark != std::string::npos) {
      found = stored.find(name.substr(0, mark));
    }
    if (found == stored.end()) {
      ADD_FAILURE() << name << ": no golden value in " << relativePath << " (scripts/golden writes it)";
    } else {
      EXPECT_EQ(value, found->second) << name << " differs from its golden value in " << relativePath;
    }
  }
}

}  // namespace threeway::test
