// The one definition, for this library, of the component's own identifiers.
#include "platform/com/com_platform.h"
#ifdef _WIN32
#include <initguid.h>
#else
#include "platform/linux_com/initguid.h"
#endif
#include "component/kefconvert_com.h"
