#include "component/convert_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "component/com_test_support.h"
#include "component/errors.h"
#include "support/temp_dir.h"

namespace kefconvert::component {
namespace {

using com::OleString;
using com::Utf16FromUtf8;
using com::Utf8FromUtf16;
using testing::Bstr;
using testing::ComPtr;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::Text;
using testing::UniqueBstr;
using testing::UniqueVariant;
using testing::Utf8;

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

ComPtr<_Convert> NewConverter() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<_Convert> converter;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID__Convert, converter.put_void()), S_OK);
  return converter;
}

// The error information of the last failed call, as "source|description".
std::string TakeErrorInfo() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK) return "(none)";
  UniqueBstr source;
  UniqueBstr description;
  GUID guid{};
  info->GetSource(source.put());
  info->GetDescription(description.put());
  info->GetGUID(&guid);
  std::string text = Utf8(source.get()) + "|" + Utf8(description.get());
  if (!IsEqualGUID(guid, IID__Convert)) text += "|(other GUID)";
  return text;
}

class ConvertObjectTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "an object or lock is still outstanding";
  }

  // Calls the eighth slot; returns its status and leaves the result in `result`.
  HRESULT Call(_Convert* converter, const std::string& path, UniqueVariant& result) {
    UniqueBstr projFile = Bstr(path);
    BSTR before = projFile.get();
    HRESULT status = converter->ConvertProject(projFile.addressof(), result.get());
    EXPECT_EQ(projFile.get(), before);
    EXPECT_EQ(Utf8(projFile.get()), path);
    return status;
  }

  TempDir dir_;
};

TEST_F(ConvertObjectTest, ReturnsTheConvertedFilesPath) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  ASSERT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result), S_OK);
  ASSERT_EQ(result.type(), VT_BSTR);
  EXPECT_EQ(Text(result), dir_.File("shop_tmp.kef"));
  EXPECT_NE(ReadFile(dir_.File("shop_tmp.kef")).find("ProjName=\"Shop\""), std::string::npos);
}

TEST_F(ConvertObjectTest, ReturnsNullForAFileThatIsNoProject) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  ASSERT_EQ(Call(converter.get(), dir_.Write("notes.kef", "<project>\r\n"), result), S_OK);
  EXPECT_EQ(result.type(), VT_NULL);
}

TEST_F(ConvertObjectTest, ConvertsPathsBeyondAscii) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  ASSERT_EQ(Call(converter.get(),
                 dir_.Write("Gr\xC3\xBC\xC3\x9F"
                            "e.kef",
                            kProject),
                 result),
            S_OK);
  EXPECT_EQ(Text(result), dir_.File("Gr\xC3\xBC\xC3\x9F"
                                    "e_tmp.kef"));
  EXPECT_TRUE(
      testing::FileExists(dir_.File("Gr\xC3\xBC\xC3\x9F"
                                    "e_tmp.kef")));
}

TEST_F(ConvertObjectTest, FailsWithTheErrorNumberAndPublishesTheError) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  EXPECT_EQ(Call(converter.get(), dir_.Write("bad.kef", kBadType), result), kTypeMismatch);
  EXPECT_EQ(result.type(), VT_EMPTY);
  EXPECT_EQ(TakeErrorInfo(), "KEFConvert|Type mismatch (line 6)");
}

TEST_F(ConvertObjectTest, ReportsAMissingFile) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  EXPECT_EQ(Call(converter.get(), dir_.File("none.kef"), result), static_cast<HRESULT>(0x800A0035));
  EXPECT_EQ(TakeErrorInfo(), "KEFConvert|File not found");
}

TEST_F(ConvertObjectTest, RejectsAPathWithHalfASurrogatePair) {
  ComPtr<_Convert> converter = NewConverter();
  OleString path = Utf16FromUtf8(dir_.File("x"));
  path += static_cast<OLECHAR>(0xD800);
  path += Utf16FromUtf8(".kef");
  UniqueBstr projFile = com::NewBstr(path);
  UniqueVariant result;
  EXPECT_EQ(converter->ConvertProject(projFile.addressof(), result.get()),
            static_cast<HRESULT>(0x800A0005));
  EXPECT_EQ(TakeErrorInfo(), "KEFConvert|Invalid procedure call or argument");
}

TEST_F(ConvertObjectTest, ClearsTheErrorInformationOfAnEarlierCall) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant failed;
  Call(converter.get(), dir_.File("none.kef"), failed);
  UniqueVariant result;
  ASSERT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result), S_OK);
  EXPECT_EQ(TakeErrorInfo(), "(none)");
}

TEST_F(ConvertObjectTest, RefusesNullPointers) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  EXPECT_EQ(converter->ConvertProject(nullptr, result.get()), E_POINTER);
  EXPECT_EQ(result.type(), VT_EMPTY);
  UniqueBstr projFile = Bstr(dir_.File("shop.kef"));
  EXPECT_EQ(converter->ConvertProject(projFile.addressof(), nullptr), E_POINTER);
}

TEST_F(ConvertObjectTest, CarriesTheFieldTypeStateToTheNextConversion) {
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant first;
  UniqueVariant second;
  ASSERT_EQ(Call(converter.get(), dir_.Write("a.kef", kTextField), first), S_OK);
  ASSERT_EQ(Call(converter.get(), dir_.Write("b.kef", kUntypedField), second), S_OK);
  std::string text = ReadFile(dir_.File("b_tmp.kef"));
  EXPECT_NE(text.find("FldBasicSearch=\"True\""), std::string::npos) << text;
  EXPECT_NE(text.find("FldQuoteS=\"'\" FldQuoteE=\"'\""), std::string::npos) << text;
}

