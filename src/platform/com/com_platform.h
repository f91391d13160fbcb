/* The one place that picks the COM and automation declarations: the system's headers on
 * Windows, the Linux layer with the same binary conventions elsewhere. The component, its
 * clients and the helpers in this folder include this header and nothing platform-specific
 * besides. */
#ifndef KEFCONVERT_PLATFORM_COM_COM_PLATFORM_H_
#define KEFCONVERT_PLATFORM_COM_COM_PLATFORM_H_

#ifdef _WIN32
/* windows.h first: oleauto.h builds on its types */
/* clang-format off */
#include <windows.h>
#include <oleauto.h>
/* clang-format on */
#else
#include "platform/linux_com/com_interfaces.h"
#endif

#endif /* KEFCONVERT_PLATFORM_COM_COM_PLATFORM_H_ */
