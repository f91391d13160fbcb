/* A client of the component written in C against the Windows definitions, as a host
 * written for Windows would be: it loads libKEFConvert.so itself, takes the class factory
 * from DllGetClassObject and calls the object only through its interface tables.
 * usage: kefconvert_c_client LIBKEFCONVERT */
#define _XOPEN_SOURCE 700
#define INITGUID
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "component/kefconvert_com.h"

/* The library's exports, looked up by name. */
static struct {
  HRESULT (*DllGetClassObject)(REFCLSID, REFIID, LPVOID*);
  HRESULT (*DllCanUnloadNow)(void);
  BSTR (*SysAllocString)(const OLECHAR*);
  void (*SysFreeString)(BSTR);
  UINT (*SysStringLen)(BSTR);
  void (*VariantInit)(VARIANTARG*);
  HRESULT (*VariantClear)(VARIANTARG*);
  HRESULT (*GetErrorInfo)(ULONG, IErrorInfo**);
} api;

DEFINE_GUID(IID_Unknown_To_Anyone, 0x12345678, 0x1234, 0x1234, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78,
            0x9A, 0xBC);

static int failures = 0;
static char folder[] = "/tmp/kefconvert-c-client-XXXXXX";

static void check(int passed, const char* what) {
  printf("%s - %s\n", passed ? "ok" : "not ok", what);
  if (!passed) ++failures;
}

static int load(const char* library_path, void** library) {
  *library = dlopen(library_path, RTLD_NOW | RTLD_LOCAL);
  if (*library == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 0;
  }
#define LOOK_UP(name) *(void**)&api.name = dlsym(*library, #name)
  LOOK_UP(DllGetClassObject);
  LOOK_UP(DllCanUnloadNow);
  LOOK_UP(SysAllocString);
  LOOK_UP(SysFreeString);
  LOOK_UP(SysStringLen);
  LOOK_UP(VariantInit);
  LOOK_UP(VariantClear);
  LOOK_UP(GetErrorInfo);
#undef LOOK_UP
  return api.DllGetClassObject && api.DllCanUnloadNow && api.SysAllocString && api.SysFreeString &&
         api.SysStringLen && api.VariantInit && api.VariantClear && api.GetErrorInfo;
}

/* The path of `name` in the test folder; the caller frees it. */
static char* file_path(const char* name) {
  char* path = malloc(strlen(folder) + strlen(name) + 2);
  sprintf(path, "%s/%s", folder, name);
  return path;
}

static void write_file(const char* name, const char* text) {
  char* path = file_path(name);
  FILE* out = fopen(path, "wb");
  fputs(text, out);
  fclose(out);
  free(path);
}

static char* read_file(const char* name) {
  char* path = file_path(name);
  FILE* in = fopen(path, "rb");
  free(path);
  if (in == NULL) return NULL;
  char* text = calloc(1, 65536);
  size_t length = fread(text, 1, 65535, in);
  text[length] = 0;
  fclose(in);
  return text;
}

/* A BSTR holding the path of `name`; ASCII, as the test folder's paths are. */
static BSTR path_bstr(const char* name) {
  char* path = file_path(name);
  size_t length = strlen(path);
  OLECHAR* text = calloc(length + 1, sizeof(OLECHAR));
  for (size_t i = 0; i < length; ++i) text[i] = (OLECHAR)(unsigned char)path[i];
  BSTR result = api.SysAllocString(text);
  free(text);
  free(path);
  return result;
}

static int bstr_equals(BSTR text, const char* ascii) {
  size_t length = strlen(ascii);
  if (text == NULL || api.SysStringLen(text) != length) return 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != (OLECHAR)(unsigned char)ascii[i]) return 0;
  }
  return 1;
}

static int bstr_equals_path(BSTR text, const char* name) {
  char* path = file_path(name);
  int equal = bstr_equals(text, path);
  free(path);
  return equal;
}

