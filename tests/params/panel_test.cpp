// The control panel as the host receives it from the built module: every declared record (its
// bytes with each text pointer replaced by the text the host copied, and its group kind) against
// golden checksums, one line per parameter so a diff names the parameter that moved; and the
// module's handling of display texts the host answers too long or not at all.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "params/catalogue.h"
#include "params/string_table.h"
#include "tests/support/effect.h"
#include "tests/support/golden.h"
#include "tests/support/paths.h"
#include "tests/support/recording_host.h"

namespace {

using namespace threeway;

std::string RecordBytesWithTexts(const threeway::host::StoredParam& param) {
  zkfx::ParamRecord record = param.declared;
  std::string text;
  switch (record.type) {
    case zkfx::kParamTypePopup: text = param.choices; record.value.popup.choices = nullptr; break;
    case zkfx::kParamTypeCheckBox: text = param.boxText; record.value.checkBox.boxText = nullptr; break;
    case zkfx::kParamTypeButton: text = param.buttonText; record.value.button.buttonText = nullptr; break;
    default: break;
  }
  std::string bytes(reinterpret_cast<const char*>(&record), sizeof record);
  bytes += '\n' + text + '\n' + (param.groupKind ? std::to_string(*param.groupKind) : "-");
  return bytes;
}

void SetUpPanel(threeway::test::RecordingHost& host) { ASSERT_NO_FATAL_FAILURE(threeway::test::BringUp(host, false)); }

TEST(PanelGolden, EveryDeclaredRecord) {
  threeway::test::RecordingHost host;
  SetUpPanel(host);
  ASSERT_EQ(host.DeclaredCount(), kParamCount - 1);
  std::map<std::string, std::string> sums;
  for (int index = 1; index < kParamCount; ++index) {
    const std::string key = std::to_string(index) + "/" + std::string(ParamSpecAt(index).identifier);
    sums[key] = threeway::test::Checksum(RecordBytesWithTexts(*host.Param(index)));
  }
  threeway::test::ExpectGolden("params/golden/panel.txt", sums);
}

// A host whose string lookups answer one entry with a text of its choosing.
class TextOverridingHost : public threeway::test::RecordingHost {
 public:
  TextOverridingHost(std::int32_t entry, const char* text) : entry_(entry), text_(text) {}
  const char* OnLookupString(zkfx::StringTableToken token, std::int32_t entry) const override {
    return entry == entry_ ? text_ : RecordingHost::OnLookupString(token, entry);
  }

 private:
  std::int32_t entry_;
  const char* text_;
};

TEST(PanelTexts, LongOrMissingHostTextsBecomeBoundedNames) {
  const std::string longText(40, 'x');
  struct Case {
    const char* text;  // what the host answers for the Three-Way group's name
    std::string name;  // the name the host must receive
  };
  for (const Case& c : {Case{longText.c_str(), std::string(31, 'x')}, Case{"Short", "Short"},
                        Case{"", ""}, Case{nullptr, ""}}) {
    SCOPED_TRACE(c.name);
    TextOverridingHost host(kStrThreeWayHueBalanceAndAngle, c.text);
    SetUpPanel(host);
    const zkfx::ParamRecord& group = host.Param(kParamThreeWayGroupStart)->declared;
    EXPECT_EQ(std::string(group.name, strnlen(group.name, sizeof group.name)), c.name);
    EXPECT_EQ(group.name[31], '\0');
    EXPECT_EQ(host.DeclaredCount(), kParamCount - 1);  // the rest of the panel is unharmed
  }
}

}  // namespace
