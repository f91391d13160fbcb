// What registering the component records, below HKEY_CLASSES_ROOT, the same on every
// platform: the ProgID, the class with its in-process server and threading model, the
// interface and the type library. Each platform writes the entries into its own registry.
#ifndef KEFCONVERT_COMPONENT_REGISTRATION_H_
#define KEFCONVERT_COMPONENT_REGISTRATION_H_

#include <string>
#include <string_view>
#include <vector>

namespace kefconvert::component {

struct RegistryValue {
  std::string key;   ///< below HKEY_CLASSES_ROOT, parts separated by backslashes
  std::string name;  ///< empty for the key's default value
  std::string data;
  bool operator==(const RegistryValue&) const = default;
};

/// The values registration writes for the library file `module_path`; `typelib_platform`
/// names the type library's platform subkey ("win32" for a 32-bit Windows library).
std::vector<RegistryValue> RegistrationValues(std::string_view module_path,
                                              std::string_view typelib_platform);

/// The keys unregistration removes, each with everything below it. The type library's
/// key, one level above its version, goes too once no other version is left in it.
std::vector<std::string> RegistrationKeys();
std::string TypeLibraryKey();

/// Of RegistrationKeys, those that 64-bit Windows keeps apart for 32-bit and 64-bit
/// programs (the class and its interface); the others (the ProgID and the type library's
/// version) both widths share.
std::vector<std::string> PerWidthRegistrationKeys();
std::vector<std::string> SharedRegistrationKeys();

/// The key that names the class's in-process server.
std::string InProcessServerKey();
/// The key that names the type library's file for `platform` ("win32", "win64").
std::string TypeLibraryPlatformKey(std::string_view platform);

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_REGISTRATION_H_
