// Letter case of ASCII text, where the system's own words (markers, code page names, file
// name endings) are matched without regard to it. Bytes above 0x7F are left alone: in a
// double-byte page they may be half of a character.
#ifndef KEFCONVERT_CONVERT_ASCII_H_
#define KEFCONVERT_CONVERT_ASCII_H_

#include <algorithm>
#include <string_view>

namespace kefconvert::detail {

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// `a == b` but for the letter case of ASCII letters.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

inline bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, start.size()), start);
}

inline bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_ASCII_H_
