// The variable name under which generated code refers to a field's value: a prefix, then
// the field name with blanks turned into underscores and every character other than an
// ASCII letter, digit or underscore spelled as its hexadecimal character code.
#ifndef KEFCONVERT_CONVERT_FIELD_VAR_H_
#define KEFCONVERT_CONVERT_FIELD_VAR_H_

#include <string_view>

#include "convert/code_page.h"
#include "convert/text_buffer.h"

namespace kefconvert::detail {

/// Appends the variable name of the field `name` (escaped, as it stands in the new text)
/// to `out`: `prefix`, then the name read in `code_page`, one hex group for each UTF-16
/// code unit of a character that is not an ASCII letter, digit, "_" or blank. Throws
/// Error(kOverflow) when the name is too long for a 16-bit length in code units. `name`
/// may stand in `out` when `out` has room for the prefix and four bytes per name byte.
void MakeFldVar(std::string_view name, std::string_view prefix, const CodePage& code_page,
                TextBuffer& out);

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_FIELD_VAR_H_
