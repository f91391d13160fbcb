// ConvertProject late-bound, through IDispatch, as script hosts call it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "component/com_test_support.h"
#include "component/convert_object.h"
#include "support/temp_dir.h"

namespace kefconvert::component {
namespace {

using com::BstrText;
using com::OleString;
using com::Utf16FromUtf8;
using com::Utf8FromUtf16;
using testing::Bstr;
using testing::ComPtr;
using testing::TempDir;
using testing::Text;
using testing::UniqueBstr;
using testing::UniqueVariant;
using testing::Utf8;

constexpr char kProject[] = "<Project>\r\nName=Shop\r\n<Database>\r\n";
constexpr char kBadType[] = "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=x\r\n.\r\n";

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, dispatch_.put_void()), S_OK);
  }
  ~DispatchTest() override {
    dispatch_.reset();
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
  }

  HRESULT Invoke(VARIANTARG* arguments, UINT count, UniqueVariant& result,
                 EXCEPINFO* exception = nullptr, UINT* arg_error = nullptr) {
    DISPPARAMS params{arguments, nullptr, count, 0};
    return dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                             &params, result.get(), exception, arg_error);
  }

  DISPID IdOf(const char* name, HRESULT expected = S_OK) {
    OleString text = Utf16FromUtf8(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), expected);
    return id;
  }

  TempDir dir_;
  ComPtr<IDispatch> dispatch_;
};

TEST_F(DispatchTest, FindsTheMethodByNameInAnyCase) {
  EXPECT_EQ(IdOf("ConvertProject"), DISPID_ConvertProject);
  EXPECT_EQ(IdOf("convertproject"), DISPID_ConvertProject);
  EXPECT_EQ(IdOf("CONVERTPROJECT"), DISPID_ConvertProject);
}

TEST_F(DispatchTest, KnowsNoOtherName) {
  EXPECT_EQ(IdOf("Convert", DISP_E_UNKNOWNNAME), DISPID_UNKNOWN);
  EXPECT_EQ(IdOf("ConvertSetting", DISP_E_UNKNOWNNAME), DISPID_UNKNOWN);
}

TEST_F(DispatchTest, NamesTheParameter) {
  OleString method = Utf16FromUtf8("ConvertProject");
  OleString parameter = Utf16FromUtf8("PROJFILE");
  OleString other = Utf16FromUtf8("result");
  LPOLESTR names[] = {method.data(), parameter.data(), other.data()};
  DISPID ids[3] = {};
  EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_ConvertProject);
  EXPECT_EQ(ids[1], 0);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
}

TEST_F(DispatchTest, HasNoTypeInformationOnLinux) {
  UINT count = 7;
  EXPECT_EQ(dispatch_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch_->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
}

TEST_F(DispatchTest, ConvertsAStringPassedByValue) {
  UniqueBstr path = Bstr(dir_.Write("shop.kef", kProject));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  UniqueVariant result;
  ASSERT_EQ(Invoke(&argument, 1, result), S_OK);
  EXPECT_EQ(Text(result), dir_.File("shop_tmp.kef"));
  EXPECT_EQ(V_BSTR(&argument), path.get());
}

TEST_F(DispatchTest, ConvertsAStringPassedByReference) {
  UniqueBstr path = Bstr(dir_.Write("shop.kef", kProject));
  BSTR before = path.get();
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&argument) = path.addressof();
  UniqueVariant result;
  ASSERT_EQ(Invoke(&argument, 1, result), S_OK);
  EXPECT_EQ(Text(result), dir_.File("shop_tmp.kef"));
  EXPECT_EQ(path.get(), before);
  EXPECT_EQ(Utf8(path.get()), dir_.File("shop.kef"));
}

TEST_F(DispatchTest, ConvertsAScriptVariablePassedByReference) {
  UniqueVariant variable;
  V_VT(variable.get()) = VT_BSTR;
  V_BSTR(variable.get()) = Bstr(dir_.Write("shop.kef", "x\r\n")).release();
  VARIANTARG argument;
  V_VT(&argument) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&argument) = variable.get();
  UniqueVariant result;
  ASSERT_EQ(Invoke(&argument, 1, result), S_OK);
  EXPECT_EQ(result.type(), VT_NULL);
  EXPECT_EQ(variable.type(), VT_BSTR);
  EXPECT_EQ(Text(variable), dir_.File("shop.kef"));
}

TEST_F(DispatchTest, AcceptsTheArgumentByItsName) {
  UniqueBstr path = Bstr(dir_.Write("shop.kef", kProject));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  DISPID named = 0;
  DISPPARAMS params{&argument, &named, 1, 1};
  UniqueVariant result;
  ASSERT_EQ(dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_METHOD, &params,
                              result.get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(Text(result), dir_.File("shop_tmp.kef"));
  named = 1;
  EXPECT_EQ(dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_METHOD, &params,
                              result.get(), nullptr, nullptr),
            DISP_E_NONAMEDARGS);
}

