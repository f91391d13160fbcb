#include "platform/linux_com/activation.h"

#include <dlfcn.h>

#include "platform/com/guid_text.h"
#include "platform/com/handles.h"
#include "platform/linux_com/registry_store.h"

namespace kefconvert::linux_com {
namespace {

// "HKEY_CLASSES_ROOT\CLSID\{...}", the key of the class `clsid`.
std::string ClassKey(const GUID& clsid) {
  return kClassesRoot + std::string("CLSID\\") + com::GuidText(clsid);
}

template <typename Function>
Function Symbol(void* handle, const char* name) {
  return reinterpret_cast<Function>(dlsym(handle, name));
}

}  // namespace

Activator::Activator(std::string store_path) : store_path_(std::move(store_path)) {}

Activator::~Activator() {
  for (const Library& library : libraries_) {
    if (library.can_unload_now == nullptr || library.can_unload_now() == S_OK) {
      dlclose(library.handle);
    }
  }
}

HRESULT Activator::CreateInstance(std::string_view class_name, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  std::optional<GUID> clsid = com::ParseGuid(class_name);
  if (!clsid) {
    std::optional<RegistryStore> store = LoadStore(store_path_, nullptr);
    if (!store) return REGDB_E_CLASSNOTREG;
    std::optional<std::string> text =
        store->Value(kClassesRoot + std::string(class_name) + "\\CLSID", "");
    if (!text) return REGDB_E_CLASSNOTREG;
    clsid = com::ParseGuid(*text);
    if (!clsid) return REGDB_E_CLASSNOTREG;
  }
  com::ComPtr<IClassFactory> factory;
  HRESULT status = ClassFactory(*clsid, factory.put());
  if (FAILED(status)) return status;
  return factory->CreateInstance(nullptr, riid, object);
}

HRESULT Activator::ClassFactory(const GUID& clsid, IClassFactory** factory) {
  std::optional<RegistryStore> store = LoadStore(store_path_, nullptr);
  if (!store) return REGDB_E_CLASSNOTREG;
  std::optional<std::string> path = store->Value(ClassKey(clsid) + "\\InprocServer32", "");
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  const Library* library = nullptr;
  HRESULT status = Load(*path, &library);
  if (FAILED(status)) return status;
  return library->get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory));
}

HRESULT Activator::Load(const std::string& path, const Library** library) {
  for (const Library& loaded : libraries_) {
    if (loaded.path == path) {
      *library = &loaded;
      return S_OK;
    }
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  Library loaded{path, handle,
                 Symbol<decltype(Library::get_class_object)>(handle, "DllGetClassObject"),
                 Symbol<decltype(Library::can_unload_now)>(handle, "DllCanUnloadNow")};
  if (loaded.get_class_object == nullptr) {
    dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  libraries_.push_back(loaded);
  *library = &libraries_.back();
  return S_OK;
}

HRESULT Activator::RegisterLibrary(const std::string& path, bool register_it) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto entry =
      Symbol<HRESULT (*)()>(handle, register_it ? "DllRegisterServer" : "DllUnregisterServer");
  HRESULT status = entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  dlclose(handle);
  return status;
}

}  // namespace kefconvert::linux_com
