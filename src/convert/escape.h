// The two text rules that every part of the conversion shares: trimming removes blanks
// (U+0020, nothing else) at both ends, and a value taken from the old file stands in the
// new one with "&", the double quote, ">" and "<" written as entities.
#ifndef KEFCONVERT_CONVERT_ESCAPE_H_
#define KEFCONVERT_CONVERT_ESCAPE_H_

#include <array>
#include <string_view>

#include "convert/text_buffer.h"

namespace kefconvert::detail {

/// `text` without the blanks at both of its ends; tabs stay.
inline std::string_view TrimBlanks(std::string_view text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && *begin == ' ') ++begin;
  while (end != begin && end[-1] == ' ') --end;
  return {begin, static_cast<std::size_t>(end - begin)};
}

/// True for the four characters that stand as entities in an attribute value.
extern const std::array<bool, 256> kTakesEntity;

/// Appends `text` with its entities spelt out; for AppendEscaped.
void AppendWithEntities(TextBuffer& out, std::string_view text);

/// Appends `text` with "&", the double quote, ">" and "<" written as entities, "&" first,
/// so that an "&amp;" already in the text becomes "&amp;amp;".
inline void AppendEscaped(TextBuffer& out, std::string_view text) {
  // most values hold none of them: one look at each byte, then one copy
  for (char c : text) {
    if (kTakesEntity[static_cast<unsigned char>(c)]) return AppendWithEntities(out, text);
  }
  out.Append(text);
}

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_ESCAPE_H_
