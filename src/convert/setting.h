// Translation of one line of the old layout into the text of the new one, and the facts
// that span lines while a project file is being converted. The driver hands every line
// that is not a marker to ConvertSetting and acts on the result: the line's text is
// already appended to the element being assembled, and the result says what the line was
// and what became of it, for the driver's own rules and for the migration report.
#ifndef KEFCONVERT_CONVERT_SETTING_H_
#define KEFCONVERT_CONVERT_SETTING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/code_page.h"
#include "convert/key_maps.h"
#include "convert/text_buffer.h"
#include "convert/type_codes.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {

/// The marker line that starts `section` ("<Table>").
std::string_view MarkerOf(Section section);

/// What the lines of one conversion tell the lines after them. Each conversion starts it
/// empty and never resets it.
struct CrossLineState {
  // new key of the last line written as an attribute: a key map's own text, or the
  // translator's copy of a key that no map names
  std::string_view KeyName;
  std::string DBNameFromPath;     // file name at the end of the database's "PhyPath"
  std::string SecTblName;         // the project's "SecTbl"
  std::string SecLoginIDFldName;  // the project's "SecUserIDFld"
  bool InSecTbl = false;          // the table named last is the security table
  std::string LoginFldTypeGroup;  // type group of the login-id field, as decimal text
  bool InLoginFld = false;        // the field named last is the login-id field
};

/// Which of the facts that lines leave for later lines a conversion knows. One that starts
/// in the middle of a file, after a "<Table>" line, before the lines above it are
/// converted, knows none of them at first: it takes a guess for each, learns each from
/// the first line that sets it, and notes the guesses it relied on, so that they can be
/// checked against the facts once the lines above are converted.
struct Guesses {
  bool in_sec_tbl_known = true;
  bool in_login_fld_known = true;
  bool field_types_known = true;
  bool used_in_sec_tbl = false;
  bool used_in_login_fld = false;
  bool used_field_types = false;

  /// Nothing known yet: every fact is a guess.
  static Guesses AllUnknown() { return {false, false, false, false, false, false}; }
  /// A field is complete: its defaults read the field type state.
  void FieldCompleted() {
    if (!field_types_known) used_field_types = true;
  }
};

/// A trimmed line cut at its first "=".
struct SplitLine {
  std::string_view text;  // the whole trimmed line
  bool has_equals = false;
  std::string_view key;    // before the "=", trimmed
  std::string_view value;  // after it, trimmed and not yet escaped
};

/// What a line was, and what became of it.
enum class LineKind {
  kBlank,      // blanks only: contributes nothing
  kStrayText,  // no "=" outside an SQL value: its escaped text, for the current element
  kDropped,    // a setting whose key the section's map translates to nothing
  kAttribute,  // a setting written as an attribute of the current element
  kSqlPiece,   // one more piece of the open multi-line SQL value, joined on
};

struct SettingResult {
  LineKind kind = LineKind::kBlank;
  std::string_view key;         // the key as written; empty for a line without "="
  std::string_view new_key;     // the attribute's name (kAttribute)
  bool known_key = false;       // a row of the section's key map names the key
  bool rewritten = false;       // a rule replaced the value (the version, the date format)
  bool field_type = false;      // a field's "Type" line: the field type state is its own
  std::size_t appended_at = 0;  // where the line's text begins in the output
  // for the report, valid until the line or the output changes: the value as the line
  // gives it (trimmed), and as the attribute holds it (escaped, rewritten)
  std::string_view value;
  std::string_view written_value;
};

/// How much of a text ConvertPlainLines took.
struct PlainLines {
  std::size_t bytes = 0;
  std::int64_t lines = 0;
};

/// The translation of the lines of one conversion. It owns the cross-line state and
/// updates the converter's field type state on every field "Type" line.
class SettingTranslator {
 public:
  SettingTranslator(FieldTypeState& field_types, const CodePage& code_page)
      : field_types_(field_types), code_page_(code_page) {}
  SettingTranslator(const SettingTranslator&) = delete;
  SettingTranslator& operator=(const SettingTranslator&) = delete;

  /// Translates the trimmed, non-marker line `LineText` of `section` and appends its text
  /// to `AttributeText`, whose tail is the element being assembled. Throws Error(kOverflow)
  /// or Error(kTypeMismatch) before anything changes.
  SettingResult ConvertSetting(Section section, std::string_view LineText,
                               TextBuffer& AttributeText);

  /// Translates the lines at the front of `text` while they are plain settings of
  /// `section` (a key that the section's map renames, and whose value stands as it is,
  /// though a rule may read it; no SQL value open) or empty, and appends their attributes
  /// to `AttributeText`. Stops, with that line untouched, at the first other line
  /// (markers, text without "=", keys whose rules change or drop the value, keys in no
  /// map, a type code that is no number), at a line longer than kScanLimit or without its
  /// line feed in `text`, and, when `stop_at_non_ascii`, at a line with a byte above 0x7F.
  /// kScanLimit bytes after `text` must be readable.
  PlainLines ConvertPlainLines(Section section, std::string_view text, TextBuffer& AttributeText,
                               bool stop_at_non_ascii);

  CrossLineState state;
  Guesses guesses;

  const CodePage& code_page() const { return code_page_; }

 private:
  void ConvertKeyedSetting(Section section, const SplitLine& line, TextBuffer& AttributeText,
                           SettingResult& result);
  bool ApplyEffect(KeyEffect effect, std::string_view value, std::size_t value_start,
                   TextBuffer& AttributeText);
  void AppendFldVar(std::size_t value_start, TextBuffer& AttributeText) const;
  void ApplyRulesThatKeepTheValue(const KeyMapping& row, const TypeCodeFacts* type,
                                  std::size_t value_start, TextBuffer& AttributeText);
  void TakeTypeFacts(const TypeCodeFacts& facts);

  FieldTypeState& field_types_;
  const CodePage& code_page_;
  std::string unmapped_key_;  // what KeyName views after a key that no map names
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_SETTING_H_
