/* Included after com_types.h, makes the following DEFINE_GUID lines define their GUIDs
 * rather than only declare them, as <initguid.h> does on Windows. */
#include "com_types.h"

#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  EXTERN_C const GUID name __attribute__((visibility("hidden")));    \
  GUID_DEFINITION const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
