// The component's platform services on Windows: the system's ANSI code page, the type
// library embedded in KEFConvert.dll as resource TYPELIB 1, and registration in the
// system registry through the automation runtime and the registry API.
#include <olectl.h>

#include <string>
#include <string_view>

#include "component/kefconvert_com.h"
#include "component/platform_services.h"
#include "component/registration.h"
#include "kefconvert/kefconvert.h"
#include "platform/com/handles.h"
#include "platform/com/text.h"

namespace kefconvert::component {
namespace {

// The type library's locale: it is language-neutral.
constexpr LCID kTypeLibraryLocale = 0;

// The 32-bit and the 64-bit DLL register their type library side by side, each for its own
// platform.
#ifdef _WIN64
constexpr SYSKIND kTypeLibrarySystem = SYS_WIN64;
constexpr char kTypeLibraryPlatform[] = "win64";
#else
constexpr SYSKIND kTypeLibrarySystem = SYS_WIN32;
constexpr char kTypeLibraryPlatform[] = "win32";
#endif

// This library file, found from an address inside it.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// The full path of this library file; empty when it cannot be told.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    DWORD length = ::GetModuleFileNameW(ThisModule(), path.data(), size);
    if (length == 0) return {};
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// OLECHAR is wchar_t on Windows: the component's UTF-16 strings are the API's wide strings.
std::wstring Wide(std::string_view utf8) { return com::Utf16FromUtf8(utf8); }

HRESULT LoadOwnTypeLibrary(ITypeLib** library) {
  std::wstring path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

LSTATUS WriteValue(const RegistryValue& value) {
  HKEY key = nullptr;
  LSTATUS status =
      ::RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(value.key).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  std::wstring name = Wide(value.name);
  std::wstring data = Wide(value.data);
  status = ::RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return status;
}

bool Removed(LSTATUS status) { return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND; }

// Whether the class has an in-process server in the registry view of the other width. On
// 32-bit Windows there is one view, whose class key is gone by the time this is asked.
bool OtherWidthRegistersClass() {
#ifdef _WIN64
  constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
  constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(InProcessServerKey()).c_str(), 0,
                      KEY_QUERY_VALUE | kOtherView, &key) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

}  // namespace

int AnsiCodePage() {
  // whatever it is: an object under a page the converter does not support fails every call
  return static_cast<int>(::GetACP());
}

UINT TypeInfoCount() { return 1; }

HRESULT GetConvertTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  com::ComPtr<ITypeLib> library;
  HRESULT status = LoadOwnTypeLibrary(library.put());
  if (FAILED(status)) return status;
  return library->GetTypeInfoOfGuid(IID__Convert, info);
}

// The type information handed out belongs to the automation runtime, not to this library.
bool PlatformObjectsAlive() { return false; }

HRESULT RegisterServer() {
  std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  com::ComPtr<ITypeLib> library;
  if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()))) return SELFREG_E_TYPELIB;
  std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  if (FAILED(::RegisterTypeLib(library.get(), path.data(), folder.data()))) {
    return SELFREG_E_TYPELIB;
  }

  std::optional<std::string> utf8_path = com::Utf8FromUtf16(path);
  if (!utf8_path) return SELFREG_E_CLASS;
  for (const RegistryValue& value : RegistrationValues(*utf8_path, kTypeLibraryPlatform)) {
    if (WriteValue(value) != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  // the automation runtime removes what it registered for this platform, the interface's
  // key among it
  HRESULT typelib_status =
      ::UnRegisterTypeLib(LIBID_KEFConvert, KEFCONVERT_TYPELIB_MAJOR, KEFCONVERT_TYPELIB_MINOR,
                          kTypeLibraryLocale, kTypeLibrarySystem);
  bool removed = SUCCEEDED(typelib_status) || typelib_status == TYPE_E_REGISTRYACCESS;
  for (const std::string& key : PerWidthRegistrationKeys()) {
    removed = Removed(::RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key).c_str())) && removed;
  }
  // the DLL of the other width, registered too, still needs the ProgID and the type
  // library's version key, which both widths share
  if (OtherWidthRegistersClass()) {
    std::wstring platform_key = Wide(TypeLibraryPlatformKey(kTypeLibraryPlatform));
    removed = Removed(::RegDeleteTreeW(HKEY_CLASSES_ROOT, platform_key.c_str())) && removed;
    return removed ? S_OK : SELFREG_E_CLASS;
  }
  for (const std::string& key : SharedRegistrationKeys()) {
    removed = Removed(::RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key).c_str())) && removed;
  }
  // the type library's own key goes once no version is left below it
  LSTATUS last = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, Wide(TypeLibraryKey()).c_str());
  if (!Removed(last) && last != ERROR_ACCESS_DENIED) removed = false;
  return removed ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kefconvert::component
