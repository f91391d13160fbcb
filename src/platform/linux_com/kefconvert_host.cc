// kefconvert-host: a small host of the COM component on Linux, which does what a script
// host does on Windows: it creates "KEFConvert.Convert" by ProgID through the registry
// store and calls ConvertProject late-bound, by name. It also registers and unregisters an
// in-process server library, as regsvr32 does.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "component/kefconvert_com.h"
#include "kefconvert/kefconvert.h"
#include "platform/com/handles.h"
#include "platform/com/text.h"
#include "platform/linux_com/activation.h"
#include "platform/linux_com/registry_store.h"

namespace {

using kefconvert::com::BstrText;
using kefconvert::com::ComPtr;
using kefconvert::com::NewBstr;
using kefconvert::com::OleString;
using kefconvert::com::UniqueBstr;
using kefconvert::com::UniqueVariant;
using kefconvert::com::Utf16FromUtf8;
using kefconvert::com::Utf8FromUtf16;

constexpr char kProgId[] = KEFCONVERT_PROGID;

enum ExitStatus {
  kAllConverted = 0,
  kNotAProjectFile = 1,
  kConversionFailed = 2,
  kNoComponent = 3,
  kUsage = 64,
};

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: kefconvert-host FILE...              convert each FILE with one KEFConvert.Convert\n"
      "       kefconvert-host --register LIBRARY   record LIBRARY's classes in the registry store\n"
      "       kefconvert-host --unregister LIBRARY remove them again\n"
      "       kefconvert-host --help | --version\n"
      "The registry store is $KEFCONVERT_REGISTRY, else $XDG_DATA_HOME/kefconvert/registry.reg,\n"
      "else ~/.local/share/kefconvert/registry.reg.\n"
      "Exit status: 0 all converted, 1 some file was not a project file, 2 some conversion or\n"
      "registration failed, 3 the component could not be created, 64 wrong command line.\n",
      out);
}

std::string Utf8(BSTR text) { return Utf8FromUtf16(BstrText(text)).value_or("?"); }

// What Invoke filled into an EXCEPINFO, freed on every way out.
struct RaisedError {
  RaisedError() = default;
  RaisedError(const RaisedError&) = delete;
  RaisedError& operator=(const RaisedError&) = delete;
  ~RaisedError() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  EXCEPINFO info{};
};

// Calls ConvertProject on `converter` by name, as a script does.
int ConvertOne(IDispatch* converter, DISPID method, const char* file) {
  UniqueVariant argument;
  V_VT(argument.get()) = VT_BSTR;
  V_BSTR(argument.get()) = NewBstr(Utf16FromUtf8(file)).release();
  DISPPARAMS params{argument.get(), nullptr, 1, 0};
  UniqueVariant result;
  RaisedError exception;
  HRESULT status = converter->Invoke(method, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                     &params, result.get(), &exception.info, nullptr);
  if (status == DISP_E_EXCEPTION) {
    std::fprintf(stderr, "kefconvert-host: %s: %s (0x%08X)\n", file,
                 Utf8(exception.info.bstrDescription).c_str(),
                 static_cast<unsigned>(exception.info.scode));
    return kConversionFailed;
  }
  if (FAILED(status)) {
    std::fprintf(stderr, "kefconvert-host: %s: call failed (0x%08X)\n", file,
                 static_cast<unsigned>(status));
    return kConversionFailed;
  }
  if (result.type() != VT_BSTR) {
    std::fprintf(stderr, "kefconvert-host: %s: not a project file of the old layout\n", file);
    return kNotAProjectFile;
  }
  std::printf("%s\n", Utf8(V_BSTR(result.get())).c_str());
  return kAllConverted;
}

int ConvertAll(int count, char** files) {
  kefconvert::linux_com::Activator activator(kefconvert::linux_com::DefaultStorePath());
  ComPtr<IDispatch> converter;
  HRESULT status = activator.CreateInstance(kProgId, IID_IDispatch, converter.put_void());
  if (FAILED(status)) {
    std::fprintf(stderr, "kefconvert-host: cannot create %s (0x%08X)%s\n", kProgId,
                 static_cast<unsigned>(status),
                 status == REGDB_E_CLASSNOTREG ? ": class not registered" : "");
    return kNoComponent;
  }
  OleString name = Utf16FromUtf8("ConvertProject");
  LPOLESTR names[] = {name.data()};
  DISPID method = DISPID_UNKNOWN;
  status = converter->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &method);
  if (FAILED(status)) {
    std::fprintf(stderr, "kefconvert-host: %s has no ConvertProject (0x%08X)\n", kProgId,
                 static_cast<unsigned>(status));
    return kNoComponent;
  }
  int exit_status = kAllConverted;
  for (int i = 0; i < count; ++i) {
    int file_status = ConvertOne(converter.get(), method, files[i]);
    if (file_status > exit_status) exit_status = file_status;
  }
  return exit_status;
}

int Register(const char* library, bool register_it) {
  HRESULT status = kefconvert::linux_com::Activator::RegisterLibrary(library, register_it);
  if (FAILED(status)) {
    std::fprintf(stderr, "kefconvert-host: %s of %s failed (0x%08X)%s\n",
                 register_it ? "DllRegisterServer" : "DllUnregisterServer", library,
                 static_cast<unsigned>(status),
                 status == E_INVALIDARG ? ": the store cannot hold a path with a line break" : "");
    return kConversionFailed;
  }
  return kAllConverted;
}

}  // namespace

int main(int argc, char** argv) {
  // an over-size file fails with "Disk full" and the host goes on with the next FILE;
  // SIGINT and SIGTERM, left as they are, abandon the conversion in progress
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    PrintUsage(stdout);
    return kAllConverted;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("kefconvert-host %.*s\n", static_cast<int>(kefconvert::kVersion.size()),
                kefconvert::kVersion.data());
    return kAllConverted;
  }
  if (argc == 3 && std::strcmp(argv[1], "--register") == 0) return Register(argv[2], true);
  if (argc == 3 && std::strcmp(argv[1], "--unregister") == 0) return Register(argv[2], false);
  if (argc < 2 || argv[1][0] == '-') {
    PrintUsage(stderr);
    return kUsage;
  }
  return ConvertAll(argc - 1, argv + 1);
}
