// The error information objects of the automation runtime (CreateErrorInfo) and the
// per-thread slot that SetErrorInfo fills and GetErrorInfo empties.
#ifndef KEFCONVERT_PLATFORM_LINUX_COM_ERROR_INFO_H_
#define KEFCONVERT_PLATFORM_LINUX_COM_ERROR_INFO_H_

namespace kefconvert::linux_com {

/// How many error information objects are alive, in any thread's slot or held by a
/// client. Their code lives in this library, so it must stay loaded while there are any.
long LiveErrorInfoObjects();

}  // namespace kefconvert::linux_com

#endif  // KEFCONVERT_PLATFORM_LINUX_COM_ERROR_INFO_H_
