// Text at the COM edge: BSTRs and OLECHAR strings are UTF-16, the converter's paths and
// messages are UTF-8 bytes.
#ifndef KEFCONVERT_COMPONENT_TEXT_H_
#define KEFCONVERT_COMPONENT_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

#include "component/com_platform.h"

namespace kefconvert::component {

using OleString = std::basic_string<OLECHAR>;
using OleStringView = std::basic_string_view<OLECHAR>;

/// The UTF-8 form of `text`; no value when it holds an unpaired surrogate.
std::optional<std::string> Utf8FromUtf16(OleStringView text);
/// The UTF-16 form of `text`; invalid UTF-8 sequences become U+FFFD.
OleString Utf16FromUtf8(std::string_view text);

/// The text of a BSTR, with its full length (a BSTR may hold NULs; NULL is empty).
OleStringView BstrText(BSTR text);
/// A new BSTR holding `text`; NULL when memory runs out.
BSTR AllocBstr(OleStringView text);

/// Compares two names the way automation does for member names: letters in either case.
bool EqualsIgnoringCase(OleStringView a, std::string_view ascii);

}  // namespace kefconvert::component

#endif  // KEFCONVERT_COMPONENT_TEXT_H_
