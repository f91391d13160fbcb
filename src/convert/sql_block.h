// A table's "TblSQL" value may go on over the lines after it. Every later line of the
// table, up to the one whose key is "TblError", is one more piece of the value, taken as
// written (no key map, no side effects) and joined on with a blank; a marker line also
// ends the value. This unit owns those rules: which key opens and which closes the value,
// what a continuation is, and how a piece is joined onto the attribute already written.
#ifndef KEFCONVERT_CONVERT_SQL_BLOCK_H_
#define KEFCONVERT_CONVERT_SQL_BLOCK_H_

#include <string_view>

#include "convert/setting.h"
#include "convert/text_buffer.h"

namespace kefconvert::detail {

/// The key whose value may go on over the following lines, and the key that ends it.
inline constexpr std::string_view kSqlKey = "TblSQL";
inline constexpr std::string_view kSqlEndKey = "TblError";

/// True when `line` of `section` is one more piece of an open SQL value: the last line
/// written as an attribute was "TblSQL" (in this table, since a marker ends the value),
/// and the line is not the "TblError" setting that ends it.
inline bool ContinuesSqlValue(const CrossLineState& state, Section section, const SplitLine& line) {
  return section == Section::kTable && state.KeyName == kSqlKey &&
         !(line.has_equals && line.key == kSqlEndKey);
}

/// Joins `line` onto the SQL value that `element` ends with: the value's closing quote
/// becomes the joining blank, then the piece (escaped: the text of a line without "=",
/// else key "=" value without the blanks around "="), then the closing quote again.
void AppendSqlPiece(TextBuffer& element, const SplitLine& line);

/// A marker line ends an SQL value that has no "TblError" line.
inline void EndSqlValueAtMarker(CrossLineState& state) {
  if (state.KeyName == kSqlKey) state.KeyName = {};
}

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_SQL_BLOCK_H_
