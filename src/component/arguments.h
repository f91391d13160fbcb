// How the late-bound ConvertProject takes its argument: as automation servers take a string
// parameter, converting the value the way VariantChangeType converts to VT_BSTR. Strings
// come as they are, directly, by reference or in a script variable (a variant by
// reference); numbers, booleans, dates and currency become their text in the user's
// locale; Empty becomes ""; an object gives the value of its default property
// (DISPID_VALUE), converted in turn.
#ifndef KEFCONVERT_COMPONENT_ARGUMENTS_H_
#define KEFCONVERT_COMPONENT_ARGUMENTS_H_

#include "platform/com/com_platform.h"
#include "platform/com/handles.h"

namespace kefconvert::component {

/// Puts the text of `argument` into `text`. DISP_E_TYPEMISMATCH for a value that has no
/// text: Null, an array, an error value, an object without default property. When the
/// default property fails, its failure: DISP_E_EXCEPTION with what it raised in
/// `exception` (which may be NULL), or its status.
HRESULT ArgumentText(const VARIANTARG& argument, com::UniqueBstr& text, EXCEPINFO* exception);

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_ARGUMENTS_H_
