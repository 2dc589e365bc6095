#include "params/declare.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "params/catalogue.h"
#include "params/string_table.h"
#include "tests/params/expected_record.h"
#include "tests/params/fake_host.h"
#include "tests/params/reference_catalogue.h"

namespace threeway {
namespace {

using testing::AddedParam;
using testing::CarriesText;
using testing::Differences;
using testing::ExpectedRecord;
using testing::FakeHost;
using testing::HostCall;
using testing::kReferenceCatalogue;
using testing::RefRow;

// The declarers, their index ranges and the entry numbers each must fetch, in order (the blank
// label 95 once at the start of declarers 2, 3, 4, 5, 7 and 8), worked out by hand.
struct DeclarerCase {
  const char* name;
  int first;
  int last;
  std::vector<std::int32_t> lookups;
};
const std::vector<DeclarerCase>& DeclarerCases() {
  static const std::vector<DeclarerCase> cases = {
      {"DeclareOutput", 1, 1, {93, 94}},
      {"DeclareSplitViewGroup", 2, 6, {95, 72, 73, 74, 75, 76}},
      {"DeclareThreeWayGroup", 7, 12, {95, 7, 100, 23, 24, 25}},
      {"DeclareLevelsPickGroup", 13, 17, {95, 34, 35, 36}},
      {"DeclareTonalRangeGroup", 18, 24, {95, 62, 67, 68, 69, 70, 71}},
      {"DeclareSaturationGroup", 25, 30, {26, 27, 28, 29, 30}},
      {"DeclareSecondaryGroup", 31, 65, {95, 79, 80, 81, 82, 82, 85, 86, 87, 88, 83, 83, 85, 86, 87, 88,
                                         84, 84, 85, 86, 87, 88, 91, 92, 89, 90}},
      {"DeclareAutoLevelsGroup", 66, 75, {95, 96, 33, 32, 31, 34, 35, 36}},
      {"DeclareShadowsGroup", 76, 81, {97, 12, 10, 11, 9}},
      {"DeclareMidtonesGroup", 82, 87, {98, 17, 15, 16, 14}},
      {"DeclareHighlightsGroup", 88, 93, {99, 22, 20, 21, 19}},
      {"DeclareMasterGroup", 94, 99, {100, 6, 4, 5, 3}},
      {"DeclareMasterLevelsGroup", 100, 106, {37, 38, 39, 40, 41, 42}},
  };
  return cases;
}

class DeclareAll : public ::testing::Test {
 protected:
  void SetUp() override { host.SetToken(DisplayStringTableDescriptor()); }
  FakeHost host;
};

TEST_F(DeclareAll, EveryRecordByteAsTheHostMustSeeIt) {
  ASSERT_EQ(DeclareAllParams(host.In(), host.Scratch(), host.Suite()), zkfx::kErrNone);
  ASSERT_EQ(host.added.size(), 106u);
  EXPECT_EQ(host.Count(HostCall::kAddParam), 106);
  EXPECT_EQ(host.Count(HostCall::kSetGroupKind), 15);
  EXPECT_FALSE(host.copyNameOutsideScratch);
  for (std::size_t n = 0; n < host.added.size(); ++n) {
    const RefRow& ref = kReferenceCatalogue[n + 1];
    SCOPED_TRACE(ref.identifier);
    const AddedParam& added = host.added[n];
    EXPECT_EQ(added.index, -1);
    zkfx::ParamRecord actual = added.Record();
    if (CarriesText(ref.type)) {
      EXPECT_NE(actual.value.popup.choices, nullptr);  // the text pointer sits at offset 64 for all three
      EXPECT_EQ(added.text, ref.text);
      EXPECT_FALSE(added.textIsHostBuffer) << "the text must be the module's own copy";
      actual.value.popup.choices = nullptr;
    }
    const zkfx::ParamRecord expected = ExpectedRecord(ref);
    EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << Differences(actual, expected);
    if (ref.type == zkfx::kParamTypeFloatSlider) {
      EXPECT_EQ(actual.value.floatSlider.current, static_cast<double>(actual.value.floatSlider.defaultValue));
    }
    if (ref.type == zkfx::kParamTypeCheckBox || ref.type == zkfx::kParamTypeButton) {
      EXPECT_STREQ(actual.name, " ");
    }
  }
}

TEST_F(DeclareAll, GroupKindsFollowTheirGroupStarts) {
  ASSERT_EQ(DeclareAllParams(host.In(), host.Scratch(), host.Suite()), zkfx::kErrNone);
  std::vector<int> expectedKinds;
  std::vector<int> kindOwners;  // ids of the group starts with a kind
  for (const RefRow& ref : kReferenceCatalogue) {
    if (ref.type == 13 && ref.kind >= 0) {
      expectedKinds.push_back(ref.kind);
      kindOwners.push_back(ref.id);
    }
  }
  EXPECT_EQ(host.kinds, expectedKinds);
  // Each setGroupKind comes right after the addParam of its own group start.
  std::size_t k = 0;
  for (std::size_t i = 0; i < host.calls.size(); ++i) {
    if (host.calls[i].kind != HostCall::kSetGroupKind) continue;
    ASSERT_GT(i, 0u);
    ASSERT_LT(k, kindOwners.size());
    EXPECT_EQ(host.calls[i - 1].kind, HostCall::kAddParam);
    EXPECT_EQ(host.calls[i - 1].value, kindOwners[k]);
    ++k;
  }
  EXPECT_EQ(k, 15u);
}

TEST_F(DeclareAll, LongestNameFillsTheFieldExactly) {
  ASSERT_EQ(DeclareAllParams(host.In(), host.Scratch(), host.Suite()), zkfx::kErrNone);
  const zkfx::ParamRecord threeWay = host.added[kParamThreeWayGroupStart - 1].Record();
  EXPECT_EQ(std::strlen("Three-Way Hue Balance and Angle"), 31u);
  EXPECT_EQ(std::memcmp(threeWay.name, "Three-Way Hue Balance and Angle", 32), 0);
  EXPECT_EQ(threeWay.name[31], '\0');
  EXPECT_EQ(host.longestCopiedName, 31u);
  for (const AddedParam& added : host.added) {
    const zkfx::ParamRecord r = added.Record();
    if (r.id != 23) {
      EXPECT_LT(std::strlen(r.name), 31u) << r.name;
    }
  }
}

TEST_F(DeclareAll, NestingClosesCompletely) {
  ASSERT_EQ(DeclareAllParams(host.In(), host.Scratch(), host.Suite()), zkfx::kErrNone);
  std::vector<int> open;  // ids of the open group starts
  std::size_t deepest = 0;
  std::vector<int> deepestIndices;
  for (std::size_t n = 0; n < host.added.size(); ++n) {
    const zkfx::ParamRecord r = host.added[n].Record();
    const int index = static_cast<int>(n) + 1;
    if (r.type == zkfx::kParamTypeGroupStart) {
      open.push_back(r.id);
      deepest = std::max(deepest, open.size());
    } else if (r.type == zkfx::kParamTypeGroupEnd) {
      ASSERT_FALSE(open.empty()) << "group end " << r.id << " without a start";
      open.pop_back();
    } else if (open.size() == 4) {
      deepestIndices.push_back(index);
    }
  }
  EXPECT_TRUE(open.empty());
  EXPECT_EQ(deepest, 4u);
  // Four groups deep: the controls of the hue, saturation and luma ranges of the qualifier
  // (31 > 32 > 36 > 37, 31 > 32 > 45 > 46 and 31 > 32 > 53 > 54).
  EXPECT_EQ(deepestIndices, (std::vector<int>{38, 39, 40, 41, 42, 47, 48, 49, 50, 55, 56, 57, 58}));
}

TEST(Declarers, EachDeclaresItsRowsAndFetchesItsTextsInOrder) {
  const std::array<GroupDeclarer, 13> named = {
      nullptr,                DeclareSplitViewGroup,  DeclareThreeWayGroup,  DeclareLevelsPickGroup,
      DeclareTonalRangeGroup, DeclareSaturationGroup, DeclareSecondaryGroup, DeclareAutoLevelsGroup,
      DeclareShadowsGroup,    DeclareMidtonesGroup,   DeclareHighlightsGroup, DeclareMasterGroup,
      DeclareMasterLevelsGroup};
  ASSERT_EQ(DeclarerCases().size(), kGroupDeclarers.size());
  int nextIndex = 1;
  for (std::size_t d = 0; d < DeclarerCases().size(); ++d) {
    const DeclarerCase& c = DeclarerCases()[d];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.first, nextIndex) << "the declarers tile the catalogue";
    nextIndex = c.last + 1;
    if (d > 0) {
      EXPECT_EQ(kGroupDeclarers[d], named[d]) << "table order";
    }

    FakeHost host;
    host.SetToken(DisplayStringTableDescriptor());
    const std::int32_t result = d == 0 ? DeclareOutput(host.In(), host.Scratch())
                                       : kGroupDeclarers[d](host.In(), host.Scratch(), host.Suite());
    ASSERT_EQ(result, zkfx::kErrNone);
    EXPECT_EQ(host.Lookups(), c.lookups);
    ASSERT_EQ(host.added.size(), static_cast<std::size_t>(c.last - c.first + 1));
    for (int index = c.first; index <= c.last; ++index) {
      EXPECT_EQ(host.added[index - c.first].Record().id, kReferenceCatalogue[index].id) << index;
    }

    // Each text is fetched right before the declaration that uses it: the lookups between two
    // additions are the next parameter's name (unless it reuses the blank) and its other text.
    std::size_t added = 0;
    std::vector<std::string> segment;
    bool first = true;
    for (const HostCall& call : host.calls) {
      if (call.kind == HostCall::kLookup) {
        segment.emplace_back(DisplayStringEnglish(call.value));
      } else if (call.kind == HostCall::kAddParam) {
        const RefRow& ref = kReferenceCatalogue[c.first + added];
        if (first && !segment.empty() && segment.front() == " " && c.lookups.front() == 95) {
          segment.erase(segment.begin());  // the declarer's one fetch of the blank label
        }
        std::vector<std::string> expected;
        if (ref.name != nullptr && std::string(ref.name) != " ") expected.emplace_back(ref.name);
        if (ref.text != nullptr) expected.emplace_back(ref.text);
        EXPECT_EQ(segment, expected) << ref.identifier;
        segment.clear();
        first = false;
        ++added;
      }
    }
    EXPECT_TRUE(segment.empty()) << "nothing is fetched after the last declaration";
  }
  EXPECT_EQ(nextIndex, 107);
}

TEST(DeclareFailures, AddParamFailureStopsEverything) {
  for (int n = 1; n <= 106; ++n) {
    SCOPED_TRACE(n);
    FakeHost host;
    host.SetToken(DisplayStringTableDescriptor());
    host.failAddAt = n;
    host.failCode = 7000 + n;
    ASSERT_EQ(DeclareAllParams(host.In(), host.Scratch(), host.Suite()), 7000 + n);
    EXPECT_EQ(host.added.size(), static_cast<std::size_t>(n));
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back().kind, HostCall::kAddParam) << "no call after the failing one";
    EXPECT_EQ(host.calls.back().value, kReferenceCatalogue[n].id);
  }
}

