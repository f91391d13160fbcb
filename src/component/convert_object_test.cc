#include "component/convert_object.h"

#include <gtest/gtest.h>

#include "component/com_test_support.h"
#include "component/errors.h"
#include "support/temp_dir.h"

namespace kefconvert::component {
namespace {

using testing::Bstr;
using testing::ReadFile;
using testing::Ref;
using testing::ScopedEnv;
using testing::TempDir;
using testing::Variant;

constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);

constexpr char kProject[] = "<Project>\r\nName=Shop\r\n<Database>\r\n";
// The bad type code is on line 6.
constexpr char kBadType[] =
    "<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n<Field>\r\nType=abc\r\n.\r\n";
// The first field sets the field type state; the second has no "Type" line.
constexpr char kTextField[] =
    "<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n<Field>\r\nName=a\r\nType=202\r\n.\r\n";
constexpr char kUntypedField[] =
    "<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n<Field>\r\nName=b\r\n.\r\n";

Ref<_Convert> NewConverter() {
  Ref<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.out()), S_OK);
  Ref<_Convert> converter;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID__Convert, converter.out()), S_OK);
  return converter;
}

// The error information of the last failed call, as "source|description".
std::string TakeErrorInfo() {
  Ref<IErrorInfo> info;
  if (GetErrorInfo(0, reinterpret_cast<IErrorInfo**>(info.out())) != S_OK) return "(none)";
  BSTR source = nullptr;
  BSTR description = nullptr;
  GUID guid{};
  info->GetSource(&source);
  info->GetDescription(&description);
  info->GetGUID(&guid);
  std::string text = *Utf8FromUtf16(BstrText(source)) + "|" + *Utf8FromUtf16(BstrText(description));
  if (!IsEqualGUID(guid, IID__Convert)) text += "|(other GUID)";
  SysFreeString(source);
  SysFreeString(description);
  return text;
}

class ConvertObjectTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "an object or lock is still outstanding";
  }

  // Calls the eighth slot; returns its status and leaves the result in `result`.
  HRESULT Call(_Convert* converter, const std::string& path, Variant& result) {
    Bstr projFile(path);
    BSTR before = projFile.get();
    HRESULT status = converter->ConvertProject(&projFile.get(), result.get());
    EXPECT_EQ(projFile.get(), before);
    EXPECT_EQ(projFile.Utf8(), path);
    return status;
  }

  TempDir dir_;
};

TEST_F(ConvertObjectTest, ReturnsTheConvertedFilesPath) {
  Ref<_Convert> converter = NewConverter();
  Variant result;
  ASSERT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result), S_OK);
  ASSERT_EQ(result.type(), VT_BSTR);
  EXPECT_EQ(result.Text(), dir_.File("shop_tmp.kef"));
  EXPECT_NE(ReadFile(dir_.File("shop_tmp.kef")).find("ProjName=\"Shop\""), std::string::npos);
}

TEST_F(ConvertObjectTest, ReturnsNullForAFileThatIsNoProject) {
  Ref<_Convert> converter = NewConverter();
  Variant result;
  ASSERT_EQ(Call(converter.get(), dir_.Write("notes.kef", "<project>\r\n"), result), S_OK);
  EXPECT_EQ(result.type(), VT_NULL);
}

TEST_F(ConvertObjectTest, ConvertsPathsBeyondAscii) {
  Ref<_Convert> converter = NewConverter();
  Variant result;
  ASSERT_EQ(Call(converter.get(),
                 dir_.Write("Gr\xC3\xBC\xC3\x9F"
                            "e.kef",
                            kProject),
                 result),
            S_OK);
  EXPECT_EQ(result.Text(), dir_.File("Gr\xC3\xBC\xC3\x9F"
                                     "e_tmp.kef"));
  EXPECT_TRUE(
      testing::FileExists(dir_.File("Gr\xC3\xBC\xC3\x9F"
                                    "e_tmp.kef")));
}

