// The component's platform services on Linux: the code page comes from
// KEFCONVERT_CODEPAGE (a number or a name such as cp932 or utf-8), there is no type
// library to hand out, and registration goes to the .reg store file.
#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "component/platform_services.h"
#include "component/registration.h"
#include "kefconvert/kefconvert.h"
#include "platform/linux_com/error_info.h"
#include "platform/linux_com/registry_store.h"

namespace kefconvert::component {
namespace {

constexpr int kDefaultCodePage = 1252;
using linux_com::kClassesRoot;
using linux_com::RegistryStore;

// The absolute path of the library file this code is in.
std::string ThisLibraryPath() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ThisLibraryPath), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return {};
  return resolved;
}

// The type library subkey Windows would use for a library of this word size.
constexpr const char* TypeLibraryPlatform() { return sizeof(void*) == 8 ? "win64" : "win32"; }

}  // namespace

int AnsiCodePage() {
  const char* value = std::getenv("KEFCONVERT_CODEPAGE");
  if (value == nullptr || *value == '\0') return kDefaultCodePage;
  std::optional<int> code_page = CodePageFromName(value);
  if (!code_page) {
    // the object fails every call with error 5; say why once, where a developer looks
    static std::once_flag told;
    std::call_once(told, [&] {
      std::fprintf(stderr, "KEFConvert: KEFCONVERT_CODEPAGE: %s\n",
                   UnsupportedCodePageMessage(value).c_str());
    });
    return 0;  // no such code page
  }
  return *code_page;
}

UINT TypeInfoCount() { return 0; }

HRESULT GetConvertTypeInfo(UINT, LCID, ITypeInfo**) { return DISP_E_BADINDEX; }

bool PlatformObjectsAlive() { return linux_com::LiveErrorInfoObjects() > 0; }

HRESULT RegisterServer() {
  std::string library = ThisLibraryPath();
  if (library.empty()) return SELFREG_E_CLASS;
  try {
    std::vector<RegistryValue> values = RegistrationValues(library, TypeLibraryPlatform());
    // a path with a line break would make an entry that neither creates nor unregisters:
    // refuse it before the store is touched
    for (const RegistryValue& value : values) {
      if (!RegistryStore::CanHold(value.data)) return E_INVALIDARG;
    }
    bool saved = linux_com::UpdateStore(
        linux_com::DefaultStorePath(),
        [&values](RegistryStore& store) {
          for (const RegistryValue& value : values) {
            store.SetValue(kClassesRoot + value.key, value.name, value.data);
          }
          return true;
        },
        nullptr);
    return saved ? S_OK : SELFREG_E_CLASS;
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT UnregisterServer() {
  try {
    bool saved = linux_com::UpdateStore(
        linux_com::DefaultStorePath(),
        [](RegistryStore& store) {
          bool registered = false;
          for (const std::string& key : RegistrationKeys()) {
            registered = registered || store.HasKey(kClassesRoot + key);
            store.RemoveTree(kClassesRoot + key);
          }
          store.RemoveIfEmpty(kClassesRoot + TypeLibraryKey());
          return registered;  // nothing to remove: leave the file as it is
        },
        nullptr);
    return saved ? S_OK : SELFREG_E_CLASS;
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace kefconvert::component
