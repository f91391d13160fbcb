#include "platform/linux_com/error_info.h"

#include <atomic>
#include <new>
#include <string>

#include "platform/linux_com/com_interfaces.h"

namespace kefconvert::linux_com {
namespace {

std::atomic<long> live_objects{0};

std::u16string TextOf(LPOLESTR text) { return text == nullptr ? std::u16string() : text; }

// One object serves both sides: the component fills it through ICreateErrorInfo, clients
// read it through IErrorInfo.
class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
 public:
  ErrorInfo() { ++live_objects; }
  ErrorInfo(const ErrorInfo&) = delete;
  ErrorInfo& operator=(const ErrorInfo&) = delete;
  ~ErrorInfo() { --live_objects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *object = static_cast<IErrorInfo*>(this);
    } else if (riid == IID_ICreateErrorInfo) {
      *object = static_cast<ICreateErrorInfo*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    if (guid == nullptr) return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override { return Copy(source_, source); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override {
    return Copy(description_, description);
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* help_file) override {
    return Copy(help_file_, help_file);
  }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* help_context) override {
    if (help_context == nullptr) return E_INVALIDARG;
    *help_context = help_context_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR source) override { return Store(source, source_); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR description) override {
    return Store(description, description_);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR help_file) override {
    return Store(help_file, help_file_);
  }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD help_context) override {
    help_context_ = help_context;
    return S_OK;
  }

 private:
  static HRESULT Copy(const std::u16string& text, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  static HRESULT Store(LPOLESTR text, std::u16string& field) {
    try {
      field = TextOf(text);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  std::atomic<ULONG> references_{1};
  GUID guid_{};
  std::u16string source_;
  std::u16string description_;
  std::u16string help_file_;
  DWORD help_context_ = 0;
};

// The calling thread's error information; what is left in it when the thread ends is
// released then.
class ErrorSlot {
 public:
  ErrorSlot() = default;
  ErrorSlot(const ErrorSlot&) = delete;
  ErrorSlot& operator=(const ErrorSlot&) = delete;
  ~ErrorSlot() { Replace(nullptr); }

  void Replace(IErrorInfo* info) {
    if (info != nullptr) info->AddRef();
    IErrorInfo* old = info_;
    info_ = info;
    if (old != nullptr) old->Release();
  }
  IErrorInfo* Take() {
    IErrorInfo* info = info_;
    info_ = nullptr;
    return info;
  }

 private:
  IErrorInfo* info_ = nullptr;
};

ErrorSlot& ThreadSlot() {
  thread_local ErrorSlot slot;
  return slot;
}

}  // namespace

long LiveErrorInfoObjects() { return live_objects.load(); }

}  // namespace kefconvert::linux_com

using kefconvert::linux_com::ErrorInfo;
using kefconvert::linux_com::ThreadSlot;

STDAPI CreateErrorInfo(ICreateErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = new (std::nothrow) ErrorInfo();
  return *info == nullptr ? E_OUTOFMEMORY : S_OK;
}

STDAPI GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  if (info == nullptr || reserved != 0) return E_INVALIDARG;
  *info = ThreadSlot().Take();
  return *info == nullptr ? S_FALSE : S_OK;
}

STDAPI SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  ThreadSlot().Replace(info);
  return S_OK;
}