TEST_F(ConvertObjectTest, FailsWithTheErrorNumberAndPublishesTheError) {
  Ref<_Convert> converter = NewConverter();
  Variant result;
  EXPECT_EQ(Call(converter.get(), dir_.Write("bad.kef", kBadType), result), kTypeMismatch);
  EXPECT_EQ(result.type(), VT_EMPTY);
  EXPECT_EQ(TakeErrorInfo(), "KEFConvert|Type mismatch (line 6)");
}

TEST_F(ConvertObjectTest, ReportsAMissingFile) {
  Ref<_Convert> converter = NewConverter();
  Variant result;
  EXPECT_EQ(Call(converter.get(), dir_.File("none.kef"), result), static_cast<HRESULT>(0x800A0035));
  EXPECT_EQ(TakeErrorInfo(), "KEFConvert|File not found");
}

TEST_F(ConvertObjectTest, RejectsAPathWithHalfASurrogatePair) {
  Ref<_Convert> converter = NewConverter();
  OleString path = Utf16FromUtf8(dir_.File("x"));
  path += static_cast<OLECHAR>(0xD800);
  path += Utf16FromUtf8(".kef");
  Bstr projFile(path);
  Variant result;
  EXPECT_EQ(converter->ConvertProject(&projFile.get(), result.get()),
            static_cast<HRESULT>(0x800A0005));
  EXPECT_EQ(TakeErrorInfo(), "KEFConvert|Invalid procedure call or argument");
}

TEST_F(ConvertObjectTest, ClearsTheErrorInformationOfAnEarlierCall) {
  Ref<_Convert> converter = NewConverter();
  Variant failed;
  Call(converter.get(), dir_.File("none.kef"), failed);
  Variant result;
  ASSERT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result), S_OK);
  EXPECT_EQ(TakeErrorInfo(), "(none)");
}

TEST_F(ConvertObjectTest, RefusesNullPointers) {
  Ref<_Convert> converter = NewConverter();
  Variant result;
  EXPECT_EQ(converter->ConvertProject(nullptr, result.get()), E_POINTER);
  EXPECT_EQ(result.type(), VT_EMPTY);
  Bstr projFile(dir_.File("shop.kef"));
  EXPECT_EQ(converter->ConvertProject(&projFile.get(), nullptr), E_POINTER);
}

TEST_F(ConvertObjectTest, CarriesTheFieldTypeStateToTheNextConversion) {
  Ref<_Convert> converter = NewConverter();
  Variant first;
  Variant second;
  ASSERT_EQ(Call(converter.get(), dir_.Write("a.kef", kTextField), first), S_OK);
  ASSERT_EQ(Call(converter.get(), dir_.Write("b.kef", kUntypedField), second), S_OK);
  std::string text = ReadFile(dir_.File("b_tmp.kef"));
  EXPECT_NE(text.find("FldBasicSearch=\"True\""), std::string::npos) << text;
  EXPECT_NE(text.find("FldQuoteS=\"'\" FldQuoteE=\"'\""), std::string::npos) << text;
}

TEST_F(ConvertObjectTest, StartsEveryObjectWithTheInitialFieldTypeState) {
  Ref<_Convert> first_object = NewConverter();
  Variant first;
  ASSERT_EQ(Call(first_object.get(), dir_.Write("a.kef", kTextField), first), S_OK);
  Ref<_Convert> second_object = NewConverter();
  Variant second;
  ASSERT_EQ(Call(second_object.get(), dir_.Write("b.kef", kUntypedField), second), S_OK);
  std::string text = ReadFile(dir_.File("b_tmp.kef"));
  EXPECT_NE(text.find("MySQLDataType=\"0\" FldBasicSearch=\"False\""), std::string::npos) << text;
  EXPECT_NE(text.find("FldQuoteS=\"\" FldQuoteE=\"\""), std::string::npos) << text;
}