TEST(DeclareFailures, SetGroupKindFailureStopsEverything) {
  std::vector<int> kindRows;  // 1-based count of additions up to each group start with a kind
  for (const RefRow& ref : kReferenceCatalogue) {
    if (ref.type == 13 && ref.kind >= 0) kindRows.push_back(ref.index);
  }
  ASSERT_EQ(kindRows.size(), 15u);
  for (int n = 1; n <= 15; ++n) {
    SCOPED_TRACE(n);
    FakeHost host;
    host.SetToken(DisplayStringTableDescriptor());
    host.failKindAt = n;
    host.failCode = -9000 - n;
    ASSERT_EQ(DeclareAllParams(host.In(), host.Scratch(), host.Suite()), -9000 - n);
    EXPECT_EQ(host.kinds.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(host.added.size(), static_cast<std::size_t>(kindRows[n - 1]));
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back().kind, HostCall::kSetGroupKind) << "no call after the failing one";
  }
}

TEST(DeclareFailures, MissingGroupSuiteAddsNoHalfGroup) {
  FakeHost host;
  host.SetToken(DisplayStringTableDescriptor());
  EXPECT_EQ(DeclareAllParams(host.In(), host.Scratch(), nullptr), zkfx::kErrSuiteUnavailable);
  ASSERT_EQ(host.added.size(), 1u) << "only the Output popup, which needs no suite";
  EXPECT_EQ(host.added[0].Record().id, 1);

  FakeHost again;
  again.SetToken(DisplayStringTableDescriptor());
  const zkfx::GroupParamSuite1 empty{};
  EXPECT_EQ(DeclareAllParams(again.In(), again.Scratch(), &empty), zkfx::kErrSuiteUnavailable);
  EXPECT_EQ(again.added.size(), 1u);
}

