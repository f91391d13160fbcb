// Object creation for hosts on Linux, as CoCreateInstance does it on Windows: a ProgID or a
// CLSID is looked up in the registry store, the library named by the class's
// InprocServer32 key is loaded, and its class factory creates the object.
//
//   kefconvert::linux_com::Activator activator(kefconvert::linux_com::DefaultStorePath());
//   IDispatch* converter = nullptr;
//   HRESULT hr = activator.CreateInstance("KEFConvert.Convert", IID_IDispatch,
//                                         reinterpret_cast<void**>(&converter));
#ifndef KEFCONVERT_PLATFORM_LINUX_COM_ACTIVATION_H_
#define KEFCONVERT_PLATFORM_LINUX_COM_ACTIVATION_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux_com/com_interfaces.h"

namespace kefconvert::linux_com {

class Activator {
 public:
  /// Looks classes up in the store file `store_path`, read afresh for every creation.
  explicit Activator(std::string store_path);
  Activator(const Activator&) = delete;
  Activator& operator=(const Activator&) = delete;
  /// Unloads the libraries whose DllCanUnloadNow allows it; the others stay loaded, since
  /// objects of theirs are still alive.
  ~Activator();

  /// Creates an object of the class `class_name` (a ProgID or a CLSID in braces) and hands
  /// out its interface `riid`. REGDB_E_CLASSNOTREG when the store does not know the class,
  /// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when its library does not load,
  /// CO_E_ERRORINDLL when the library is not an in-process server; otherwise what the
  /// class factory says.
  HRESULT CreateInstance(std::string_view class_name, REFIID riid, void** object);

  /// Calls DllRegisterServer or DllUnregisterServer of the library file `path`.
  static HRESULT RegisterLibrary(const std::string& path, bool register_it);

 private:
  struct Library {
    std::string path;
    void* handle;
    HRESULT (*get_class_object)(REFCLSID, REFIID, LPVOID*);
    HRESULT (*can_unload_now)();
  };

  HRESULT ClassFactory(const GUID& clsid, IClassFactory** factory);
  HRESULT Load(const std::string& path, const Library** library);

  std::string store_path_;
  std::vector<Library> libraries_;
};

}  // namespace kefconvert::linux_com

#endif  // KEFCONVERT_PLATFORM_LINUX_COM_ACTIVATION_H_
