#include "component/arguments.h"

namespace kefconvert::component {
namespace {

// The value a script variable refers to, or the argument itself.
const VARIANT* Referenced(const VARIANTARG& argument) {
  if (V_VT(&argument) != (VT_VARIANT | VT_BYREF)) return &argument;
  return V_VARIANTREF(&argument);
}

HRESULT CopyText(BSTR source, com::UniqueBstr& text) {
  text = com::NewBstr(com::BstrText(source));
  return text.get() == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The object `value` holds, directly or by reference, as IDispatch; empty for any other
// value and for Nothing.
com::ComPtr<IDispatch> ObjectOf(const VARIANT& value) {
  IUnknown* object = nullptr;
  switch (V_VT(&value)) {
    case VT_DISPATCH: object = V_DISPATCH(&value); break;
    case VT_UNKNOWN: object = V_UNKNOWN(&value); break;
    case VT_DISPATCH | VT_BYREF:
      object = V_DISPATCHREF(&value) ? *V_DISPATCHREF(&value) : nullptr;
      break;
    case VT_UNKNOWN | VT_BYREF:
      object = V_UNKNOWNREF(&value) ? *V_UNKNOWNREF(&value) : nullptr;
      break;
    default: return {};
  }
  com::ComPtr<IDispatch> dispatch;
  if (object != nullptr) object->QueryInterface(IID_IDispatch, dispatch.put_void());
  return dispatch;
}

// Hands what the default property raised to the caller, who frees it.
void PassOn(EXCEPINFO& raised, EXCEPINFO* exception) {
  if (raised.pfnDeferredFillIn != nullptr) raised.pfnDeferredFillIn(&raised);
  raised.pfnDeferredFillIn = nullptr;
  if (exception != nullptr) {
    *exception = raised;
  } else {
    SysFreeString(raised.bstrSource);
    SysFreeString(raised.bstrDescription);
    SysFreeString(raised.bstrHelpFile);
  }
}

// The value of the object's default property, read as VariantChangeType reads it.
HRESULT DefaultValue(IDispatch* object, com::UniqueVariant& value, EXCEPINFO* exception) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXCEPINFO raised{};
  HRESULT status = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                  &none, value.put(), &raised, nullptr);
  if (status == DISP_E_EXCEPTION) {
    PassOn(raised, exception);
    return status;
  }
  // an object without a default property has no value to convert
  if (status == DISP_E_MEMBERNOTFOUND || status == DISP_E_UNKNOWNNAME ||
      status == DISP_E_BADPARAMCOUNT || status == E_NOTIMPL) {
    return DISP_E_TYPEMISMATCH;
  }
  return status;
}

HRESULT ChangeToText(const VARIANT& value, com::UniqueBstr& text) {
  com::UniqueVariant converted;
  // MinGW declares the source without const; the function does not change it
  HRESULT status = VariantChangeTypeEx(converted.get(), const_cast<VARIANT*>(&value),
                                       LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, VT_BSTR);
  if (status == E_OUTOFMEMORY) return status;
  if (FAILED(status) || converted.type() != VT_BSTR) return DISP_E_TYPEMISMATCH;
  VARIANT result = converted.release();
  text.reset(V_BSTR(&result));
  return S_OK;
}

}  // namespace

HRESULT ArgumentText(const VARIANTARG& argument, com::UniqueBstr& text, EXCEPINFO* exception) {
  const VARIANT* value = Referenced(argument);
  if (value == nullptr) return DISP_E_TYPEMISMATCH;
  // fast path: a string is taken as it is, NULs and all
  if (V_VT(value) == VT_BSTR) return CopyText(V_BSTR(value), text);
  if (V_VT(value) == (VT_BSTR | VT_BYREF)) {
    if (V_BSTRREF(value) == nullptr) return DISP_E_TYPEMISMATCH;
    return CopyText(*V_BSTRREF(value), text);
  }
  VARTYPE type = V_VT(value) & ~VT_BYREF;
  if (type == VT_DISPATCH || type == VT_UNKNOWN) {
    com::ComPtr<IDispatch> object = ObjectOf(*value);
    if (!object) return DISP_E_TYPEMISMATCH;
    com::UniqueVariant default_value;
    HRESULT status = DefaultValue(object.get(), default_value, exception);
    if (FAILED(status)) return status;
    return ChangeToText(*default_value.get(), text);
  }
  return ChangeToText(*value, text);
}

}  // namespace kefconvert::component
