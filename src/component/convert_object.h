// The COM object of the class Convert: the dual interface _Convert around one converter,
// whose field type state therefore lasts as long as the object and is its own. Clients
// reach ConvertProject through the eighth slot or late-bound by name through IDispatch;
// both take the same path, and failures set the thread's error information. Calls on one
// object take turns (ObjectCallLock), so its converter is never used by two at once.
#ifndef KEFCONVERT_COMPONENT_CONVERT_OBJECT_H_
#define KEFCONVERT_COMPONENT_CONVERT_OBJECT_H_

#include <atomic>
#include <memory>

#include "component/errors.h"
#include "component/kefconvert_com.h"
#include "component/platform_services.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::component {

class ConvertObject final : public _Convert, public ISupportErrorInfo {
 public:
  /// Creates an object and hands out its interface `riid` (the only reference).
  static HRESULT Create(REFIID riid, void** object);

  ConvertObject(const ConvertObject&) = delete;
  ConvertObject& operator=(const ConvertObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // _Convert
  HRESULT STDMETHODCALLTYPE ConvertProject(BSTR* projFile, VARIANT* result) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

 private:
  ConvertObject();
  ~ConvertObject();

  /// The conversion behind both ways in; on failure `result` stays VT_EMPTY.
  Failure Run(BSTR projFile, VARIANT* result);

  std::atomic<ULONG> references_{1};
  ObjectCallLock calls_;
  // Absent when the code page is not one the converter supports.
  std::unique_ptr<kefconvert::Convert> converter_;
};

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_CONVERT_OBJECT_H_