TEST_F(DispatchTest, ReportsAFailureAsAnException) {
  UniqueBstr path = Bstr(dir_.Write("bad.kef", kBadType));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  UniqueVariant result;
  EXCEPINFO exception;
  std::memset(&exception, 0xAB, sizeof exception);
  ASSERT_EQ(Invoke(&argument, 1, result, &exception), DISP_E_EXCEPTION);
  EXPECT_EQ(result.type(), VT_EMPTY);
  EXPECT_EQ(exception.scode, static_cast<SCODE>(0x800A000D));
  EXPECT_EQ(exception.wCode, 0);
  EXPECT_EQ(std::u16string(exception.bstrSource), u"KEFConvert");
  EXPECT_EQ(std::u16string(exception.bstrDescription), u"Type mismatch (line 5)");
  EXPECT_EQ(exception.bstrHelpFile, nullptr);
  EXPECT_EQ(exception.pfnDeferredFillIn, nullptr);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
}

TEST_F(DispatchTest, ReportsAFailureWithoutExceptionInformation) {
  UniqueBstr path = Bstr(dir_.File("none.kef"));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  UniqueVariant result;
  EXPECT_EQ(Invoke(&argument, 1, result, nullptr), DISP_E_EXCEPTION);
}

TEST_F(DispatchTest, WantsExactlyOneArgument) {
  UniqueVariant result;
  EXPECT_EQ(Invoke(nullptr, 0, result), DISP_E_BADPARAMCOUNT);
  VARIANTARG arguments[2];
  V_VT(&arguments[0]) = VT_BSTR;
  V_BSTR(&arguments[0]) = nullptr;
  arguments[1] = arguments[0];
  EXPECT_EQ(Invoke(arguments, 2, result), DISP_E_BADPARAMCOUNT);
}

// Values that are not strings become the text automation gives them. The test runs in a
// folder of its own, where a project file is named after each text: the conversion
// succeeds only when the argument became exactly that name.
class ArgumentTest : public DispatchTest {
 protected:
  ArgumentTest() : old_folder_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
  }
  ~ArgumentTest() override { std::filesystem::current_path(old_folder_); }

  // Invokes ConvertProject with `argument` and returns the converted file's name.
  std::string ConvertedName(VARIANTARG argument) {
    UniqueVariant result;
    EXCEPINFO exception{};
    HRESULT status = Invoke(&argument, 1, result, &exception);
    UniqueBstr description(exception.bstrDescription);
    UniqueBstr source(exception.bstrSource);
    if (status != S_OK) return "(failed: " + Utf8(description.get()) + ")";
    return Text(result);
  }

  // Invokes ConvertProject with `argument`, which must fail as a type mismatch.
  void ExpectTypeMismatch(VARIANTARG argument) {
    UniqueVariant result;
    UINT arg_error = 99;
    EXPECT_EQ(Invoke(&argument, 1, result, nullptr, &arg_error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_error, 0u);
    EXPECT_EQ(result.type(), VT_EMPTY);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    UniqueBstr description;
    info->GetDescription(description.put());
    EXPECT_EQ(Utf8(description.get()), "Type mismatch");
  }

  std::filesystem::path old_folder_;
};

VARIANT Value(VARTYPE type) {
  VARIANT value;
  std::memset(&value, 0, sizeof value);
  V_VT(&value) = type;
  return value;
}

TEST_F(ArgumentTest, ConvertsValuesToTheirText) {
  struct Case {
    VARIANT value;
    const char* text;
  };
  VARIANT i2 = Value(VT_I2), i4 = Value(VT_I4), i8 = Value(VT_I8), ui4 = Value(VT_UI4);
  VARIANT r4 = Value(VT_R4), r8 = Value(VT_R8), cy = Value(VT_CY), date = Value(VT_DATE);
  VARIANT yes = Value(VT_BOOL), no = Value(VT_BOOL), decimal = Value(VT_DECIMAL);
  V_I2(&i2) = -1234;
  V_I4(&i4) = 20261208;
  V_I8(&i8) = 1234567890123;
  V_UI4(&ui4) = 4000000000u;
  V_R4(&r4) = 0.25f;
  V_R8(&r8) = 1234.5;
  V_CY(&cy).int64 = 125000;  // 12.5
  V_DATE(&date) = 46364.25;  // 2026-12-08, a quarter of the day gone
  V_BOOL(&yes) = VARIANT_TRUE;
  V_BOOL(&no) = VARIANT_FALSE;
  V_DECIMAL(&decimal).scale = 2;
  V_DECIMAL(&decimal).Lo64 = 123450;
  V_VT(&decimal) = VT_DECIMAL;  // over the decimal's reserved field
  const Case cases[] = {
      {i2, "-1234"}, {i4, "20261208"}, {i8, "1234567890123"}, {ui4, "4000000000"},
      {r4, "0.25"},  {r8, "1234.5"},   {cy, "12.5"},          {date, "2026-12-08 06:00:00"},
      {yes, "True"}, {no, "False"},    {decimal, "1234.5"},
  };
  for (const Case& c : cases) {
    std::string name = c.text;
    dir_.Write(name, kProject);
    EXPECT_EQ(ConvertedName(c.value), name.substr(0, name.size() - 4) + "_tmp.kef") << c.text;
  }
}

