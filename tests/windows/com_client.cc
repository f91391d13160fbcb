// A C++ client of the registered component, written as a Windows developer writes one:
// CoCreateInstance for _Convert, the eighth slot called directly, the same method reached
// late-bound through IDispatch, and the error information read with GetErrorInfo. Prints
// one line per check; the test compares the lines with what they must be.
//
// usage: com_client FOLDER   (FOLDER holds a copy of the corpus)
#include <cstdio>
#include <string>

#include "platform/com/com_platform.h"
// defines the component's identifiers here, which the header only declares
#include <initguid.h>

#include "component/kefconvert_com.h"

namespace {

std::wstring folder;

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != L'\0'; ++text) {
    out += *text < 0x80 ? static_cast<char>(*text) : '?';
  }
  return out;
}

// A path with the corpus folder written as <dir>.
std::string Shown(const wchar_t* path) {
  std::wstring text = path == nullptr ? L"" : path;
  if (text.starts_with(folder)) text = L"<dir>" + text.substr(folder.size());
  return Narrow(text.c_str());
}

std::string Hex(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
  return text;
}

void Show(const char* label, const std::string& value) {
  std::printf("%s: %s\n", label, value.c_str());
}

// The converted file's path, "Null", or the variant's type for anything else.
std::string ResultText(const VARIANT& result) {
  if (V_VT(&result) == VT_BSTR) return Shown(V_BSTR(&result));
  if (V_VT(&result) == VT_NULL) return "Null";
  return "vt " + std::to_string(V_VT(&result));
}

BSTR CorpusPath(const wchar_t* name) { return SysAllocString((folder + L"\\" + name).c_str()); }

std::string ErrorInfoText() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return "none";
  BSTR source = nullptr;
  BSTR description = nullptr;
  GUID guid = {};
  info->GetSource(&source);
  info->GetDescription(&description);
  info->GetGUID(&guid);
  std::string text = "source \"" + Narrow(source) + "\", description \"" + Narrow(description) +
                     "\", " +
                     (IsEqualGUID(guid, IID__Convert) ? "interface _Convert" : "other GUID");
  SysFreeString(source);
  SysFreeString(description);
  info->Release();
  return text;
}

void CallSlot(_Convert* converter, const char* label, const wchar_t* name) {
  BSTR path = CorpusPath(name);
  BSTR before = path;
  std::wstring text = path;
  VARIANT result;
  VariantInit(&result);
  HRESULT status = converter->ConvertProject(&path, &result);
  std::string outcome = Hex(status) + ", result " + ResultText(result);
  if (FAILED(status)) outcome += ", " + ErrorInfoText();
  outcome += path == before && text == path ? ", projFile unchanged" : ", projFile changed";
  Show(label, outcome);
  VariantClear(&result);
  SysFreeString(path);
}

DISPID IdOf(IDispatch* dispatch, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT status = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return SUCCEEDED(status) ? id : static_cast<DISPID>(status);
}

