#include "params/string_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "tests/support/golden.h"

namespace threeway {
namespace {

constexpr const char* kPath = "$$$/Lumvane/ZKFilters/ColorThreeWay/";

TEST(DisplayStringTable, DescriptorAndWord) {
  zkfx::DisplayStringTable* const* word = DisplayStringTableWord();
  ASSERT_NE(word, nullptr);
  const zkfx::DisplayStringTable* table = *word;
  ASSERT_EQ(table, DisplayStringTableDescriptor());
  EXPECT_STREQ(table->name, "FX");
  EXPECT_EQ(table->count, 102u);
  ASSERT_NE(table->entries, nullptr);
  // The descriptor and the table keep their addresses: asking again yields the same ones.
  EXPECT_EQ(DisplayStringTableWord(), word);
  EXPECT_EQ(DisplayStringTableDescriptor()->entries, table->entries);
}

// The entries' texts themselves ("path key=English"): StringTableGolden.EveryEntry.
TEST(DisplayStringTable, EntriesAndTerminator) {
  const zkfx::DisplayString* entries = DisplayStringTableDescriptor()->entries;
  for (int i = 0; i < 101; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(entries[i].text, nullptr);
    EXPECT_TRUE(entries[i].reserved[0] == 0u && entries[i].reserved[1] == 0u && entries[i].reserved[2] == 0u);
    // Only entry 0 carries a line break.
    EXPECT_EQ(std::strstr(entries[i].text, "^n") != nullptr, i == 0);
  }
  const zkfx::DisplayString& last = entries[101];
  EXPECT_EQ(last.text, nullptr);
  EXPECT_TRUE(last.reserved[0] == ~0ull && last.reserved[1] == ~0ull && last.reserved[2] == 0u);
}

// Every entry, its key, English text and the entry constant that names it, against the golden
// values (tests/params/golden/strings.txt, written by scripts/golden).
TEST(StringTableGolden, EveryEntry) {
  const zkfx::DisplayString* entries = DisplayStringTableDescriptor()->entries;
  std::map<std::string, std::string> values;
  for (int entry = 0; entry < 101; ++entry) {
    const std::string key(DisplayStringKey(entry));
    EXPECT_EQ(std::string(entries[entry].text), std::string(kPath) + key + "=" + std::string(DisplayStringEnglish(entry)));
    values[std::to_string(entry) + "/" + key] = threeway::test::Checksum(std::string(entries[entry].text));
  }
  // The constants are the lookup keys: each names the entry whose key it spells.
  for (const auto& [entry, key] : {std::pair{kStr0000, "0000"}, std::pair{kStrThreeWayHueBalanceAndAngle,
                                   "kStrThreeWayHueBalanceAndAngle"}, std::pair{kShowMask, "kShowMask"},
                                   std::pair{kStrSpaceLabelText, "kStrSpaceLabelText"},
                                   std::pair{kStrMasterGroupName, "kStrMasterGroupName"}}) {
    EXPECT_EQ(DisplayStringKey(entry), key);
  }
  threeway::test::ExpectGolden("params/golden/strings.txt", values);
}

TEST(DisplayStringTable, FirstEntryForm) {
  const std::string_view text = DisplayStringEnglish(kStr0000);
  ASSERT_EQ(text.rfind("ColorThreeWay...^n", 0), 0u) << text;
  EXPECT_GT(text.size(), std::strlen("ColorThreeWay...^n") + 10) << "a real second line follows";
}

TEST(DisplayStringTable, EntriesOutsideTheTableHaveNoText) {
  for (int entry : {-1, 101, 102, 1000}) {
    EXPECT_TRUE(DisplayStringKey(entry).empty()) << entry;
    EXPECT_TRUE(DisplayStringEnglish(entry).empty()) << entry;
  }
}

}  // namespace
}  // namespace threeway
