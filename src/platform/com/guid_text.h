// GUIDs as the registry writes them: "{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}".
#ifndef KEFCONVERT_PLATFORM_COM_GUID_TEXT_H_
#define KEFCONVERT_PLATFORM_COM_GUID_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

#include "platform/com/com_platform.h"

namespace kefconvert::com {

/// Upper-case hex digits in braces.
std::string GuidText(const GUID& guid);

/// The GUID written in braces, with hex digits in either case; no value for anything else.
std::optional<GUID> ParseGuid(std::string_view text);

}  // namespace kefconvert::com

#endif  // KEFCONVERT_PLATFORM_COM_GUID_TEXT_H_
