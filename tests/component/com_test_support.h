// Test support for the COM component: BSTRs made from and read as UTF-8, and a scoped
// environment variable. The owning handles are the component's own (platform/com/handles.h).
#ifndef KEFCONVERT_TESTS_COMPONENT_COM_TEST_SUPPORT_H_
#define KEFCONVERT_TESTS_COMPONENT_COM_TEST_SUPPORT_H_

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/com_platform.h"
#include "platform/com/handles.h"
#include "platform/com/text.h"

namespace kefconvert::testing {

using com::ComPtr;
using com::UniqueBstr;
using com::UniqueVariant;

/// A new BSTR holding `utf8`.
inline UniqueBstr Bstr(std::string_view utf8) { return com::NewBstr(com::Utf16FromUtf8(utf8)); }
/// The UTF-8 form of a BSTR's text.
inline std::string Utf8(BSTR text) { return com::Utf8FromUtf16(com::BstrText(text)).value(); }
/// The UTF-8 form of the string a VT_BSTR variant holds.
inline std::string Text(const UniqueVariant& variant) { return Utf8(V_BSTR(variant.get())); }

/// An automation object with a default property (DISPID_VALUE) and nothing else, as a host
/// hands its objects over: Scripting.File's default property is its path. Reading it gives
/// the text `value`, or raises the error `raised` (an scode with its description).
class DefaultValueObject final : public IDispatch {
 public:
  static ComPtr<IDispatch> Holding(std::string_view value) {
    return ComPtr<IDispatch>(new DefaultValueObject(std::string(value), S_OK));
  }
  static ComPtr<IDispatch> Raising(SCODE raised, std::string_view description) {
    return ComPtr<IDispatch>(new DefaultValueObject(std::string(description), raised));
  }
  DefaultValueObject(const DefaultValueObject&) = delete;
  DefaultValueObject& operator=(const DefaultValueObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (raised_ != S_OK) {
      if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = raised_;
        exception->bstrSource = Bstr("Test.Object").release();
        exception->bstrDescription = Bstr(text_).release();
      }
      return DISP_E_EXCEPTION;
    }
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = Bstr(text_).release();
    return S_OK;
  }

 private:
  DefaultValueObject(std::string text, SCODE raised) : text_(std::move(text)), raised_(raised) {}
  ~DefaultValueObject() = default;

  ULONG references_ = 1;
  std::string text_;
  SCODE raised_;
};

/// Sets an environment variable (or unsets it, for no value) for the scope's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace kefconvert::testing

#endif  // KEFCONVERT_TESTS_COMPONENT_COM_TEST_SUPPORT_H_