// Invokes ConvertProject with the given arguments, as script engines do.
std::string InvokeText(IDispatch* dispatch, VARIANTARG* arguments, UINT count) {
  DISPPARAMS parameters = {arguments, nullptr, count, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception = {};
  UINT argument_error = 0;
  HRESULT status =
      dispatch->Invoke(IdOf(dispatch, L"ConvertProject"), IID_NULL, LOCALE_USER_DEFAULT,
                       DISPATCH_METHOD, &parameters, &result, &exception, &argument_error);
  std::string text = Hex(status);
  if (status == DISP_E_EXCEPTION) {
    text += ", scode " + Hex(exception.scode) + ", source \"" + Narrow(exception.bstrSource) +
            "\", description \"" + Narrow(exception.bstrDescription) + "\"";
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  } else if (SUCCEEDED(status)) {
    text += ", result " + ResultText(result);
  }
  VariantClear(&result);
  return text;
}

void CheckDispatch(IDispatch* dispatch) {
  UINT count = 0;
  dispatch->GetTypeInfoCount(&count);
  Show("type info count", std::to_string(count));
  ITypeInfo* info = nullptr;
  if (SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info))) {
    BSTR name = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    Show("type info", Narrow(name));
    SysFreeString(name);
    info->Release();
  }
  Show("id of convertPROJECT", Hex(IdOf(dispatch, L"convertPROJECT")));
  Show("id of Convert", Hex(IdOf(dispatch, L"Convert")));

  BSTR path = CorpusPath(L"shop.kef");
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&argument) = &path;
  Show("invoke, string by reference", InvokeText(dispatch, &argument, 1));
  SysFreeString(path);

  // what a script passes for a variable: a variant by reference that holds the string
  VARIANT variable;
  V_VT(&variable) = VT_BSTR;
  V_BSTR(&variable) = CorpusPath(L"not_project.kef");
  V_VT(&argument) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&argument) = &variable;
  Show("invoke, variant by reference", InvokeText(dispatch, &argument, 1));
  VariantClear(&variable);

  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = CorpusPath(L"bad_type.kef");
  Show("invoke, bad type code", InvokeText(dispatch, &argument, 1));
  VariantClear(&argument);

  V_VT(&argument) = VT_I4;
  V_I4(&argument) = 42;
  Show("invoke, number", InvokeText(dispatch, &argument, 1));
  Show("invoke, no argument", InvokeText(dispatch, nullptr, 0));
}

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

HRESULT AskCanUnloadNow() {
  auto can_unload = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"KEFConvert.dll"), "DllCanUnloadNow")));
  return can_unload == nullptr ? E_FAIL : can_unload();
}

void CheckUnloading() {
  IClassFactory* factory = nullptr;
  HRESULT status = CoGetClassObject(CLSID_Convert, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory));
  Show("class factory", Hex(status));
  if (FAILED(status)) return;
  Show("can unload, nothing outstanding", Hex(AskCanUnloadNow()));
  _Convert* converter = nullptr;
  factory->CreateInstance(nullptr, IID__Convert, reinterpret_cast<void**>(&converter));
  Show("can unload, an object alive", Hex(AskCanUnloadNow()));
  converter->Release();
  Show("can unload, object released", Hex(AskCanUnloadNow()));
  factory->LockServer(TRUE);
  Show("can unload, server locked", Hex(AskCanUnloadNow()));
  factory->LockServer(FALSE);
  Show("can unload, server unlocked", Hex(AskCanUnloadNow()));
  factory->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: com_client FOLDER\n");
    return 64;
  }
  folder = argv[1];
  CoInitialize(nullptr);
  _Convert* converter = nullptr;
  HRESULT status = CoCreateInstance(CLSID_Convert, nullptr, CLSCTX_INPROC_SERVER, IID__Convert,
                                    reinterpret_cast<void**>(&converter));
  Show("create", Hex(status));
  if (SUCCEEDED(status)) {
    IDispatch* dispatch = nullptr;
    Show("query IDispatch",
         Hex(converter->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))));
    ISupportErrorInfo* support = nullptr;
    Show("query ISupportErrorInfo",
         Hex(converter->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))));
    if (support != nullptr) {
      Show("supports error info for _Convert",
           Hex(support->InterfaceSupportsErrorInfo(IID__Convert)));
      support->Release();
    }
    IUnknown* unknown_interface = nullptr;
    Show("query IPersist", Hex(converter->QueryInterface(
                               IID_IPersist, reinterpret_cast<void**>(&unknown_interface))));

    CallSlot(converter, "slot 8, project", L"shop.kef");
    CallSlot(converter, "slot 8, not a project", L"not_project.kef");
    CallSlot(converter, "slot 8, bad type code", L"bad_type.kef");
    CallSlot(converter, "slot 8, missing file", L"missing.kef");
    if (dispatch != nullptr) {
      CheckDispatch(dispatch);
      dispatch->Release();
    }
    Show("last release", std::to_string(converter->Release()));
  }
  CheckUnloading();
  CoUninitialize();
  return 0;
}
