// ConvertProject late-bound, through IDispatch, as script hosts call it.
#include <gtest/gtest.h>

#include <cstring>

#include "component/com_test_support.h"
#include "component/convert_object.h"
#include "support/temp_dir.h"

namespace kefconvert::component {
namespace {

using testing::Bstr;
using testing::Ref;
using testing::TempDir;
using testing::Variant;

constexpr char kProject[] = "<Project>\r\nName=Shop\r\n<Database>\r\n";
constexpr char kBadType[] = "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=x\r\n.\r\n";

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    Ref<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(CLSID_Convert, IID_IClassFactory, factory.out()), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, dispatch_.out()), S_OK);
  }
  ~DispatchTest() override {
    dispatch_.Reset();
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
  }

  HRESULT Invoke(VARIANTARG* arguments, UINT count, Variant& result, EXCEPINFO* exception = nullptr,
                 UINT* arg_error = nullptr) {
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
  Ref<IDispatch> dispatch_;
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
  Bstr path(dir_.Write("shop.kef", kProject));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  Variant result;
  ASSERT_EQ(Invoke(&argument, 1, result), S_OK);
  EXPECT_EQ(result.Text(), dir_.File("shop_tmp.kef"));
  EXPECT_EQ(V_BSTR(&argument), path.get());
}

TEST_F(DispatchTest, ConvertsAStringPassedByReference) {
  Bstr path(dir_.Write("shop.kef", kProject));
  BSTR before = path.get();
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&argument) = &path.get();
  Variant result;
  ASSERT_EQ(Invoke(&argument, 1, result), S_OK);
  EXPECT_EQ(result.Text(), dir_.File("shop_tmp.kef"));
  EXPECT_EQ(path.get(), before);
  EXPECT_EQ(path.Utf8(), dir_.File("shop.kef"));
}

TEST_F(DispatchTest, ConvertsAScriptVariablePassedByReference) {
  Variant variable;
  V_VT(variable.get()) = VT_BSTR;
  V_BSTR(variable.get()) = AllocBstr(Utf16FromUtf8(dir_.Write("shop.kef", "x\r\n")));
  VARIANTARG argument;
  V_VT(&argument) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&argument) = variable.get();
  Variant result;
  ASSERT_EQ(Invoke(&argument, 1, result), S_OK);
  EXPECT_EQ(result.type(), VT_NULL);
  EXPECT_EQ(variable.type(), VT_BSTR);
  EXPECT_EQ(variable.Text(), dir_.File("shop.kef"));
}

TEST_F(DispatchTest, AcceptsTheArgumentByItsName) {
  Bstr path(dir_.Write("shop.kef", kProject));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  DISPID named = 0;
  DISPPARAMS params{&argument, &named, 1, 1};
  Variant result;
  ASSERT_EQ(dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_METHOD, &params,
                              result.get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.Text(), dir_.File("shop_tmp.kef"));
  named = 1;
  EXPECT_EQ(dispatch_->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_METHOD, &params,
                              result.get(), nullptr, nullptr),
            DISP_E_NONAMEDARGS);
}

TEST_F(DispatchTest, ReportsAFailureAsAnException) {
  Bstr path(dir_.Write("bad.kef", kBadType));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  Variant result;
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
  Bstr path(dir_.File("none.kef"));
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = path.get();
  Variant result;
  EXPECT_EQ(Invoke(&argument, 1, result, nullptr), DISP_E_EXCEPTION);
}

TEST_F(DispatchTest, WantsExactlyOneArgument) {
  Variant result;
  EXPECT_EQ(Invoke(nullptr, 0, result), DISP_E_BADPARAMCOUNT);
  VARIANTARG arguments[2];
  V_VT(&arguments[0]) = VT_BSTR;
  V_BSTR(&arguments[0]) = nullptr;
  arguments[1] = arguments[0];
  EXPECT_EQ(Invoke(arguments, 2, result), DISP_E_BADPARAMCOUNT);
}

TEST_F(DispatchTest, WantsAString) {
  VARIANTARG argument;
  V_VT(&argument) = VT_I4;
  V_I4(&argument) = 42;
  Variant result;
  UINT arg_error = 99;
  EXPECT_EQ(Invoke(&argument, 1, result, nullptr, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 0u);
  Variant number;
  V_VT(number.get()) = VT_I4;
  V_VT(&argument) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&argument) = number.get();
  EXPECT_EQ(Invoke(&argument, 1, result), DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, KnowsOnlyTheMethod) {
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = nullptr;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  Variant result;
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
  Bstr path(dir_.Write("shop.kef", kProject));
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
