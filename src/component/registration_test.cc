#include "component/registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "component/kefconvert_com.h"
#include "platform/com/guid_text.h"

namespace kefconvert::component {
namespace {

using com::GuidText;

constexpr char kClassKey[] = "CLSID\\{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}";

bool Contains(const std::vector<RegistryValue>& values, const RegistryValue& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

TEST(RegistrationValues, NameTheClassByItsProgId) {
  auto values = RegistrationValues("/lib/libKEFConvert.so", "win64");
  EXPECT_TRUE(Contains(values, {"KEFConvert.Convert\\CLSID", "", GuidText(CLSID_Convert)}));
  EXPECT_TRUE(Contains(values, {std::string(kClassKey) + "\\ProgID", "", "KEFConvert.Convert"}));
}

TEST(RegistrationValues, MakeTheLibraryTheApartmentThreadedServer) {
  auto values = RegistrationValues("/lib/libKEFConvert.so", "win64");
  std::string server = std::string(kClassKey) + "\\InprocServer32";
  EXPECT_TRUE(Contains(values, {server, "", "/lib/libKEFConvert.so"}));
  EXPECT_TRUE(Contains(values, {server, "ThreadingModel", "Apartment"}));
}

TEST(RegistrationValues, TieClassAndInterfaceToTheTypeLibrary) {
  auto values = RegistrationValues("/lib/libKEFConvert.so", "win32");
  std::string library = "{885579CE-7926-4AF9-84F4-425DEC5ACFAA}";
  EXPECT_TRUE(Contains(values, {std::string(kClassKey) + "\\TypeLib", "", library}));
  EXPECT_TRUE(Contains(values, {std::string(kClassKey) + "\\Version", "", "2.0"}));
  std::string interface_key = "Interface\\{22D1C84A-96FF-47E8-A720-DC42A7EF7517}";
  EXPECT_TRUE(Contains(values, {interface_key, "", "_Convert"}));
  EXPECT_TRUE(Contains(values, {interface_key + "\\TypeLib", "", library}));
  EXPECT_TRUE(Contains(values, {"TypeLib\\" + library + "\\2.0", "", "KEFConvert"}));
  EXPECT_TRUE(
      Contains(values, {"TypeLib\\" + library + "\\2.0\\0\\win32", "", "/lib/libKEFConvert.so"}));
  EXPECT_TRUE(Contains(values, {"TypeLib\\" + library + "\\2.0\\HELPDIR", "", "/lib"}));
}

TEST(RegistrationKeys, CoverEveryValueRegistrationWrites) {
  std::vector<std::string> keys = RegistrationKeys();
  for (const RegistryValue& value : RegistrationValues("/lib/libKEFConvert.so", "win64")) {
    bool covered = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
      return value.key == key || value.key.starts_with(key + "\\");
    });
    EXPECT_TRUE(covered) << value.key;
  }
}

TEST(RegistrationKeys, LeaveOtherVersionsOfTheTypeLibraryAlone) {
  std::vector<std::string> keys = RegistrationKeys();
  EXPECT_EQ(std::count(keys.begin(), keys.end(), TypeLibraryKey()), 0);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), TypeLibraryKey() + "\\2.0"), 1);
}

// The type library description and the identifiers compiled into the code must agree.
std::string IdlText() {
  std::ifstream in(KEFCONVERT_SOURCE_DIR "/src/component/KEFConvert.idl");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string UuidBefore(const std::string& idl, const std::string& declaration) {
  std::smatch match;
  std::regex pattern("uuid\\(([0-9A-Fa-f-]+)\\)[^\\]]*\\]\\s*" + declaration);
  if (!std::regex_search(idl, match, pattern)) return "(not found)";
  return std::string("{") + match[1].str() + "}";
}

TEST(TypeLibraryDescription, AgreesWithTheIdentifiersInTheCode) {
  std::string idl = IdlText();
  EXPECT_EQ(UuidBefore(idl, "library KEFConvert"), GuidText(LIBID_KEFConvert));
  EXPECT_EQ(UuidBefore(idl, "interface _Convert :"), GuidText(IID__Convert));
  EXPECT_EQ(UuidBefore(idl, "coclass Convert"), GuidText(CLSID_Convert));
  EXPECT_NE(idl.find("version(2.0)"), std::string::npos);
  EXPECT_NE(idl.find("[id(0x60030000)]\n    HRESULT ConvertProject([in, out] BSTR* projFile, "
                     "[out, retval] VARIANT* result);"),
            std::string::npos);
  EXPECT_EQ(DISPID_ConvertProject, 0x60030000);
}

}  // namespace
}  // namespace kefconvert::component