TEST_F(ConvertObjectTest, ReadsTheCodePageFromTheEnvironment) {
  ScopedEnv code_page("KEFCONVERT_CODEPAGE", "1251");
  Ref<_Convert> converter = NewConverter();
  Variant result;
  EXPECT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result), S_OK);
}

TEST_F(ConvertObjectTest, FailsEveryCallInAnUnsupportedCodePage) {
  for (const char* value : {"932", "65001", "1252x", "cp1252"}) {
    ScopedEnv code_page("KEFCONVERT_CODEPAGE", value);
    Ref<_Convert> converter = NewConverter();
    Variant result;
    EXPECT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result),
              static_cast<HRESULT>(0x800A0005))
        << value;
    EXPECT_EQ(TakeErrorInfo(), "KEFConvert|Invalid procedure call or argument");
  }
}

TEST_F(ConvertObjectTest, AnswersForItsInterfacesWithOneIdentity) {
  Ref<_Convert> converter = NewConverter();
  Ref<IUnknown> unknown;
  Ref<IDispatch> dispatch;
  Ref<ISupportErrorInfo> support;
  ASSERT_EQ(converter->QueryInterface(IID_IUnknown, unknown.out()), S_OK);
  ASSERT_EQ(converter->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
  ASSERT_EQ(converter->QueryInterface(IID_ISupportErrorInfo, support.out()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(converter.get()));
  EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(converter.get()));
  Ref<IUnknown> from_support;
  ASSERT_EQ(support->QueryInterface(IID_IUnknown, from_support.out()), S_OK);
  EXPECT_EQ(from_support.get(), unknown.get());
}

TEST_F(ConvertObjectTest, RejectsOtherInterfaces) {
  Ref<_Convert> converter = NewConverter();
  Ref<IUnknown> other;
  EXPECT_EQ(converter->QueryInterface(IID_IClassFactory, other.out()), E_NOINTERFACE);
  EXPECT_EQ(other.get(), nullptr);
}

TEST_F(ConvertObjectTest, SupportsErrorInformationOnConvertOnly) {
  Ref<_Convert> converter = NewConverter();
  Ref<ISupportErrorInfo> support;
  ASSERT_EQ(converter->QueryInterface(IID_ISupportErrorInfo, support.out()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__Convert), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(ConvertObjectTest, CountsItsReferences) {
  Ref<_Convert> converter = NewConverter();
  EXPECT_EQ(converter->AddRef(), 2u);
  EXPECT_EQ(converter->Release(), 1u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  converter.Reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ClassFactory, HandsOutOnlyTheConvertClass) {
  Ref<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(IID__Convert, IID_IClassFactory, factory.out()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory.get(), nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_Convert, IID_IDispatch, factory.out()), E_NOINTERFACE);
}

TEST(ClassFactory, RefusesAggregation) {
  Ref<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.out()), S_OK);
  Ref<IUnknown> object;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                    object.out()),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object.get(), nullptr);
}

TEST(ClassFactory, LocksTheServer) {
  Ref<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.out()), S_OK);
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  factory->LockServer(TRUE);
  factory->LockServer(TRUE);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  factory->LockServer(FALSE);  // one unlock too many changes nothing
  factory->LockServer(TRUE);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(Server, StaysLoadedWhileErrorInformationIsOutstanding) {
  TempDir dir;
  {
    Ref<_Convert> converter = NewConverter();
    Bstr projFile(dir.File("none.kef"));
    Variant result;
    converter->ConvertProject(&projFile.get(), result.get());
  }
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  Ref<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, reinterpret_cast<IErrorInfo**>(info.out())), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  info.Reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(HresultFromErrorNumber, AddsTheNumberToTheAutomationFacility) {
  EXPECT_EQ(HresultFromErrorNumber(13), static_cast<HRESULT>(0x800A000D));
  EXPECT_EQ(HresultFromErrorNumber(321), static_cast<HRESULT>(0x800A0141));
}

}  // namespace
}  // namespace kefconvert::component
