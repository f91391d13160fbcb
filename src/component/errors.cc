#include "component/errors.h"

#include "component/kefconvert_com.h"
#include "platform/com/handles.h"

namespace kefconvert::component {
namespace {

constexpr char kSource[] = "KEFConvert";

}  // namespace

HRESULT HresultFromErrorNumber(int number) {
  return static_cast<HRESULT>(0x800A0000u + static_cast<unsigned>(number & 0xFFFF));
}

Failure FailureOf(const Error& error) {
  return {HresultFromErrorNumber(error.number()), com::Utf16FromUtf8(error.what())};
}

HRESULT PublishFailure(const Failure& failure) {
  if (failure.description.empty()) return failure.status;
  com::ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return failure.status;
  com::OleString source = com::Utf16FromUtf8(kSource);
  com::OleString description = failure.description;
  create->SetGUID(IID__Convert);
  create->SetSource(source.data());
  create->SetDescription(description.data());
  com::ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) {
    SetErrorInfo(0, info.get());
  }
  return failure.status;
}

void FillExceptionInfo(const Failure& failure, EXCEPINFO* exception) {
  if (exception == nullptr) return;
  *exception = EXCEPINFO{};
  exception->scode = failure.status;
  if (!failure.description.empty()) {
    // the caller frees them
    exception->bstrSource = com::NewBstr(com::Utf16FromUtf8(kSource)).release();
    exception->bstrDescription = com::NewBstr(failure.description).release();
  }
}

}  // namespace kefconvert::component
