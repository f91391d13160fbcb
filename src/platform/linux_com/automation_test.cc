#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

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
