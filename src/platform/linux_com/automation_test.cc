#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "component/com_test_support.h"
#include "platform/linux_com/com_interfaces.h"
#include "platform/linux_com/error_info.h"

namespace kefconvert::linux_com {
namespace {

using testing::ComPtr;

// The layout a C client compiled against the Windows definitions relies on.
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(HRESULT) == 4 && sizeof(ULONG) == 4 && sizeof(OLECHAR) == 2);
static_assert(sizeof(void*) != 8 || sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, vt) == 0);
static_assert(offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, lVal) == 8);
static_assert(sizeof(DISPPARAMS) == 2 * sizeof(void*) + 8);

std::uint32_t LengthPrefix(BSTR text) {
  std::uint32_t length;
  std::memcpy(&length, reinterpret_cast<const char*>(text) - 4, sizeof length);
  return length;
}

TEST(SysAllocString, PutsTheByteLengthBeforeAndANulAfterTheText) {
  BSTR text = SysAllocString(u"abc");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(LengthPrefix(text), 6u);
  EXPECT_EQ(text[3], 0);
  EXPECT_EQ(SysStringLen(text), 3u);
  SysFreeString(text);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(SysAllocStringLen, CountsNulsInsideTheText) {
  BSTR text = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(text[2], u'b');
  SysFreeString(text);
}

TEST(SysAllocStringLen, ZeroesTheTextWithoutSource) {
  BSTR text = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(text[1], 0);
  EXPECT_EQ(SysStringLen(text), 2u);
  SysFreeString(text);
}

TEST(SysStringLen, IsZeroForNull) { EXPECT_EQ(SysStringLen(nullptr), 0u); }

TEST(VariantClear, FreesAStringAndEmptiesTheVariant) {
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(V_VT(&value), VT_EMPTY);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(u"x");
  EXPECT_EQ(VariantClear(&value), S_OK);  // a leak checker sees the string go
  EXPECT_EQ(V_VT(&value), VT_EMPTY);
}

TEST(VariantClear, ReleasesAnObject) {
  ICreateErrorInfo* object = nullptr;
  ASSERT_EQ(CreateErrorInfo(&object), S_OK);
  long before = LiveErrorInfoObjects();
  VARIANT value;
  V_VT(&value) = VT_UNKNOWN;
  V_UNKNOWN(&value) = object;
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(LiveErrorInfoObjects(), before - 1);
}

TEST(VariantClear, LeavesWhatAReferencePointsAt) {
  BSTR text = SysAllocString(u"x");
  VARIANT reference;
  V_VT(&reference) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&reference) = &text;
  EXPECT_EQ(VariantClear(&reference), S_OK);
  EXPECT_EQ(SysStringLen(text), 1u);
  SysFreeString(text);
}

TEST(VariantClear, RefusesArrays) {
  VARIANT value;
  V_VT(&value) = VT_ARRAY | VT_I4;
  EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
}

VARIANT Value(VARTYPE type) {
  VARIANT value;
  std::memset(&value, 0, sizeof value);
  V_VT(&value) = type;
  return value;
}

// The text VariantChangeTypeEx gives `value`, or the failure as "0x...".
std::string ChangedToText(const VARIANT& value, USHORT flags = VARIANT_ALPHABOOL) {
  testing::UniqueVariant text;
  HRESULT status = VariantChangeTypeEx(text.get(), &value, LOCALE_USER_DEFAULT, flags, VT_BSTR);
  if (FAILED(status)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    return code;
  }
  return text.type() == VT_BSTR ? testing::Text(text) : "(not a string)";
}

