#include "platform/com/guid_text.h"

#include <gtest/gtest.h>

#include "component/kefconvert_com.h"

namespace kefconvert::com {
namespace {

TEST(GuidText, WritesUpperCaseDigitsInBraces) {
  EXPECT_EQ(GuidText(CLSID_Convert), "{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}");
  EXPECT_EQ(GuidText(IID__Convert), "{22D1C84A-96FF-47E8-A720-DC42A7EF7517}");
  EXPECT_EQ(GuidText(LIBID_KEFConvert), "{885579CE-7926-4AF9-84F4-425DEC5ACFAA}");
}

TEST(ParseGuid, ReadsBracedGuidsInEitherCase) {
  std::optional<GUID> guid = ParseGuid("{4086ab62-87E5-49eb-AFDC-30E58A63B0CF}");
  ASSERT_TRUE(guid);
  EXPECT_TRUE(IsEqualGUID(*guid, CLSID_Convert));
}

TEST(ParseGuid, RejectsAnythingElse) {
  EXPECT_FALSE(ParseGuid("4086AB62-87E5-49EB-AFDC-30E58A63B0CF"));
  EXPECT_FALSE(ParseGuid("{4086AB62-87E5-49EB-AFDC-30E58A63B0C}"));
  EXPECT_FALSE(ParseGuid("{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}x"));
  EXPECT_FALSE(ParseGuid("{4086AB62-87E5-49EBAFDC-30E58A63B0CF}"));
  EXPECT_FALSE(ParseGuid("{4086AG62-87E5-49EB-AFDC-30E58A63B0CF}"));
  EXPECT_FALSE(ParseGuid("KEFConvert.Convert"));
}

}  // namespace
}  // namespace kefconvert::com
