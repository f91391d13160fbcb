#include "component/convert_object.h"

#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "component/arguments.h"
#include "component/server.h"
#include "platform/com/handles.h"
#include "platform/com/text.h"

namespace kefconvert::component {
namespace {

constexpr DISPID kProjFileParameter = 0;

// Automation compares member names without regard to case.
bool NameIs(const OLECHAR* name, std::string_view expected) {
  return com::EqualsIgnoringCase(com::OleStringView(name), expected);
}

std::unique_ptr<kefconvert::Convert> MakeConverter() {
  int code_page = AnsiCodePage();
  if (!IsSupportedCodePage(code_page)) return nullptr;
  return std::make_unique<kefconvert::Convert>(Options{code_page});
}

// The path in the BSTR, for the file system. A path that no file can have (a NUL inside,
// half a surrogate pair) is an invalid argument.
std::string PathOf(BSTR projFile) {
  std::optional<std::string> path = com::Utf8FromUtf16(com::BstrText(projFile));
  if (!path || path->find('\0') != std::string::npos) throw Error(kInvalidArgument);
  return *path;
}

}  // namespace

HRESULT ConvertObject::Create(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ConvertObject* created = nullptr;
  try {
    created = new ConvertObject();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_UNEXPECTED;
  }
  HRESULT status = created->QueryInterface(riid, object);
  created->Release();
  return status;
}

ConvertObject::ConvertObject() : converter_(MakeConverter()) { ObjectCreated(); }

ConvertObject::~ConvertObject() { ObjectDestroyed(); }

HRESULT ConvertObject::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, IID__Convert)) {
    *object = static_cast<_Convert*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ConvertObject::AddRef() { return ++references_; }

ULONG ConvertObject::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT ConvertObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_INVALIDARG;
  *count = TypeInfoCount();
  return S_OK;
}

HRESULT ConvertObject::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  return GetConvertTypeInfo(index, lcid, info);
}

HRESULT ConvertObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  HRESULT status = S_OK;
  bool method_known = names[0] != nullptr && NameIs(names[0], "ConvertProject");
  ids[0] = method_known ? DISPID_ConvertProject : DISPID_UNKNOWN;
  if (!method_known) status = DISP_E_UNKNOWNNAME;
  // Further names are the method's parameter names, for named arguments.
  for (UINT i = 1; i < count; ++i) {
    bool parameter_known = method_known && names[i] != nullptr && NameIs(names[i], "projFile");
    ids[i] = parameter_known ? kProjFileParameter : DISPID_UNKNOWN;
    if (!parameter_known) status = DISP_E_UNKNOWNNAME;
  }
  return status;
}

HRESULT ConvertObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* arg_error) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (id != DISPID_ConvertProject || (flags & DISPATCH_METHOD) == 0) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs > 0 && (params->cNamedArgs > 1 || params->rgdispidNamedArgs == nullptr ||
                                 params->rgdispidNamedArgs[0] != kProjFileParameter)) {
    return DISP_E_NONAMEDARGS;
  }
  if (params->cArgs != 1 || params->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
  com::UniqueBstr projFile;
  HRESULT status = ArgumentText(params->rgvarg[0], projFile, exception);
  if (status == DISP_E_TYPEMISMATCH) {
    if (arg_error != nullptr) *arg_error = 0;
    PublishFailure(FailureOf(Error(kTypeMismatch)));
    return status;
  }
  if (FAILED(status)) return status;

  com::UniqueVariant value;
  AddRef();
  Failure failure = Run(projFile.get(), value.get());
  PublishFailure(failure);
  Release();
  if (FAILED(failure.status)) {
    FillExceptionInfo(failure, exception);
    return DISP_E_EXCEPTION;
  }
  if (result != nullptr) *result = value.release();
  return S_OK;
}

HRESULT ConvertObject::ConvertProject(BSTR* projFile, VARIANT* result) {
  if (result == nullptr) return E_POINTER;
  VariantInit(result);
  if (projFile == nullptr) return E_POINTER;
  AddRef();
  Failure failure = Run(*projFile, result);
  HRESULT status = PublishFailure(failure);
  Release();
  return status;
}

Failure ConvertObject::Run(BSTR projFile, VARIANT* result) {
  std::lock_guard<ObjectCallLock> turn(calls_);
  // A failure leaves no stale error information behind from an earlier call.
  SetErrorInfo(0, nullptr);
  try {
    std::string path = PathOf(projFile);
    if (converter_ == nullptr) throw Error(kInvalidArgument);
    std::optional<std::string> converted = converter_->ConvertProject(path);
    if (!converted) {
      V_VT(result) = VT_NULL;
      return {};
    }
    com::UniqueBstr text = com::NewBstr(com::Utf16FromUtf8(*converted));
    if (text.get() == nullptr) return {E_OUTOFMEMORY, {}};
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = text.release();
    return {};
  } catch (const Error& error) {
    return FailureOf(error);
  } catch (const std::bad_alloc&) {
    return {E_OUTOFMEMORY, {}};
  } catch (const std::exception&) {
    return {E_UNEXPECTED, {}};
  }
}

HRESULT ConvertObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID__Convert) ? S_OK : S_FALSE;
}

}  // namespace kefconvert::component