TEST(VariantChangeTypeEx, WritesNumbersAsWindowsDoes) {
  VARIANT i1 = Value(VT_I1), i2 = Value(VT_I2), i4 = Value(VT_I4), i8 = Value(VT_I8);
  VARIANT ui1 = Value(VT_UI1), ui2 = Value(VT_UI2), ui4 = Value(VT_UI4), ui8 = Value(VT_UI8);
  VARIANT integer = Value(VT_INT), unsigned_integer = Value(VT_UINT);
  V_I1(&i1) = -128;
  V_I2(&i2) = -32768;
  V_I4(&i4) = 2147483647;
  V_I8(&i8) = -9223372036854775807 - 1;
  V_UI1(&ui1) = 255;
  V_UI2(&ui2) = 65535;
  V_UI4(&ui4) = 4294967295u;
  V_UI8(&ui8) = 18446744073709551615u;
  V_INT(&integer) = -7;
  V_UINT(&unsigned_integer) = 7;
  EXPECT_EQ(ChangedToText(i1), "-128");
  EXPECT_EQ(ChangedToText(i2), "-32768");
  EXPECT_EQ(ChangedToText(i4), "2147483647");
  EXPECT_EQ(ChangedToText(i8), "-9223372036854775808");
  EXPECT_EQ(ChangedToText(ui1), "255");
  EXPECT_EQ(ChangedToText(ui2), "65535");
  EXPECT_EQ(ChangedToText(ui4), "4294967295");
  EXPECT_EQ(ChangedToText(ui8), "18446744073709551615");
  EXPECT_EQ(ChangedToText(integer), "-7");
  EXPECT_EQ(ChangedToText(unsigned_integer), "7");
}

TEST(VariantChangeTypeEx, WritesBooleansAsWordsOnlyWhenAsked) {
  VARIANT yes = Value(VT_BOOL), no = Value(VT_BOOL);
  V_BOOL(&yes) = VARIANT_TRUE;
  V_BOOL(&no) = VARIANT_FALSE;
  EXPECT_EQ(ChangedToText(yes), "True");
  EXPECT_EQ(ChangedToText(no), "False");
  EXPECT_EQ(ChangedToText(yes, 0), "-1");
  EXPECT_EQ(ChangedToText(no, 0), "0");
}

TEST(VariantChangeTypeEx, WritesFractionsWithAPoint) {
  struct Case {
    double value;
    const char* text;
  } doubles[] = {{1.5, "1.5"},
                 {-0.0, "0"},
                 {0.1, "0.1"},
                 {1e20, "1E+20"},
                 {1e-5, "1E-05"},
                 {1.0 / 3, "0.333333333333333"},
                 {123456789012345, "123456789012345"}};
  for (const Case& c : doubles) {
    VARIANT value = Value(VT_R8);
    V_R8(&value) = c.value;
    EXPECT_EQ(ChangedToText(value), c.text) << c.value;
  }
  VARIANT single = Value(VT_R4);
  V_R4(&single) = 1.0f / 3;
  EXPECT_EQ(ChangedToText(single), "0.3333333");
}

TEST(VariantChangeTypeEx, WritesCurrencyAndDecimalsExactly) {
  struct Case {
    LONGLONG units;  // ten-thousandths
    const char* text;
  } amounts[] = {{125000, "12.5"}, {-1, "-0.0001"}, {30000, "3"}, {0, "0"}};
  for (const Case& c : amounts) {
    VARIANT value = Value(VT_CY);
    V_CY(&value).int64 = c.units;
    EXPECT_EQ(ChangedToText(value), c.text) << c.units;
  }
  VARIANT decimal = Value(VT_DECIMAL);
  V_DECIMAL(&decimal).Hi32 = 1;  // 2^64 + 5, scaled by 10^3
  V_DECIMAL(&decimal).Lo64 = 5;
  V_DECIMAL(&decimal).scale = 3;
  V_DECIMAL(&decimal).sign = 0x80;
  V_VT(&decimal) = VT_DECIMAL;
  EXPECT_EQ(ChangedToText(decimal), "-18446744073709551.621");
}

TEST(VariantChangeTypeEx, WritesDatesInIsoForm) {
  struct Case {
    DATE value;
    const char* text;
  } dates[] = {
      {46364, "2026-12-08"},   {46364.5, "2026-12-08 12:00:00"},       {0.75, "18:00:00"},
      {0, "1899-12-30"},       {-1.25, "1899-12-29 06:00:00"},         {2, "1900-01-01"},
      {-657434, "0100-01-01"}, {2958465.99999, "9999-12-31 23:59:59"}, {3000000, "0x8002000A"}};
  for (const Case& c : dates) {
    VARIANT value = Value(VT_DATE);
    V_DATE(&value) = c.value;
    EXPECT_EQ(ChangedToText(value), c.text) << c.value;
  }
}

TEST(VariantChangeTypeEx, FollowsReferences) {
  LONG number = 42;
  VARIANT reference = Value(VT_I4 | VT_BYREF);
  V_I4REF(&reference) = &number;
  EXPECT_EQ(ChangedToText(reference), "42");
  VARIANT variable = Value(VT_R8);
  V_R8(&variable) = 2.5;
  VARIANT script_variable = Value(VT_VARIANT | VT_BYREF);
  V_VARIANTREF(&script_variable) = &variable;
  EXPECT_EQ(ChangedToText(script_variable), "2.5");
}