TEST_F(ConvertObjectTest, StartsEveryObjectWithTheInitialFieldTypeState) {
  ComPtr<_Convert> first_object = NewConverter();
  UniqueVariant first;
  ASSERT_EQ(Call(first_object.get(), dir_.Write("a.kef", kTextField), first), S_OK);
  ComPtr<_Convert> second_object = NewConverter();
  UniqueVariant second;
  ASSERT_EQ(Call(second_object.get(), dir_.Write("b.kef", kUntypedField), second), S_OK);
  std::string text = ReadFile(dir_.File("b_tmp.kef"));
  EXPECT_NE(text.find("MySQLDataType=\"0\" FldBasicSearch=\"False\""), std::string::npos) << text;
  EXPECT_NE(text.find("FldQuoteS=\"\" FldQuoteE=\"\""), std::string::npos) << text;
}

TEST_F(ConvertObjectTest, ReadsTheCodePageFromTheEnvironment) {
  ScopedEnv code_page("KEFCONVERT_CODEPAGE", "1251");
  ComPtr<_Convert> converter = NewConverter();
  UniqueVariant result;
  EXPECT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result), S_OK);
}

TEST_F(ConvertObjectTest, FailsEveryCallInAnUnsupportedCodePage) {
  for (const char* value : {"437", "1252x", "cp437", "utf-16"}) {
    ScopedEnv code_page("KEFCONVERT_CODEPAGE", value);
    ComPtr<_Convert> converter = NewConverter();
    UniqueVariant result;
    EXPECT_EQ(Call(converter.get(), dir_.Write("shop.kef", kProject), result),
              static_cast<HRESULT>(0x800A0005))
        << value;
    EXPECT_EQ(TakeErrorInfo(), "KEFConvert|Invalid procedure call or argument");
  }
}

TEST_F(ConvertObjectTest, AnswersForItsInterfacesWithOneIdentity) {
  ComPtr<_Convert> converter = NewConverter();
  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(converter->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  ASSERT_EQ(converter->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  ASSERT_EQ(converter->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(converter.get()));
  EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(converter.get()));
  ComPtr<IUnknown> from_support;
  ASSERT_EQ(support->QueryInterface(IID_IUnknown, from_support.put_void()), S_OK);
  EXPECT_EQ(from_support.get(), unknown.get());
}

TEST_F(ConvertObjectTest, RejectsOtherInterfaces) {
  ComPtr<_Convert> converter = NewConverter();
  ComPtr<IUnknown> other;
  EXPECT_EQ(converter->QueryInterface(IID_IClassFactory, other.put_void()), E_NOINTERFACE);
  EXPECT_EQ(other.get(), nullptr);
}

TEST_F(ConvertObjectTest, SupportsErrorInformationOnConvertOnly) {
  ComPtr<_Convert> converter = NewConverter();
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(converter->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__Convert), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(ConvertObjectTest, CountsItsReferences) {
  ComPtr<_Convert> converter = NewConverter();
  EXPECT_EQ(converter->AddRef(), 2u);
  EXPECT_EQ(converter->Release(), 1u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  converter.reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ClassFactory, HandsOutOnlyTheConvertClass) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(IID__Convert, IID_IClassFactory, factory.put_void()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory.get(), nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_Convert, IID_IDispatch, factory.put_void()), E_NOINTERFACE);
}

TEST(ClassFactory, RefusesAggregation) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IUnknown> object;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                    object.put_void()),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object.get(), nullptr);
}

TEST(ClassFactory, LocksTheServer) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.put_void()), S_OK);
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
    ComPtr<_Convert> converter = NewConverter();
    UniqueBstr projFile = Bstr(dir.File("none.kef"));
    UniqueVariant result;
    converter->ConvertProject(projFile.addressof(), result.get());
  }
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  info.reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Linux has no apartments, so a host may call one object from several threads at once; the
// calls must take turns on the object's converter (ThreadSanitizer sees any that do not).
TEST(ComConcurrency, OneObjectCalledFromEightThreads) {
  constexpr int kThreads = 8;
  constexpr int kCallsPerThread = 25;
  TempDir dir;
  ComPtr<_Convert> converter = NewConverter();
  std::vector<std::string> projects;
  std::vector<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    // every field has its own Type line, so the output does not depend on who went before
    std::string name = "t" + std::to_string(t);
    projects.push_back(dir.Write(name + ".kef", std::string(kTextField) + "<Field>\r\nName=" +
                                                    name + "\r\nType=3\r\n.\r\n"));
    UniqueVariant result;
    UniqueBstr projFile = Bstr(projects.back());
    EXPECT_EQ(converter->ConvertProject(projFile.addressof(), result.get()), S_OK);
    expected.push_back(ReadFile(dir.File(name + "_tmp.kef")));
  }
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        UniqueBstr projFile = Bstr(projects[t]);
        UniqueVariant result;
        if (converter->ConvertProject(projFile.addressof(), result.get()) != S_OK) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(ReadFile(dir.File("t" + std::to_string(t) + "_tmp.kef")), expected[t]) << t;
  }
}

TEST(HresultFromErrorNumber, AddsTheNumberToTheAutomationFacility) {
  EXPECT_EQ(HresultFromErrorNumber(13), static_cast<HRESULT>(0x800A000D));
  EXPECT_EQ(HresultFromErrorNumber(321), static_cast<HRESULT>(0x800A0141));
}

}  // namespace
}  // namespace kefconvert::component
