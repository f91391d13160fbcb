// What the component needs from the platform it runs on and cannot say in shared code:
// the code page of the files, the type information of its interface, where registration
// goes, how calls on one object take turns. Each platform implements these functions once:
// src/platform/linux_com/platform_services_linux.cc with the Linux layer's registry store,
// src/platform/win32_com/platform_services_win32.cc with the system's registry and type
// library. src/component/CMakeLists.txt picks one.
#ifndef KEFCONVERT_COMPONENT_PLATFORM_SERVICES_H_
#define KEFCONVERT_COMPONENT_PLATFORM_SERVICES_H_

#ifndef _WIN32
#include <mutex>
#endif

#include "platform/com/com_platform.h"

namespace kefconvert::component {

#ifdef _WIN32
/// On Windows the apartment model keeps every call of an object on its one thread.
struct ObjectCallLock {
  void lock() {}
  void unlock() {}
};
#else
/// Linux has no apartments: a host may call one object from several threads, and the
/// calls take turns.
using ObjectCallLock = std::mutex;
#endif

/// The ANSI code page project files are read in. The object checks it: a page the
/// converter does not support fails every conversion with error 5.
int AnsiCodePage();

/// How many ITypeInfo GetTypeInfo hands out (0 where there is no type library).
UINT TypeInfoCount();
/// The ITypeInfo of _Convert for `index` 0; DISP_E_BADINDEX otherwise.
HRESULT GetConvertTypeInfo(UINT index, LCID lcid, ITypeInfo** info);

/// True while the platform's part of this library holds objects that clients may still
/// call, so that the library must stay loaded.
bool PlatformObjectsAlive();

/// Records the component's registration entries (component/registration.h) for this
/// library file; removes them again.
HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_PLATFORM_SERVICES_H_
