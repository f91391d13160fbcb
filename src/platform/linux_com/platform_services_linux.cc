// The component's platform services on Linux: the code page comes from
// KEFCONVERT_CODEPAGE, there is no type library to hand out, and registration goes to the
// .reg store file.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "component/platform_services.h"
#include "component/registration.h"
#include "platform/linux_com/error_info.h"
#include "platform/linux_com/registry_store.h"

namespace kefconvert::component {
namespace {

constexpr int kDefaultCodePage = 1252;
using linux_com::kClassesRoot;

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
  char* end = nullptr;
  long number = std::strtol(value, &end, 10);
  if (*end != '\0' || number <= 0 || number > INT_MAX) return 0;  // no such code page
  return static_cast<int>(number);
}

UINT TypeInfoCount() { return 0; }

HRESULT GetConvertTypeInfo(UINT, LCID, ITypeInfo**) { return DISP_E_BADINDEX; }

bool PlatformObjectsAlive() { return linux_com::LiveErrorInfoObjects() > 0; }

HRESULT RegisterServer() {
  std::string library = ThisLibraryPath();
  std::string path = linux_com::DefaultStorePath();
  std::optional<linux_com::RegistryStore> store = linux_com::LoadStore(path, nullptr);
  if (library.empty() || !store) return SELFREG_E_CLASS;
  try {
    for (const RegistryValue& value : RegistrationValues(library, TypeLibraryPlatform())) {
      store->SetValue(kClassesRoot + value.key, value.name, value.data);
    }
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
  return linux_com::SaveStore(path, *store, nullptr) ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServer() {
  std::string path = linux_com::DefaultStorePath();
  std::optional<linux_com::RegistryStore> store = linux_com::LoadStore(path, nullptr);
  if (!store) return SELFREG_E_CLASS;
  bool registered = false;
  for (const std::string& key : RegistrationKeys()) {
    registered = registered || store->HasKey(kClassesRoot + key);
    store->RemoveTree(kClassesRoot + key);
  }
  store->RemoveIfEmpty(kClassesRoot + TypeLibraryKey());
  if (!registered) return S_OK;  // nothing to remove; leave the file as it is
  return linux_com::SaveStore(path, *store, nullptr) ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kefconvert::component
