// The in-process server around the class Convert: how many objects and locks keep the
// library loaded, and the class factory that DllGetClassObject hands out. The four server
// exports themselves (DllGetClassObject, DllCanUnloadNow, DllRegisterServer,
// DllUnregisterServer) are defined in server.cc with C linkage.
#ifndef KEFCONVERT_COMPONENT_SERVER_H_
#define KEFCONVERT_COMPONENT_SERVER_H_

#include "platform/com/com_platform.h"

namespace kefconvert::component {

/// Counts the Convert objects alive; every object calls these once.
void ObjectCreated();
void ObjectDestroyed();

/// True when no object, no lock and nothing of the platform layer is outstanding.
bool ServerCanUnload();

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_SERVER_H_
