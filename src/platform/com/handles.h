// Owning handles for the automation runtime's resources, so that no way out of a function
// leaks one: a BSTR (freed with SysFreeString), a VARIANT (cleared with VariantClear) and
// an interface pointer (released). They move but do not copy. The names follow the
// standard library's smart pointers: get() lends, put() empties and hands out the address
// for an out-parameter, release() gives up ownership, reset() frees now.
//
//   com::ComPtr<IErrorInfo> info;
//   if (GetErrorInfo(0, info.put()) == S_OK) {
//     com::UniqueBstr description;
//     info->GetDescription(description.put());
//   }
#ifndef KEFCONVERT_PLATFORM_COM_HANDLES_H_
#define KEFCONVERT_PLATFORM_COM_HANDLES_H_

#include <utility>

#include "platform/com/com_platform.h"
#include "platform/com/text.h"

namespace kefconvert::com {

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR owned) noexcept : bstr_(owned) {}
  UniqueBstr(UniqueBstr&& other) noexcept : bstr_(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { reset(); }

  BSTR get() const { return bstr_; }
  /// The address of the held BSTR, for an in/out parameter that may replace it.
  BSTR* addressof() { return &bstr_; }
  BSTR* put() {
    reset();
    return &bstr_;
  }
  BSTR release() { return std::exchange(bstr_, nullptr); }
  void reset(BSTR owned = nullptr) { SysFreeString(std::exchange(bstr_, owned)); }
  OleStringView view() const { return BstrText(bstr_); }

 private:
  BSTR bstr_ = nullptr;
};

/// A new BSTR holding `text`; it holds NULL when memory runs out.
inline UniqueBstr NewBstr(OleStringView text) {
  return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&variant_); }
  UniqueVariant(UniqueVariant&& other) noexcept : UniqueVariant() { variant_ = other.release(); }
  UniqueVariant& operator=(UniqueVariant&& other) noexcept {
    reset();
    variant_ = other.release();
    return *this;
  }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { reset(); }

  VARIANT* get() { return &variant_; }
  const VARIANT* get() const { return &variant_; }
  VARTYPE type() const { return V_VT(&variant_); }
  VARIANT* put() {
    reset();
    return &variant_;
  }
  /// The value; the handle is left VT_EMPTY.
  VARIANT release() {
    VARIANT value = variant_;
    VariantInit(&variant_);
    return value;
  }
  void reset() {
    VariantClear(&variant_);
    V_VT(&variant_) = VT_EMPTY;  // even for a type VariantClear refuses
  }

 private:
  VARIANT variant_;
};

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  /// Takes over the reference `owned` holds.
  explicit ComPtr(Interface* owned) noexcept : pointer_(owned) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  /// For out-parameters typed Interface**, such as GetErrorInfo's.
  Interface** put() {
    reset();
    return &pointer_;
  }
  /// For out-parameters typed void**, such as QueryInterface's.
  void** put_void() { return reinterpret_cast<void**>(put()); }
  Interface* release() { return std::exchange(pointer_, nullptr); }
  void reset(Interface* owned = nullptr) {
    Interface* old = std::exchange(pointer_, owned);
    if (old != nullptr) old->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace kefconvert::com

#endif  // KEFCONVERT_PLATFORM_COM_HANDLES_H_
