// The built module, loaded by the real host: parameter set-up must hand the host exactly the
// records of the reference transcription, with the texts the host looked up in the table the
// module registered.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host.h"
#include "tests/support/paths.h"
#include "tests/params/expected_record.h"
#include "tests/params/reference_catalogue.h"

namespace threeway {
namespace {

using testing::CarriesText;
using testing::Differences;
using testing::ExpectedRecord;
using testing::kReferenceCatalogue;
using testing::RefRow;

TEST(ModuleDeclaration, EveryRecordThroughTheRealHost) {
  twhost::Host host;
  std::string error;
  ASSERT_TRUE(host.Load(::twtest::ModulePath(), error)) << error;
  ASSERT_EQ(host.GlobalSetup(), zkfx::kErrNone) << host.message();
  ASSERT_EQ(host.ParamsSetup(), zkfx::kErrNone) << host.message();
  EXPECT_EQ(host.paramCount(), 107);
  ASSERT_EQ(host.DeclaredCount(), 106);
  for (int index = 1; index <= 106; ++index) {
    const RefRow& ref = kReferenceCatalogue[index];
    SCOPED_TRACE(ref.identifier);
    const twhost::StoredParam* stored = host.Param(index);
    ASSERT_NE(stored, nullptr);
    zkfx::ParamRecord actual = stored->declared;
    if (CarriesText(ref.type)) {
      const std::string& text = ref.type == zkfx::kParamTypePopup      ? stored->choices
                                : ref.type == zkfx::kParamTypeCheckBox ? stored->boxText
                                                                       : stored->buttonText;
      EXPECT_EQ(text, ref.text);
      actual.value.popup.choices = nullptr;  // offset 64 for all three types
    }
    const zkfx::ParamRecord expected = ExpectedRecord(ref);
    EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << Differences(actual, expected);
    if (ref.type == zkfx::kParamTypeGroupStart) {
      EXPECT_EQ(stored->groupKind.has_value(), ref.kind >= 0);
      if (ref.kind >= 0 && stored->groupKind) {
        EXPECT_EQ(*stored->groupKind, ref.kind);
      }
    }
  }
  EXPECT_EQ(host.GlobalSetdown(), zkfx::kErrNone);
}

}  // namespace
}  // namespace threeway