/* Slot 8, with the check that the caller's string is the same before and after. */
static HRESULT call_slot(_Convert* converter, const char* name, VARIANT* result) {
  BSTR projFile = path_bstr(name);
  BSTR before = projFile;
  HRESULT status = converter->lpVtbl->ConvertProject(converter, &projFile, result);
  check(projFile == before && bstr_equals_path(projFile, name), "slot 8 leaves projFile as it was");
  api.SysFreeString(projFile);
  return status;
}

/* Late-bound: GetIDsOfNames, then Invoke with the path by reference. */
static HRESULT call_by_name(_Convert* converter, const char* name, VARIANT* result,
                            EXCEPINFO* exception) {
  IDispatch* dispatch = NULL;
  converter->lpVtbl->QueryInterface(converter, &IID_IDispatch, (void**)&dispatch);
  OLECHAR method[] = u"convertPROJECT";
  LPOLESTR names[] = {method};
  DISPID id = 0;
  HRESULT status =
      dispatch->lpVtbl->GetIDsOfNames(dispatch, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  check(status == S_OK && id == DISPID_ConvertProject, "GetIDsOfNames finds ConvertProject");
  BSTR projFile = path_bstr(name);
  BSTR before = projFile;
  VARIANTARG argument;
  api.VariantInit(&argument);
  argument.vt = VT_BSTR | VT_BYREF;
  argument.pbstrVal = &projFile;
  DISPPARAMS params = {&argument, NULL, 1, 0};
  UINT arg_error = 0;
  status = dispatch->lpVtbl->Invoke(dispatch, id, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &params, result, exception, &arg_error);
  check(projFile == before && bstr_equals_path(projFile, name), "Invoke leaves projFile as it was");
  api.SysFreeString(projFile);
  dispatch->lpVtbl->Release(dispatch);
  return status;
}

/* An object whose default property (DISPID_VALUE) is the path of shop.kef, as a host's
 * file object's is its path. */
typedef struct {
  IDispatch dispatch;
  ULONG references;
} path_object;

static HRESULT STDMETHODCALLTYPE path_query(IDispatch* This, REFIID riid, void** object) {
  if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IDispatch)) {
    *object = NULL;
    return E_NOINTERFACE;
  }
  *object = This;
  This->lpVtbl->AddRef(This);
  return S_OK;
}
static ULONG STDMETHODCALLTYPE path_add_ref(IDispatch* This) {
  return ++((path_object*)This)->references;
}
static ULONG STDMETHODCALLTYPE path_release(IDispatch* This) {
  return --((path_object*)This)->references; /* lives on the stack */
}
static HRESULT STDMETHODCALLTYPE path_count(IDispatch* This, UINT* count) {
  (void)This;
  *count = 0;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE path_type_info(IDispatch* This, UINT index, LCID lcid,
                                                ITypeInfo** info) {
  (void)This, (void)index, (void)lcid, (void)info;
  return DISP_E_BADINDEX;
}
static HRESULT STDMETHODCALLTYPE path_ids(IDispatch* This, REFIID riid, LPOLESTR* names, UINT count,
                                          LCID lcid, DISPID* ids) {
  (void)This, (void)riid, (void)names, (void)count, (void)lcid, (void)ids;
  return DISP_E_UNKNOWNNAME;
}
static HRESULT STDMETHODCALLTYPE path_invoke(IDispatch* This, DISPID id, REFIID riid, LCID lcid,
                                             WORD flags, DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* exception, UINT* arg_error) {
  (void)This, (void)riid, (void)lcid, (void)params, (void)exception, (void)arg_error;
  if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  result->vt = VT_BSTR;
  result->bstrVal = path_bstr("shop.kef");
  return S_OK;
}
static const IDispatchVtbl path_object_table = {
    path_query, path_add_ref, path_release, path_count, path_type_info, path_ids, path_invoke};

/* Invoke with one argument by value, as a script passes an expression. */
static HRESULT invoke_with(_Convert* converter, VARIANTARG* argument, VARIANT* result,
                           EXCEPINFO* exception, UINT* arg_error) {
  DISPPARAMS params = {argument, NULL, 1, 0};
  return converter->lpVtbl->Invoke(converter, DISPID_ConvertProject, &IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_METHOD, &params, result, exception, arg_error);
}

/* Invoke with `argument`; true when it returned the converted file's path `converted`. */
static int converts(_Convert* converter, VARIANTARG* argument, const char* converted) {
  VARIANT result;
  api.VariantInit(&result);
  int ok = invoke_with(converter, argument, &result, NULL, NULL) == S_OK && result.vt == VT_BSTR &&
           bstr_equals(result.bstrVal, converted);
  api.VariantClear(&result);
  return ok;
}

/* Values that are not strings become their text, as automation converts them; each text
 * names a project file in the test folder, which is the working folder here. */
static void check_argument_conversion(_Convert* converter) {
  if (chdir(folder) != 0) return;
  write_file("20261208", "<Project>\r\nName=Shop\r\n<Database>\r\n");
  write_file("True", "<Project>\r\nName=Shop\r\n<Database>\r\n");
  VARIANTARG argument;
  api.VariantInit(&argument);
  argument.vt = VT_I4;
  argument.lVal = 20261208;
  check(converts(converter, &argument, "2026_tmp.kef"), "Invoke takes a number as its text");
  argument.vt = VT_BOOL;
  argument.boolVal = VARIANT_TRUE;
  check(converts(converter, &argument, "_tmp.kef"), "Invoke takes True as \"True\"");

  VARIANT variable;
  api.VariantInit(&variable);
  variable.vt = VT_I4;
  variable.lVal = 20261208;
  argument.vt = VT_VARIANT | VT_BYREF;
  argument.pvarVal = &variable;
  check(converts(converter, &argument, "2026_tmp.kef") && variable.vt == VT_I4 &&
            variable.lVal == 20261208,
        "Invoke takes a variant by reference holding a number, and leaves it");

  path_object file = {{&path_object_table}, 1};
  argument.vt = VT_DISPATCH;
  argument.pdispVal = &file.dispatch;
  char* shop_tmp = file_path("shop_tmp.kef");
  check(converts(converter, &argument, shop_tmp) && file.references == 1,
        "Invoke takes an object's default property");
  free(shop_tmp);

  VARIANT result;
  api.VariantInit(&result);
  EXCEPINFO exception;
  memset(&exception, 0, sizeof exception);
  argument.vt = VT_EMPTY;
  check(invoke_with(converter, &argument, &result, &exception, NULL) == DISP_E_EXCEPTION &&
            exception.scode == (SCODE)0x800A0005,
        "Invoke takes Empty as \"\" (error 5)");
  api.SysFreeString(exception.bstrSource);
  api.SysFreeString(exception.bstrDescription);
  UINT arg_error = 99;
  argument.vt = VT_NULL;
  check(invoke_with(converter, &argument, &result, NULL, &arg_error) == DISP_E_TYPEMISMATCH &&
            arg_error == 0 && result.vt == VT_EMPTY,
        "Invoke refuses Null with DISP_E_TYPEMISMATCH, argument 0");
  IErrorInfo* info = NULL;
  BSTR description = NULL;
  if (api.GetErrorInfo(0, &info) == S_OK && info != NULL) {
    info->lpVtbl->GetDescription(info, &description);
    info->lpVtbl->Release(info);
  }
  check(bstr_equals(description, "Type mismatch"), "with the description Type mismatch");
  api.SysFreeString(description);
}

static _Convert* create(IClassFactory* factory) {
  IUnknown* object = NULL;
  _Convert* converter = NULL;
  if (factory->lpVtbl->CreateInstance(factory, NULL, &IID_IUnknown, (void**)&object) != S_OK) {
    return NULL;
  }
  object->lpVtbl->QueryInterface(object, &IID__Convert, (void**)&converter);
  object->lpVtbl->Release(object);
  return converter;
}

static void check_interfaces(_Convert* converter) {
  void* found = NULL;
  check(converter->lpVtbl->QueryInterface(converter, &IID_IDispatch, &found) == S_OK &&
            found == (void*)converter,
        "QueryInterface IDispatch");
  if (found) converter->lpVtbl->Release(converter);
  ISupportErrorInfo* support = NULL;
  check(converter->lpVtbl->QueryInterface(converter, &IID_ISupportErrorInfo, (void**)&support) ==
            S_OK,
        "QueryInterface ISupportErrorInfo");
  if (support) {
    check(support->lpVtbl->InterfaceSupportsErrorInfo(support, &IID__Convert) == S_OK,
          "ISupportErrorInfo says S_OK for _Convert");
    support->lpVtbl->Release(support);
  }
  found = (void*)1;
  check(converter->lpVtbl->QueryInterface(converter, &IID_Unknown_To_Anyone, &found) ==
                E_NOINTERFACE &&
            found == NULL,
        "QueryInterface rejects an unknown IID with E_NOINTERFACE");
}

static void check_success(_Convert* converter) {
  VARIANT result;
  api.VariantInit(&result);
  check(call_slot(converter, "shop.kef", &result) == S_OK, "slot 8 converts a project");
  check(result.vt == VT_BSTR && bstr_equals_path(result.bstrVal, "shop_tmp.kef"),
        "slot 8 returns the converted file's path");
  api.VariantClear(&result);
  check(call_by_name(converter, "shop.kef", &result, NULL) == S_OK, "Invoke converts a project");
  check(result.vt == VT_BSTR && bstr_equals_path(result.bstrVal, "shop_tmp.kef"),
        "Invoke returns the same path");
  api.VariantClear(&result);
}

static void check_not_a_project(_Convert* converter) {
  VARIANT result;
  api.VariantInit(&result);
  check(call_slot(converter, "notes.kef", &result) == S_OK && result.vt == VT_NULL,
        "slot 8 returns VT_NULL for a file that is no project");
  api.VariantClear(&result);
  check(call_by_name(converter, "notes.kef", &result, NULL) == S_OK && result.vt == VT_NULL,
        "Invoke returns VT_NULL for it too");
  api.VariantClear(&result);
}

static void check_failure(_Convert* converter) {
  VARIANT result;
  api.VariantInit(&result);
  check(call_slot(converter, "bad.kef", &result) == (HRESULT)0x800A000D,
        "slot 8 fails with 0x800A000D for a bad type code");
  check(result.vt == VT_EMPTY, "the result stays VT_EMPTY");
  IErrorInfo* info = NULL;
  check(api.GetErrorInfo(0, &info) == S_OK && info != NULL, "GetErrorInfo has the error");
  if (info) {
    BSTR source = NULL, description = NULL;
    GUID guid;
    info->lpVtbl->GetSource(info, &source);
    info->lpVtbl->GetDescription(info, &description);
    info->lpVtbl->GetGUID(info, &guid);
    check(bstr_equals(source, "KEFConvert"), "error source KEFConvert");
    check(bstr_equals(description, "Type mismatch (line 5)"), "error description Type mismatch");
    check(IsEqualGUID(&guid, &IID__Convert), "error GUID is that of _Convert");
    api.SysFreeString(source);
    api.SysFreeString(description);
    info->lpVtbl->Release(info);
  }
  EXCEPINFO exception;
  memset(&exception, 0, sizeof exception);
  check(call_by_name(converter, "bad.kef", &result, &exception) == DISP_E_EXCEPTION,
        "Invoke fails with DISP_E_EXCEPTION");
  check(exception.scode == (SCODE)0x800A000D && bstr_equals(exception.bstrSource, "KEFConvert") &&
            bstr_equals(exception.bstrDescription, "Type mismatch (line 5)"),
        "EXCEPINFO holds the same error");
  check(result.vt == VT_EMPTY, "the result stays VT_EMPTY");
  api.SysFreeString(exception.bstrSource);
  api.SysFreeString(exception.bstrDescription);
  if (api.GetErrorInfo(0, &info) == S_OK) info->lpVtbl->Release(info);
}

static int output_contains(const char* name, const char* text) {
  char* output = read_file(name);
  int found = output != NULL && strstr(output, text) != NULL;
  free(output);
  return found;
}

static void check_field_type_state(IClassFactory* factory) {
  _Convert* first = create(factory);
  _Convert* second = create(factory);
  VARIANT result;
  api.VariantInit(&result);
  call_slot(first, "typed.kef", &result);
  api.VariantClear(&result);
  call_slot(first, "untyped.kef", &result);
  api.VariantClear(&result);
  check(output_contains("untyped_tmp.kef", "FldBasicSearch=\"True\"") &&
            output_contains("untyped_tmp.kef", "FldQuoteS=\"'\""),
        "a second conversion on one object carries the field type state over");
  call_by_name(second, "untyped.kef", &result, NULL);
  api.VariantClear(&result);
  check(output_contains("untyped_tmp.kef", "FldBasicSearch=\"False\"") &&
            output_contains("untyped_tmp.kef", "FldQuoteS=\"\""),
        "a second object starts with the initial field type state");
  first->lpVtbl->Release(first);
  second->lpVtbl->Release(second);
}

static void remove_files(void) {
  const char* names[] = {"shop.kef",    "shop_tmp.kef",    "notes.kef", "notes_tmp.kef",
                         "bad.kef",     "bad_tmp.kef",     "typed.kef", "typed_tmp.kef",
                         "untyped.kef", "untyped_tmp.kef", "20261208",  "2026_tmp.kef",
                         "True",        "_tmp.kef"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    char* path = file_path(names[i]);
    unlink(path);
    free(path);
  }
  rmdir(folder);
}

int main(int argc, char** argv) {
  void* library = NULL;
  if (argc != 2 || mkdtemp(folder) == NULL || !load(argv[1], &library)) {
    fprintf(stderr, "usage: kefconvert_c_client LIBKEFCONVERT\n");
    return 2;
  }
  write_file("shop.kef", "<Project>\r\nName=Shop\r\n<Database>\r\n");
  write_file("notes.kef", "<project>\r\nName=Shop\r\n");
  write_file("bad.kef", "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=x\r\n.\r\n");
  write_file(
      "typed.kef",
      "<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n<Field>\r\nName=a\r\nType=202\r\n.\r\n");
  write_file("untyped.kef",
             "<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n<Field>\r\nName=b\r\n.\r\n");

  check(api.DllCanUnloadNow() == S_OK, "DllCanUnloadNow is S_OK before any object");
  IClassFactory* factory = NULL;
  check(api.DllGetClassObject(&CLSID_Convert, &IID_IClassFactory, (void**)&factory) == S_OK,
        "DllGetClassObject hands out the class factory");
  if (factory == NULL) return 1;
  _Convert* converter = create(factory);
  check(converter != NULL, "the factory creates a Convert object");
  if (converter == NULL) return 1;

  check_interfaces(converter);
  check_success(converter);
  check_not_a_project(converter);
  check_failure(converter);
  check_argument_conversion(converter);
  check(api.DllCanUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE with an object alive");
  check(converter->lpVtbl->Release(converter) == 0, "the last Release destroys the object");
  check(api.DllCanUnloadNow() == S_OK, "DllCanUnloadNow is S_OK after the last Release");
  check_field_type_state(factory);

  factory->lpVtbl->LockServer(factory, TRUE);
  check(api.DllCanUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE while locked");
  factory->lpVtbl->LockServer(factory, FALSE);
  check(api.DllCanUnloadNow() == S_OK, "DllCanUnloadNow is S_OK after unlocking");
  factory->lpVtbl->Release(factory);

  remove_files();
  dlclose(library);
  printf("%d check(s) failed\n", failures);
  return failures == 0 ? 0 : 1;
}
