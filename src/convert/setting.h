// Translation of one setting line of the old layout into the attribute text of the new
// one, and the facts that span lines while a project file is being converted.
#ifndef KEFCONVERT_CONVERT_SETTING_H_
#define KEFCONVERT_CONVERT_SETTING_H_

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "convert/text_buffer.h"

namespace kefconvert::detail {

inline constexpr std::string_view kProjectMarker = "<Project>";
inline constexpr std::string_view kDatabaseMarker = "<Database>";
inline constexpr std::string_view kTableMarker = "<Table>";
inline constexpr std::string_view kFieldMarker = "<Field>";

/// What the lines of one conversion tell the lines after them. The driver creates it
/// empty for each conversion and passes it to the translation of every line.
struct CrossLineState {
  std::string KeyName;            // new key of the last line emitted as an attribute
  std::string DBNameFromPath;     // file name at the end of the database's "PhyPath"
  std::string SecTblName;         // the project's "SecTbl"
  std::string SecLoginIDFldName;  // the project's "SecUserIDFld"
  bool InSecTbl = false;          // the table named last is the security table
  std::string LoginFldTypeGroup;  // type group of the login-id field, as decimal text
  bool InLoginFld = false;        // the field named last is the login-id field
};

/// What the translation of a line produced.
enum class SettingKind {
  kNothing,    // the line contributes nothing
  kText,       // a line that is not a setting: its escaped text, for the current element
  kAttribute,  // attribute text for the current element
  kSqlPiece,   // one more piece of the open multi-line "TblSQL" value
};

/// `text == constant`: lengths first, then the bytes, with a length that the compiler knows
/// where `constant` is one, so that the comparison needs no call.
inline bool IsText(std::string_view text, std::string_view constant) {
  return text.size() == constant.size() &&
         std::memcmp(text.data(), constant.data(), constant.size()) == 0;
}

/// `text` without the blanks (U+0020, nothing else) at both of its ends.
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

/// Appends `text` with "&", the double quote, ">" and "<" written as entities.
inline void AppendEscaped(TextBuffer& out, std::string_view text) {
  // most values hold none of them: one look at each byte, then one copy
  for (char c : text) {
    if (kTakesEntity[static_cast<unsigned char>(c)]) return AppendWithEntities(out, text);
  }
  out.Append(text);
}

/// The 1-based position of a line's first "=" is a 16-bit quantity, and so is the position
/// after it: a line whose first "=" stands at this position or later cannot be converted.
inline constexpr std::size_t kFirstOverflowingPosition = 32767;

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_SETTING_H_
