// Finding catalogue rows by identifier and by index, as the tools do.
#include "params/catalogue.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace threeway {
namespace {

TEST(ParamCatalogue, LookupByIdentifier) {
  for (const ParamSpec& row : ParamSpecs()) {
    const ParamSpec* found = FindParamSpec(row.identifier);
    ASSERT_NE(found, nullptr) << row.identifier;
    EXPECT_EQ(found, &row);
  }
  EXPECT_EQ(FindParamSpec("MasterSaturation")->index, kParamMasterSaturation);
  for (const char* missing : {"", "kParamMasterSaturation", "mastersaturation", "MasterSaturation ", "Nope"}) {
    EXPECT_EQ(FindParamSpec(missing), nullptr) << missing;
  }
}

TEST(ParamCatalogue, IndexOutsideTheCatalogueIsRefused) {
  EXPECT_THROW(ParamSpecAt(-1), std::out_of_range);
  EXPECT_THROW(ParamSpecAt(kParamCount), std::out_of_range);
  EXPECT_NO_THROW(ParamSpecAt(0));
  EXPECT_NO_THROW(ParamSpecAt(kParamCount - 1));
}

}  // namespace
}  // namespace threeway
