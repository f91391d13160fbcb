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
#include "platform/com/handles.h"

namespace {

using kefconvert::com::ComPtr;
using kefconvert::com::UniqueBstr;
using kefconvert::com::UniqueVariant;

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

UniqueBstr CorpusPath(const wchar_t* name) {
  return UniqueBstr(SysAllocString((folder + L"\\" + name).c_str()));
}

std::string ErrorInfoText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return "none";
  UniqueBstr source;
  UniqueBstr description;
  GUID guid = {};
  info->GetSource(source.put());
  info->GetDescription(description.put());
  info->GetGUID(&guid);
  return "source \"" + Narrow(source.get()) + "\", description \"" + Narrow(description.get()) +
         "\", " + (IsEqualGUID(guid, IID__Convert) ? "interface _Convert" : "other GUID");
}

void CallSlot(_Convert* converter, const char* label, const wchar_t* name) {
  UniqueBstr path = CorpusPath(name);
  BSTR before = path.get();
  std::wstring text = path.get();
  UniqueVariant result;
  HRESULT status = converter->ConvertProject(path.addressof(), result.get());
  std::string outcome = Hex(status) + ", result " + ResultText(*result.get());
  if (FAILED(status)) outcome += ", " + ErrorInfoText();
  outcome +=
      path.get() == before && text == path.get() ? ", projFile unchanged" : ", projFile changed";
  Show(label, outcome);
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
  UniqueVariant result;
  EXCEPINFO exception = {};
  UINT argument_error = 99;
  HRESULT status =
      dispatch->Invoke(IdOf(dispatch, L"ConvertProject"), IID_NULL, LOCALE_USER_DEFAULT,
                       DISPATCH_METHOD, &parameters, result.get(), &exception, &argument_error);
  UniqueBstr source(exception.bstrSource);
  UniqueBstr description(exception.bstrDescription);
  UniqueBstr help_file(exception.bstrHelpFile);
  std::string text = Hex(status);
  if (status == DISP_E_EXCEPTION) {
    text += ", scode " + Hex(exception.scode) + ", source \"" + Narrow(source.get()) +
            "\", description \"" + Narrow(description.get()) + "\"";
  } else if (status == DISP_E_TYPEMISMATCH) {
    text += ", argument " + std::to_string(argument_error) + ", " + ErrorInfoText();
  } else if (SUCCEEDED(status)) {
    text += ", result " + ResultText(*result.get());
  }
  return text;
}

void CheckDispatch(IDispatch* dispatch) {
  UINT count = 0;
  dispatch->GetTypeInfoCount(&count);
  Show("type info count", std::to_string(count));
  ComPtr<ITypeInfo> info;
  if (SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()))) {
    UniqueBstr name;
    info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    Show("type info", Narrow(name.get()));
  }
  Show("id of convertPROJECT", Hex(IdOf(dispatch, L"convertPROJECT")));
  Show("id of Convert", Hex(IdOf(dispatch, L"Convert")));

  UniqueBstr path = CorpusPath(L"shop.kef");
  VARIANTARG argument;
  V_VT(&argument) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&argument) = path.addressof();
  Show("invoke, string by reference", InvokeText(dispatch, &argument, 1));

  // what a script passes for a variable: a variant by reference that holds the string
  UniqueVariant variable;
  V_VT(variable.get()) = VT_BSTR;
  V_BSTR(variable.get()) = CorpusPath(L"not_project.kef").release();
  V_VT(&argument) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&argument) = variable.get();
  Show("invoke, variant by reference", InvokeText(dispatch, &argument, 1));

  UniqueBstr bad_type = CorpusPath(L"bad_type.kef");
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = bad_type.get();
  Show("invoke, bad type code", InvokeText(dispatch, &argument, 1));

  // a number becomes its text, "42": too short a path to name a converted file
  V_VT(&argument) = VT_I4;
  V_I4(&argument) = 42;
  Show("invoke, number", InvokeText(dispatch, &argument, 1));
  V_VT(&argument) = VT_NULL;
  Show("invoke, Null", InvokeText(dispatch, &argument, 1));
  Show("invoke, no argument", InvokeText(dispatch, nullptr, 0));
}

using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

HRESULT AskCanUnloadNow() {
  auto can_unload = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"KEFConvert.dll"), "DllCanUnloadNow")));
  return can_unload == nullptr ? E_FAIL : can_unload();
}

void CheckUnloading() {
  ComPtr<IClassFactory> factory;
  HRESULT status = CoGetClassObject(CLSID_Convert, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                    factory.put_void());
  Show("class factory", Hex(status));
  if (FAILED(status)) return;
  Show("can unload, nothing outstanding", Hex(AskCanUnloadNow()));
  ComPtr<_Convert> converter;
  factory->CreateInstance(nullptr, IID__Convert, converter.put_void());
  Show("can unload, an object alive", Hex(AskCanUnloadNow()));
  converter.reset();
  Show("can unload, object released", Hex(AskCanUnloadNow()));
  factory->LockServer(TRUE);
  Show("can unload, server locked", Hex(AskCanUnloadNow()));
  factory->LockServer(FALSE);
  Show("can unload, server unlocked", Hex(AskCanUnloadNow()));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: com_client FOLDER\n");
    return 64;
  }
  folder = argv[1];
  CoInitialize(nullptr);
  ComPtr<_Convert> converter;
  HRESULT status = CoCreateInstance(CLSID_Convert, nullptr, CLSCTX_INPROC_SERVER, IID__Convert,
                                    converter.put_void());
  Show("create", Hex(status));
  if (SUCCEEDED(status)) {
    ComPtr<IDispatch> dispatch;
    Show("query IDispatch", Hex(converter->QueryInterface(IID_IDispatch, dispatch.put_void())));
    ComPtr<ISupportErrorInfo> support;
    Show("query ISupportErrorInfo",
         Hex(converter->QueryInterface(IID_ISupportErrorInfo, support.put_void())));
    if (support) {
      Show("supports error info for _Convert",
           Hex(support->InterfaceSupportsErrorInfo(IID__Convert)));
      support.reset();
    }
    ComPtr<IUnknown> persist;
    Show("query IPersist", Hex(converter->QueryInterface(IID_IPersist, persist.put_void())));

    CallSlot(converter.get(), "slot 8, project", L"shop.kef");
    CallSlot(converter.get(), "slot 8, not a project", L"not_project.kef");
    CallSlot(converter.get(), "slot 8, bad type code", L"bad_type.kef");
    CallSlot(converter.get(), "slot 8, missing file", L"missing.kef");
    if (dispatch) {
      CheckDispatch(dispatch.get());
      dispatch.reset();
    }
    Show("last release", std::to_string(converter.release()->Release()));
  }
  CheckUnloading();
  CoUninitialize();
  return 0;
}
