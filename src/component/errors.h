// Errors at the COM edge: the converter's Error becomes an HRESULT (0x800A0000 + its
// number, as the automation runtime reports its own errors) and the thread's error
// information, from which clients read the source "KEFConvert" and the description.
#ifndef KEFCONVERT_COMPONENT_ERRORS_H_
#define KEFCONVERT_COMPONENT_ERRORS_H_

#include "kefconvert/kefconvert.h"
#include "platform/com/com_platform.h"
#include "platform/com/text.h"

namespace kefconvert::component {

/// 0x800A0000 + `number`: 0x800A000D for 13, "Type mismatch".
HRESULT HresultFromErrorNumber(int number);

/// What a failed call reports: its status and, for the converter's errors, the text.
struct Failure {
  HRESULT status = S_OK;
  com::OleString description;  ///< "Type mismatch (line 42)"; empty for other failures
};

/// The failure for `error`.
Failure FailureOf(const Error& error);

/// Sets the calling thread's error information for `failure` (nothing for a failure
/// without description) and returns its status.
HRESULT PublishFailure(const Failure& failure);

/// Fills `exception` (which may be NULL) the way Invoke reports a failed method.
void FillExceptionInfo(const Failure& failure, EXCEPINFO* exception);

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_ERRORS_H_
