// The one definition, for this library, of the well-known interface identifiers.
#define INITGUID
#include "platform/linux_com/com_interfaces.h"
