#include "component/errors.h"

#include "component/kefconvert_com.h"

namespace kefconvert::component {
namespace {

constexpr char kSource[] = "KEFConvert";

}  // namespace

HRESULT HresultFromErrorNumber(int number) {
  return static_cast<HRESULT>(0x800A0000u + static_cast<unsigned>(number & 0xFFFF));
}

Failure FailureOf(const Error& error) {
  return {HresultFromErrorNumber(error.number()), Utf16FromUtf8(error.what())};
}

HRESULT PublishFailure(const Failure& failure) {
  if (failure.description.empty()) return failure.status;
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return failure.status;
  OleString source = Utf16FromUtf8(kSource);
  OleString description = failure.description;
  create->SetGUID(IID__Convert);
  create->SetSource(source.data());
  create->SetDescription(description.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
  return failure.status;
}

void FillExceptionInfo(const Failure& failure, EXCEPINFO* exception) {
  if (exception == nullptr) return;
  *exception = EXCEPINFO{};
  exception->scode = failure.status;
  if (!failure.description.empty()) {
    exception->bstrSource = AllocBstr(Utf16FromUtf8(kSource));
    exception->bstrDescription = AllocBstr(failure.description);
  }
}

}  // namespace kefconvert::component
