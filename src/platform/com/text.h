// Text at the COM edge, the same on every platform: BSTRs and OLECHAR strings are UTF-16,
// paths and messages on our side are UTF-8 bytes; names compare without regard to the case
// of ASCII letters, as automation member names and registry keys do.
#ifndef KEFCONVERT_PLATFORM_COM_TEXT_H_
#define KEFCONVERT_PLATFORM_COM_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

#include "platform/com/com_platform.h"

namespace kefconvert::com {

using OleString = std::basic_string<OLECHAR>;
using OleStringView = std::basic_string_view<OLECHAR>;

/// The UTF-8 form of `text`; no value when it holds an unpaired surrogate.
std::optional<std::string> Utf8FromUtf16(OleStringView text);
/// The UTF-16 form of `text`; invalid UTF-8 sequences become U+FFFD.
OleString Utf16FromUtf8(std::string_view text);

/// The text of a BSTR, with its full length (a BSTR may hold NULs; NULL is empty).
inline OleStringView BstrText(BSTR text) {
  if (text == nullptr) return {};
  return OleStringView(text, SysStringLen(text));
}

/// `unit` with A-Z made a-z; every other code unit as it is.
constexpr char32_t AsciiLower(char32_t unit) {
  return unit >= 'A' && unit <= 'Z' ? unit + ('a' - 'A') : unit;
}

/// True when `a` and `b` hold the same code units but for the case of ASCII letters.
template <typename UnitA, typename UnitB>
bool EqualsIgnoringCase(std::basic_string_view<UnitA> a, std::basic_string_view<UnitB> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    // code units compare as unsigned numbers: a byte 0xC0 is not the unit U+FFC0
    char32_t x = static_cast<std::make_unsigned_t<UnitA>>(a[i]);
    char32_t y = static_cast<std::make_unsigned_t<UnitB>>(b[i]);
    if (AsciiLower(x) != AsciiLower(y)) return false;
  }
  return true;
}

}  // namespace kefconvert::com

#endif  // KEFCONVERT_PLATFORM_COM_TEXT_H_