TEST_F(ArgumentTest, ReadsWhatAReferencePointsAt) {
  dir_.Write("20261208", kProject);
  LONG number = 20261208;
  VARIANT by_reference = Value(VT_I4 | VT_BYREF);
  V_I4REF(&by_reference) = &number;
  EXPECT_EQ(ConvertedName(by_reference), "2026_tmp.kef");
  VARIANT variable = Value(VT_I4);
  V_I4(&variable) = number;
  VARIANT script_variable = Value(VT_VARIANT | VT_BYREF);
  V_VARIANTREF(&script_variable) = &variable;
  EXPECT_EQ(ConvertedName(script_variable), "2026_tmp.kef");
  EXPECT_EQ(V_VT(&variable), VT_I4);
  EXPECT_EQ(V_I4(&variable), 20261208);
}

TEST_F(ArgumentTest, TakesAnObjectsDefaultValue) {
  std::string project = dir_.Write("shop.kef", kProject);
  ComPtr<IDispatch> file = testing::DefaultValueObject::Holding(project);
  VARIANT object = Value(VT_DISPATCH);
  V_DISPATCH(&object) = file.get();
  EXPECT_EQ(ConvertedName(object), dir_.File("shop_tmp.kef"));
  IDispatch* variable = file.get();
  VARIANT by_reference = Value(VT_DISPATCH | VT_BYREF);
  V_DISPATCHREF(&by_reference) = &variable;
  EXPECT_EQ(ConvertedName(by_reference), dir_.File("shop_tmp.kef"));
}

TEST_F(ArgumentTest, PassesOnTheErrorOfTheDefaultProperty) {
  ComPtr<IDispatch> failing = testing::DefaultValueObject::Raising(0x800A0046, "Permission denied");
  VARIANT object = Value(VT_DISPATCH);
  V_DISPATCH(&object) = failing.get();
  UniqueVariant result;
  EXCEPINFO exception{};
  EXPECT_EQ(Invoke(&object, 1, result, &exception), DISP_E_EXCEPTION);
  UniqueBstr source(exception.bstrSource);
  UniqueBstr description(exception.bstrDescription);
  EXPECT_EQ(exception.scode, static_cast<SCODE>(0x800A0046));
  EXPECT_EQ(Utf8(source.get()), "Test.Object");
  EXPECT_EQ(Utf8(description.get()), "Permission denied");
}

TEST_F(ArgumentTest, TakesEmptyAsTheEmptyString) {
  UniqueVariant result;
  EXCEPINFO exception{};
  VARIANT empty = Value(VT_EMPTY);
  EXPECT_EQ(Invoke(&empty, 1, result, &exception), DISP_E_EXCEPTION);
  UniqueBstr source(exception.bstrSource);
  UniqueBstr description(exception.bstrDescription);
  EXPECT_EQ(exception.scode, static_cast<SCODE>(0x800A0005));  // as for ""
}

TEST_F(ArgumentTest, RefusesValuesWithoutText) {
  VARIANT null = Value(VT_NULL);
  VARIANT missing = Value(VT_ERROR);
  V_ERROR(&missing) = static_cast<SCODE>(0x80020004);  // DISP_E_PARAMNOTFOUND
  VARIANT array = Value(VT_ARRAY | VT_I4);
  VARIANT nothing = Value(VT_DISPATCH);
  V_DISPATCH(&nothing) = nullptr;
  VARIANT no_default_value = Value(VT_DISPATCH);
  V_DISPATCH(&no_default_value) = dispatch_.get();  // a Convert object has none
  for (const VARIANT& value : {null, missing, array, nothing, no_default_value}) {
    ExpectTypeMismatch(value);
  }
}

TEST_F(DispatchTest, KnowsOnlyTheMethod) {
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = nullptr;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  UniqueVariant result;
  EXPECT_EQ(
      dispatch_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params,
                              result.get(), nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(dispatch_->Invoke(DISPID_ConvertProject, IID_IDispatch, 0, DISPATCH_METHOD, &params,
                              result.get(), nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, MayDropTheResult) {
  UniqueBstr path = Bstr(dir_.Write("shop.kef", kProject));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  DISPPARAMS params{&argument, nullptr, 1, 0};
  EXPECT_EQ(
      dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &params, nullptr, nullptr, nullptr),
      S_OK);
  EXPECT_TRUE(testing::FileExists(dir_.File("shop_tmp.kef")));
}

}  // namespace
}  // namespace kefconvert::component