TEST(VariantChangeTypeEx, ReadsAnObjectsDefaultProperty) {
  ComPtr<IDispatch> object = testing::DefaultValueObject::Holding("C:\\data\\shop.kef");
  VARIANT value = Value(VT_DISPATCH);
  V_DISPATCH(&value) = object.get();
  EXPECT_EQ(ChangedToText(value), "C:\\data\\shop.kef");
  EXPECT_EQ(ChangedToText(value, VARIANT_NOVALUEPROP), "0x80020005");
  ComPtr<IDispatch> failing = testing::DefaultValueObject::Raising(0x800A0046, "Permission denied");
  V_DISPATCH(&value) = failing.get();
  EXPECT_EQ(ChangedToText(value), "0x80020009");  // DISP_E_EXCEPTION
}

TEST(VariantChangeTypeEx, RefusesValuesWithoutText) {
  VARIANT null = Value(VT_NULL);
  VARIANT error = Value(VT_ERROR);
  VARIANT array = Value(VT_ARRAY | VT_I4);
  VARIANT nothing = Value(VT_DISPATCH);
  for (const VARIANT& value : {null, error, array, nothing}) {
    EXPECT_EQ(ChangedToText(value), "0x80020005");
  }
  VARIANT number = Value(VT_I4);
  testing::UniqueVariant converted;
  EXPECT_EQ(VariantChangeTypeEx(converted.get(), &number, 0, 0, VT_I2), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeTypeEx, ConvertsInPlace) {
  VARIANT value = Value(VT_I4);
  V_I4(&value) = 7;
  ASSERT_EQ(VariantChangeTypeEx(&value, &value, 0, 0, VT_BSTR), S_OK);
  EXPECT_EQ(testing::Utf8(V_BSTR(&value)), "7");
  ASSERT_EQ(VariantChangeTypeEx(&value, &value, 0, 0, VT_BSTR), S_OK);  // a string stays
  EXPECT_EQ(testing::Utf8(V_BSTR(&value)), "7");
  VariantClear(&value);
}

// Makes error information with the given description.
void MakeErrorInfo(const char16_t* description, ComPtr<IErrorInfo>& info) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(reinterpret_cast<ICreateErrorInfo**>(create.put_void())), S_OK);
  create->SetSource(const_cast<LPOLESTR>(u"Source"));
  create->SetDescription(const_cast<LPOLESTR>(description));
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, info.put_void()), S_OK);
}

TEST(GetErrorInfo, GivesSFalseWhenThereIsNone) {
  SetErrorInfo(0, nullptr);
  IErrorInfo* info = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
}

TEST(GetErrorInfo, HandsOverWhatSetErrorInfoStoredOnce) {
  ComPtr<IErrorInfo> stored;
  MakeErrorInfo(u"first", stored);
  ASSERT_EQ(SetErrorInfo(0, stored.get()), S_OK);
  stored.reset();
  ComPtr<IErrorInfo> taken;
  ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
  BSTR description = nullptr;
  ASSERT_EQ(taken->GetDescription(&description), S_OK);
  EXPECT_EQ(std::u16string(description), u"first");
  SysFreeString(description);
  IErrorInfo* again = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
}

TEST(SetErrorInfo, ReplacesAndReleasesTheOldInformation) {
  long before = LiveErrorInfoObjects();
  ComPtr<IErrorInfo> first;
  MakeErrorInfo(u"first", first);
  SetErrorInfo(0, first.get());
  first.reset();
  EXPECT_EQ(LiveErrorInfoObjects(), before + 1);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(LiveErrorInfoObjects(), before);
}

TEST(ErrorInfo, AnswersForBothOfItsInterfaces) {
  ComPtr<IErrorInfo> info;
  MakeErrorInfo(u"x", info);
  ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(info->QueryInterface(IID_ICreateErrorInfo, create.put_void()), S_OK);
  ComPtr<IUnknown> other;
  EXPECT_EQ(info->QueryInterface(IID_IDispatch, other.put_void()), E_NOINTERFACE);
  EXPECT_EQ(other.get(), nullptr);
}

}  // namespace
}  // namespace kefconvert::linux_com
