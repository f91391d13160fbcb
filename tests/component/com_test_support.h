// Test support for the COM component: owning wrappers for BSTRs, variants and interface
// pointers, and a scoped environment variable.
#ifndef KEFCONVERT_TESTS_COMPONENT_COM_TEST_SUPPORT_H_
#define KEFCONVERT_TESTS_COMPONENT_COM_TEST_SUPPORT_H_

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "component/com_platform.h"
#include "component/text.h"

namespace kefconvert::testing {

class Bstr {
 public:
  explicit Bstr(std::string_view utf8) {
    component::OleString text = component::Utf16FromUtf8(utf8);
    bstr_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  explicit Bstr(const component::OleString& text)
      : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(bstr_); }

  BSTR& get() { return bstr_; }
  std::string Utf8() const { return component::Utf8FromUtf16(component::BstrText(bstr_)).value(); }

 private:
  BSTR bstr_;
};

class Variant {
 public:
  Variant() { VariantInit(&variant_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&variant_); }

  VARIANT* get() { return &variant_; }
  VARTYPE type() const { return V_VT(&variant_); }
  std::string Text() const {
    return component::Utf8FromUtf16(component::BstrText(V_BSTR(&variant_))).value();
  }

 private:
  VARIANT variant_;
};

/// Holds one reference to an interface and releases it.
template <typename Interface>
class Ref {
 public:
  Ref() = default;
  Ref(Ref&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Reset(); }

  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }
  void** out() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
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