TEST(DeclareTexts, HostTextsAreTruncatedOrToleratedWhenMissing) {
  const std::string longText(40, 'x');
  struct Case {
    const char* text;  // what the host answers for the Three-Way group's name
    std::string name;  // the name the host must receive
  };
  const Case cases[] = {
      {longText.c_str(), std::string(31, 'x')},
      {"Short", "Short"},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    host.SetToken(DisplayStringTableDescriptor());
    host.overrides[kStrThreeWayHueBalanceAndAngle] = c.text;
    ASSERT_EQ(DeclareThreeWayGroup(host.In(), host.Scratch(), host.Suite()), zkfx::kErrNone);
    const zkfx::ParamRecord r = host.added.front().Record();
    EXPECT_EQ(std::string(r.name), c.name);
    EXPECT_LE(host.longestCopiedName, 31u);
    EXPECT_EQ(r.name[31], '\0');
  }
}

TEST(DeclareTexts, TextsAreTheModulesOwnCopies) {
  // The fake host frees each answer at its next lookup, so a kept host pointer would read freed
  // memory (reported by the sanitizer build); the host's copies taken during addParam must be right.
  FakeHost host;
  host.SetToken(DisplayStringTableDescriptor());
  ASSERT_EQ(DeclareSecondaryGroup(host.In(), host.Scratch(), host.Suite()), zkfx::kErrNone);
  const AddedParam& showMask = host.added[kParamShowMask - kParamSecondaryGroupStart];
  EXPECT_EQ(showMask.text, "Show Mask");
  EXPECT_FALSE(showMask.textIsHostBuffer);
  const AddedParam& invert = host.added[kParamInvert - kParamSecondaryGroupStart];
  EXPECT_EQ(invert.text, "None|Invert Limit Color|Invert Mask");
  EXPECT_FALSE(invert.textIsHostBuffer);
}

}  // namespace
}  // namespace threeway
