#include "platform/linux_com/activation.h"

#include <dlfcn.h>

#include <cstdio>

#include "platform/linux_com/registry_store.h"

namespace kefconvert::linux_com {
namespace {

constexpr char kRoot[] = "HKEY_CLASSES_ROOT\\";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[i], advancing i.
std::optional<std::uint32_t> ReadHex(std::string_view text, std::size_t& i, int digits) {
  std::uint32_t value = 0;
  for (int k = 0; k < digits; ++k, ++i) {
    int digit = i < text.size() ? HexDigit(text[i]) : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

bool Expect(std::string_view text, std::size_t& i, char c) {
  if (i >= text.size() || text[i] != c) return false;
  ++i;
  return true;
}

// "HKEY_CLASSES_ROOT\CLSID\{...}", the key of the class `clsid`.
std::string ClassKey(const GUID& clsid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0],
                clsid.Data4[1], clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5],
                clsid.Data4[6], clsid.Data4[7]);
  return kRoot + std::string("CLSID\\") + text;
}

template <typename Function>
Function Symbol(void* handle, const char* name) {
  return reinterpret_cast<Function>(dlsym(handle, name));
}

}  // namespace

std::optional<GUID> ParseGuid(std::string_view text) {
  GUID guid;
  std::size_t i = 0;
  if (!Expect(text, i, '{')) return std::nullopt;
  auto data1 = ReadHex(text, i, 8);
  if (!data1 || !Expect(text, i, '-')) return std::nullopt;
  auto data2 = ReadHex(text, i, 4);
  if (!data2 || !Expect(text, i, '-')) return std::nullopt;
  auto data3 = ReadHex(text, i, 4);
  if (!data3 || !Expect(text, i, '-')) return std::nullopt;
  guid.Data1 = *data1;
  guid.Data2 = static_cast<std::uint16_t>(*data2);
  guid.Data3 = static_cast<std::uint16_t>(*data3);
  for (int k = 0; k < 8; ++k) {
    if (k == 2 && !Expect(text, i, '-')) return std::nullopt;
    auto byte = ReadHex(text, i, 2);
    if (!byte) return std::nullopt;
    guid.Data4[k] = static_cast<std::uint8_t>(*byte);
  }
  if (!Expect(text, i, '}') || i != text.size()) return std::nullopt;
  return guid;
}

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
  std::optional<GUID> clsid = ParseGuid(class_name);
  if (!clsid) {
    std::optional<RegistryStore> store = LoadStore(store_path_, nullptr);
    if (!store) return REGDB_E_CLASSNOTREG;
    std::optional<std::string> text = store->Value(kRoot + std::string(class_name) + "\\CLSID", "");
    if (!text) return REGDB_E_CLASSNOTREG;
    clsid = ParseGuid(*text);
    if (!clsid) return REGDB_E_CLASSNOTREG;
  }
  IClassFactory* factory = nullptr;
  HRESULT status = ClassFactory(*clsid, &factory);
  if (FAILED(status)) return status;
  status = factory->CreateInstance(nullptr, riid, object);
  factory->Release();
  return status;
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
