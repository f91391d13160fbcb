// What the component needs from the platform it runs on and cannot say in shared code:
// the code page of the files, the type information of its interface, where registration
// goes. Each platform implements these functions once (the Linux layer in
// src/platform/linux_com, the Windows build with the system's registry and type library).
#ifndef KEFCONVERT_COMPONENT_PLATFORM_SERVICES_H_
#define KEFCONVERT_COMPONENT_PLATFORM_SERVICES_H_

#include "component/com_platform.h"

namespace kefconvert::component {

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
