#include "component/registration.h"

#include "component/kefconvert_com.h"
#include "platform/com/guid_text.h"

namespace kefconvert::component {
namespace {

using com::GuidText;

// The automation marshaler, which serves every dual interface.
constexpr char kAutomationProxyStub[] = "{00020424-0000-0000-C000-000000000046}";

std::string ClassKey() { return "CLSID\\" + GuidText(CLSID_Convert); }
std::string InterfaceKey() { return "Interface\\" + GuidText(IID__Convert); }
std::string TypeLibraryVersionKey() { return TypeLibraryKey() + "\\" KEFCONVERT_TYPELIB_VERSION; }

// The folder part of a path, for the type library's HELPDIR.
std::string FolderOf(std::string_view path) {
  std::size_t last = path.find_last_of("/\\");
  return std::string(last == std::string_view::npos ? std::string_view() : path.substr(0, last));
}

}  // namespace

std::string TypeLibraryKey() { return "TypeLib\\" + GuidText(LIBID_KEFConvert); }

std::vector<RegistryValue> RegistrationValues(std::string_view module_path,
                                              std::string_view typelib_platform) {
  const std::string prog_id = KEFCONVERT_PROGID;
  const std::string path(module_path);
  const std::string type_library = GuidText(LIBID_KEFConvert);
  const std::string version = KEFCONVERT_TYPELIB_VERSION;
  return {
      {prog_id, "", prog_id},
      {prog_id + "\\CLSID", "", GuidText(CLSID_Convert)},
      {ClassKey(), "", prog_id},
      {InProcessServerKey(), "", path},
      {InProcessServerKey(), "ThreadingModel", "Apartment"},
      {ClassKey() + "\\ProgID", "", prog_id},
      {ClassKey() + "\\TypeLib", "", type_library},
      {ClassKey() + "\\Version", "", version},
      {InterfaceKey(), "", "_Convert"},
      {InterfaceKey() + "\\ProxyStubClsid", "", kAutomationProxyStub},
      {InterfaceKey() + "\\ProxyStubClsid32", "", kAutomationProxyStub},
      {InterfaceKey() + "\\TypeLib", "", type_library},
      {InterfaceKey() + "\\TypeLib", "Version", version},
      {TypeLibraryVersionKey(), "", "KEFConvert"},
      {TypeLibraryPlatformKey(typelib_platform), "", path},
      {TypeLibraryVersionKey() + "\\FLAGS", "", "0"},
      {TypeLibraryVersionKey() + "\\HELPDIR", "", FolderOf(module_path)},
  };
}

std::vector<std::string> RegistrationKeys() {
  return {KEFCONVERT_PROGID, ClassKey(), InterfaceKey(), TypeLibraryVersionKey()};
}

std::vector<std::string> PerWidthRegistrationKeys() { return {ClassKey(), InterfaceKey()}; }

std::vector<std::string> SharedRegistrationKeys() {
  return {KEFCONVERT_PROGID, TypeLibraryVersionKey()};
}

std::string InProcessServerKey() { return ClassKey() + "\\InprocServer32"; }

std::string TypeLibraryPlatformKey(std::string_view platform) {
  return TypeLibraryVersionKey() + "\\0\\" + std::string(platform);
}

}  // namespace kefconvert::component
